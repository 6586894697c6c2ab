// InitialValidate and kelvory-mgmt-sim as real processes on loopback only: the tool's codes and
// log against the simulator, and both under faults and hostile input (files that are not theirs,
// a full disk, a log that cannot be written, JSON too deep or too large, values that would forge
// log lines); and their command-line conventions.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "ToolRun.h"

namespace kl {

// A management server that is not one: every POST on 127.0.0.1 gets `answer` with status 200.
// Serves on its own thread until destroyed.
class CannedServer {
 public:
  explicit CannedServer(const std::string& answer) {
    server_.Post(".*", [this, answer](const httplib::Request&, httplib::Response& response) {
      ++requests_;
      response.set_content(answer, "application/json");
    });
    port_ = std::max(server_.bind_to_any_port("127.0.0.1"), 0);
    if (port_ != 0) thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~CannedServer() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }

  int port() const { return port_; }  ///< 0 when it could not listen
  int requests() const { return requests_; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

class ToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Proxy settings from the environment must not matter: honoured, http_proxy would send the
    // requests to a refusing address and no_proxy would bypass the -x proxy to 127.0.0.2.
    setenv("http_proxy", "http://127.0.0.2:9", 1);
    setenv("all_proxy", "http://127.0.0.2:9", 1);
    setenv("no_proxy", "127.0.0.2", 1);
  }
  void TearDown() override {
    if (sim_ > 0) {
      kill(sim_, SIGTERM);
      ReapProcess(sim_, 10);
    }
  }

  void StartSimulator(const Args& options) {
    sim_ = ToolStartSimulator(options, simOut_, &port_);
    ASSERT_NE(port_, 0) << "simulator did not start: " << SimulatorOutput();
  }
  // What the simulator printed: one line per request, one per registration.
  std::string SimulatorOutput() const { return ReadWholeFile(simOut_); }

  // Runs the tool and returns its exit code; -f and -l get the test's files unless `args`
  // names them.
  int Tool(Args args, bool noHostName = false) {
    for (const auto& [option, file] : {std::pair{"-f", conf_}, std::pair{"-l", log_}}) {
      if (std::find(args.begin(), args.end(), option) == args.end())
        args = args + Args{option, file};
    }
    return ReapProcess(
        StartProcess(Args{INITIALVALIDATE_PATH} + args, toolOut_, toolOut_, noHostName), 60);
  }
  std::string ToolOutput() const { return ReadWholeFile(toolOut_); }
  std::string Log() const { return MaskStamps(ReadWholeFile(log_)); }

