// The doctor's --probe against the simulator, a TLS server of the test's own, a closed port
// and a port that never answers, all on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "RunProcess.h"
#include "TempDir.h"

namespace {

using nlohmann::json;
using Args = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

const std::string kCert = KEYTOOL_TEST_DIR "/probe-cert.pem";
const std::string kPrivateKey = KEYTOOL_TEST_DIR "/probe-key.pem";

// A loopback socket bound to a free port; listening (but never accepting) when asked.
struct LoopbackPort {
  explicit LoopbackPort(bool listening) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    if (listening) {
      listen(fd, 16);
    } else {
      close(fd);  // nothing listens there any more: connections are refused
      fd = -1;
    }
  }
  ~LoopbackPort() {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  int port = 0;
};

class DoctorProbe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Proxy settings from the environment must not matter, as for the validation tool.
    setenv("http_proxy", "http://127.0.0.2:9", 1);
    setenv("https_proxy", "http://127.0.0.2:9", 1);
    setenv("all_proxy", "http://127.0.0.2:9", 1);
  }
  void SetUp() override {
    unsetenv("KELVORY_CA_FILE");
    const std::string simOut = dir_ + "/sim.out";
    sim_ = kl::StartProcess({MGMT_SIM_PATH}, simOut, simOut);
    const auto end = Clock::now() + std::chrono::seconds(20);
    std::string out;
    while ((out = kl::ReadWholeFile(simOut)).find('\n') == std::string::npos) {
      ASSERT_LT(Clock::now(), end) << "simulator did not start: " << out;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    simPort_ = std::stoi(out.substr(out.find(':') + 1));
    tlsPort_ = tls_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(tlsPort_, 0);
    tlsThread_ = std::thread([this] { tls_.listen_after_bind(); });
  }
  void TearDown() override {
    kill(sim_, SIGTERM);
    kl::ReapProcess(sim_, 10);
    tls_.stop();
    tlsThread_.join();
  }

  // Probes a customer-form pre-fill; returns the report.
  json Probe(const std::string& urls, const std::string& protocol, int port,
             const std::string& proxy = "", Args extra = {}, int* exitCode = nullptr) {
    const std::string file = dir_ + "/InstallationData.xml";
    std::ofstream(file) << "<D><Customer><ID>1</ID><Name>N</Name></Customer><Server><URL>" << urls
                        << "</URL><Protocol>" << protocol << "</Protocol><Port>" << port
                        << "</Port></Server>"
                        << (proxy.empty() ? "" : "<Proxy><URL>" + proxy + "</URL></Proxy>")
                        << "</D>";
    Args args{KEYTOOL_PATH, "doctor", "--json", "--probe", "--data", file};
    args.insert(args.end(), extra.begin(), extra.end());
    const std::string out = dir_ + "/doctor.out";
    const int code = kl::ReapProcess(kl::StartProcess(args, out, dir_ + "/doctor.err"), 60);
    if (exitCode != nullptr) *exitCode = code;
    return json::parse(kl::ReadWholeFile(out), nullptr, false);
  }

  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
  pid_t sim_ = -1;
  int simPort_ = 0;
  httplib::SSLServer tls_{kCert.c_str(), kPrivateKey.c_str()};
  int tlsPort_ = 0;
  std::thread tlsThread_;
};

