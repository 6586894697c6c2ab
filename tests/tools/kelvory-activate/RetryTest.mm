// kelvory-activate --retry as a real process, with the real tool and simulator on 127.0.0.1
// (or a fake tool where the time a round takes must be known): a server that comes up late is
// reached in a later round; any other failure, or a time limit that leaves no room for another
// pause, ends the run; a stop ends a pause at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FakeTool.h"
#include "ToolRun.h"

namespace {

using kl::Args;
using kl::operator+;
using nlohmann::json;
const char kConf[] = "/tmp/kelvor.conf";
const char kLog[] = "/tmp/kelvor_install.log";
const char kLock[] = "/tmp/kelvor.conf.lock";
const char kUnreachable[] =
    "Connection failed. Can not connect to the server with the input parameters.";

// A port of 127.0.0.1 on which nothing listens: bound to learn it, then closed.
int FreePort() {
  int port = 0;
  close(kl::ToolLoopbackSocket(&port));
  return port;
}

// The simulator's demo customer with the ID `id`, at `servers` on `port` over http.
Args Customer(const std::string& id, const std::string& servers, int port) {
  return {"--customer-name", "Demo Customer", "--customer-id", id,       "--server",
          servers,           "--protocol",    "http",          "--port", std::to_string(port)};
}

// The install log's retry entries: for each, the round that failed and the pause announced.
std::vector<std::pair<int, double>> Retries() {
  std::istringstream log(kl::ReadWholeFile(kLog));
  std::vector<std::pair<int, double>> found;
  for (std::string line; std::getline(log, line);) {
    const size_t at = line.find("\tValidation round ");
    int round = 0;
    double pause = 0;
    char unit = 0;
    if (at != std::string::npos &&
        sscanf(line.c_str() + at, "\tValidation round %d failed to connect -- retrying in %lf %c",
               &round, &pause, &unit) == 3 &&
        unit == 's')
      found.emplace_back(round, pause);
  }
  return found;
}

class RetryTest : public ::testing::Test {
 protected:
  void SetUp() override { unlink(kConf), unlink(kLog), unlink(kLock); }
  void TearDown() override {
    if (sim_ > 0) kill(sim_, SIGTERM), kl::ReapProcess(sim_, 10);
    SetUp();
  }
  pid_t Start(const Args& args) {
    return kl::StartProcess(Args{ACTIVATE_PATH} + args, dir_ + "/out", dir_ + "/err");
  }
  std::string Out() const { return kl::ReadWholeFile(dir_ + "/out"); }
  // Starts the simulator on `port` (0: a free one); the port it listens on, 0 for none.
  int StartSimulator(int port) {
    int listening = 0;
    sim_ = kl::ToolStartSimulator({"--port", std::to_string(port)}, dir_ + "/sim", &listening);
    return listening;
  }
  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
  pid_t sim_ = 0;
};

// The network comes up late: nothing listens at first, the simulator starts 3 s later, and a
// later round, begun again from the first address, validates and writes the configuration.
TEST_F(RetryTest, ActivatesOnceTheServerComesUp) {
  const int port = FreePort();
  const pid_t run =
      Start(Args{"--retry", "--json", "--timeout", "60"} + Customer("1001", "127.0.0.1", port));
  sleep(3);
  ASSERT_EQ(StartSimulator(port), port);
  EXPECT_EQ(kl::ReapProcess(run, 60), 0) << Out();
  const json report = json::parse(Out(), nullptr, false);
  EXPECT_EQ(report["outcome"], "activated");
  const int rounds = report.value("rounds", 0);
  EXPECT_GT(rounds, 1);
  ASSERT_EQ(report["attempts"].size(), static_cast<size_t>(rounds));
  for (int i = 0; i < rounds; ++i)
    EXPECT_EQ(report["attempts"][i]["status"], i + 1 < rounds ? 10 : 0) << i;
  EXPECT_NE(kl::ReadWholeFile(kConf).find(
                "server_0=127.0.0.1\n\tprotocol_0=http\n\tport_0=" + std::to_string(port) + "\n"),
            std::string::npos);
  EXPECT_EQ(Retries().size(), static_cast<size_t>(rounds - 1));
}

// What ends a run: a failure other than a connection's after its round, at once; without
// --retry, the first round as before; a time limit that leaves no room for the next pause, as
// failed after the last round; a round that the time limit cuts, as stopped.
TEST_F(RetryTest, RoundsEndAsTheRulesSay) {
  const int down = FreePort();
  const int up = StartSimulator(0);
  ASSERT_GT(up, 0);
  kl::FakeTool unreachableThenStuck({"exit 10", "sleep 60"});
  const std::string refusedId =
      "Validation failed. The specified customer ID can not be validated.";
  using Statuses = std::vector<int>;  // of the first round
  const struct {
    const char* name;
    Args args;
    int exitCode;  // 3 failed, 6 timed out
    std::string message;
    int rounds;
    Statuses statuses;
    bool untilTheLimit = false;  // rounds: at least; the install log says no time is left
    double pausesAtLeast = 0;    // the pauses fill the time limit but for its last rounds
  } cases[] = {
      {"a refused customer ID", Args{"--retry"} + Customer("999", "127.0.0.1", up), 3, refusedId, 1,
       Statuses{12}},
      {"one address refuses connections, the next the ID",
       Args{"--retry"} + Customer("999", "127.0.0.2,127.0.0.1", up), 3, refusedId, 1,
       Statuses{10, 12}},
      // A round is unreachable only when every address in it failed to connect.
      {"one address refuses the ID, the next connections",
       Args{"--retry", "--timeout", "5"} + Customer("999", "127.0.0.1,127.0.0.2", up), 3,
       kUnreachable, 1, Statuses{12, 10}},
      {"without --retry", Customer("1001", "127.0.0.1", down), 3, kUnreachable, 1, Statuses{10}},
      // A drawn pause that does not fit is shortened: the time left still holds a last round.
      {"nothing listens until the time limit leaves no room",
       Args{"--retry", "--timeout", "5"} + Customer("1001", "127.0.0.1", down), 3, kUnreachable, 2,
       Statuses{10}, true, 3},
      {"nothing listens within a longer limit",
       Args{"--retry", "--timeout", "7"} + Customer("1001", "127.0.0.1", down), 3, kUnreachable, 2,
       Statuses{10}, true, 5},
      {"a round cut by the time limit",
       Args{"--retry", "--timeout", "5", "--tool", unreachableThenStuck.Tool()} +
           Customer("1001", "127.0.0.1", down),
       6, "The activation did not end within its time limit; nothing was written", 2, Statuses{10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(kLog);
    EXPECT_EQ(kl::ReapProcess(Start(Args{"--json"} + c.args), 30), c.exitCode) << Out();
    const json report = json::parse(Out(), nullptr, false);
    EXPECT_EQ(report["outcome"], c.exitCode == 3 ? "failed" : "timed-out");
    EXPECT_EQ(report["message"], c.message);
    const int rounds = report.value("rounds", 0);
    EXPECT_TRUE(c.untilTheLimit ? rounds >= c.rounds : rounds == c.rounds) << rounds;
    Statuses statuses;
    for (const json& attempt : report["attempts"]) statuses.push_back(attempt["status"]);
    statuses.resize(std::min(statuses.size(), c.statuses.size()));
    EXPECT_EQ(statuses, c.statuses);
    EXPECT_EQ(Retries().size(), static_cast<size_t>(rounds - 1));
    double paused = 0;
    for (const auto& retry : Retries()) paused += retry.second;
    EXPECT_GE(paused, c.pausesAtLeast);
    const std::string givenUp = "\tValidation round " + std::to_string(rounds) +
                                " failed to connect -- no time left for another round before "
                                "the time limit\n";
    EXPECT_EQ(kl::ReadWholeFile(kLog).find(givenUp) != std::string::npos, c.untilTheLimit);
    EXPECT_FALSE(report["configWritten"]);
  }
}

// A SIGTERM during a pause ends the run at once (exit 6), however long the pause. Each round
// walks the addresses from the first; the pauses stay below their bound (2 s, doubling), and the
// plain output opens each round after the first with the pause the install log announced.
TEST_F(RetryTest, AStopEndsAPauseAtOnce) {
  kl::FakeTool tool({"exit 10"});
  const pid_t run = Start(Args{"--retry", "--timeout", "0", "--tool", tool.Tool()} +
                          Customer("1001", "127.0.0.1,127.0.0.2", FreePort()));
  // A pause long enough that a run sleeping it through shows, after two rounds that the plain
  // output opens.
  std::vector<std::pair<int, double>> retries;
  for (int i = 0; i < 6000 && (retries.size() < 3 || retries.back().second < 3); ++i) {
    usleep(10000);
    retries = Retries();
  }
  ASSERT_GE(retries.size(), 3u);
  ASSERT_GE(retries.back().second, 3);
  const auto stop = std::chrono::steady_clock::now();
  kill(run, SIGTERM);
  EXPECT_EQ(kl::ReapProcess(run, 60), 6);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - stop;
  EXPECT_LT(took.count(), 2.0) << "a pause of " << retries.back().second << " s";
  ASSERT_EQ(tool.Runs(), 2 * static_cast<int>(retries.size()));
  for (int run = 1; run <= tool.Runs(); ++run)
    EXPECT_EQ(tool.Arguments(run).at(2), run % 2 ? "127.0.0.1" : "127.0.0.2") << run;

  std::string shown;
  for (size_t i = 0; i < retries.size(); ++i) {
    EXPECT_EQ(retries[i].first, static_cast<int>(i + 1));
    EXPECT_LE(retries[i].second, std::min(60.0, 2.0 * (1 << i)));
    char line[64];
    snprintf(line, sizeof line, "round %zu, after a pause of %.1f s\n", i + 2, retries[i].second);
    if (i + 1 < retries.size()) shown += line;  // the last pause was cut: no round after it
  }
  std::istringstream out(Out());
  std::string rounds, line, last;
  while (std::getline(out, line)) {
    if (line.rfind("round ", 0) == 0) rounds += line + "\n";
    last = line;
  }
  EXPECT_EQ(rounds, shown);
  EXPECT_EQ(last, "interrupted: The activation was interrupted; nothing was written");
}

}  // namespace
