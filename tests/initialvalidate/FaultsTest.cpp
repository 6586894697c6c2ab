// InitialValidate and kelvory-mgmt-sim under faults and hostile input: files that are not
// theirs, a full disk, a log that cannot be written, JSON too deep or too large, values that
// would forge log lines; and their command-line conventions.
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "ToolFixture.h"

namespace {

using kl::Args;
using kl::operator+;

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
  // What must stay the same of a path the tool refused.
  static std::string Snapshot(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return "missing";
    return std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + " " +
           std::to_string(st.st_nlink) + " " + std::to_string(st.st_size) + " " +
           (S_ISREG(st.st_mode) ? kl::ReadWholeFile(path) : "");
  }
};

// Never written through: what lies at -f or -l must be a regular file of ours with one link.
// Each is refused before the server is asked, so nothing is registered for a file that cannot
// be written, and the refused file is left exactly as it was.
TEST_F(ToolFaults, RefusesFilesThatAreNotItsOwn) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  const struct {
    const char* name;
    std::string why;
  } kinds[] = {{"a FIFO", "it is not a regular file"},
               {"a directory", "it is not a regular file"},
               {"another user's file", "another user owns it"},
               {"a file with two links", "it has more than one link"}};
  // false: cannot be made here (not root)
  const auto make = [](size_t kind, const std::string& p) {
    if (kind == 0) return mkfifo(p.c_str(), 0666) == 0;
    if (kind == 1) return mkdir(p.c_str(), 0777) == 0;
    Write(p, "someone's\n");
    if (kind == 2) return chmod(p.c_str(), 0666) == 0 && chown(p.c_str(), 65534, 65534) == 0;
    return link(p.c_str(), (p + ".other").c_str()) == 0;
  };
  int n = 0;
  for (const bool isLog : {false, true}) {
    for (size_t kind = 0; kind < std::size(kinds); ++kind) {
      const std::string where = dir_ + "/case" + std::to_string(++n);
      ASSERT_EQ(mkdir(where.c_str(), 0700), 0);
      const std::string conf = where + "/kelvor.conf", log = where + "/install.log";
      const std::string& refused = isLog ? log : conf;
      const std::string shown = std::string(kinds[kind].name) + (isLog ? " as the log" : " as -f");
      if (!make(kind, refused)) {
        printf("skipped without root: %s\n", shown.c_str());
        continue;
      }
      const std::string before = Snapshot(refused);
      EXPECT_EQ(Tool(Server() + demo_ + Args{"-f", conf, "-l", log}), isLog ? 17 : 16) << shown;
      EXPECT_EQ(Snapshot(refused), before) << shown;
      if (isLog) {
        EXPECT_EQ(Snapshot(conf), "missing") << shown;
        EXPECT_NE(ToolOutput().find("install log, or it is not ours to write: " + log + ": "),
                  std::string::npos)
            << shown << ToolOutput();
      } else {
        EXPECT_EQ(kl::MaskStamps(kl::ReadWholeFile(log)),
                  "STAMP\tInitialValidate started -- http://127.0.0.1:" + std::to_string(port_) +
                      "\nSTAMP\tCannot write the configuration file " + conf + " -- " +
                      kinds[kind].why +
                      "\nSTAMP\tInitialValidate finished -- exit code 16: cannot create or write "
                      "the configuration file, or it is not ours to replace\n")
            << shown;
      }
    }
  }
  EXPECT_EQ(SimulatorOutput().find("registered"), std::string::npos) << SimulatorOutput();
}

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
// serving on the same connection.
TEST_F(ToolFaults, SimulatorRefusesRequestsTooDeepOrTooLargeAndGoesOn) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  kl::HttpConnection connection(port_);
  for (const JsonCase& c : kJsonCases) {
    std::string said;
    EXPECT_EQ(connection.Post("/api/v1/validate", JsonBody(R"({"applianceId":"42")", c), &said),
              c.within ? 200 : 400)
        << c.name;
    EXPECT_EQ(said, c.within ? R"({"valid":true})"
                             : R"({"error":"the body is larger than 64 KiB or nested deeper )"
                               R"(than 64 levels"})")
        << c.name;
    EXPECT_EQ(connection.Post("/api/v1/validate", R"({"applianceId":"42"})", &said), 200)
        << "after " << c.name;
  }
}

// A registration must name the machine: an empty host name is refused like a missing one.
TEST_F(ToolFaults, SimulatorRefusesARegistrationWithoutAHostName) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  kl::HttpConnection connection(port_);
  for (const std::string hostName : {"", "mac-01"}) {
    EXPECT_EQ(connection.Post("/api/v1/register", R"({"applianceId":"42","hostName":")" + hostName +
                                                      R"(","osName":"x","osVersion":"1"})"),
              hostName.empty() ? 400 : 200);
  }
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
    size_t lines = 0, entries = 0;
    for (size_t at = 0; (at = log.find('\n', at)) != std::string::npos; ++at) ++lines;
    for (size_t at = 0; (at = log.find("STAMP\t", at)) != std::string::npos; ++at) ++entries;
    EXPECT_EQ(lines, entries) << log;
    EXPECT_EQ(log.rfind("STAMP\t", 0), 0u) << log;
  }
}

// Clients that connect and say nothing hold no worker another client needs: a request made
// after twenty of them is answered while all twenty are still open, that is before the read
// timeout that ends them could have freed a worker.
TEST_F(ToolFaults, SilentClientsDoNotHoldUpOthers) {
  ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
  std::vector<std::unique_ptr<kl::HttpConnection>> silent;
  for (int i = 0; i < 20; ++i) silent.push_back(std::make_unique<kl::HttpConnection>(port_));
  kl::HttpConnection client(port_);
  EXPECT_EQ(client.Post("/api/v1/validate", R"({"applianceId":"42"})"), 200);
  int closed = 0;
  for (const auto& connection : silent) closed += connection->ClosedByPeer() ? 1 : 0;
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
    const kl::ProcessRun run = kl::RunProcess(c.tool, c.args);
    EXPECT_EQ(run.exitCode, c.code) << c.tool << " " << c.args[0];
    EXPECT_EQ(run.out, c.out) << c.tool << " " << c.args[0];
    EXPECT_EQ(run.err.empty(), !c.out.empty()) << c.tool << " " << c.args[0] << ": " << run.err;
  }
}

}  // namespace
