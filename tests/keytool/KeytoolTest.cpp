// The key tool run as a real process, without a shell: its commands, the doctor's verdicts on
// pre-fill files, profiles and keys, and the doctor's --probe against the simulator, a TLS server
// of the test's own, a closed port and a port that never answers, all on loopback.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "KLHelper.h"
#include "TempDir.h"
#include "ToolRun.h"

namespace {

using kl::Args;
using kl::operator+;
using nlohmann::json;

kl::ProcessRun Keytool(const Args& args) { return kl::RunProcess(KEYTOOL_PATH, args); }

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

// `text` as the tool prints a JSON object: compact, on one line.
std::string JsonLine(const std::string& text) { return json::parse(text).dump() + "\n"; }

// `doctor --json ARGS`: the exit code and the report (discarded when not JSON).
json DoctorReport(const Args& args, int* exitCode = nullptr) {
  const kl::ProcessRun r = Keytool(Args{"doctor", "--json"} + args);
  if (exitCode != nullptr) *exitCode = r.exitCode;
  return json::parse(r.out, nullptr, false);
}

class KeytoolFiles : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    return tmp_.Write(name, content);
  }
  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
};

using KeytoolCommands = KeytoolFiles;

// Each command's whole output and exit code; standard error stays empty unless a row gives it.
TEST_F(KeytoolCommands, PrintExactlyWhatTheyFound) {
  const std::string xml =
      Write("InstallationData.xml",
            "<Data><Customer><ID>42</ID><Name>Example Customer</Name></Customer>"
            "<Server><URL>a,b</URL><Protocol>https</Protocol><Port>8443x</Port></Server>"
            "<Proxy><URL>proxy.example</URL><Port>3128</Port></Proxy></Data>");
  const struct {
    Args args;
    int code;
    std::string out, err = "";
  } cases[] = {
      {{"decode", "--json", Key("https://192.0.2.10:8443,192.0.2.11|42|1|x")},
       0,
       JsonLine(R"({"applianceId": 42, "endpoints": [
           {"protocol": "https", "host": "192.0.2.10", "port": 8443},
           {"protocol": "http", "host": "192.0.2.11", "port": 80}]})")},
      {{"decode", Key("192.0.2.10:8080|5|9|")},
       0,
       "applianceId: 5\nendpoint 1: protocol=http host=192.0.2.10 port=8080\n"},
      // Which keys the decoder refuses is tested with the decoder; here the decoder's alert and
      // each diagnostic the tool adds.
      {{"decode", Key("192.0.2.10|5|3|")},
       1,
       "error: Activation key is invalid for this agent type\ndecoded text: 192.0.2.10|5|3|\n"
       "field count: 4 (4 expected)\nappliance type: \"3\" (1, 8 or 9 expected)\n"},
      {{"decode", Key("192.0.2.10,ftp://192.0.2.11|42|1|")},
       1,
       "error: LRC checksum test failed\ndecoded text: 192.0.2.10,ftp://192.0.2.11|42|1|\n"
       "field count: 4 (4 expected)\nrejected endpoint \"ftp://192.0.2.11\": Error: invalid "
       "protocol: ftp found in endpoint: ftp://192.0.2.11\n\n"},
      {{"decode", Key("192.0.2.10|99999999999|1|")},
       1,
       "error: Unknown error\ndecoded text: 192.0.2.10|99999999999|1|\nfield count: 4 (4 "
       "expected)\nappliance identifier: \"99999999999\" (decimal digits up to 2147483647 "
       "expected)\n"},
      // As JSON; a value after "--" may start with "-", and invalid UTF-8 becomes U+FFFD.
      {{"decode", "--json", "--", "-"}, 1, JsonLine(R"j({"error": "Invalid activation key format",
           "diagnostics": ["decoded text: \ufffd", "field count: 1 (4 expected)"]})j")},
      {{"endpoint", "--json", "ftp://192.0.2.10:21"},
       1,
       JsonLine(R"({"isValid": false, "protocol": "ftp", "host": "", "port": 80, "errorMessage":
           "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n"})")},
      // The argument is not trimmed: the spaces stay part of the host.
      {{"endpoint", "  192.0.2.10  "},
       0,
       "isValid: true\nprotocol: http\nhost:   192.0.2.10  \nport: 80\n"},
      {{"encode", "--endpoint", "https://192.0.2.10:8443", "--endpoint", "192.0.2.11",
        "--appliance-id", "7", "--type", "8", "--token", "t"},
       0,
       Key("https://192.0.2.10:8443,192.0.2.11|7|8|t") + "\n"},
      {{"encode", "--endpoint", "192.0.2.10"}, 0, Key("192.0.2.10||1|") + "\n"},
      // A host that does not resolve here is only a warning: the installing machine may know it.
      {{"encode", "--endpoint", "https://-x.invalid:8443", "--appliance-id", "7"},
       0,
       Key("https://-x.invalid:8443|7|1|") + "\n",
       "kelvory-keytool: warning: -x.invalid does not resolve on this machine; decode here "
       "refuses the key, a machine whose resolver knows it accepts it\n"},
      {{"--version"}, 0, "kelvory-keytool " KL_VERSION "\n"},
      {{"prefill", "--json", xml},
       0,
       JsonLine(R"({"containData": true, "activationKey": "", "customerId": "42",
           "customerName": "Example Customer", "serverURL": "a,b", "isHTTPS": true,
           "serverPort": 8443, "applianceId": 0, "proxyServer": "proxy.example:3128",
           "serverURLs": ["a", "b"]})")},
      // The text reader's echo of each line is not printed: standard error is for errors.
      {{"prefill", "--text", Write("d.txt", "customerName=A\nserverURL=a\nport=443\n")},
       0,
       "containData: true\nactivationKey: \ncustomerId: \ncustomerName: A\nserverURL: a\n"
       "isHTTPS: false\nserverPort: 443\napplianceId: 0\nproxyServer: \nserverURLs: [\"a\"]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const kl::ProcessRun r = Keytool(c.args);
    EXPECT_EQ(r.exitCode, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

// encode refuses exactly what decode refuses, with decode's words, on standard error.
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
    const kl::ProcessRun enc = Keytool(Args{"encode"} + c.options);
    const kl::ProcessRun dec = Keytool({"decode", Key(c.decoded)});
    EXPECT_EQ(enc.exitCode, 1) << c.decoded;
    EXPECT_EQ(enc.out, "");
    EXPECT_EQ(dec.exitCode, 1) << c.decoded;
    EXPECT_EQ(enc.err, dec.out) << c.decoded;
  }
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
  // A mistyped option is named, not taken for a missing subcommand or KEY.
  for (const Args& args : {Args{"--no-such-option"}, Args{"decode", "--no-such-option"}}) {
    EXPECT_EQ(
        Keytool(args).err.rfind("The following argument was not expected: --no-such-option\n", 0),
        0u);
  }
}

// Why a file cannot be used goes to standard error; standard output holds only what was read
// (nothing).
TEST_F(KeytoolCommands, UnusablePrefillFilesSayWhy) {
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
    for (const Args& args : {Args{"prefill", "--json", c.path}, Args{"prefill", c.path}}) {
      const kl::ProcessRun r = Keytool(args);
      EXPECT_EQ(r.exitCode, 1) << c.path;
      EXPECT_EQ(r.err, "kelvory-keytool: " + c.error + "\n");
      EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find(args[1] == "--json" ? "\"containData\":false" : "containData: false"),
                std::string::npos);
    }
  }
}

