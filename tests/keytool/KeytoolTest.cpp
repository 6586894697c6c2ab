// The key tool's command-line contract, run as a real process.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "KLHelper.h"

extern char** environ;

namespace {

using nlohmann::json;

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
  json Json() const { return json::parse(out); }
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the tool with `args` (no shell), standard output and error captured in files.
ToolRun Tool(const std::vector<std::string>& args) {
  char outPath[] = "/tmp/keytool_out_XXXXXX";
  char errPath[] = "/tmp/keytool_err_XXXXXX";
  const int outFd = mkstemp(outPath);
  const int errFd = mkstemp(errPath);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  std::vector<std::string> all{KEYTOOL_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  ToolRun run;
  pid_t pid;
  if (posix_spawn(&pid, KEYTOOL_PATH, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(outFd);
  close(errFd);
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  unlink(outPath);
  unlink(errPath);
  return run;
}

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

TEST(KeytoolDecode, PrintsIdentifierAndEndpointsInOrder) {
  const ToolRun r = Tool({"decode", "--json", Key("https://192.0.2.10:8443,192.0.2.11|42|1|x")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.Json(), json::parse(R"({"applianceId": 42, "endpoints": [
      {"protocol": "https", "host": "192.0.2.10", "port": 8443},
      {"protocol": "http", "host": "192.0.2.11", "port": 80}]})"));
}

TEST(KeytoolDecode, RefusalCarriesAlertAndDiagnostics) {
  const ToolRun r =
      Tool({"decode", "--json", Key("https://192.0.2.10:8443,ftp://192.0.2.11|42|1|x")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.Json()["error"], "LRC checksum test failed");
  EXPECT_EQ(r.Json()["diagnostics"][2],
            "rejected endpoint \"ftp://192.0.2.11\": Error: invalid protocol: ftp found in "
            "endpoint: ftp://192.0.2.11\n");
}

TEST(KeytoolDecode, EveryRefusalIsOneJsonObjectWithExit1) {
  std::string junk;
  for (int i = 1; i < 256; ++i) junk.push_back(static_cast<char>(i));
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"decode", "--json", ""}, "Invalid activation key format"},
      {{"decode", "--json", "--", "-not-base64"}, "Invalid activation key format"},
      {{"decode", "--json", Key("192.0.2.10|1|2|")},
       "Activation key is invalid for this agent type"},
      {{"decode", "--json", Key("192.0.2.10|99999999999|1|")}, "Unknown error"},
      {{"decode", "--json", junk}, "Invalid activation key format"},
      {{"decode", "--json", std::string(100 * 1024, 'A')}, "Invalid activation key format"},
  };
  for (const auto& c : cases) {
    const ToolRun r = Tool(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.args.back().substr(0, 40);
    ASSERT_NO_THROW(r.Json()) << r.out;
    EXPECT_EQ(r.Json()["error"], c.error);
    EXPECT_GE(r.Json()["diagnostics"].size(), 2u);
  }
}

TEST(KeytoolDecode, InvalidUtf8InDecodedTextBecomesReplacementCharacter) {
  const ToolRun r = Tool({"decode", "--json", Key("\xff\xfe|1|1")});
  EXPECT_EQ(r.exitCode, 1);
  const std::string first = r.Json()["diagnostics"][0];
  EXPECT_NE(first.find("\xEF\xBF\xBD"), std::string::npos) << first;
}

TEST(KeytoolDecode, PlainOutputIsReadable) {
  const ToolRun ok = Tool({"decode", Key("192.0.2.10:8080|5|9|")});
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.out, "applianceId: 5\nendpoint 1: protocol=http host=192.0.2.10 port=8080\n");
  const ToolRun bad = Tool({"decode", Key("192.0.2.10|5|3|")});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.out.rfind("error: Activation key is invalid for this agent type\n", 0), 0u)
      << bad.out;
}

TEST(KeytoolEndpoint, FieldsOfTheEndpointAsConstructed) {
  const ToolRun bad = Tool({"endpoint", "--json", "ftp://192.0.2.10:21"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.Json(), json::parse(R"({"isValid": false, "protocol": "ftp", "host": "",
      "port": 80, "errorMessage":
      "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n"})"));
  // The argument is not trimmed: the spaces stay part of the host.
  const ToolRun spaced = Tool({"endpoint", "--json", "  192.0.2.10  "});
  EXPECT_EQ(spaced.exitCode, 0);
  EXPECT_EQ(spaced.Json()["host"], "  192.0.2.10  ");
}

TEST(KeytoolEncode, RoundTripsThroughDecode) {
  const ToolRun enc = Tool({"encode", "--endpoint", "https://192.0.2.10:8443", "--endpoint",
                            "192.0.2.11", "--appliance-id", "7", "--type", "8", "--token", "t"});
  ASSERT_EQ(enc.exitCode, 0) << enc.err;
  EXPECT_EQ(enc.out, Key("https://192.0.2.10:8443,192.0.2.11|7|8|t") + "\n");
  const ToolRun defaults = Tool({"encode", "--endpoint", "192.0.2.10"});
  EXPECT_EQ(defaults.out, Key("192.0.2.10||1|") + "\n");
}

TEST(KeytoolUsage, ErrorsExit2WithMessageOnStderr) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"decode"},
      {"frobnicate"},
      {"encode"},
      {"encode", "--endpoint", "a|b"},
      {"encode", "--endpoint", "192.0.2.10", "--appliance-id", "12a"},
      {"encode", "--endpoint", "192.0.2.10", "--token", "x|y"},
  };
  for (const auto& args : cases) {
    const ToolRun r = Tool(args);
    EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "(none)" : args.back());
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
  const ToolRun help = Tool({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* word : {"decode", "endpoint", "encode", "prefill"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  }
}

class KeytoolPrefill : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/keytool_prefill_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { (void)system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << content;
    return dir_ + "/" + name;
  }
  std::string dir_;
};

