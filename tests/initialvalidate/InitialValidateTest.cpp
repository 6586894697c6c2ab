// InitialValidate against kelvory-mgmt-sim, both run as real processes on loopback only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "LogText.h"

namespace {

using Args = std::vector<std::string>;
using Clock = std::chrono::steady_clock;
constexpr int kNoNamespace = 99;  // the child could not take a host name away

Args operator+(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Waits at most `seconds` for `pid`, then kills it. The exit code, or 128 + signal.
int Reap(pid_t pid, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts `args` with standard output and error in `out`; optionally in a UTS namespace
// whose host name is empty (needs root).
pid_t Start(const Args& args, const std::string& out, bool noHostName = false) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 1);
  dup2(fd, 2);
  if (noHostName && (unshare(CLONE_NEWUTS) != 0 || sethostname("", 0) != 0)) _exit(kNoNamespace);
  execv(argv[0], argv.data());
  _exit(127);
}

// Sends raw bytes to 127.0.0.1:port and returns the answer's head (or what came before the
// connection closed). The sending side stays open: the server drops half-closed connections.
std::string Exchange(int port, const std::string& bytes) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const timeval bound{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
      write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
    char buffer[4096];
    for (ssize_t n; answer.find("\r\n\r\n") == std::string::npos &&
                    (n = read(fd, buffer, sizeof buffer)) > 0;) {
      answer.append(buffer, n);
    }
  }
  close(fd);
  return answer;
}