const std::string kKey = Key("https://192.0.2.10:8443,localhost|42|1|t");

std::string CustomerXml(const std::string& server, const std::string& extra = "") {
  return "<D><Customer><ID>42</ID><Name>A</Name></Customer><Server>" + server + "</Server>" +
         extra + "</D>";
}

// A property list in XML, the form a profile's payload has.
std::string Plist(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries +
         "</dict></plist>\n";
}

std::string Entry(const std::string& key, const std::string& value) {
  return "<key>" + key + "</key><string>" + value + "</string>";
}

// {CustomerName: "Profile Customer", CustomerID: 2002, ServerURL: "127.0.0.1", ServerProtocol:
// "https", ServerPort: 8443, ProxyURL: "127.0.0.1", ProxyPort: 3128} in the binary form,
// written by Python's plistlib (numbers as integers, as a profile editor stores them).
const char kBinaryPlistHex[] =
    "62706c6973743030d70102030405060708090a0b0c0d0b5a437573746f6d657249445c437573746f6d65724e"
    "616d655950726f7879506f72745850726f787955524c5a536572766572506f72745e53657276657250726f74"
    "6f636f6c5953657276657255524c1107d25f101050726f66696c6520437573746f6d6572110c38593132372e"
    "302e302e311120fb5568747470730817222f39424d5c66697c7f898c0000000000000101000000000000000e"
    "00000000000000000000000000000092";

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

