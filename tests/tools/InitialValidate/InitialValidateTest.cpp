// InitialValidate and kelvory-mgmt-sim as real processes on loopback only: the tool's codes and
// log against the simulator, and both under faults and hostile input.
#include <gtest/gtest.h>
#include <httplib.h>
#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#endif
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "ToolRun.h"

namespace kl {

// A management server that is not one: every POST on 127.0.0.1 gets `answer` with status 200,
// from its own thread until destroyed. `port` is 0 when it could not listen.
struct CannedServer {
  explicit CannedServer(const std::string& answer) {
    server.Post(".*", [answer](const httplib::Request&, httplib::Response& response) {
      response.set_content(answer, "application/json");
    });
    port = std::max(server.bind_to_any_port("127.0.0.1"), 0);
    if (port != 0) thread = std::thread([this] { server.listen_after_bind(); });
  }
  ~CannedServer() {
    server.stop();
    if (thread.joinable()) thread.join();
  }
  httplib::Server server;
  int port = 0;
  std::thread thread;
};

class ToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Honoured, http_proxy would send the requests to a refusing address and no_proxy would
    // bypass the -x proxy to 127.0.0.2.
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

  // The tool's exit code; -f and -l get the test's files unless `args` names them.
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
  // How many names `dir` holds, to see that no new file of the tool's is left behind.
  static long Names(const std::string& dir) {
    return std::distance(std::filesystem::directory_iterator(dir), {});
  }

  TempDir tmp_;
  const std::string dir_ = tmp_.path, conf_ = dir_ + "/kelvor.conf", log_ = dir_ + "/install.log";
  const std::string simOut_ = dir_ + "/sim.out", toolOut_ = dir_ + "/tool.out";
  const Args demo_{"-c", "Demo Customer", "-i", "1001"};  // the simulator's own customer
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
      // Written into the [server] section: a line break would forge lines of its own.
      {{"-s"}, {"-s", "127.0.0.1\n[main]"}, 1},
      {{"-s"}, {"-s", "127.0.0.1 x"}, 1},
      {{}, {"-x", "127.0.0.1:3128\r\n[main]"}, 1},
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
      if (std::find(c.drop.begin(), c.drop.end(), base[i]) == c.drop.end())
        args = args + Args{base[i], base[i + 1]};
    }
    args = args + c.add;
    EXPECT_EQ(kl::RunProcess(INITIALVALIDATE_PATH, args).exitCode, c.code) << args.back();
    EXPECT_NE(access(log_.c_str(), F_OK), 0) << "log opened for " << args.back();
  }
}

// How often `what` occurs in `text`.
int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// What must stay the same of a path the tool refused.
std::string Snapshot(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "missing";
  return std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + " " +
         std::to_string(st.st_nlink) + " " + (S_ISREG(st.st_mode) ? kl::ReadWholeFile(path) : "");
}

