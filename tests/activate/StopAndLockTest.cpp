// kelvory-activate within bounds: its time limit and signals end the tool's whole process group
// and write nothing; concurrent runs take turns on a lock nobody else can plant.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "ActivateRun.h"
#include "FakeTool.h"

namespace {

using Strings = std::vector<std::string>;
const char kConf[] = "/tmp/kelvor.conf";
const char kLock[] = "/tmp/kelvor.conf.lock";

// The options of a customer-form run.
Strings Customer(const std::string& tool, const Strings& extra = {}) {
  Strings args{"--customer-name", "Demo", "--customer-id", "1001", "--server", "127.0.0.1",
               "--tool",          tool,   "--json"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

class StopAndLockTest : public ::testing::Test {
 protected:
  void SetUp() override { unlink(kConf), unlink(kLock); }
  void TearDown() override { unlink(kConf), unlink(kLock); }
  // Starts a run with its output in the file `name` of a private folder.
  pid_t Start(const Strings& args, const std::string& name) {
    Strings argv{ACTIVATE_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return kl::StartProcess(argv, Out(name), Out("err"));
  }
  std::string Out(const std::string& name) { return out_.path + "/" + name; }
  kl::TempDir out_;
};

// A time limit or a signal: exit 6 with its outcome, the tool and what it started end (one of
// them ignores SIGTERM and needs the SIGKILL that follows), and nothing is appended.
TEST_F(StopAndLockTest, TimeLimitAndSignalsEndTheToolAndWriteNothing) {
  static const char kGraceful[] =
      "trap 'touch \"$d/term\"' TERM; sleep 60 & echo $! > \"$d/pid\"; wait";
  const struct {
    const char* step;
    Strings extra;
    int signal;  // sent once the tool runs; 0 for none
    const char* outcome;
  } cases[] = {
      {kGraceful, {"--timeout", "3"}, 0, "timed-out"},
      {kGraceful, {}, SIGTERM, "interrupted"},
      {kGraceful, {}, SIGHUP, "interrupted"},
      {"trap '' TERM; sleep 60 & echo $! > \"$d/pid\"; wait", {}, SIGINT, "interrupted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    std::ofstream(kConf) << "[server]\n";
    kl::FakeTool tool({c.step});
    const pid_t run = Start(Customer(tool.Tool(), c.extra), "out");
    const pid_t started = kl::PidFrom(tool.directory + "/pid");
    ASSERT_GT(started, 0);
    if (c.signal != 0) kill(run, c.signal);
    EXPECT_EQ(kl::ReapProcess(run, 20), 6);
    EXPECT_TRUE(kl::EndsSoon(started));
    // A tool that heeds SIGTERM gets the chance to end on its own.
    EXPECT_EQ(access((tool.directory + "/term").c_str(), F_OK) == 0, c.step == kGraceful);
    kill(started, SIGKILL);
    const nlohmann::json json = nlohmann::json::parse(kl::ReadWholeFile(Out("out")), nullptr, 0);
    EXPECT_EQ(json["outcome"], c.outcome);
    EXPECT_EQ(json["configWritten"], false);
    EXPECT_EQ(kl::ReadWholeFile(kConf), "[server]\n");
  }
}

// Each fake tool replaces the file at once and then takes its time, as a slow server would:
// without turns, both tools write before either run appends and the file ends with two blocks.
TEST_F(StopAndLockTest, ConcurrentRunsTakeTurns) {
  kl::FakeTool tool(
      {"printf '[server]\\n' > /tmp/kc.$$ && mv /tmp/kc.$$ /tmp/kelvor.conf; sleep 0.5"});
  const pid_t first = Start(Customer(tool.Tool()), "1");
  usleep(100000);
  const pid_t second = Start(Customer(tool.Tool()), "2");
  EXPECT_EQ(kl::ReapProcess(first, 20), 0);
  EXPECT_EQ(kl::ReapProcess(second, 20), 0);
  const std::string conf = kl::ReadWholeFile(kConf);
  EXPECT_EQ(conf.rfind("[server]\n", 0), 0u) << conf;
  const size_t block = conf.find("[main]");
  EXPECT_NE(block, std::string::npos) << conf;
  EXPECT_EQ(block, conf.rfind("[main]")) << "one block only: " << conf;

  // A run that never gets its turn within its time limit: busy, exit 6, nothing run.
  kl::FakeTool slow({"echo $$ > \"$d/pid\"; exec sleep 60"});
  const pid_t holder = Start(Customer(slow.Tool()), "3");
  ASSERT_GT(kl::PidFrom(slow.directory + "/pid"), 0);
  kl::FakeTool waiting({"exit 0"});
  const kl::ActivateResult busy = kl::ActivateRun(Customer(waiting.Tool(), {"--timeout", "1"}));
  kill(holder, SIGTERM);
  kl::ReapProcess(holder, 20);
  EXPECT_EQ(busy.exitCode, 6);
  EXPECT_EQ(busy.json["outcome"], "busy");
  EXPECT_EQ(waiting.Runs(), 0);
}

// A lock file planted by someone else is never locked through: it is replaced (we are root
// here), and a symbolic link's target stays untouched.
TEST_F(StopAndLockTest, APlantedLockIsReplaced) {
  kl::TempDir elsewhere;
  const std::string target = elsewhere.path + "/target";
  std::ofstream(target) << "theirs";
  const std::function<void()> plants[] = {
      [] { close(creat(kLock, 0666)), chown(kLock, 65534, 65534); },
      [&] { symlink(target.c_str(), kLock); },
  };
  kl::FakeTool tool({"exit 0"});
  for (const auto& plant : plants) {
    unlink(kLock);
    plant();
    EXPECT_EQ(kl::ActivateRun(Customer(tool.Tool())).exitCode, 0);
    struct stat info {};
    ASSERT_EQ(lstat(kLock, &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_uid == geteuid());
    EXPECT_EQ(kl::ReadWholeFile(target), "theirs");
  }
}

}  // namespace
