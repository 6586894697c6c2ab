// kelvory-activate within bounds: its time limit and signals end the tool's whole process group
// and write nothing; concurrent runs take turns on a lock nobody else can plant.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "FakeTool.h"
#include "RunProcess.h"

namespace {

using Strings = std::vector<std::string>;
const char kConf[] = "/tmp/kelvor.conf";
const char kLock[] = "/tmp/kelvor.conf.lock";
const char kBlockEnd[] = "    datablock_size=20\n\n\n";

// The options of a customer-form run; with the program's path first when `withPath`.
Strings Customer(const std::string& tool, Strings extra = {}, bool withPath = true) {
  Strings argv{"--customer-name", "Demo", "--customer-id", "1001", "--server", "127.0.0.1",
               "--tool",          tool,   "--json"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  if (withPath) argv.insert(argv.begin(), ACTIVATE_PATH);
  return argv;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class StopAndLockTest : public ::testing::Test {
 protected:
  void SetUp() override { unlink(kConf), unlink(kLock); }
  void TearDown() override { unlink(kConf), unlink(kLock); }
  kl::TempDir out_;
};

// A time limit or a signal: exit 6 with its outcome, the tool and what it started end (one of
// them ignores SIGTERM and needs the SIGKILL that follows), and nothing is appended.
TEST_F(StopAndLockTest, TimeLimitAndSignalsEndTheToolAndWriteNothing) {
  static const char kGraceful[] =
      "trap 'touch \"$d/term\"' TERM; sleep 60 & echo $! > \"$d/pid\"; wait";
  const struct {
    const char* name;
    const char* step;
    Strings extra;
    int signal;  // sent once the tool runs; 0 for none
    const char* outcome;
  } cases[] = {
      {"time limit", kGraceful, {"--timeout", "3"}, 0, "timed-out"},
      {"SIGTERM", kGraceful, {}, SIGTERM, "interrupted"},
      {"SIGINT, tool ignores TERM",
       "trap '' TERM; sleep 60 & echo $! > \"$d/pid\"; wait",
       {},
       SIGINT,
       "interrupted"},
  };
  for (const auto& c : cases) {
    const bool graceful = c.step == kGraceful;
    const std::string toolSection = "[server]\n";
    std::ofstream(kConf) << toolSection;
    kl::FakeTool tool({c.step, "exit 0"});
    const std::string out = out_.path + "/out";
    const pid_t run = kl::StartProcess(Customer(tool.Tool(), c.extra), out, out_.path + "/err");
    const pid_t started = kl::PidFrom(tool.directory + "/pid");
    ASSERT_GT(started, 0) << c.name;
    if (c.signal != 0) kill(run, c.signal);
    EXPECT_EQ(kl::ReapProcess(run, 20), 6) << c.name;
    EXPECT_TRUE(kl::EndsSoon(started)) << c.name;
    // A tool that heeds SIGTERM gets the chance to end on its own.
    EXPECT_EQ(access((tool.directory + "/term").c_str(), F_OK) == 0, graceful) << c.name;
    kill(started, SIGKILL);
    const nlohmann::json json = nlohmann::json::parse(kl::ReadWholeFile(out), nullptr, false);
    EXPECT_EQ(json.value("outcome", ""), c.outcome) << c.name;
    EXPECT_EQ(json.value("configWritten", true), false) << c.name;
    EXPECT_EQ(tool.Runs(), 1) << c.name << ": no further address was tried";
    EXPECT_EQ(kl::ReadWholeFile(kConf), toolSection) << c.name;
  }
}

// Each fake tool replaces the file at once and then takes its time, as a slow server would:
// without turns, both tools write before either run appends and the file ends with two blocks.
TEST_F(StopAndLockTest, ConcurrentRunsTakeTurns) {
  kl::FakeTool tool(
      {"printf '[server]\\n' > /tmp/kc.$$ && mv /tmp/kc.$$ /tmp/kelvor.conf; "
       "sleep 0.5"});
  const pid_t first = kl::StartProcess(Customer(tool.Tool()), out_.path + "/1", out_.path + "/e");
  usleep(100000);
  const pid_t second = kl::StartProcess(Customer(tool.Tool()), out_.path + "/2", out_.path + "/e");
  EXPECT_EQ(kl::ReapProcess(first, 20), 0);
  EXPECT_EQ(kl::ReapProcess(second, 20), 0);
  const std::string conf = kl::ReadWholeFile(kConf);
  EXPECT_EQ(Count(conf, kBlockEnd), 1u) << conf;
  EXPECT_EQ(conf.rfind("[server]\n", 0), 0u) << conf;

  // A run that never gets its turn within its time limit: busy, exit 6, nothing run.
  kl::FakeTool slow({"echo $$ > \"$d/pid\"; exec sleep 60"});
  const pid_t holder = kl::StartProcess(Customer(slow.Tool()), out_.path + "/3", out_.path + "/e");
  ASSERT_GT(kl::PidFrom(slow.directory + "/pid"), 0);
  kl::FakeTool waiting({"exit 0"});
  const kl::ProcessRun busy =
      kl::RunProcess(ACTIVATE_PATH, Customer(waiting.Tool(), {"--timeout", "1"}, false));
  kill(holder, SIGTERM);
  kl::ReapProcess(holder, 20);
  EXPECT_EQ(busy.exitCode, 6);
  EXPECT_EQ(nlohmann::json::parse(busy.out, nullptr, false).value("outcome", ""), "busy");
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
    EXPECT_EQ(kl::RunProcess(ACTIVATE_PATH, Customer(tool.Tool(), {}, false)).exitCode, 0);
    struct stat info {};
    ASSERT_EQ(lstat(kLock, &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_uid == geteuid());
    EXPECT_EQ(kl::ReadWholeFile(target), "theirs");
  }
}

}  // namespace