class InitialValidate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Proxy settings from the environment must not matter: honoured, http_proxy would send the
    // requests to a refusing address and no_proxy would bypass the -x proxy to 127.0.0.2.
    setenv("http_proxy", "http://127.0.0.2:9", 1);
    setenv("all_proxy", "http://127.0.0.2:9", 1);
    setenv("no_proxy", "127.0.0.2", 1);
  }
  void SetUp() override {
    char dir[] = "/tmp/initialvalidate_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    conf_ = dir_ + "/kelvor.conf";
    log_ = dir_ + "/install.log";
  }
  void TearDown() override {
    if (sim_ > 0) StopSimulator();
    (void)system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Starts the simulator and reads its port from the first line it prints.
  void StartSimulator(const Args& options) {
    simOut_ = dir_ + "/sim.out";
    sim_ = Start(Args{MGMT_SIM_PATH} + options, simOut_);
    const auto end = Clock::now() + std::chrono::seconds(20);
    std::string out;
    while ((out = kl::ReadWholeFile(simOut_)).find('\n') == std::string::npos) {
      ASSERT_LT(Clock::now(), end) << "simulator did not start: " << out;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(out.rfind(prefix, 0), 0u) << out;
    port_ = std::stoi(out.substr(prefix.size()));
    ASSERT_EQ(out.substr(0, out.find('\n')), prefix + std::to_string(port_));
  }
  int StopSimulator() {
    kill(sim_, SIGTERM);
    const int code = Reap(sim_, 10);
    sim_ = -1;
    return code;
  }

  struct Result {
    int code;
    double seconds;
  };
  // Runs the tool; -f and -l get the test's files unless `args` names them.
  Result Tool(Args args, bool noHostName = false) {
    const auto has = [&](const char* o) {
      return std::find(args.begin(), args.end(), o) != args.end();
    };
    if (!has("-f")) args = args + Args{"-f", conf_};
    if (!has("-l")) args = args + Args{"-l", log_};
    const auto start = Clock::now();
    const int code =
        Reap(Start(Args{INITIALVALIDATE_PATH} + args, dir_ + "/tool.out", noHostName), 60);
    return {code, std::chrono::duration<double>(Clock::now() - start).count()};
  }
  std::string Conf(const std::string& id, const std::string& proxy = "",
                   const std::string& host = "127.0.0.1") const {
    return "[server]\n\tserver_0=" + host +
           "\n\tprotocol_0=http\n\tport_0=" + std::to_string(port_) + "\n" +
           (proxy.empty() ? "" : "\tproxy_0=" + proxy + "\n") + "\tappliance_id=" + id + "\n";
  }
  Args Server(const std::string& host = "127.0.0.1") const {
    return {"-s", host, "-n", std::to_string(port_), "-p", "http"};
  }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string dir_, conf_, log_, simOut_;
  pid_t sim_ = -1;
  int port_ = 0;
};

TEST_F(InitialValidate, OptionFaultsGiveTheirCodeBeforeAnythingIsOpened) {
  const Args base{"-s", "127.0.0.1", "-n", "1", "-p", "http", "-f", conf_, "-a", "42", "-l", log_};
  Args manyF;
  for (int i = 0; i < 10000; ++i) manyF.insert(manyF.end(), {"-f", "x"});
  const struct {
    Args drop, add;  // options dropped from `base` (with their values), arguments appended
    int code;
  } cases[] = {
      {{"-s"}, {}, 1},
      {{"-s"}, {"-s", "   "}, 1},
      {{"-s"}, {"-s", "https://"}, 1},
      {{"-n"}, {}, 1},
      {{"-n"}, {"-n", "0"}, 1},
      {{"-n"}, {"-n", "65537"}, 1},
      {{"-n"}, {"-n", "8o"}, 1},
      {{"-n"}, {"-n", std::string(5000, '9')}, 1},
      {{"-p"}, {"-p", "HTTP"}, 1},
      {{"-p"}, {"-p", "ftp"}, 1},
      {{}, {"-s", "127.0.0.1"}, 2},
      {{}, {"-n", "1"}, 2},
      {{}, {"-p", "http"}, 2},
      {{"-f"}, {}, 3},
      {{"-f"}, {"-f", ""}, 3},
      {{}, {"-f", conf_}, 4},
      {{}, manyF, 4},
      {{"-a"}, {}, 5},
      {{"-a"}, {"-c", "", "-i", ""}, 5},
      {{}, {"-c", "Acme Labs"}, 6},
      {{}, {"-i", "7001"}, 6},
      {{"-l"}, {}, 7},
      {{"-l", "-f"}, {"-f", "-l"}, 7},  // "-l" is the value of -f
      {{"-a", "-l"}, {"-c", std::string(100000, 'c')}, 7},
      {{}, {"-l", log_}, 8},
      {{}, {"-z", "v"}, 9},
      {{}, {"extra"}, 9},
      {{}, {"-s127.0.0.1"}, 9},
      {{}, {std::string("-\xff"), "\x01"}, 9},
      {{}, {"-x"}, 9},  // no value
      {{"-s"}, {"-f", "x"}, 1},
      {{"-f"}, {"-s", "127.0.0.1"}, 2},
      {{"-l"}, {"-f", "x"}, 4},
      {{"-a", "-l"}, {"-l"}, 5},
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
    EXPECT_EQ(Reap(Start(Args{INITIALVALIDATE_PATH} + args, dir_ + "/out"), 60), c.code) << shown;
    struct stat st;
    EXPECT_NE(stat(log_.c_str(), &st), 0) << "log opened for " << shown;
  }
}

TEST_F(InitialValidate, ServerAnswersAndFilesGiveTheirCodes) {
  Write(dir_ + "/customers.json", R"({"customers": [{"name": "Acme Labs", "id": "7001"},
      {"name": "Refused Corp", "id": "7002"}], "appliances": ["42", "77"],
      "refuseRegistration": ["7002", "77"]})");
  ASSERT_NO_FATAL_FAILURE(StartSimulator({"--customers", dir_ + "/customers.json"}));
  const std::string stale(500, 'x'), target = dir_ + "/target", link = dir_ + "/link";
  Write(target, "keep\n");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  const Args acme{"-c", "Acme Labs", "-i", "7001"};
  const struct {
    Args args;
    int code;
    std::string applianceId = "";  // with code 0
    bool noHostName = false;
  } cases[] = {
      {Server() + acme, 0, "100000"},
      {Server() + Args{"-c", "Acme Labs"}, 0, "100001"},
      {Server() + Args{"-i", "7001"}, 0, "100002"},
      {Server("  http://u@127.0.0.1:1/path ") + Args{"-a", "42"}, 0, "42"},
      {Server("127.0.0.2") + Args{"-a", "42"}, 10},  // refuses connections
      {{"-s", "127.0.0.1", "-n", std::to_string(port_), "-p", "https", "-a", "42"}, 10},
      {{"-s", "127.0.0.1", "-n", "65536", "-p", "http", "-a", "42"}, 10},
      {Server() + Args{"-c", "Nobody", "-i", "7001"}, 11},
      {Server() + Args{"-c", "Acme Labs", "-i", "7002"}, 12},
      {Server() + Args{"-i", "9999"}, 12},
      {Server() + Args{"-a", "43"}, 13},
      {Server() + Args{"-a", "-5"}, 13},
      {Server() + acme, 14, "", true},
      {Server() + Args{"-c", "Refused Corp", "-i", "7002"}, 15},
      {Server() + Args{"-a", "77"}, 15},
      {Server() + acme + Args{"-f", dir_ + "/missing/kelvor.conf"}, 16},
      {Server() + acme + Args{"-f", dir_}, 16},
      {Server() + acme + Args{"-f", link}, 16},
      {Server() + acme + Args{"-l", dir_ + "/missing/install.log"}, 17},
      {Server() + acme + Args{"-l", dir_}, 17},
      {Server() + acme + Args{"-l", link}, 17},
  };
  for (const auto& c : cases) {
    Write(conf_, stale);
    unlink(log_.c_str());
    const Result r = Tool(c.args, c.noHostName);
    const std::string shown = c.args[1] + " " + c.args.back();
    if (r.code == kNoNamespace) {
      printf("skipped without root: %s\n", shown.c_str());
      continue;
    }
    EXPECT_EQ(r.code, c.code) << shown << "\n" << kl::ReadWholeFile(dir_ + "/tool.out");
    EXPECT_LT(r.seconds, 30) << shown;
    EXPECT_EQ(kl::ReadWholeFile(conf_), c.code == 0 ? Conf(c.applianceId) : stale) << shown;
    if (c.code == 17) continue;
    const std::string log = kl::MaskStamps(kl::ReadWholeFile(log_));
    EXPECT_EQ(log.rfind("STAMP\tInitialValidate started -- ", 0), 0u) << shown << "\n" << log;
    const std::string last = log.substr(log.rfind("STAMP\t"));
    EXPECT_EQ(
        last.rfind("STAMP\tInitialValidate finished -- exit code " + std::to_string(c.code) + ": ",
                   0),
        0u)
        << shown << "\n"
        << log;
  }
  EXPECT_EQ(kl::ReadWholeFile(target), "keep\n");
}