TEST_F(InitialValidate, ServerAnswersAndFilesGiveTheirCodes) {
  tmp_.Write("customers.json", R"({"customers": [{"name": "Acme Labs", "id": "7001"},
      {"name": "Refused Corp", "id": "7002"}], "appliances": ["42", "1234567890", "12345678901"],
      "refuseRegistration": ["7002"]})");
  ASSERT_NO_FATAL_FAILURE(StartSimulator({"--customers", dir_ + "/customers.json"}));
  // What lies at -f or -l must be a regular file of ours with one link: anything else is refused
  // before the server is asked, and left exactly as it was.
  const std::string stale(500, 'x'),
      target = tmp_.Write("target", "keep\n"), symlinked = dir_ + "/link", fifo = dir_ + "/fifo",
      folder = dir_ + "/folder", others = tmp_.Write("others", "someone's\n"),
      linked = tmp_.Write("l", "l\n");
  ASSERT_EQ(symlink(target.c_str(), symlinked.c_str()) | mkfifo(fifo.c_str(), 0666) |
                mkdir(folder.c_str(), 0777) | link(linked.c_str(), (linked + "2").c_str()) |
                chmod(others.c_str(), 0666),
            0);
  if (chown(others.c_str(), 65534, 65534) != 0)
    GTEST_SKIP() << "a file of another user, and the run without a host name, need root";
  const auto snapshots = [&] {
    std::string all;
    for (const auto& path : {target, symlinked, fifo, folder, others, linked})
      all += Snapshot(path);
    return all;
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
      {Server("2001:db8::1") + Args{"-x", proxy, "-a", "42"}, 0, Conf("42", proxy, "2001:db8::1")},
      {Server("127.0.0.2") + Args{"-a", "42"}, 10},
      {{"-s", "127.0.0.1", "-n", "65536", "-p", "http", "-a", "42"}, 10},
      {Server() + Args{"-c", "Nobody", "-i", "7001"}, 11},
      {Server() + Args{"-c", "Acme Labs", "-i", "7002"}, 12},
      {Server() + Args{"-a", "43"}, 13},
      // The server's appliance ID: ten digits at most.
      {Server() + Args{"-a", "1234567890"}, 0, Conf("1234567890")},
      {Server() + Args{"-a", "12345678901"}, 15},
      {Server() + acme, 14, "", true},
      {Server() + Args{"-c", "Refused Corp", "-i", "7002"}, 15},
      {Server() + acme + Args{"-f", symlinked}, 16, "it is a symbolic link"},
      {Server() + acme + Args{"-f", fifo}, 16, "it is not a regular file"},
      {Server() + acme + Args{"-f", folder}, 16, "it is not a regular file"},
      {Server() + acme + Args{"-f", others}, 16, "another user owns it"},
      {Server() + acme + Args{"-f", linked}, 16, "it has more than one link"},
      // The log passes the same check as -f.
      {Server() + acme + Args{"-l", symlinked}, 17},
      {Server() + acme + Args{"-l", others}, 17},
      {Server() + acme + Args{"-l", fifo}, 17},
  };
  char host[256] = {0};
  gethostname(host, sizeof host - 1);
  utsname os{};
  uname(&os);
  const std::string url = "http://127.0.0.1:" + std::to_string(port_);
  std::string steps = "earlier entry\n";  // the log is appended to, never replaced
  for (const std::string& entry : std::vector<std::string>{
           "InitialValidate started -- " + url,
           "Validating with the management server -- " + url + "/api/v1/validate",
           "Validation succeeded -- ",
           "Local discovery -- " + std::string(host) + ", " + os.sysname + " " + os.release,
           "Registered as appliance -- 100000", "Configuration file created -- " + conf_,
           "InitialValidate finished -- exit code 0: success: validated, registered, configuration "
           "file written"}) {
    steps += "STAMP\t" + entry + "\n";
  }
  for (const auto& c : cases) {
    if (c.noHostName && !kl::kCanClearHostName) continue;
    const std::string shown = c.args[1] + " " + c.args.back();
    tmp_.Write("kelvor.conf", stale);
    chmod(conf_.c_str(), 0644);
    tmp_.Write("install.log", "earlier entry\n");
    const std::string asked = SimulatorOutput();
    EXPECT_EQ(Tool(c.args, c.noHostName), c.code) << shown << "\n" << ToolOutput();
    EXPECT_EQ(kl::ReadWholeFile(conf_), c.code == 0 ? c.text : stale) << shown;
    if (&c == cases) {
      EXPECT_EQ(Log(), steps);  // every step of a run that succeeds
    }
    struct stat st {};
    stat(conf_.c_str(), &st);  // a new file, whatever the old one's mode
    EXPECT_EQ(st.st_mode & 0777, c.code == 0 ? 0600u : 0644u) << shown;
    if (c.code >= 16) {
      EXPECT_EQ(SimulatorOutput(), asked) << shown;  // before the server is asked
    }
    // Why, in the log; without a log to write to, on standard error.
    const std::string why =
        c.code == 17   ? "install log, or it is not ours to write: " + c.args.back()
        : c.code == 16 ? "\tCannot write the configuration file " + c.args.back() + " -- " + c.text
                       : "\tInitialValidate finished -- exit code " + std::to_string(c.code) + ": ";
    const std::string said = c.code == 17 ? ToolOutput() : kl::ReadWholeFile(log_);
    EXPECT_NE(said.find(why), std::string::npos) << shown << "\n" << said;
  }
  EXPECT_EQ(snapshots(), before);  // no link followed, nothing refused touched
}

