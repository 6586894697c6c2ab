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

// encode refuses exactly what decode refuses, with decode's words, on standard error; a host
// that does not resolve here is only a warning, since the installing machine may know it.
TEST(KeytoolEncode, RefusesWhatDecodeRefuses) {
  const struct {
    Args options;
    std::string decoded;  // the key encode would have made
  } cases[] = {
      {{"--endpoint", "ftp://127.0.0.1:21"}, "ftp://127.0.0.1:21||1|"},
      {{"--endpoint", "127.0.0.1:0"}, "127.0.0.1:0||1|"},
      {{"--endpoint", "127.0.0.1", "--type", "3"}, "127.0.0.1||3|"},
      {{"--endpoint", "127.0.0.1", "--appliance-id", "12a"}, "127.0.0.1|12a|1|"},
      {{"--endpoint", "127.0.0.1", "--appliance-id", "99999999999"}, "127.0.0.1|99999999999|1|"},
  };
  for (const auto& c : cases) {
    Args args{"encode"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const kl::ProcessRun enc = Tool(args);
    const kl::ProcessRun dec = Tool({"decode", Key(c.decoded)});
    EXPECT_EQ(enc.exitCode, 1) << c.decoded;
    EXPECT_EQ(enc.out, "");
    EXPECT_EQ(dec.exitCode, 1) << c.decoded;
    EXPECT_EQ(enc.err, dec.out) << c.decoded;
  }
  const kl::ProcessRun unresolved =
      Tool({"encode", "--endpoint", "https://-x.invalid:8443", "--appliance-id", "7"});
  EXPECT_EQ(unresolved.exitCode, 0) << unresolved.err;
  EXPECT_EQ(unresolved.out, Key("https://-x.invalid:8443|7|1|") + "\n");
  EXPECT_EQ(unresolved.err,
            "kelvory-keytool: warning: -x.invalid does not resolve on this machine; decode here "
            "refuses the key, a machine whose resolver knows it accepts it\n");
}

TEST(KeytoolVersion, PrintsTheProjectVersion) {
  const kl::ProcessRun r = Tool({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::string("kelvory-keytool ") + KL_VERSION + "\n");
  EXPECT_EQ(r.err, "");
}

// One case for the command line's own parse, then each check of the tool's own.
TEST(KeytoolUsage, ErrorsExit2WithMessageOnStderr) {
  const std::vector<Args> cases = {
      {"decode"},
      {"encode", "--endpoint", "a|b"},
      {"encode", "--endpoint", "192.0.2.10", "--token", "x|y"},
      {"encode", "--endpoint", "192.0.2.10", "--appliance-id", "1|2"},
      {"doctor"},                               // doctor needs an input
      {"doctor", "--key", "k", "--data", "f"},  // a key goes alone
      {"doctor", "--key", "k", "--managed-preferences"},
      {"doctor", "--package", "p", "--data", "f"},
      {"doctor", "--package", "p", "--text"},            // --text only with --data
      {"doctor", "--key", "k", "--probe-timeout", "1"},  // only with --probe
      {"doctor", "--key", "k", "--probe", "--probe-timeout", "0"},
      {"doctor", "--json"},
      {"--no-such-option"},
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
  // The text reader's echo of each line is not printed: standard output stays one object and
  // standard error is for errors.
  const kl::ProcessRun text = Tool({"prefill", "--json", "--text", Write("d.txt", "port=443\n")});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_EQ(json::parse(text.out)["serverPort"], 443);
  EXPECT_EQ(text.err, "");
}

TEST_F(KeytoolPrefill, UnusableFilesSayWhy) {
  const struct {
    std::string path, error;
  } cases[] = {
      {Write("bad.xml", "<Data>\n<ActivationKey>x</Data>"),
       dir_ + "/bad.xml: not a well-formed XML document (the XML parser stopped at line 2, column "
              "24)"},
      {Write("empty.xml", ""), dir_ + "/empty.xml: empty, not a well-formed XML document"},
      {dir_ + "/missing.xml", dir_ + "/missing.xml: no such file in " + dir_},
      {dir_ + "/none/d.xml", dir_ + "/none/d.xml: no such folder: " + dir_ + "/none"},
      {dir_, dir_ + ": a directory of that name, not a file"},
      // The pre-fill reader's size limit: well-formed, but read as nothing.
      {Write("big.xml", "<D>" + std::string(1 << 20, ' ') + "</D>"),
       dir_ + "/big.xml: larger than 1 MiB, which the pre-fill reader treats as unreadable"},
  };
  for (const auto& c : cases) {
    // The reason goes to standard error; standard output holds only what was read (nothing).
    for (const bool asJson : {true, false}) {
      const kl::ProcessRun r =
          Tool(asJson ? Args{"prefill", "--json", c.path} : Args{"prefill", c.path});
      EXPECT_EQ(r.exitCode, 1) << c.path;
      EXPECT_EQ(r.err, "kelvory-keytool: " + c.error + "\n");
      EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
      if (asJson) {
        EXPECT_EQ(json::parse(r.out)["containData"], false);
      }
    }
  }
}

}  // namespace
