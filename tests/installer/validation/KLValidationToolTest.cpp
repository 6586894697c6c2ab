// The tool's argument vector, its launch without a shell, and the message for each status.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "FakeTool.h"
#include "KLToolExitCodes.h"
#include "KLValidationTool.h"

namespace {

using Strings = std::vector<std::string>;
const kl::ValidationRequest kKeyForm{"192.0.2.10", 8443, "https", "", "", "", 42};
const kl::ValidationRequest kCustomerForm{"a.invalid, b",  80,     "http", "127.0.0.1:3128",
                                          "Demo Customer", "1001", 0};

TEST(ValidationArguments, OptionOrderAndOmissions) {
  kl::ValidationRequest minusFive = kKeyForm;
  minusFive.serverURL = "";
  minusFive.applianceId = -5;
  const std::string f = "/tmp/kelvor.conf", l = "/tmp/kelvor_install.log";
  const struct {
    std::string directory;
    kl::ValidationRequest request;
    Strings argv;
  } cases[] = {
      {"/res",
       kKeyForm,
       {"/res/InitialValidate", "-s", "192.0.2.10", "-n", "8443", "-p", "https", "-f", f, "-a",
        "42", "-l", l}},
      {"/res",
       kCustomerForm,
       {"/res/InitialValidate", "-s", "a.invalid, b", "-n", "80", "-p", "http", "-x",
        "127.0.0.1:3128", "-f", f, "-c", "Demo Customer", "-i", "1001", "-l", l}},
      // The directory is trimmed, inner blanks kept; an empty URL is still given.
      {"  /My Res  ",
       minusFive,
       {"/My Res/InitialValidate", "-s", "", "-n", "8443", "-p", "https", "-f", f, "-a", "-5", "-l",
        l}},
  };
  for (const auto& c : cases) EXPECT_EQ(kl::ValidationArguments(c.directory, c.request), c.argv);
  EXPECT_EQ(kl::ValidationToolPath(std::string(3000, 'd')),
            std::string(2047, 'd') + "/InitialValidate");
}

// The status is the wait status for every way the tool ends; and no shell reads the values,
// which reach the tool whole, however long.
TEST(LaunchValidation, StatusesOfEveryWayTheToolEnds) {
  kl::FakeTool tool({"exit 0", "exit 3", "exit 255", "kill -KILL $$"});
  const char* dir = tool.directory.c_str();
  const std::string owned = tool.directory + "/owned";
  kl::ValidationRequest hostile = kCustomerForm;
  hostile.customerName = "\"; touch " + owned + "; \"$(touch " + owned + ")`touch " + owned +
                         "`\nsecond line 'quoted' \\ %s";
  hostile.customerId = "1001; touch " + owned;
  hostile.proxy = "p\"roxy $HOME";
  hostile.serverURL = std::string(5000, 'u');  // longer than any command text could be
  EXPECT_EQ(launchvalidation(dir, hostile), 0);
  EXPECT_EQ(tool.Arguments(1),
            (Strings{tool.Tool(), "-s", hostile.serverURL, "-n", "80", "-p", "http", "-x",
                     hostile.proxy, "-f", "/tmp/kelvor.conf", "-c", hostile.customerName, "-i",
                     hostile.customerId, "-l", "/tmp/kelvor_install.log"}));
  EXPECT_NE(access(owned.c_str(), F_OK), 0) << "a value was run as a command";
  EXPECT_EQ(launchvalidation(dir, kKeyForm), 3 << 8);
  EXPECT_EQ(launchvalidation(dir, kKeyForm), 255 << 8);
  const int32_t killed = launchvalidation(dir, kKeyForm);
  EXPECT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL) << killed;
  EXPECT_EQ(launchvalidation(nullptr, kKeyForm), -1);  // no resource directory: nothing runs
  chmod(tool.Tool().c_str(), 0644);  // not executable, then missing: "command not found"
  EXPECT_EQ(launchvalidation(dir, kKeyForm), 32512);
  unlink(tool.Tool().c_str());
  EXPECT_EQ(launchvalidation(dir, kKeyForm), 32512);
  EXPECT_EQ(tool.Runs(), 4);
}

// A host that reaps whatever child has ended (GNUstep's NSTask waits for any process on each
// SIGCHLD) must not take the tool's status: that turns a server's answer into "Launch script
// failed".
TEST(LaunchValidation, AHostReapingEveryChildCannotTakeTheStatus) {
  kl::FakeTool tool({"exit 3"});
  std::atomic<bool> stop{false};
  std::thread reaper([&] {
    while (!stop) waitpid(-1, nullptr, WNOHANG), usleep(20);
  });
  int right = 0;
  for (int i = 0; i < 30; ++i)
    right += launchvalidation(tool.directory.c_str(), kKeyForm) == 3 << 8;
  stop = true;
  reaper.join();
  EXPECT_EQ(right, 30);
}