using ToolFaults = kl::ToolTest;

// A disk full after the registration leaves the old configuration whole and no new file beside
// it (a small tmpfs in a mount namespace of the test's own, which needs root).
TEST_F(ToolFaults, AFullDiskLeavesTheOldConfigurationWhole) {
#if !defined(__linux__)
  GTEST_SKIP() << "a private tmpfs needs a Linux mount namespace";
#else
  const std::string full = dir_ + "/full";
  ASSERT_EQ(mkdir(full.c_str(), 0700), 0);
  if (unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
  }
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  const std::string conf = full + "/kelvor.conf", old = "[server]\n\tserver_0=old\n";
  tmp_.Write("full/kelvor.conf", old);
  tmp_.Write("full/filler", std::string(1 << 17, 'x'));  // as much as fits
  EXPECT_EQ(Tool(Server() + demo_ + Args{"-f", conf}), 16) << ToolOutput();
  EXPECT_EQ(kl::ReadWholeFile(conf), old);
  EXPECT_EQ(Names(full), 2);  // the filler and the configuration
  EXPECT_NE(SimulatorOutput().find("registered appliance 100000"), std::string::npos);
  EXPECT_NE(
      Log().find("\tCannot write the configuration file " + conf + " -- No space left on device\n"),
      std::string::npos)
      << Log();
  umount2(full.c_str(), MNT_DETACH);
#endif
}

// Every log entry must be written until the configuration is in place: a file-size limit,
// which the tool inherits, makes a write in the middle of the run fail (EFBIG); that is code 17
// and the old configuration stays, with no new file beside it.
TEST_F(ToolFaults, ALogThatCannotBeWrittenIsCode17AndReplacesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  tmp_.Write("kelvor.conf", "stale\n");
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 300;
  const auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const pid_t tool = kl::StartProcess(
      Args{INITIALVALIDATE_PATH} + Server() + demo_ + Args{"-f", conf_, "-l", log_}, "/dev/null",
      toolOut_);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(kl::ReapProcess(tool, 60), 17);
  EXPECT_EQ(kl::ReadWholeFile(conf_), "stale\n");
  EXPECT_NE(ToolOutput().find("install log " + log_ + ": File too large"), std::string::npos)
      << ToolOutput();
  EXPECT_NE(SimulatorOutput().find("POST"), std::string::npos);  // failed after the server
  EXPECT_EQ(Names(dir_), 4);  // the configuration, the log, and both outputs
}

// JSON of `n` levels (the outer object counted) or `n` bytes after `head`, or brackets in a string.
struct JsonCase {
  const char* name;
  char kind;  // '[': n levels; '"': brackets in a string; 'x': n bytes
  size_t n;
  bool within;  // the limits
};
const JsonCase kJsonCases[] = {
    {"64 levels", '[', 64, true},          {"65 levels", '[', 65, false},
    {"200000 levels", '[', 200000, false}, {"brackets in a string", '"', 0, true},
    {"64 KiB", 'x', 65536, true},          {"64 KiB and a byte", 'x', 65537, false},
};
std::string JsonBody(std::string head, const JsonCase& c) {
  if (c.kind == '[')
    return head + ",\"x\":" + std::string(c.n - 1, '[') + std::string(c.n - 1, ']') + "}";
  if (c.kind == '"') return head + R"(,"message":"\")" + std::string(100, '[') + "\"}";
  head += ",\"pad\":\"";
  return head + std::string(c.n - head.size() - 2, 'x') + "\"}";
}

// The simulator answers 400 to a request too deep or too large, never parses it, and goes on
// serving on the same connection; a registration with an empty host name is refused.
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
  // An appliance is registered under its own ID.
  for (const std::string hostName : {"", "mac-01"}) {
    const std::string answer =
        post("/api/v1/register", R"({"applianceId":"42","hostName":")" + hostName +
                                     R"(","osName":"x","osVersion":"1"})");
    EXPECT_EQ(hostName.empty() ? answer.substr(0, 3) : answer,
              hostName.empty() ? "400" : R"(200 {"applianceId":"42","registered":true})");
  }
  EXPECT_EQ(connections, 1);
}

