// The key tool's command-line contract, run as a real process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KLHelper.h"
#include "RunProcess.h"
#include "TempDir.h"

namespace {

using nlohmann::json;
using Args = std::vector<std::string>;

kl::ProcessRun Tool(const Args& args) { return kl::RunProcess(KEYTOOL_PATH, args); }

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

TEST(KeytoolDecode, PrintsIdentifierAndEndpointsInOrder) {
  const kl::ProcessRun r =
      Tool({"decode", "--json", Key("https://192.0.2.10:8443,192.0.2.11|42|1|x")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out), json::parse(R"({"applianceId": 42, "endpoints": [
      {"protocol": "https", "host": "192.0.2.10", "port": 8443},
      {"protocol": "http", "host": "192.0.2.11", "port": 80}]})"));
  const kl::ProcessRun plain = Tool({"decode", Key("192.0.2.10:8080|5|9|")});
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_EQ(plain.out, "applianceId: 5\nendpoint 1: protocol=http host=192.0.2.10 port=8080\n");
}

// Which keys the decoder refuses is tested with the decoder; here each diagnostic the tool adds
// once, after the decoder's alert.
TEST(KeytoolDecode, RefusalsCarryTheAlertAndWhy) {
  const struct {
    std::string decoded, alert, why;
  } cases[] = {
      {"192.0.2.10|5|3|", "Activation key is invalid for this agent type",
       "appliance type: \"3\" (1, 8 or 9 expected)"},
      {"192.0.2.10,ftp://192.0.2.11|42|1|", "LRC checksum test failed",
       "rejected endpoint \"ftp://192.0.2.11\": Error: invalid protocol: ftp found in endpoint: "
       "ftp://192.0.2.11\n"},
      {"192.0.2.10|99999999999|1|", "Unknown error",
       "appliance identifier: \"99999999999\" (decimal digits up to 2147483647 expected)"},
  };
  for (const auto& c : cases) {
    const kl::ProcessRun r = Tool({"decode", Key(c.decoded)});
    EXPECT_EQ(r.exitCode, 1) << c.decoded;
    EXPECT_EQ(r.out, "error: " + c.alert + "\ndecoded text: " + c.decoded +
                         "\nfield count: 4 (4 expected)\n" + c.why + "\n");
  }
  // As JSON; a value after "--" may start with "-", and invalid UTF-8 becomes U+FFFD.
  const kl::ProcessRun r = Tool({"decode", "--json", "--", "-"});
  EXPECT_EQ(r.exitCode, 1);
  const json want = {
      {"error", "Invalid activation key format"},
      {"diagnostics", json::array({"decoded text: \xEF\xBF\xBD", "field count: 1 (4 expected)"})}};
  EXPECT_EQ(r.out, want.dump() + "\n");
}

TEST(KeytoolEndpointAndEncode, FieldsAsParsedAndKeysThatDecode) {
  const kl::ProcessRun bad = Tool({"endpoint", "--json", "ftp://192.0.2.10:21"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(json::parse(bad.out), json::parse(R"({"isValid": false, "protocol": "ftp", "host": "",
      "port": 80, "errorMessage":
      "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n"})"));
  // The plain form. The argument is not trimmed: the spaces stay part of the host.
  const kl::ProcessRun spaced = Tool({"endpoint", "  192.0.2.10  "});
  EXPECT_EQ(spaced.exitCode, 0);
  EXPECT_EQ(spaced.out, "isValid: true\nprotocol: http\nhost:   192.0.2.10  \nport: 80\n");

  const kl::ProcessRun enc =
      Tool({"encode", "--endpoint", "https://192.0.2.10:8443", "--endpoint", "192.0.2.11",
            "--appliance-id", "7", "--type", "8", "--token", "t"});
  ASSERT_EQ(enc.exitCode, 0) << enc.err;
  EXPECT_EQ(enc.out, Key("https://192.0.2.10:8443,192.0.2.11|7|8|t") + "\n");
  EXPECT_EQ(Tool({"encode", "--endpoint", "192.0.2.10"}).out, Key("192.0.2.10||1|") + "\n");
}

// One case for the command line's own parse, then each check of the tool's own.
TEST(KeytoolUsage, ErrorsExit2WithMessageOnStderr) {
  const std::vector<Args> cases = {
      {"decode"},
      {"encode", "--endpoint", "a|b"},
      {"encode", "--endpoint", "192.0.2.10", "--appliance-id", "12a"},
      {"encode", "--endpoint", "192.0.2.10", "--token", "x|y"},
      {"doctor"},  // doctor takes exactly one of --package, --data and --key
      {"doctor", "--key", "k", "--data", "f"},
      {"doctor", "--package", "p", "--text"},  // --text only with --data
  };
  for (const Args& args : cases) {
    const kl::ProcessRun r = Tool(args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
}

class KeytoolPrefill : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << content;
    return dir_ + "/" + name;
  }
  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
};

TEST_F(KeytoolPrefill, ReadsBothForms) {
  const std::string file =
      Write("InstallationData.xml",
            "<Data><Customer><ID>42</ID><Name>Example Customer</Name></Customer>"
            "<Server><URL>a,b</URL><Protocol>https</Protocol><Port>8443x</Port></Server>"
            "<Proxy><URL>proxy.example</URL><Port>3128</Port></Proxy></Data>");
  const kl::ProcessRun r = Tool({"prefill", "--json", file});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out), json::parse(R"({"containData": true, "activationKey": "",
      "customerId": "42", "customerName": "Example Customer", "serverURL": "a,b",
      "isHTTPS": true, "serverPort": 8443, "applianceId": 0,
      "proxyServer": "proxy.example:3128", "serverURLs": ["a", "b"]})"));
  // The lines the text reader echoes go to standard error: standard output stays one object.
  const kl::ProcessRun text = Tool({"prefill", "--json", "--text", Write("d.txt", "port=443\n")});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_EQ(json::parse(text.out)["serverPort"], 443);
}

TEST_F(KeytoolPrefill, UnusableFilesSayWhy) {
  const struct {
    std::string path, error;
  } cases[] = {
      {Write("bad.xml", "<Data><ActivationKey>x"),
       dir_ + "/bad.xml is not a well-formed XML document"},
      {Write("empty.xml", ""), dir_ + "/empty.xml is empty, not a well-formed XML document"},
      {dir_ + "/missing.xml", "cannot open " + dir_ + "/missing.xml: No such file or directory"},
      {dir_, "cannot read " + dir_ + ": Is a directory"},
  };
  for (const auto& c : cases) {
    const kl::ProcessRun r = Tool({"prefill", "--json", c.path});
    EXPECT_EQ(r.exitCode, 1) << c.path;
    EXPECT_EQ(json::parse(r.out)["error"], c.error);
    // Without --json the reason is the last line.
    const std::string plain = Tool({"prefill", c.path}).out;
    EXPECT_EQ(plain.substr(plain.find("\nerror: ") + 1), "error: " + c.error + "\n") << plain;
  }
}

}  // namespace
