// InitialValidate against kelvory-mgmt-sim, both run as real processes on loopback only.
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <string>

#include "ToolFixture.h"

namespace {

using kl::Args;
using kl::operator+;

class InitialValidate : public kl::ToolTest {};

// One case per rule of the option parser; the last ones have two faults, the lowest code wins.
TEST_F(InitialValidate, OptionFaultsGiveTheirCodeBeforeAnythingIsOpened) {
  const Args base{"-s", "127.0.0.1", "-n", "1", "-p", "http", "-f", conf_, "-a", "42", "-l", log_};
  const struct {
    Args drop, add;  // options dropped from `base` (with their values), arguments appended
    int code;
  } cases[] = {
      {{"-s"}, {"-s", "   "}, 1},
      {{"-s"}, {"-s", "https://"}, 1},
      {{"-n"}, {}, 1},
      {{"-n"}, {"-n", "0"}, 1},
      {{"-n"}, {"-n", "65537"}, 1},
      {{"-n"}, {"-n", "8o"}, 1},
      {{"-n"}, {"-n", std::string(5000, '9')}, 1},
      {{"-p"}, {"-p", "HTTP"}, 1},
      {{}, {"-s", "127.0.0.1"}, 2},
      {{}, {"-n", "1"}, 2},
      {{}, {"-p", "http"}, 2},
      {{"-f"}, {"-f", ""}, 3},
      {{}, {"-f", conf_}, 4},
      {{"-a"}, {"-c", "", "-i", ""}, 5},
      {{}, {"-i", "7001"}, 6},
      {{"-l"}, {}, 7},
      {{"-l", "-f"}, {"-f", "-l"}, 7},  // "-l" is the value of -f
      {{}, {"-l", log_}, 8},
      {{}, {"-z", "v"}, 9},
      {{}, {"-s127.0.0.1"}, 9},
      {{}, {"-x"}, 9},  // no value
      {{"-s"}, {"-f", "x"}, 1},
      {{"-f"}, {"-s", "127.0.0.1"}, 2},
      {{}, {"-z", "-c", "x"}, 6},
  };
  for (const auto& c : cases) {
    Args args;
    for (size_t i = 0; i < base.size(); i += 2) {
      if (std::find(c.drop.begin(), c.drop.end(), base[i]) == c.drop.end()) {
        args = args + Args{base[i], base[i + 1]};
      }
    }
    args = args + c.add;
    const std::string shown = args.back().substr(0, 20);
    const std::string out = dir_ + "/out";
    EXPECT_EQ(kl::ReapProcess(kl::StartProcess(Args{INITIALVALIDATE_PATH} + args, out, out), 60),
              c.code)
        << shown;
    struct stat st;
    EXPECT_NE(stat(log_.c_str(), &st), 0) << "log opened for " << shown;
  }
}

TEST_F(InitialValidate, ServerAnswersAndFilesGiveTheirCodes) {
  Write(dir_ + "/customers.json", R"({"customers": [{"name": "Acme Labs", "id": "7001"},
      {"name": "Refused Corp", "id": "7002"}], "appliances": ["42"],
      "refuseRegistration": ["7002"]})");
  ASSERT_NO_FATAL_FAILURE(StartSimulator({"--customers", dir_ + "/customers.json"}));
  const std::string stale(500, 'x'), target = dir_ + "/target", link = dir_ + "/link";
  Write(target, "keep\n");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  const Args acme{"-c", "Acme Labs", "-i", "7001"};
  const std::string proxy = "127.0.0.1:" + std::to_string(port_);
  const struct {
    Args args;
    int code;
    std::string conf = "";  // with code 0; otherwise the stale file stays as it was
    bool noHostName = false;
  } cases[] = {
      // Customers get the IDs the server counts up; an appliance keeps its own.
      {Server() + acme, 0, Conf("100000")},
      {Server() + Args{"-c", "Acme Labs"}, 0, Conf("100001")},
      {Server() + Args{"-i", "7001"}, 0, Conf("100002")},
      {Server("  http://u@127.0.0.1:1/path ") + Args{"-a", "42"}, 0, Conf("42")},
      // 127.0.0.2 refuses connections: only the simulator, taking the proxy's part, can answer.
      {Server("127.0.0.2") + Args{"-x", proxy, "-a", "42"}, 0, Conf("42", proxy, "127.0.0.2")},
      {Server("127.0.0.2") + Args{"-a", "42"}, 10},
      {{"-s", "127.0.0.1", "-n", "65536", "-p", "http", "-a", "42"}, 10},
      {Server() + Args{"-c", "Nobody", "-i", "7001"}, 11},
      {Server() + Args{"-c", "Acme Labs", "-i", "7002"}, 12},
      {Server() + Args{"-a", "43"}, 13},
      {Server() + acme, 14, "", true},
      {Server() + Args{"-c", "Refused Corp", "-i", "7002"}, 15},
      {Server() + acme + Args{"-f", link}, 16},
      {Server() + acme + Args{"-l", link}, 17},
  };
  for (const auto& c : cases) {
    Write(conf_, stale);
    chmod(conf_.c_str(), 0644);
    unlink(log_.c_str());
    const int code = Tool(c.args, c.noHostName);
    const std::string shown = c.args[1] + " " + c.args.back();
    if (code == kl::kNoNamespace) {
      printf("skipped without root: %s\n", shown.c_str());
      continue;
    }
    EXPECT_EQ(code, c.code) << shown << "\n" << ToolOutput();
    EXPECT_EQ(kl::ReadWholeFile(conf_), c.code == 0 ? c.conf : stale) << shown;
    if (c.code == 0) {
      struct stat st {};
      ASSERT_EQ(stat(conf_.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << shown;  // a new file, whatever the old one's mode
    }
    if (c.code == 17) continue;  // no log to write to
    const std::string log = kl::ReadWholeFile(log_);
    EXPECT_NE(log.find("\tInitialValidate finished -- exit code " + std::to_string(c.code) + ": "),
              std::string::npos)
        << shown << "\n"
        << log;
  }
  EXPECT_EQ(kl::ReadWholeFile(target), "keep\n");  // neither link was followed
}

TEST_F(InitialValidate, DemoCustomerLogsEveryStep) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  Write(log_, "earlier entry\n");
  ASSERT_EQ(Tool(Server() + Args{"-c", "Demo Customer", "-i", "1001"}), 0);
  EXPECT_EQ(kl::ReadWholeFile(conf_), Conf("100000"));
  char host[256] = {0};
  gethostname(host, sizeof host - 1);
  utsname os{};
  uname(&os);
  const std::string url = "http://127.0.0.1:" + std::to_string(port_);
  const std::string entries[] = {
      "InitialValidate started -- " + url,
      "Validating with the management server -- " + url + "/api/v1/validate",
      "Validation succeeded -- ",
      "Local discovery -- " + std::string(host) + ", " + os.sysname + " " + os.release,
      "Registered as appliance -- 100000",
      "Configuration file created -- " + conf_,
      "InitialValidate finished -- exit code 0: success: validated, registered, configuration "
      "file written",
  };
  std::string want = "earlier entry\n";  // the log is appended to, never replaced
  for (const std::string& entry : entries) want += "STAMP\t" + entry + "\n";
  EXPECT_EQ(kl::MaskStamps(kl::ReadWholeFile(log_)), want);
}

}  // namespace