using DoctorFiles = KeytoolFiles;

TEST_F(DoctorFiles, SaysWhatThePaneWouldDoAndWhy) {
  const std::string server =
      "<Server><URL>192.0.2.20,localhost</URL><Protocol>https</Protocol><Port>8443</Port></Server>";
  const std::string data = "/InstallationData.xml";
  Write("indented" + data, "<D>\n  <ActivationKey>\n    " + kKey + "\n  </ActivationKey>\n</D>");
  mkdir((dir_ + "/dir").c_str(), 0755);
  mkdir((dir_ + "/dir" + data).c_str(), 0755);
  Write("bad" + data, "<D><ActivationKey>x");
  Write("server" + data, "<D>" + server + "</D>");
  Write("id" + data, "<D><Customer><ID>42</ID></Customer></D>");
  Write("customer" + data, "<D><Customer><ID>42</ID><Name>A B</Name></Customer>" + server +
                               "<Proxy><URL>proxy.invalid</URL><Port>3128</Port></Proxy></D>");
  const struct {
    std::string folder;
    bool found;
    json problem, alert;
    std::string cause;  // how the likely cause starts; empty: none
  } cases[] = {
      {"customer", true, nullptr, nullptr, ""},
      {"indented", true, nullptr, "Invalid activation key format",
       "The key holds line breaks, tabs or spaces around it: a key written on its own line "
       "inside <ActivationKey>"},
      {"none", false, "no such folder: " + dir_ + "/none", nullptr, ""},
      {".", false, "no such file in " + dir_ + "/.", nullptr, ""},
      {"dir", false, "a directory of that name, not a file", nullptr, ""},
      {"bad", true, "not a well-formed XML document", nullptr, ""},
      // A server address alone is no activation data: the pane asks, with no alert.
      {"server", true,
       "holds no activation data (no activation key, customer ID or customer name), so the pane "
       "does not fill itself and asks the user",
       nullptr, ""},
      {"id", true, nullptr, "Activation key can not be empty",
       "The file gives a customer ID or a customer name but not both"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    int code = -1;
    const json report = DoctorReport({"--package", dir_ + "/" + c.folder + "/Kelvory.pkg"}, &code);
    // It passes when the file is usable and the pane raises no alert.
    const bool passes = c.problem.is_null() && c.alert.is_null();
    EXPECT_EQ(code, passes ? 0 : 1);
    EXPECT_EQ(report["passes"], passes);
    EXPECT_EQ(
        report["file"],
        json({{"path", dir_ + "/" + c.folder + data}, {"found", c.found}, {"problem", c.problem}}));
    EXPECT_EQ(report["alert"], c.alert);
    const json cause = report["likelyCause"];
    EXPECT_EQ(cause.is_null() ? "" : cause.get<std::string>().substr(0, c.cause.size()), c.cause);
  }

  // One validation run per server address, in the order the pane fails over.
  const json runs = DoctorReport({"--data", dir_ + "/customer" + data})["validation"];
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0]["argv"], json::parse(R"(["<resources>/InitialValidate", "-s", "192.0.2.20",
      "-n", "8443", "-p", "https", "-x", "proxy.invalid:3128", "-f", "/tmp/kelvor.conf",
      "-c", "A B", "-i", "42", "-l", "/tmp/kelvor_install.log"])"));
  EXPECT_EQ(runs[1]["server"], "localhost");
  Write("text" + data, "customerName=A\ncustomerID=7\nserverURL=localhost\n");
  EXPECT_EQ(DoctorReport({"--text", "--data", dir_ + "/text" + data})["passes"], true);
  EXPECT_EQ(Keytool({"doctor", "--package", dir_ + "/none/p"}).out,
            "pre-fill file: \"" + dir_ + "/none" + data + "\"\nfound: no\nproblem: no " +
                "such folder: " + dir_ + "/none\npasses by itself: no\n");
}