TEST_F(DoctorProbe, OneResultPerAddress) {
  const LoopbackPort closed(false);
  const auto proxyOf = [](const std::string& p) { return p.empty() ? json(nullptr) : json(p); };
  const struct {
    const char* name;
    std::string urls, protocol;
    int port;
    std::string proxy;
    bool caFile;
    json want;  // per address: host, connected, tls, reachable
  } cases[] = {
      {"http: the simulator, then nothing on 127.0.0.2",
       "127.0.0.1,127.0.0.2",
       "http",
       simPort_,
       "",
       false,
       {{"127.0.0.1", true, nullptr, true}, {"127.0.0.2", false, nullptr, false}}},
      {"closed port",
       "127.0.0.1",
       "http",
       closed.port,
       "",
       false,
       {{"127.0.0.1", false, nullptr, false}}},
      {"https to a plain http server",
       "127.0.0.1",
       "https",
       simPort_,
       "",
       false,
       {{"127.0.0.1", true, false, false}}},
      {"https, certificate not trusted",
       "127.0.0.1",
       "https",
       tlsPort_,
       "",
       false,
       {{"127.0.0.1", true, false, false}}},
      {"https, certificate trusted",
       "127.0.0.1",
       "https",
       tlsPort_,
       "",
       true,
       {{"127.0.0.1", true, true, true}}},
      // Through a proxy, http only connects to the proxy: the target's closed port is not seen.
      {"http through the proxy",
       "127.0.0.2",
       "http",
       closed.port,
       "127.0.0.1:" + std::to_string(simPort_),
       false,
       {{"127.0.0.2", true, nullptr, true}}},
      // https asks the proxy for a tunnel; the simulator is no tunnelling proxy, so it fails
      // although the direct handshake (above) passes.
      {"https through the proxy",
       "127.0.0.1",
       "https",
       tlsPort_,
       "127.0.0.1:" + std::to_string(simPort_),
       true,
       {{"127.0.0.1", true, false, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.caFile) {
      setenv("KELVORY_CA_FILE", kCert.c_str(), 1);
    } else {
      unsetenv("KELVORY_CA_FILE");
    }
    int code = -1;
    const json report = Probe(c.urls, c.protocol, c.port, c.proxy, {}, &code);
    EXPECT_EQ(code, 0);  // unreachable addresses are warnings, not a verdict
    ASSERT_EQ(report["probe"].size(), c.want.size()) << report.dump();
    size_t unreachable = 0;
    for (size_t i = 0; i < c.want.size(); ++i) {
      const json& p = report["probe"][i];
      EXPECT_EQ(json({p["host"], p["connected"], p["tls"], p["reachable"]}), c.want[i]) << p;
      EXPECT_EQ(p["port"], c.port);
      EXPECT_EQ(p["protocol"], c.protocol);
      EXPECT_EQ(p["proxy"], proxyOf(c.proxy));
      EXPECT_EQ(p["error"].is_string(), !p["reachable"].get<bool>()) << p;
      EXPECT_TRUE(p["milliseconds"].is_number_integer());
      if (!p["reachable"].get<bool>()) ++unreachable;
    }
    size_t warned = 0;
    for (const json& w : report["warnings"]) warned += w["code"] == "unreachable";
    EXPECT_EQ(warned, unreachable);
    int strict = -1;
    Probe(c.urls, c.protocol, c.port, c.proxy, {"--strict"}, &strict);
    EXPECT_EQ(strict, unreachable == 0 ? 0 : 1);
  }
  unsetenv("KELVORY_CA_FILE");
  // The plain report.
  const std::string file = dir_ + "/InstallationData.xml";
  Probe("127.0.0.1", "http", closed.port);
  const kl::ProcessRun plain = kl::RunProcess(KEYTOOL_PATH, {"doctor", "--probe", "--data", file});
  EXPECT_NE(plain.out.find("probe 1: http://127.0.0.1:" + std::to_string(closed.port) +
                           ": unreachable: "),
            std::string::npos)
      << plain.out;
}

// Addresses that accept the connection but never answer the handshake: all are probed at once
// and each gives up at the time limit.
TEST_F(DoctorProbe, ConcurrentWithinTheTimeLimit) {
  const LoopbackPort silent(true);
  const auto start = Clock::now();
  const json report =
      Probe("127.0.0.1,127.0.0.1,127.0.0.1", "https", silent.port, "", {"--probe-timeout", "1"});
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("three silent addresses with a 1 s limit took %.2f s\n", seconds);
  ASSERT_EQ(report["probe"].size(), 3u);
  for (const json& p : report["probe"]) {
    EXPECT_EQ(p["reachable"], false);
    EXPECT_EQ(p["connected"], true);
    EXPECT_GE(p["milliseconds"].get<int64_t>(), 900) << p;
  }
  // One after the other they would take over 3 s.
  EXPECT_LT(seconds, 2.5);
}

}  // namespace
