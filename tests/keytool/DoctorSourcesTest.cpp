// The doctor's warnings and its sources (managed preferences before the pre-fill file), run as
// a real process.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

kl::ProcessRun Doctor(const Args& args) {
  Args all{"doctor"};
  all.insert(all.end(), args.begin(), args.end());
  return kl::RunProcess(KEYTOOL_PATH, all);
}

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

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

class DoctorSources : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    mkdir(path.substr(0, path.rfind('/')).c_str(), 0755);
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  json Report(const Args& args, int* exitCode = nullptr) {
    Args all{"--json"};
    all.insert(all.end(), args.begin(), args.end());
    const kl::ProcessRun r = Doctor(all);
    if (exitCode != nullptr) *exitCode = r.exitCode;
    return json::parse(r.out, nullptr, false);
  }
  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
};

// Each warning once, from the file or from the input the checks get. A warning leaves the
// verdict as it is; --strict turns it into exit 1.
TEST_F(DoctorSources, EachWarningAndStrict) {
  const std::string server = "<URL>127.0.0.1</URL><Protocol>https</Protocol><Port>8443</Port>";
  const struct {
    const char* name;
    std::string content;
    bool text;
    bool passes;
    std::vector<std::pair<std::string, std::string>> warnings;  // code, message
  } cases[] = {
      {"clean", CustomerXml(server), false, true, {}},
      {"protocol",
       CustomerXml("<URL>127.0.0.1</URL><Protocol>HTTPS</Protocol><Port>443</Port>"),
       false,
       true,
       {{"protocol-text",
         "<Protocol> is \"HTTPS\", not exactly \"http\" or \"https\", so it is read as http"}}},
      {"blanks",
       CustomerXml("<URL>127.0.0.1, 127.0.0.2 </URL><Port>80</Port>"),
       false,
       true,
       {{"server-list-blanks",
         "server-list item \" 127.0.0.2\" has blanks around it; it is used as it stands, blanks "
         "included"}}},
      {"misspelt",
       "<D><Custmer><ID>1</ID></Custmer><ActivationKey>" + Key("127.0.0.1|1|1|") +
           "</ActivationKey></D>",
       false,
       true,
       {{"unknown-name", "unknown element <Custmer> is ignored; did you mean <Customer>?"}}},
      {"nested",
       CustomerXml("<Url>x</Url><Adress>y</Adress>" + server),
       false,
       true,
       {{"unknown-name", "unknown element <Url> inside <Server> is ignored; did you mean <URL>?"},
        {"unknown-name", "unknown element <Adress> inside <Server> is ignored"}}},
      {"no port",
       CustomerXml("<URL>127.0.0.1</URL>"),
       false,
       true,
       {{"port-range", "port 0 of the server is outside 1-65535"}}},
      {"port 65536",
       CustomerXml("<URL>127.0.0.1</URL><Port>65536</Port>"),
       false,
       true,
       {{"port-range", "port 65536 of the server is outside 1-65535"}}},
      {"proxy port",
       CustomerXml(server, "<Proxy><URL>127.0.0.1</URL><Port>70000</Port></Proxy>"),
       false,
       true,
       {{"port-range", "port 70000 of the proxy is outside 1-65535"}}},
      {"key port",
       "<D><ActivationKey>" + Key("127.0.0.1:70000|1|1|") + "</ActivationKey></D>",
       false,
       true,
       {{"port-range", "port 70000 of the key's endpoint 127.0.0.1 is outside 1-65535"}}},
      {"malformed",
       "<D>\n<A>\n</B></D>",
       false,
       false,
       {{"malformed-at", "the XML parser stopped at line 3, column 5"}}},
      {"text key",
       "customerNmae=A\ncustomerID=7\nserverURL=127.0.0.1\nport=80\n",
       true,
       false,
       {{"unknown-name", "unknown key \"customerNmae\" is ignored; did you mean customerName?"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Write(std::string(c.name) + ".xml", c.content);
    Args args{"--data", file};
    if (c.text) args.push_back("--text");
    int code = -1;
    const json report = Report(args, &code);
    EXPECT_EQ(report["passes"], c.passes);
    EXPECT_EQ(code, c.passes ? 0 : 1);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const json& w : report["warnings"]) pairs.emplace_back(w["code"], w["message"]);
    EXPECT_EQ(pairs, c.warnings);

    // The plain report prints each warning on its own line.
    const std::string plain = Doctor(args).out;
    args.push_back("--strict");
    EXPECT_EQ(Doctor(args).exitCode, c.passes && c.warnings.empty() ? 0 : 1);
    for (const auto& w : c.warnings) {
      EXPECT_NE(plain.find("warning: " + w.second + "\n"), std::string::npos) << plain;
    }
  }
}

// Managed preferences come before the file beside the package; the first source with
// activation data supplies the record. Both property-list forms read the same.
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
  const std::string package = dir_ + "/pkg/Kelvory.pkg";
  Write("pkg/InstallationData.xml",
        "<D><ActivationKey>" + Key("127.0.0.5:8080|7|1|") + "</ActivationKey></D>");
  const json profileArgv = json::parse(R"(["<resources>/InitialValidate", "-s", "127.0.0.1",
      "-n", "8443", "-p", "https", "-x", "127.0.0.1:3128", "-f", "/tmp/kelvor.conf",
      "-c", "Profile Customer", "-i", "2002", "-l", "/tmp/kelvor_install.log"])");
  const json fileArgv = json::parse(R"(["<resources>/InitialValidate", "-s", "127.0.0.5",
      "-n", "8080", "-p", "http", "-f", "/tmp/kelvor.conf", "-a", "7",
      "-l", "/tmp/kelvor_install.log"])");
  const struct {
    const char* name;
    Args args;
    std::string source;
    json argv;
    json profile;  // location, found, hasData, problem
  } cases[] = {
      {"xml profile",
       {"--managed-preferences", profile},
       "managed-preferences",
       profileArgv,
       {profile, true, true, nullptr}},
      {"binary profile",
       {"--managed-preferences", binary},
       "managed-preferences",
       profileArgv,
       {binary, true, true, nullptr}},
      {"profile over file",
       {"--package", package, "--managed-preferences", profile},
       "managed-preferences",
       profileArgv,
       {profile, true, true, nullptr}},
      {"profile without data",
       {"--managed-preferences", serverOnly, "--package", package},
       "package-folder",
       fileArgv,
       {serverOnly, true, false, nullptr}},
      {"missing profile",
       {"--package", package, "--managed-preferences", dir_ + "/no.plist"},
       "package-folder",
       fileArgv,
       {dir_ + "/no.plist", false, false, "no such file in " + dir_}},
      {"not a dictionary",
       {"--package", package, "--managed-preferences", array},
       "package-folder",
       fileArgv,
       {array, false, false, "the property list is not a dictionary"}},
      // Without a path the platform's forced preferences, of which Linux has none.
      {"platform",
       {"--package", package, "--managed-preferences"},
       "package-folder",
       fileArgv,
       {"com.kelvory.activation", false, false,
        "no managed preferences are forced for this domain"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int code = -1;
    const json report = Report(c.args, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(report["source"], c.source);
    EXPECT_EQ(report["validation"].at(0)["argv"], c.argv);
    const json& p = report["profile"];
    EXPECT_EQ(json({p["location"], p["found"], p["hasData"], p["problem"]}), c.profile);
  }
  const json binaryRead = Report({"--managed-preferences", binary})["read"];
  EXPECT_EQ(binaryRead, Report({"--managed-preferences", profile})["read"]);
  EXPECT_EQ(binaryRead["proxyServer"], "127.0.0.1:3128");

  // Nothing anywhere: no source, and the report says where it looked.
  const json none = Report({"--managed-preferences", serverOnly, "--package", dir_ + "/x/p.pkg"});
  EXPECT_EQ(none["source"], "none");
  EXPECT_EQ(none["passes"], false);
  EXPECT_EQ(none["file"]["problem"], "no such folder: " + dir_ + "/x");
}

// A profile's own slips: unknown keys, values of a type that is not read, the protocol text, and
// a likely cause that names the profile.
TEST_F(DoctorSources, ProfileWarningsAndCause) {
  const std::string plist =
      Write("p.plist", Plist(Entry("CustomerNmae", "A") + Entry("CustomerID", "1") +
                             Entry("ServerProtocol", "HTTPS") +
                             "<key>ServerPort</key><array><integer>1</integer></array>" +
                             Entry("ServerURL", "127.0.0.1") + Entry("Colour", "blue")));
  const json report = Report({"--managed-preferences", plist});
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const json& w : report["warnings"]) pairs.emplace_back(w["code"], w["message"]);
  const std::vector<std::pair<std::string, std::string>> want = {
      // in key order
      {"unknown-name", "unknown key \"Colour\" is ignored"},
      {"unknown-name", "unknown key \"CustomerNmae\" is ignored; did you mean CustomerName?"},
      {"wrong-type", "the value of \"ServerPort\" is not a string or a number, so it is ignored"},
      {"protocol-text",
       "ServerProtocol is \"HTTPS\", not exactly \"http\" or \"https\", so it is read as http"},
  };
  EXPECT_EQ(pairs, want);
  EXPECT_EQ(report["alert"], "Activation key can not be empty");
  EXPECT_EQ(report["likelyCause"],
            "The profile gives a customer ID or a customer name but not both, so the pane keeps "
            "the key form and finds no key. Give both (or an activation key).");
  const std::string spaced =
      Write("k.plist", Plist(Entry("ActivationKey", "\n" + Key("127.0.0.1|1|1|") + "\n")));
  EXPECT_EQ(Report({"--managed-preferences", spaced})["likelyCause"],
            "The key holds line breaks, tabs or spaces around it: the profile's ActivationKey "
            "value is used exactly as given. Write the key in it without them.");
}

}  // namespace