// Every endpoint with its own message, past the first bad one, and each host's resolution.
// "-x.invalid" is not a host name, so the resolver refuses it without asking any server.
TEST(DoctorKey, EveryEndpointAndEveryHost) {
  const std::string decoded = "192.0.2.10,ftp://192.0.2.11,http://-x.invalid|7|1|";
  int code = -1;
  const json report = DoctorReport({"--key", Key(decoded)}, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(report["alert"], "LRC checksum test failed");
  EXPECT_EQ(json({report["key"]["decoded"], report["key"]["applianceId"],
                  report["key"]["applianceType"]}),
            json({decoded, "7", "1"}));
  json endpoints = json::array();  // valid, resolves, message
  for (const json& e : report["key"]["endpoints"]) {
    endpoints.push_back({e["valid"], e["resolves"], e["message"]});
  }
  EXPECT_EQ(
      endpoints,
      json({{true, true, ""},
            {false, nullptr, "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.11\n"},
            {false, false,
             " Error: hostname: -x.invalid found in endpoint http://-x.invalid is not "
             "valid IP address or can't be resolved to an IP address\n"}}));

  // A key after a tab: the plain cause for a typed key; a good key passes.
  const kl::ProcessRun typed = Keytool({"doctor", "--key", "\t" + kKey});
  EXPECT_EQ(typed.exitCode, 1);
  EXPECT_NE(typed.out.find("likely cause: The key holds line breaks, tabs or spaces around it, "
                           "and the pane uses a key exactly as given."),
            std::string::npos)
      << typed.out;
  EXPECT_EQ(Keytool({"doctor", "--key", kKey}).exitCode, 0);
}

using DoctorSources = KeytoolFiles;

// Each warning once, from a pre-fill file (.xml), its text form (.txt) or a profile (.plist),
// each printed as a line of its own. A warning leaves the verdict as it is; --strict turns it
// into exit 1.
TEST_F(DoctorSources, EachWarningAndStrict) {
  const std::string server = "<URL>127.0.0.1</URL><Protocol>https</Protocol><Port>8443</Port>";
  const struct {
    std::string name, content;
    bool passes;
    std::string warnings;    // "code: message" lines
    std::string cause = "";  // the likely cause, exactly; empty: not checked
  } cases[] = {
      {"clean.xml", CustomerXml(server), true, ""},
      {"text.txt", "customerName=A\ncustomerID=7\nserverURL=127.0.0.1\nport=80\n", true, ""},
      {"protocol.xml",
       CustomerXml("<URL>127.0.0.1</URL><Protocol>HTTPS</Protocol><Port>443</Port>"), true,
       "protocol-text: <Protocol> is \"HTTPS\", not exactly \"http\" or \"https\", so it is read "
       "as http\n"},
      {"blanks.xml", CustomerXml("<URL>127.0.0.1, 127.0.0.2 </URL><Port>80</Port>"), true,
       "server-list-blanks: server-list item \" 127.0.0.2\" has blanks around it; it is used as it "
       "stands, blanks included\n"},
      {"misspelt.xml",
       "<D><Custmer><ID>1</ID></Custmer><ActivationKey>" + Key("127.0.0.1|1|1|") +
           "</ActivationKey></D>",
       true, "unknown-name: unknown element <Custmer> is ignored; did you mean <Customer>?\n"},
      {"nested.xml", CustomerXml("<Url>x</Url><Adress>y</Adress>" + server), true,
       "unknown-name: unknown element <Url> inside <Server> is ignored; did you mean <URL>?\n"
       "unknown-name: unknown element <Adress> inside <Server> is ignored\n"},
      {"noport.xml", CustomerXml("<URL>127.0.0.1</URL>"), true,
       "port-range: port 0 of the server is outside 1-65535\n"},
      {"port.xml", CustomerXml("<URL>127.0.0.1</URL><Port>65536</Port>"), true,
       "port-range: port 65536 of the server is outside 1-65535\n"},
      {"proxy.xml", CustomerXml(server, "<Proxy><URL>127.0.0.1</URL><Port>70000</Port></Proxy>"),
       true, "port-range: port 70000 of the proxy is outside 1-65535\n"},
      {"key.xml", "<D><ActivationKey>" + Key("127.0.0.1:70000|1|1|") + "</ActivationKey></D>", true,
       "port-range: port 70000 of the key's endpoint 127.0.0.1 is outside 1-65535\n"},
      {"malformed.xml", "<D>\n<A>\n</B></D>", false,
       "malformed-at: the XML parser stopped at line 3, column 5\n"},
      {"typo.txt", "customerNmae=A\ncustomerID=7\nserverURL=127.0.0.1\nport=80\n", false,
       "unknown-name: unknown key \"customerNmae\" is ignored; did you mean customerName?\n"},
      // A profile's own slips, in key order; the likely cause names the profile.
      {"slips.plist",
       Plist(Entry("CustomerNmae", "A") + Entry("CustomerID", "1") +
             Entry("ServerProtocol", "HTTPS") +
             "<key>ServerPort</key><array><integer>1</integer></array>" +
             Entry("ServerURL", "127.0.0.1") + Entry("Colour", "blue")),
       false,
       "unknown-name: unknown key \"Colour\" is ignored\n"
       "unknown-name: unknown key \"CustomerNmae\" is ignored; did you mean CustomerName?\n"
       "wrong-type: the value of \"ServerPort\" is not a string or a number, so it is ignored\n"
       "protocol-text: ServerProtocol is \"HTTPS\", not exactly \"http\" or \"https\", so it "
       "is read as http\n",
       "The profile gives a customer ID or a customer name but not both, so the pane keeps the "
       "key form and finds no key. Give both (or an activation key)."},
      {"spaced.plist", Plist(Entry("ActivationKey", "\n" + Key("127.0.0.1|1|1|") + "\n")), false,
       "",
       "The key holds line breaks, tabs or spaces around it: the profile's ActivationKey value is "
       "used exactly as given. Write the key in it without them."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Write(c.name, c.content), kind = c.name.substr(c.name.find('.'));
    const Args args = kind == ".txt"     ? Args{"--data", file, "--text"}
                      : kind == ".plist" ? Args{"--managed-preferences", file}
                                         : Args{"--data", file};
    int code = -1;
    const json report = DoctorReport(args, &code);
    EXPECT_EQ(report["passes"], c.passes);
    EXPECT_EQ(code, c.passes ? 0 : 1);
    std::string warnings;
    for (const json& w : report["warnings"]) {
      warnings += w["code"].get<std::string>() + ": " + w["message"].get<std::string>() + "\n";
    }
    EXPECT_EQ(warnings, c.warnings);
    if (!c.cause.empty()) {
      EXPECT_EQ(report["likelyCause"], c.cause);
    }
    const std::string plain = Keytool(Args{"doctor"} + args).out;
    for (size_t at = 0, end; (end = c.warnings.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string line = c.warnings.substr(at, end - at);
      EXPECT_NE(plain.find("\nwarning: " + line.substr(line.find(": ") + 2) + "\n"),
                std::string::npos)
          << plain;
    }
    EXPECT_EQ(Keytool(Args{"doctor", "--strict"} + args).exitCode,
              c.passes && c.warnings.empty() ? 0 : 1);
  }
}

// The first source with activation data supplies the record; both property-list forms read the
// same. The report says what was found in the profile and which source gave the data.
TEST_F(DoctorSources, ManagedPreferencesBeforeTheFile) {
  const std::string profile = Write(
      "profile.plist",
      Plist(Entry("CustomerName", "Profile Customer") +
            "<key>CustomerID</key><integer>2002</integer>" + Entry("ServerURL", "127.0.0.1") +
            Entry("ServerProtocol", "https") + "<key>ServerPort</key><integer>8443</integer>" +
            Entry("ProxyURL", "127.0.0.1") + Entry("ProxyPort", "3128")));
  const std::string binary = Write("binary.plist", FromHex(kBinaryPlistHex));
  const std::string serverOnly = Write("server.plist", Plist(Entry("ServerURL", "127.0.0.9")));
  const std::string array =
      Write("array.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
            "<array><string>x</string></array></plist>\n");
  const std::string package = dir_ + "/pkg/Kelvory.pkg", none = dir_ + "/no.plist";
  Write("pkg/InstallationData.xml",
        "<D><ActivationKey>" + Key("127.0.0.5:8080|7|1|") + "</ActivationKey></D>");
  const json profileArgv = json::parse(R"(["<resources>/InitialValidate", "-s", "127.0.0.1",
      "-n", "8443", "-p", "https", "-x", "127.0.0.1:3128", "-f", "/tmp/kelvor.conf",
      "-c", "Profile Customer", "-i", "2002", "-l", "/tmp/kelvor_install.log"])");
  const json fileArgv = json::parse(R"(["<resources>/InitialValidate", "-s", "127.0.0.5",
      "-n", "8080", "-p", "http", "-f", "/tmp/kelvor.conf", "-a", "7",
      "-l", "/tmp/kelvor_install.log"])");
  const struct {
    Args args;
    bool fromProfile;     // else from the file beside the package
    std::string problem;  // why no profile was found; empty: one was
  } cases[] = {
      {{"--managed-preferences", profile}, true, ""},  // xml profile
      {{"--managed-preferences", binary}, true, ""},   // binary profile
      {{"--package", package, "--managed-preferences", profile}, true, ""},
      // profile without data: the file
      {{"--managed-preferences", serverOnly, "--package", package}, false, ""},
      {{"--package", package, "--managed-preferences", none}, false, "no such file in " + dir_},
      {{"--package", package, "--managed-preferences", array},
       false,
       "the property list is not a dictionary"},
      // Without a path the platform's forced preferences, of which Linux has none.
      {{"--package", package, "--managed-preferences"},
       false,
       "no managed preferences are forced for this domain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    int code = -1;
    const json report = DoctorReport(c.args, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(report["source"], c.fromProfile ? "managed-preferences" : "package-folder");
    EXPECT_EQ(report["validation"].at(0)["argv"], c.fromProfile ? profileArgv : fileArgv);
    const auto option = std::find(c.args.begin(), c.args.end(), "--managed-preferences");
    const json& p = report["profile"];
    EXPECT_EQ(p["location"], option + 1 == c.args.end() ? "com.kelvory.activation" : option[1]);
    EXPECT_EQ(json({p["found"], p["hasData"], p["problem"]}),
              json({c.problem.empty(), c.fromProfile,
                    c.problem.empty() ? json(nullptr) : json(c.problem)}));
  }
  const json binaryRead = DoctorReport({"--managed-preferences", binary})["read"];
  EXPECT_EQ(binaryRead, DoctorReport({"--managed-preferences", profile})["read"]);
  EXPECT_EQ(binaryRead["proxyServer"], "127.0.0.1:3128");

  // Nothing anywhere: no source, and the report says where it looked.
  int code = -1;
  const json nothing =
      DoctorReport({"--managed-preferences", serverOnly, "--package", dir_ + "/x/p.pkg"}, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(json({nothing["source"], nothing["passes"], nothing["file"]["problem"]}),
            json({"none", false, "no such folder: " + dir_ + "/x"}));
}

const std::string kCert = KEYTOOL_TEST_DIR "/probe-cert.pem";

class DoctorProbe : public KeytoolFiles {
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
    return DoctorReport(Args{"--probe", "--data", file} + extra, exitCode);
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
  EXPECT_NE(Keytool({"doctor", "--probe", "--data", file})
                .out.find("probe 1: https://127.0.0.1:" + std::to_string(tlsPort_) + " via " +
                          viaSim + ": unreachable: "),
            std::string::npos);
  Probe("127.0.0.1", "http", closedPort, "");
  const kl::ProcessRun plain = Keytool({"doctor", "--probe", "--data", file});
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