// Nothing the tool starts outlives the attempt or its caller: a caller that gives up (a signal, a
// time limit) or dies outright, or an attempt that ends, takes the tool and what it started, in
// its group or not (a new session, made by perl: a Mac has no setsid command). Each case runs in
// a child process (a cancel is for good) whose standard output is a pipe, which ends only once
// nothing holds it, as `$(...)` waits. Without Linux's parent-death signal the waiter must do it
// alone, as where there is no such signal. A Mac has no child subreaper: there a process that left
// the group escapes, and the test checks that it does, as the waiter's rules say.
TEST(LaunchValidation, TheToolNeverOutlivesItsCaller) {
  enum End { kCancel, kKillCaller, kToolExits };
#if defined(__APPLE__)
  constexpr bool kLeftGroupEscapes = true;
#else
  constexpr bool kLeftGroupEscapes = false;
#endif
  const std::string itself = "echo $$ > \"$d/pid\"; exec sleep 60";
  const std::string child = "sleep 60 & echo $! > \"$d/pid\"; wait";
  const std::string left =
      "perl -MPOSIX -e 'POSIX::setsid(); exec @ARGV' sh -c "
      "\"echo \\$\\$ > $d/pid; exec sleep 60\" & ";
  const struct {
    std::string step;
    End end;
    bool leftGroup;
  } cases[] = {
      {itself, kKillCaller, false},
      {child, kKillCaller, false},
      {child, kCancel, false},
      {left + "wait", kKillCaller, true},
      {left + "wait", kCancel, true},
      {left + "until [ -s \"$d/pid\" ]; do sleep 0.01; done; exit 3", kToolExits, true},
  };
  struct Restore {
    ~Restore() { kl::SetParentDeathSignalForTesting(true); }
  } restore;
  for (const bool parentDeathSignal : {true, false}) {
    kl::SetParentDeathSignalForTesting(parentDeathSignal);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.step + (parentDeathSignal ? ", with" : ", without") +
                   " the parent-death signal");
      kl::FakeTool tool({c.step});
      const std::string pidFile = tool.directory + "/pid";
      int out[2];
      ASSERT_EQ(pipe(out), 0);
      const pid_t caller = fork();
      ASSERT_GE(caller, 0);
      if (caller == 0) {
        dup2(out[1], 1), close(out[0]), close(out[1]);
        int32_t status = 0;
        std::thread attempt([&] { status = launchvalidation(tool.directory.c_str(), kKeyForm); });
        if (c.end == kCancel && kl::PidFrom(pidFile) > 0) kl::CancelRunningTools(SIGTERM);
        attempt.join();
        if (c.end == kToolExits) _exit(status == 3 << 8 ? 0 : 1);
        const bool ended = WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
        _exit(ended && launchvalidation(tool.directory.c_str(), kKeyForm) == -1 ? 0 : 1);
      }
      close(out[1]);
      const pid_t started = kl::PidFrom(pidFile);
      ASSERT_GT(started, 0);
      const auto begin = std::chrono::steady_clock::now();
      if (c.end == kKillCaller) kill(caller, SIGKILL);
      int status = 0;
      waitpid(caller, &status, 0);
      if (c.end != kKillCaller) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      }
      if (c.leftGroup && kLeftGroupEscapes) {
        EXPECT_FALSE(kl::EndsSoon(started)) << "a process in a session of its own escapes here";
      } else {
        pollfd end{out[0], POLLIN, 0};
        char byte;
        const bool closed = poll(&end, 1, 10000) == 1 && read(out[0], &byte, 1) == 0;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        std::printf("standard output released %.3f s after the caller ended or gave up\n", seconds);
        EXPECT_TRUE(closed) << "standard output still held after 10 s";
        EXPECT_TRUE(kl::EndsSoon(started));
      }
      kill(started, SIGKILL), close(out[0]);
      EXPECT_EQ(tool.Runs(), 1);
    }
  }
}

TEST(ValidationStatusMessage, EveryKindOfStatus) {
  const struct {
    int64_t status;
    std::string message;
  } cases[] = {
      {0, ""},
      {4864, "Launch script returned unexpected error code: 19"},
      {65280, "Launch script returned unexpected error code: 255"},
      {-256, "Launch script returned unexpected error code: -1"},
      {-1, "Launch script failed"},
      {32512, "Launch script failed"},
      {SIGKILL, "Launch script failed"},  // ended by a signal: never a success
      {SIGSEGV | 0x80, "Launch script failed"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kl::ValidationStatusMessage(c.status), c.message) << c.status;
  // The administrator reads these: written out here, so that a changed word fails.
  const char* const texts[] = {
      "Input connection option is invalid. Missing server IP, protocol or port.",
      "Input connection option is invalid. Duplicate server IP, protocol or port.",
      "Input connection option is invalid. Missing configuration file path.",
      "Input connection option is invalid. Duplicate configuration file path.",
      "Input validation option is invalid. No customer name, customer ID or appliance ID.",
      "Input validation option is invalid. Only one item of customer name, customer ID or "
      "appliance ID can be included in the input.",
      "Input connection option is invalid. Missing install log file path.",
      "Input connection option is invalid. Duplicate install log file path.",
      "Unrecognized options in input.",
      "Connection failed. Can not connect to the server with the input parameters.",
      "Validation failed. The specified customer name can not be validated.",
      "Validation failed. The specified customer ID can not be validated.",
      "Validation failed. The specified appliance ID can not be validated.",
      "Local asset discovery failed. Check log file for more information.",
      "Server can not register the appliance. Contact system administrator for more "
      "information.",
      "Can not create or access the configuration file.",
      "Can not create or access the install log file.",
      "Runtime exception occurred.",
  };
  static_assert(sizeof texts / sizeof *texts == kl::kToolExitCodeCount - 1, "one text per failure");
  for (int code = 1; code < kl::kToolExitCodeCount; ++code)
    EXPECT_EQ(kl::ValidationStatusMessage(code << 8), texts[code - 1]) << code;
}

}  // namespace