  std::string Conf(const std::string& id, const std::string& proxy = "",
                   const std::string& host = "127.0.0.1") const {
    return "[server]\n\tserver_0=" + host +
           "\n\tprotocol_0=http\n\tport_0=" + std::to_string(port_) + "\n" +
           (proxy.empty() ? "" : "\tproxy_0=" + proxy + "\n") + "\tappliance_id=" + id + "\n";
  }
  Args Server(const std::string& host = "127.0.0.1") const {
    return {"-s", host, "-n", std::to_string(port_), "-p", "http"};
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  TempDir tmp_;
  const std::string dir_ = tmp_.path, conf_ = dir_ + "/kelvor.conf", log_ = dir_ + "/install.log";
  const std::string simOut_ = dir_ + "/sim.out", toolOut_ = dir_ + "/tool.out";
  pid_t sim_ = -1;
  int port_ = 0;
};

}  // namespace kl

namespace {

using kl::Args;
using kl::operator+;

using InitialValidate = kl::ToolTest;

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

// What must stay the same of a path the tool refused.
std::string Snapshot(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "missing";
  return std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + " " +
         std::to_string(st.st_nlink) + " " + (S_ISREG(st.st_mode) ? kl::ReadWholeFile(path) : "");
}

TEST_F(InitialValidate, ServerAnswersAndFilesGiveTheirCodes) {
  Write(dir_ + "/customers.json", R"({"customers": [{"name": "Acme Labs", "id": "7001"},
      {"name": "Refused Corp", "id": "7002"}], "appliances": ["42"],
      "refuseRegistration": ["7002"]})");
  ASSERT_NO_FATAL_FAILURE(StartSimulator({"--customers", dir_ + "/customers.json"}));
  // What lies at -f or -l must be a regular file of ours with one link: anything else is refused
  // before the server is asked, and left exactly as it was.
  const std::string stale(500, 'x'), symlinked = dir_ + "/link", fifo = dir_ + "/fifo",
                                     folder = dir_ + "/folder", others = dir_ + "/others",
                                     linked = dir_ + "/linked";
  Write(dir_ + "/target", "keep\n");
  Write(others, "someone's\n");
  Write(linked, "linked\n");
  ASSERT_EQ(symlink((dir_ + "/target").c_str(), symlinked.c_str()), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  ASSERT_EQ(link(linked.c_str(), (linked + "2").c_str()), 0);
  ASSERT_EQ(chmod(others.c_str(), 0666), 0);
  const bool root = chown(others.c_str(), 65534, 65534) == 0;  // else no file of another user
  const auto snapshots = [&] {
    return Snapshot(dir_ + "/target") + Snapshot(symlinked) + Snapshot(fifo) + Snapshot(folder) +
           Snapshot(others) + Snapshot(linked);
  };
  const std::string before = snapshots();
  const Args acme{"-c", "Acme Labs", "-i", "7001"};
  const std::string proxy = "127.0.0.1:" + std::to_string(port_);
  const struct {
    Args args;
    int code;
    std::string text = "";  // code 0: the file written; 16: why -f (the last argument) is refused
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
      {Server() + acme + Args{"-f", symlinked}, 16, "it is a symbolic link"},
      {Server() + acme + Args{"-f", fifo}, 16, "it is not a regular file"},
      {Server() + acme + Args{"-f", folder}, 16, "it is not a regular file"},
      {Server() + acme + Args{"-f", others}, 16, "another user owns it"},
      {Server() + acme + Args{"-f", linked}, 16, "it has more than one link"},
      {Server() + acme + Args{"-l", symlinked}, 17},
      {Server() + acme + Args{"-l", fifo}, 17},
      {Server() + acme + Args{"-l", folder}, 17},
      {Server() + acme + Args{"-l", others}, 17},
      {Server() + acme + Args{"-l", linked}, 17},
  };
  for (const auto& c : cases) {
    const std::string shown = c.args[1] + " " + c.args.back();
    if (!root && c.args.back() == others) {
      printf("skipped without root: %s\n", shown.c_str());
      continue;
    }
    Write(conf_, stale);
    chmod(conf_.c_str(), 0644);
    unlink(log_.c_str());
    const std::string asked = SimulatorOutput();
    const int code = Tool(c.args, c.noHostName);
    if (code == kl::kNoNamespace) {
      printf("skipped without root: %s\n", shown.c_str());
      continue;
    }
    EXPECT_EQ(code, c.code) << shown << "\n" << ToolOutput();
    EXPECT_EQ(kl::ReadWholeFile(conf_), c.code == 0 ? c.text : stale) << shown;
    if (c.code == 0) {
      struct stat st {};
      ASSERT_EQ(stat(conf_.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << shown;  // a new file, whatever the old one's mode
    }
    if (c.code >= 16) {
      EXPECT_EQ(SimulatorOutput(), asked) << shown;  // refused before the server was asked
    }
    if (c.code == 17) {  // no log to write to
      EXPECT_NE(ToolOutput().find("install log, or it is not ours to write: " + c.args.back()),
                std::string::npos)
          << shown << ToolOutput();
      continue;
    }
    const std::string log = kl::ReadWholeFile(log_);
    EXPECT_NE(log.find("\tInitialValidate finished -- exit code " + std::to_string(c.code) + ": "),
              std::string::npos)
        << shown << "\n"
        << log;
    if (c.code == 16) {
      EXPECT_NE(log.find("\tCannot write the configuration file " + c.args.back() + " -- " +
                         c.text + "\n"),
                std::string::npos)
          << log;
    }
  }
  EXPECT_EQ(snapshots(), before);  // no link followed, nothing refused touched
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

class ToolFaults : public kl::ToolTest {
 protected:
  const Args demo_{"-c", "Demo Customer", "-i", "1001"};

  // The names in `dir`, to see that no new file of the tool's is left behind.
  static std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
};

// With the disk full after the server registered the appliance, the old configuration stays
// whole and no new file is left beside it. The disk is a small tmpfs in a mount namespace of
// the test's own, which needs root.
TEST_F(ToolFaults, AFullDiskLeavesTheOldConfigurationWhole) {
  const std::string full = dir_ + "/full";
  ASSERT_EQ(mkdir(full.c_str(), 0700), 0);
  if (unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
  }
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  const std::string conf = full + "/kelvor.conf", old = "[server]\n\tserver_0=old\n";
  Write(conf, old);
  {
    std::ofstream filler(full + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    for (int i = 0; i < 1000 && filler.write(block.data(), block.size()).flush(); ++i) {
    }
  }
  EXPECT_EQ(Tool(Server() + demo_ + Args{"-f", conf}), 16) << ToolOutput();
  EXPECT_EQ(kl::ReadWholeFile(conf), old);
  EXPECT_EQ(Names(full), (std::set<std::string>{"filler", "kelvor.conf"}));
  EXPECT_NE(SimulatorOutput().find("registered appliance 100000"), std::string::npos);
  EXPECT_NE(
      Log().find("\tCannot write the configuration file " + conf + " -- No space left on device\n"),
      std::string::npos)
      << Log();
  umount2(full.c_str(), MNT_DETACH);
}

// Every log entry must be written until the configuration is in place; a log that fails is
// code 17 and the configuration is not replaced. File-size limits make the writes fail: at
// the first entry (the log is already over the limit) or in the middle of the run.
TEST_F(ToolFaults, ALogThatCannotBeWrittenIsCode17AndReplacesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  const struct {
    size_t logged;  // bytes in the log before the run
    rlim_t limit;
    bool asked;  // whether the server is reached before the failure
  } cases[] = {{5000, 4096, false}, {0, 300, true}};
  const std::string err = toolOut_ + ".err";
  for (const auto& c : cases) {
    Write(conf_, "stale\n");
    Write(log_, std::string(c.logged, '.'));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = c.limit;
    // The child inherits both; a write past the limit then fails with EFBIG.
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const pid_t tool = kl::StartProcess(
        Args{INITIALVALIDATE_PATH} + Server() + demo_ + Args{"-f", conf_, "-l", log_}, "/dev/null",
        err);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(kl::ReapProcess(tool, 60), 17) << c.limit;
    EXPECT_EQ(kl::ReadWholeFile(conf_), "stale\n") << c.limit;
    EXPECT_NE(kl::ReadWholeFile(err).find("install log " + log_ + ": File too large"),
              std::string::npos)
        << kl::ReadWholeFile(err);
    EXPECT_EQ(SimulatorOutput().find("POST") != std::string::npos, c.asked) << c.limit;
  }
  EXPECT_EQ(Names(dir_),
            (std::set<std::string>{"kelvor.conf", "install.log", "sim.out", "tool.out.err"}));
}

// JSON too deep or too large, `n` levels (the outer object counted) or `n` bytes in all, after
// `head`; brackets in a string, after an escaped quote, are text.
struct JsonCase {
  const char* name;
  char kind;  // '[': n levels; '"': brackets in a string; 'x': n bytes
  size_t n;
  bool within;  // the limits
};
const JsonCase kJsonCases[] = {
    {"64 levels", '[', 64, true},
    {"65 levels", '[', 65, false},
    {"30000 levels", '[', 30000, false},
    {"200000 levels", '[', 200000, false},
    {"brackets in a string", '"', 0, true},
    {"64 KiB", 'x', 65536, true},
    {"64 KiB and a byte", 'x', 65537, false},
};
std::string JsonBody(std::string head, const JsonCase& c) {
  if (c.kind == '[')
    return head + ",\"x\":" + std::string(c.n - 1, '[') + std::string(c.n - 1, ']') + "}";
  if (c.kind == '"') return head + R"(,"message":"\")" + std::string(100, '[') + "\"}";
  head += ",\"pad\":\"";
  return head + std::string(c.n - head.size() - 2, 'x') + "\"}";
}

// Answers too deep or too large are not a management server's: code 10, as for any malformed
// answer, and the parser never sees them. The canned server gives the same answer to the
// registration, so an answer within the limits ends in code 15 (no "registered").
TEST_F(ToolFaults, AnswersTooDeepOrTooLargeAreMalformed) {
  for (const JsonCase& c : kJsonCases) {
    const std::string answer = JsonBody(R"({"valid":true)", c);
    kl::CannedServer server(answer);
    ASSERT_NE(server.port(), 0);
    port_ = server.port();
    unlink(log_.c_str());
    EXPECT_EQ(Tool(Server() + Args{"-a", "42"}), c.within ? 15 : 10) << c.name << ToolOutput();
    EXPECT_EQ(server.requests(), c.within ? 2 : 1) << c.name;
    if (!c.within) {
      EXPECT_NE(Log().find("\tCannot reach the management server -- HTTP 200: an answer of " +
                           std::to_string(answer.size()) +
                           " bytes, larger than allowed or nested too deeply\n"),
                std::string::npos)
          << c.name << "\n"
          << Log();
    }
  }
}

// The simulator answers 400 to a request too deep or too large, never parses it, and goes on
// serving on the same connection; a registration must name the machine, so an empty host name is
// refused like a missing one.
TEST_F(ToolFaults, SimulatorRefusesBadRequestsAndGoesOn) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  httplib::Client client("127.0.0.1", port_);
  client.set_keep_alive(true);
  int connections = 0;
  client.set_socket_options([&connections](int) { ++connections; });
  const auto post = [&client](const std::string& path, const std::string& body) {
    const auto answer = client.Post(path.c_str(), body, "application/json");
    return answer ? std::to_string(answer->status) + " " + answer->body : "no answer";
  };
  const std::string refused =
      R"(400 {"error":"the body is larger than 64 KiB or nested deeper than 64 levels"})";
  for (const JsonCase& c : kJsonCases) {
    EXPECT_EQ(post("/api/v1/validate", JsonBody(R"({"applianceId":"42")", c)),
              c.within ? R"(200 {"valid":true})" : refused)
        << c.name;
    EXPECT_EQ(post("/api/v1/validate", R"({"applianceId":"42"})"), R"(200 {"valid":true})")
        << "after " << c.name;
  }
  for (const std::string hostName : {"", "mac-01"}) {
    EXPECT_EQ(post("/api/v1/register", R"({"applianceId":"42","hostName":")" + hostName +
                                           R"(","osName":"x","osVersion":"1"})")
                  .substr(0, 3),
              hostName.empty() ? "400" : "200");
  }
  EXPECT_EQ(connections, 1);
}

// Values from outside reach the log with their control characters escaped: none can start a
// line of its own, so the log has exactly one line per entry.
TEST_F(ToolFaults, ValuesFromOutsideCannotForgeLogLines) {
  kl::CannedServer server(
      R"({"valid":false,"rejected":"customerName","message":"no\n01/01/70 00:00:00\tforged -- x\u0007\\"})");
  ASSERT_NE(server.port(), 0);
  port_ = server.port();
  const std::string odd = dir_ + "/a\nb";
  ASSERT_EQ(mkdir(odd.c_str(), 0700), 0);
  const struct {
    Args args;
    int code;
    std::string line;  // one of the log's lines, exactly
  } cases[] = {
      {Server() + Args{"-c", "Acme"}, 11,
       "STAMP\tValidation failed -- rejected customerName: "
       "no\\n01/01/70 00:00:00\\tforged -- x\\x07\\\\\n"},
      {Server() + Args{"-a", "42", "-x", "127.0.0.1:1\rforged"}, 10,
       "STAMP\tInitialValidate started -- http://127.0.0.1:" + std::to_string(port_) +
           " through proxy 127.0.0.1:1\\rforged\n"},
      {Server() + Args{"-a", "42", "-f", odd}, 16,
       "STAMP\tCannot write the configuration file " + dir_ +
           "/a\\nb -- it is not a regular file\n"},
  };
  for (const auto& c : cases) {
    unlink(log_.c_str());
    EXPECT_EQ(Tool(c.args), c.code) << c.line;
    const std::string log = Log();
    EXPECT_NE(log.find(c.line), std::string::npos) << log;
    // started, one line per step taken, finished: every line is an entry of its own
    size_t entries = 0;
    for (size_t at = 0; (at = log.find("STAMP\t", at)) != std::string::npos; ++at) ++entries;
    EXPECT_EQ(static_cast<size_t>(std::count(log.begin(), log.end(), '\n')), entries) << log;
    EXPECT_EQ(log.rfind("STAMP\t", 0), 0u) << log;
  }
}

// Clients that connect and say nothing hold no worker another client needs: a request made
// after twenty of them is answered while all twenty are still open, that is before the read
// timeout that ends them could have freed a worker.
TEST_F(ToolFaults, SilentClientsDoNotHoldUpOthers) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<int> silent;
  for (int i = 0; i < 20; ++i) {
    silent.push_back(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(connect(silent.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  const auto answer = httplib::Client("127.0.0.1", port_)
                          .Post("/api/v1/validate", R"({"applianceId":"42"})", "application/json");
  EXPECT_EQ(answer ? answer->status : 0, 200);
  int closed = 0;
  for (const int fd : silent) {
    char byte;
    closed += recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0 ? 1 : 0;
    close(fd);
  }
  EXPECT_EQ(closed, 0);
}

// --version on standard output; usage errors: the simulator's exit 2, the tool keeps its own
// contract (code 9 for an unrecognized option). Both on standard error.
TEST(ToolCommandLines, VersionAndUsageErrors) {
  const struct {
    const char* tool;
    Args args;
    int code;
    std::string out;  // standard output, exactly; standard error is empty just when it is not
  } cases[] = {
      {INITIALVALIDATE_PATH, {"--version"}, 0, "InitialValidate " KL_VERSION "\n"},
      {INITIALVALIDATE_PATH,
       {"--versio", "-s", "127.0.0.1", "-n", "1", "-p", "http", "-f", "f", "-a", "42", "-l", "l"},
       9,
       ""},
      {MGMT_SIM_PATH, {"--version"}, 0, "kelvory-mgmt-sim " KL_VERSION "\n"},
      {MGMT_SIM_PATH, {"--bogus"}, 2, ""},
      {MGMT_SIM_PATH, {"--port", "70000"}, 2, ""},
      {MGMT_SIM_PATH, {"--port"}, 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tool) + " " + c.args[0]);
    const kl::ProcessRun run = kl::RunProcess(c.tool, c.args);
    EXPECT_EQ(run.exitCode, c.code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err.empty(), !c.out.empty()) << run.err;
  }
}

}  // namespace
