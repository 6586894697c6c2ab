// The doctor's --probe against the simulator, a TLS server of the test's own, a closed port
// and a port that never answers, all on loopback.
#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "KeytoolRun.h"

namespace {

using kl::Args;
using kl::json;
using kl::operator+;

const std::string kCert = KEYTOOL_TEST_DIR "/probe-cert.pem";

class DoctorProbe : public kl::KeytoolFiles {
 protected:
  static void SetUpTestSuite() {
    // Proxy settings from the environment must not matter, as for the validation tool.
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy"}) {
      setenv(name, "http://127.0.0.2:9", 1);
    }
  }
  void SetUp() override {
    unsetenv("KELVORY_CA_FILE");
    sim_ = kl::ToolStartSimulator({}, dir_ + "/sim.out", &simPort_);
    ASSERT_NE(simPort_, 0) << kl::ReadWholeFile(dir_ + "/sim.out");
    tlsPort_ = tls_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(tlsPort_, 0);
    tlsThread_ = std::thread([this] { tls_.listen_after_bind(); });
  }
  void TearDown() override {
    kill(sim_, SIGTERM);
    kl::ReapProcess(sim_, 10);
    tls_.stop();
    if (tlsThread_.joinable()) tlsThread_.join();
  }

  // Probes a customer-form pre-fill with `extra` options; returns the report.
  json Probe(const std::string& urls, const std::string& protocol, int port,
             const std::string& proxy, const Args& extra = {}, int* exitCode = nullptr) {
    const std::string file =
        Write("InstallationData.xml",
              "<D><Customer><ID>1</ID><Name>N</Name></Customer><Server><URL>" + urls +
                  "</URL><Protocol>" + protocol + "</Protocol><Port>" + std::to_string(port) +
                  "</Port></Server>" +
                  (proxy.empty() ? "" : "<Proxy><URL>" + proxy + "</URL></Proxy>") + "</D>");
    return kl::DoctorReport(Args{"--probe", "--data", file} + extra, exitCode);
  }

  pid_t sim_ = -1;
  int simPort_ = 0, tlsPort_ = 0;
  httplib::SSLServer tls_{kCert.c_str(), KEYTOOL_TEST_DIR "/probe-key.pem"};
  std::thread tlsThread_;
};

// One result per address, each unreachable one also a warning (exit 1 with --strict only).
TEST_F(DoctorProbe, OneResultPerAddress) {
  int closedPort = 0;
  close(kl::ToolLoopbackSocket(&closedPort));  // nothing listens there: connections are refused
  const std::string viaSim = "127.0.0.1:" + std::to_string(simPort_);
  const struct {
    std::string urls, protocol;
    int port;
    std::string proxy;
    bool caFile;
    std::string want;  // per address: host, then connected, tls (https only), reachable
  } cases[] = {
      {"127.0.0.1,127.0.0.2", "http", simPort_, "", false,
       "127.0.0.1 connected reachable, 127.0.0.2 unconnected unreachable"},
      {"127.0.0.1", "http", closedPort, "", false, "127.0.0.1 unconnected unreachable"},
      // https to a plain http server, then with a certificate not trusted, then trusted
      {"127.0.0.1", "https", simPort_, "", false, "127.0.0.1 connected no-tls unreachable"},
      {"127.0.0.1", "https", tlsPort_, "", false, "127.0.0.1 connected no-tls unreachable"},
      // https, certificate trusted
      {"127.0.0.1", "https", tlsPort_, "", true, "127.0.0.1 connected tls reachable"},
      // http through the proxy only connects to the proxy: the target's closed port is not seen.
      {"127.0.0.2", "http", closedPort, viaSim, false, "127.0.0.2 connected reachable"},
      // https through the proxy asks it for a tunnel; the simulator is no tunnelling proxy, so it
      // fails although the direct handshake (above) passes.
      {"127.0.0.1", "https", tlsPort_, viaSim, true, "127.0.0.1 connected no-tls unreachable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want + " via " + c.proxy);
    if (c.caFile) setenv("KELVORY_CA_FILE", kCert.c_str(), 1);
    if (!c.caFile) unsetenv("KELVORY_CA_FILE");
    int code = -1, strict = -1;
    const json report = Probe(c.urls, c.protocol, c.port, c.proxy, {}, &code);
    EXPECT_EQ(code, 0);  // unreachable addresses are warnings, not a verdict
    std::string seen;
    size_t unreachable = 0, warned = 0;
    for (const json& p : report["probe"]) {
      const bool reachable = p["reachable"].get<bool>();
      seen += (seen.empty() ? "" : ", ") + p["host"].get<std::string>() +
              (p["connected"].get<bool>() ? " connected" : " unconnected") +
              (p["tls"].is_null()     ? ""
               : p["tls"].get<bool>() ? " tls"
                                      : " no-tls") +
              (reachable ? " reachable" : " unreachable");
      EXPECT_EQ(json({p["port"], p["protocol"], p["proxy"]}),
                json({c.port, c.protocol, c.proxy.empty() ? json(nullptr) : json(c.proxy)}));
      EXPECT_EQ(p["error"].is_string(), !reachable) << p;
      EXPECT_TRUE(p["milliseconds"].is_number_integer());
      unreachable += reachable ? 0 : 1;
    }
    EXPECT_EQ(seen, c.want);
    for (const json& w : report["warnings"]) warned += w["code"] == "unreachable";
    EXPECT_EQ(warned, unreachable);
    Probe(c.urls, c.protocol, c.port, c.proxy, {"--strict"}, &strict);
    EXPECT_EQ(strict, unreachable == 0 ? 0 : 1);
  }
  unsetenv("KELVORY_CA_FILE");
  // The plain report, through the proxy and straight to a closed port.
  const std::string file = dir_ + "/InstallationData.xml";  // the last case's
  EXPECT_NE(kl::Keytool({"doctor", "--probe", "--data", file})
                .out.find("probe 1: https://127.0.0.1:" + std::to_string(tlsPort_) + " via " +
                          viaSim + ": unreachable: "),
            std::string::npos);
  Probe("127.0.0.1", "http", closedPort, "");
  const kl::ProcessRun plain = kl::Keytool({"doctor", "--probe", "--data", file});
  EXPECT_NE(
      plain.out.find("probe 1: http://127.0.0.1:" + std::to_string(closedPort) + ": unreachable: "),
      std::string::npos)
      << plain.out;
}

// Addresses that accept the connection but never answer the handshake: all are probed at once
// and each gives up at the time limit.
TEST_F(DoctorProbe, ConcurrentWithinTheTimeLimit) {
  int port = 0;
  const int silent = kl::ToolLoopbackSocket(&port);
  ASSERT_EQ(listen(silent, 16), 0);
  const auto start = std::chrono::steady_clock::now();
  const json report =
      Probe("127.0.0.1,127.0.0.1,127.0.0.1", "https", port, "", {"--probe-timeout", "1"});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  close(silent);
  std::printf("three silent addresses with a 1 s limit took %.2f s\n", took.count());
  ASSERT_EQ(report["probe"].size(), 3u);
  for (const json& p : report["probe"]) {
    EXPECT_EQ(json({p["reachable"], p["connected"]}), json({false, true}));
    EXPECT_GE(p["milliseconds"].get<int64_t>(), 900) << p;
  }
  EXPECT_LT(took.count(), 2.5);  // one after the other they would take over 3 s
}

}  // namespace
