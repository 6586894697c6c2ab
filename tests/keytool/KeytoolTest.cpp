// The key tool's command-line contract, run as a real process.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KLHelper.h"
#include "LogText.h"
#include "RunProcess.h"

namespace {

using nlohmann::json;

struct ToolRun : kl::ProcessRun {
  json Json() const { return json::parse(out); }
};

// Runs the tool with `args` (no shell).
ToolRun Tool(const std::vector<std::string>& args) {
  return ToolRun{kl::RunProcess(KEYTOOL_PATH, args)};
}

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

TEST(KeytoolDecode, PrintsIdentifierAndEndpointsInOrder) {
  const ToolRun r = Tool({"decode", "--json", Key("https://192.0.2.10:8443,192.0.2.11|42|1|x")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.Json(), json::parse(R"({"applianceId": 42, "endpoints": [
      {"protocol": "https", "host": "192.0.2.10", "port": 8443},
      {"protocol": "http", "host": "192.0.2.11", "port": 80}]})"));
  const ToolRun plain = Tool({"decode", Key("192.0.2.10:8080|5|9|")});
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_EQ(plain.out, "applianceId: 5\nendpoint 1: protocol=http host=192.0.2.10 port=8080\n");
}

// The decoder's rules have their own tests; here each refusal kind once, with what says why.
TEST(KeytoolDecode, RefusalsCarryTheAlertAndWhy) {
  const std::string count = "field count: 4 (4 expected)";
  const struct {
    std::vector<std::string> args;
    std::string error;
    std::vector<std::string> diagnostics;
  } cases[] = {
      {{""}, "Invalid activation key format", {"decoded text: ", "field count: 1 (4 expected)"}},
      // A value after "--" may start with "-"; invalid UTF-8 becomes U+FFFD.
      {{"--", "-"},
       "Invalid activation key format",
       {"decoded text: \xEF\xBF\xBD", "field count: 1 (4 expected)"}},
      {{Key("192.0.2.10|1|2|")},
       "Activation key is invalid for this agent type",
       {"decoded text: 192.0.2.10|1|2|", count, "appliance type: \"2\" (1, 8 or 9 expected)"}},
      {{Key("192.0.2.10,ftp://192.0.2.11|42|1|")},
       "LRC checksum test failed",
       {"decoded text: 192.0.2.10,ftp://192.0.2.11|42|1|", count,
        "rejected endpoint \"ftp://192.0.2.11\": Error: invalid protocol: ftp found in endpoint: "
        "ftp://192.0.2.11\n"}},
      {{Key("192.0.2.10|99999999999|1|")},
       "Unknown error",
       {"decoded text: 192.0.2.10|99999999999|1|", count,
        "appliance identifier: \"99999999999\" (decimal digits up to 2147483647 expected)"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"decode", "--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun r = Tool(args);
    EXPECT_EQ(r.exitCode, 1) << c.error;
    EXPECT_EQ(r.out, json({{"error", c.error}, {"diagnostics", c.diagnostics}}).dump() + "\n");
  }
  const ToolRun plain = Tool({"decode", Key("192.0.2.10|5|3|")});
  EXPECT_EQ(plain.exitCode, 1);
  EXPECT_EQ(
      plain.out,
      "error: Activation key is invalid for this agent type\ndecoded text: 192.0.2.10|5|3|\n" +
          count + "\nappliance type: \"3\" (1, 8 or 9 expected)\n");
}

TEST(KeytoolEndpointAndEncode, FieldsAsParsedAndKeysThatDecode) {
  const ToolRun bad = Tool({"endpoint", "--json", "ftp://192.0.2.10:21"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.Json(), json::parse(R"({"isValid": false, "protocol": "ftp", "host": "",
      "port": 80, "errorMessage":
      "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n"})"));
  // The argument is not trimmed: the spaces stay part of the host.
  const ToolRun spaced = Tool({"endpoint", "--json", "  192.0.2.10  "});
  EXPECT_EQ(spaced.exitCode, 0);
  EXPECT_EQ(spaced.Json()["host"], "  192.0.2.10  ");

  const ToolRun enc = Tool({"encode", "--endpoint", "https://192.0.2.10:8443", "--endpoint",
                            "192.0.2.11", "--appliance-id", "7", "--type", "8", "--token", "t"});
  ASSERT_EQ(enc.exitCode, 0) << enc.err;
  EXPECT_EQ(enc.out, Key("https://192.0.2.10:8443,192.0.2.11|7|8|t") + "\n");
  EXPECT_EQ(Tool({"encode", "--endpoint", "192.0.2.10"}).out, Key("192.0.2.10||1|") + "\n");
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

TEST_F(KeytoolPrefill, ReadsBothForms) {
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
  const ToolRun text =
      Tool({"prefill", "--json", "--text", Write("d.txt", "customerName=A B\nport = 443\n")});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_EQ(text.Json()["customerName"], "A");  // the echoed lines went to standard error
  EXPECT_EQ(text.Json()["serverPort"], 443);
  EXPECT_NE(text.err.find("port = 443"), std::string::npos);
}

TEST_F(KeytoolPrefill, UnusableFilesSayWhy) {
  const struct {
    std::vector<std::string> args;
    std::string error;  // empty: exit 0 and no error
  } cases[] = {
      {{Write("bad.xml", "<Data><ActivationKey>x")},
       dir_ + "/bad.xml is not a well-formed XML document"},
      {{Write("empty.xml", "")}, dir_ + "/empty.xml is empty, not a well-formed XML document"},
      {{dir_ + "/missing.xml"}, "cannot open " + dir_ + "/missing.xml: No such file or directory"},
      {{dir_}, "cannot read " + dir_ + ": Is a directory"},
      {{"--text", dir_ + "/missing"},
       "cannot open " + dir_ + "/missing: No such file or directory"},
      {{"--text", Write("empty.txt", "")}, ""},
      {{"--text", Write("junk.txt", std::string("\x01\xff\xfe=\x80", 5))}, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"prefill", "--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun r = Tool(args);
    EXPECT_EQ(r.exitCode, c.error.empty() ? 0 : 1) << c.args.back();
    ASSERT_NO_THROW(r.Json()) << r.out;
    const json j = r.Json();
    EXPECT_EQ(j["containData"], false);
    EXPECT_EQ(j["serverURLs"], json::array({""}));
    EXPECT_EQ(j.value("error", ""), c.error);
    // Without --json the reason is the last line.
    args.erase(args.begin() + 1);
    const std::string plain = Tool(args).out;
    const std::string tail =
        "serverURLs: [\"\"]\n" + (c.error.empty() ? "" : "error: " + c.error + "\n");
    EXPECT_EQ(plain.substr(plain.size() - std::min(plain.size(), tail.size())), tail);
  }
}

}  // namespace