TEST_F(KeytoolPrefill, ReadsTheInstallationData) {
  const std::string file =
      Write("InstallationData.xml",
            "<Data><Customer><ID>42</ID><Name>Example Customer</Name></Customer>"
            "<Server><URL>a,b</URL><Protocol>https</Protocol><Port>8443x</Port></Server>"
            "<Proxy><URL>proxy.example</URL><Port>3128</Port></Proxy></Data>");
  const ToolRun r = Tool({"prefill", "--json", file});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.Json(), json::parse(R"({"containData": true, "activationKey": "",
      "customerId": "42", "customerName": "Example Customer", "serverURL": "a,b",
      "isHTTPS": true, "serverPort": 8443, "applianceId": 0,
      "proxyServer": "proxy.example:3128", "serverURLs": ["a", "b"]})"));
}

TEST_F(KeytoolPrefill, UnreadableFilesExit1WithErrorAndEmptyValues) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {{"prefill", "--json", Write("bad.xml", "<Data><ActivationKey>x")}, 1},
      {{"prefill", "--json", dir_ + "/missing.xml"}, 1},
      {{"prefill", "--json", dir_}, 1},  // a directory
      {{"prefill", "--json", "--text", dir_ + "/missing.txt"}, 1},
      {{"prefill", "--json", "--text", Write("empty.txt", "")}, 0},
      {{"prefill", "--json", "--text", Write("junk.txt", std::string("\x01\xff\xfe=\x80", 5))}, 0},
  };
  for (const auto& c : cases) {
    const ToolRun r = Tool(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back();
    ASSERT_NO_THROW(r.Json()) << r.out;
    const json j = r.Json();
    EXPECT_EQ(j["containData"], false);
    EXPECT_EQ(j["serverURLs"], json::array({""}));
    EXPECT_EQ(j.contains("error"), c.exitCode == 1) << j.dump();
  }
}

TEST_F(KeytoolPrefill, TextFormKeepsStdoutForJson) {
  const std::string file =
      Write("data.txt", "customerName=Example Customer\nport = 443\nuseSecureConnection=1\n");
  const ToolRun r = Tool({"prefill", "--json", "--text", file});
  ASSERT_EQ(r.exitCode, 0);
  const json j = r.Json();  // the echoed lines went to standard error, not here
  EXPECT_EQ(j["customerName"], "Example");
  EXPECT_EQ(j["serverPort"], 443);
  EXPECT_EQ(j["isHTTPS"], true);
  EXPECT_NE(r.err.find("port = 443"), std::string::npos);
}

}  // namespace
