// The key tool's command-line contract, run as a real process.
#include <string>

#include "KeytoolRun.h"

namespace {

using kl::Args;
using kl::json;
using kl::Key;
using kl::Keytool;
using kl::operator+;

// What each command prints: standard output exactly, standard error empty. Arguments are used
// as given: the spaces stay part of the endpoint's host, and a value after "--" may start with
// "-"; invalid UTF-8 in JSON output becomes U+FFFD.
TEST(Keytool, PrintsExactlyWhatItRead) {
  const auto asJson = [](const char* text) { return json::parse(text).dump() + "\n"; };
  const std::string refused =
      json({{"error", "Invalid activation key format"},
            {"diagnostics", {"decoded text: \xEF\xBF\xBD", "field count: 1 (4 expected)"}}})
          .dump() +
      "\n";
  const struct {
    Args args;
    int code;
    std::string out;
  } cases[] = {
      {{"decode", "--json", Key("https://192.0.2.10:8443,192.0.2.11|42|1|x")},
       0,
       asJson(R"({"applianceId": 42, "endpoints": [
           {"protocol": "https", "host": "192.0.2.10", "port": 8443},
           {"protocol": "http", "host": "192.0.2.11", "port": 80}]})")},
      {{"decode", Key("192.0.2.10:8080|5|9|")},
       0,
       "applianceId: 5\nendpoint 1: protocol=http host=192.0.2.10 port=8080\n"},
      {{"decode", "--json", "--", "-"}, 1, refused},
      {{"endpoint", "--json", "ftp://192.0.2.10:21"},
       1,
       asJson(R"({"isValid": false, "protocol": "ftp", "host": "", "port": 80, "errorMessage":
           "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n"})")},
      {{"endpoint", "  192.0.2.10  "},
       0,
       "isValid: true\nprotocol: http\nhost:   192.0.2.10  \nport: 80\n"},
      {{"encode", "--endpoint", "https://192.0.2.10:8443", "--endpoint", "192.0.2.11",
        "--appliance-id", "7", "--type", "8", "--token", "t"},
       0,
       Key("https://192.0.2.10:8443,192.0.2.11|7|8|t") + "\n"},
      {{"encode", "--endpoint", "192.0.2.10"}, 0, Key("192.0.2.10||1|") + "\n"},
      {{"--version"}, 0, "kelvory-keytool " KL_VERSION "\n"},
  };
  for (const auto& c : cases) {
    const kl::ProcessRun r = Keytool(c.args);
    EXPECT_EQ(r.exitCode, c.code) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

// Which keys the decoder refuses is tested with the decoder; here each diagnostic the tool adds
// once, after the decoder's alert. encode refuses the same keys with the same words, on standard
// error; a host that does not resolve here is only a warning, since the installing machine may
// know it.
TEST(KeytoolDecode, RefusalsCarryTheAlertAndWhyAndEncodeRefusesThemToo) {
  const struct {
    std::string encode;  // the options that make the key
    std::string decoded, alert, why;
  } cases[] = {
      {"--endpoint 192.0.2.10 --appliance-id 5 --type 3", "192.0.2.10|5|3|",
       "Activation key is invalid for this agent type",
       "appliance type: \"3\" (1, 8 or 9 expected)"},
      {"--endpoint 192.0.2.10 --endpoint ftp://192.0.2.11 --appliance-id 42",
       "192.0.2.10,ftp://192.0.2.11|42|1|", "LRC checksum test failed",
       "rejected endpoint \"ftp://192.0.2.11\": Error: invalid protocol: ftp found in endpoint: "
       "ftp://192.0.2.11\n"},
      {"--endpoint 192.0.2.10 --appliance-id 99999999999", "192.0.2.10|99999999999|1|",
       "Unknown error",
       "appliance identifier: \"99999999999\" (decimal digits up to 2147483647 expected)"},
      {"--endpoint 127.0.0.1:0", "127.0.0.1:0||1|", "LRC checksum test failed", ""},
      {"--endpoint 127.0.0.1 --appliance-id 12a", "127.0.0.1|12a|1|", "Unknown error", ""},
  };
  for (const auto& c : cases) {
    const kl::ProcessRun dec = Keytool({"decode", Key(c.decoded)});
    EXPECT_EQ(dec.exitCode, 1) << c.decoded;
    const std::string said = "error: " + c.alert + "\ndecoded text: " + c.decoded +
                             "\nfield count: 4 (4 expected)\n" + c.why +
                             (c.why.empty() ? "" : "\n");
    EXPECT_EQ(c.why.empty() ? dec.out.substr(0, said.size()) : dec.out, said);
    const kl::ProcessRun enc = Keytool(kl::Words("encode " + c.encode));
    EXPECT_EQ(enc.exitCode, 1) << c.decoded;
    EXPECT_EQ(enc.out, "");
    EXPECT_EQ(enc.err, dec.out) << c.decoded;
  }

  const kl::ProcessRun unresolved =
      Keytool({"encode", "--endpoint", "https://-x.invalid:8443", "--appliance-id", "7"});
  EXPECT_EQ(unresolved.exitCode, 0) << unresolved.err;
  EXPECT_EQ(unresolved.out, Key("https://-x.invalid:8443|7|1|") + "\n");
  EXPECT_EQ(unresolved.err,
            "kelvory-keytool: warning: -x.invalid does not resolve on this machine; decode here "
            "refuses the key, a machine whose resolver knows it accepts it\n");
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
    const kl::ProcessRun r = Keytool(args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
}

using KeytoolPrefill = kl::KeytoolFiles;

TEST_F(KeytoolPrefill, ReadsBothForms) {
  const std::string file =
      Write("InstallationData.xml",
            "<Data><Customer><ID>42</ID><Name>Example Customer</Name></Customer>"
            "<Server><URL>a,b</URL><Protocol>https</Protocol><Port>8443x</Port></Server>"
            "<Proxy><URL>proxy.example</URL><Port>3128</Port></Proxy></Data>");
  const kl::ProcessRun r = Keytool({"prefill", "--json", file});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out), json::parse(R"({"containData": true, "activationKey": "",
      "customerId": "42", "customerName": "Example Customer", "serverURL": "a,b",
      "isHTTPS": true, "serverPort": 8443, "applianceId": 0,
      "proxyServer": "proxy.example:3128", "serverURLs": ["a", "b"]})"));
  // The text reader's echo of each line is not printed: standard output stays one object and
  // standard error is for errors.
  const kl::ProcessRun text =
      Keytool({"prefill", "--json", "--text", Write("d.txt", "port=443\n")});
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
      // The pre-fill reader's size limit: well-formed, but read as nothing. (The reasons shared
      // with the doctor, a missing file or folder and a directory, are tested there.)
      {Write("big.xml", "<D>" + std::string(1 << 20, ' ') + "</D>"),
       dir_ + "/big.xml: larger than 1 MiB, which the pre-fill reader treats as unreadable"},
  };
  for (const auto& c : cases) {
    // The reason goes to standard error; standard output holds only what was read (nothing).
    for (const bool asJson : {true, false}) {
      const kl::ProcessRun r =
          Keytool(asJson ? Args{"prefill", "--json", c.path} : Args{"prefill", c.path});
      EXPECT_EQ(r.exitCode, 1) << c.path;
      EXPECT_EQ(r.err, "kelvory-keytool: " + c.error + "\n");
      EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
      EXPECT_EQ(asJson ? json::parse(r.out)["containData"] : json(false), false);
    }
  }
}

}  // namespace