// Values from outside reach the log with their control characters escaped: none can start a
// line of its own, so the log has exactly one line per entry. An answer past the limits the
// simulator's test decides is code 10, as any malformed answer, and never reaches the parser.
TEST_F(ToolFaults, ValuesFromOutsideCannotForgeLogLines) {
  const std::string forged =
      R"({"valid":false,"rejected":"customerName","message":"no\n01/01/70 00:00:00\tforged -- x\u0007\\"})";
  const std::string deep = JsonBody(R"({"valid":true)", kJsonCases[1]),
                    large = JsonBody(R"({"valid":true)", kJsonCases[5]);
  const std::string odd = dir_ + "/a\nb";
  ASSERT_EQ(mkdir(odd.c_str(), 0700), 0);
  const struct {
    std::string answer, line;  // the end of one of the log's lines, exactly
    int code;
    Args args;
  } cases[] = {
      {forged,
       "\tValidation failed -- rejected customerName: no\\n01/01/70 00:00:00\\tforged -- "
       "x\\x07\\\\\n",
       11, Args{"-c", "Acme"}},
      // (A proxy with a control character is refused before the log: code 1.)
      {forged, " through proxy 127.0.0.1:1\\\\forged\n", 10,
       Args{"-a", "42", "-x", "127.0.0.1:1\\forged"}},
      {forged,
       "\tCannot write the configuration file " + dir_ + "/a\\nb -- it is not a regular file\n", 16,
       Args{"-a", "42", "-f", odd}},
      {deep, std::to_string(deep.size()) + " bytes, larger than allowed or nested too deeply\n", 10,
       Args{"-a", "42"}},
      {large, std::to_string(large.size()) + " bytes, larger than allowed or nested too deeply\n",
       10, Args{"-a", "42"}},
  };
  for (const auto& c : cases) {
    kl::CannedServer server(c.answer);
    port_ = server.port;
    unlink(log_.c_str());
    EXPECT_EQ(Tool(Server() + c.args), c.code) << c.line;
    const std::string log = Log();
    EXPECT_NE(log.find(c.line), std::string::npos) << log;
    EXPECT_EQ(Count(log, "\n"), Count(log, "STAMP\t")) << log;  // every line an entry of its own
  }
}