TEST_F(InitialValidate, ProxyCarriesTheRequests) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  // 127.0.0.2 refuses connections: only the simulator, taking the proxy's part, can answer.
  const std::string proxy = "127.0.0.1:" + std::to_string(port_);
  EXPECT_EQ(Tool(Server("127.0.0.2") + Args{"-x", proxy, "-a", "42"}).code, 0);
  EXPECT_EQ(kl::ReadWholeFile(conf_), Conf("42", proxy, "127.0.0.2"));
  const std::string requests = kl::ReadWholeFile(simOut_);
  for (const char* path : {"validate", "register"}) {
    const std::string line =
        "POST http://127.0.0.2:" + std::to_string(port_) + "/api/v1/" + path + " 200 (proxied)\n";
    EXPECT_NE(requests.find(line), std::string::npos) << requests;
  }
}

TEST_F(InitialValidate, DemoCustomerAgainstSimulatorThatSurvivesJunkAndStopsOnSignal) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  EXPECT_EQ(Exchange(port_, "GARBAGE\r\n\r\n").rfind("HTTP/1.1 400 ", 0), 0u);
  const std::string junkJson =
      "POST /api/v1/register HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 1\r\n"
      "\r\n{";
  EXPECT_EQ(Exchange(port_, junkJson).rfind("HTTP/1.1 400 ", 0), 0u);
  Write(log_, "earlier entry\n");
  ASSERT_EQ(Tool(Server() + Args{"-c", "Demo Customer", "-i", "1001"}).code, 0);
  EXPECT_EQ(kl::ReadWholeFile(conf_), Conf("100000"));
  char host[256] = {0};
  gethostname(host, sizeof host - 1);
  utsname os{};
  uname(&os);
  const std::string url = "http://127.0.0.1:" + std::to_string(port_);
  EXPECT_EQ(kl::MaskStamps(kl::ReadWholeFile(log_)),
            "earlier entry\n"
            "STAMP\tInitialValidate started -- " +
                url +
                "\n"
                "STAMP\tValidating with the management server -- " +
                url +
                "/api/v1/validate\n"
                "STAMP\tValidation succeeded -- \n"
                "STAMP\tLocal discovery -- " +
                std::string(host) + ", " + os.sysname + " " + os.release +
                "\n"
                "STAMP\tRegistered as appliance -- 100000\n"
                "STAMP\tConfiguration file created -- " +
                conf_ +
                "\n"
                "STAMP\tInitialValidate finished -- exit code 0: success: validated, registered, "
                "configuration file written\n");
  EXPECT_EQ(StopSimulator(), 0);
  const std::string out = kl::ReadWholeFile(simOut_);
  EXPECT_EQ(out.substr(out.size() - 8), "stopped\n");
}

}  // namespace