// Slow clients hold no worker another needs: a request after twenty clients that connect and
// say nothing is answered while all of them are still open, before their read timeout could
// free a worker. (Past --max-connections a new connection sheds the one that has waited
// longest: the simulator's own connection test.)
TEST_F(ToolFaults, SilentClientsHoldUpNobody) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<int> clients;
  for (int i = 0; i < 20; ++i) {
    clients.push_back(socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_EQ(connect(clients.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  const auto answer = httplib::Client("127.0.0.1", port_)
                          .Post("/api/v1/validate", R"({"applianceId":"42"})", "application/json");
  EXPECT_EQ(answer ? answer->status : 0, 200);
  for (const int fd : clients) {
    // Still open: the answer did not wait for a timeout. A silent client is sent nothing, so a
    // readable socket is a closed one (its end reads as 0 bytes).
    pollfd p{fd, POLLIN, 0};
    char byte = 0;
    EXPECT_FALSE(poll(&p, 1, 0) > 0 && ((p.revents & (POLLHUP | POLLERR)) != 0 ||
                                        recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0));
    close(fd);
  }
}

using Tls = kl::ToolTest;

// Over https, with a CA and a server certificate from the scripts' own function and certificates
// made wrong on purpose with the same key: every TLS failure is code 10, its cause named in the
// log before libcurl's text. A success counts the simulator's connections: both requests go over
// one, plain, through a proxy (the simulator taking its part) and over https (one handshake).
TEST_F(Tls, FailuresAreCode10AndSayWhy) {
  const std::string d = dir_ + "/tls", ca = d + "/ca.pem";
  const std::string script = ". " SCRIPTS_DIR "/lib.sh && kl_tls_make " + d + " && cd " + d +
                             R"( && {
      sign() { openssl x509 -req -in server.csr -CA ca.pem -CAkey ca-key.pem "$@"; }
      sign -days -1 -extfile server.ext -out expired.pem &&
      printf 'subjectAltName=DNS:other.invalid\n' >other.ext &&
      sign -days 2 -extfile other.ext -out misnamed.pem &&
      openssl req -x509 -key server-key.pem -subj /CN=127.0.0.1 -days 2 \
        -addext subjectAltName=IP:127.0.0.1 -out selfsigned.pem
    } 2>>openssl.log)";
  ASSERT_EQ(kl::RunProcess("/bin/sh", {"-c", script}).exitCode, 0)
      << kl::ReadWholeFile(d + "/openssl.log");
  // The tool's code against a simulator with `cert` ("": plain http), over http, https or a proxy.
  const auto run = [&](const std::string& cert, const std::string& caFile, const char* over) {
    TearDown();
    unlink(simOut_.c_str());  // the new one's first line is its port
    StartSimulator(cert.empty()
                       ? Args{}
                       : Args{"--tls-cert", d + "/" + cert, "--tls-key", d + "/server-key.pem"});
    caFile.empty() ? unsetenv("KELVORY_CA_FILE") : setenv("KELVORY_CA_FILE", caFile.c_str(), 1);
    tmp_.Write("install.log", "");
    const std::string port = std::to_string(port_), proxy = "127.0.0.1:" + port;
    return Tool(Args{"-s", "127.0.0.1", "-n", port, "-p",
                     over == std::string("https") ? "https" : "http", "-a", "42"} +
                (over == std::string("proxy") ? Args{"-x", proxy} : Args{}));
  };
  const struct {
    std::string cert, caFile;
    const char* over;
    std::string why;  // the start of the log's detail line; "": a success
  } cases[] = {
      {"server.pem", ca, "https", ""},
      {"", "", "http", ""},
      {"", "", "proxy", ""},
      {"server.pem", "", "https", "TLS: the server's certificate is not trusted"},
      {"selfsigned.pem", ca, "https", "TLS: the server's certificate is not trusted"},
      {"expired.pem", ca, "https", "TLS: the server's certificate has expired"},
      {"misnamed.pem", ca, "https", "TLS: the server's certificate is not for this host name"},
      {"", ca, "https",
       "TLS: the handshake failed; the server may not speak TLS on this port, or it "
       "refused the handshake (libcurl reports both alike): "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cert + " " + c.caFile + " " + c.over);
    EXPECT_EQ(run(c.cert, c.caFile, c.over), c.why.empty() ? 0 : 10);
    if (c.why.empty()) {
      EXPECT_EQ(Count(SimulatorOutput(), "\nconnection "), 1) << SimulatorOutput();
    }
    EXPECT_NE(Log().find(c.why.empty() ? "\tValidation succeeded"
                                       : "\tCannot reach the management server -- " + c.why),
              std::string::npos)
        << Log();
  }
#if defined(__linux__)
  // KELVORY_CA_FILE adds to the system's store: with the CA bound over the system's bundle (in a
  // mount namespace of the test's own, which needs root), an unrelated file named, still trusted.
  const char* bundle = "/etc/ssl/certs/ca-certificates.crt";
  if (access(bundle, R_OK) != 0 || unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount(ca.c_str(), bundle, nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot bind a file over " << bundle << ": " << strerror(errno);
  }
  EXPECT_EQ(run("server.pem", d + "/selfsigned.pem", "https"), 0) << Log();
  umount(bundle);
#endif
  unsetenv("KELVORY_CA_FILE");
}

// --version on standard output; the simulator's usage errors exit 2 on standard error (the
// tool's own codes are above).
TEST(ToolCommandLines, VersionAndUsageErrors) {
  const struct {
    const char* tool;
    Args args;
    int code;
    std::string out;  // standard output, exactly; standard error is empty just when it is not
  } cases[] = {
      {INITIALVALIDATE_PATH, {"--version"}, 0, "InitialValidate " KL_VERSION "\n"},
      {MGMT_SIM_PATH, {"--version"}, 0, "kelvory-mgmt-sim " KL_VERSION "\n"},
      {MGMT_SIM_PATH, {"--bogus"}, 2, ""},
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
