// The doctor's warnings and its sources (managed preferences before the pre-fill file), run as
// a real process.
#include <string>

#include "KeytoolRun.h"

namespace {

using kl::Args;
using kl::DoctorReport;
using kl::json;
using kl::Key;
using kl::Keytool;
using kl::operator+;

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

using DoctorSources = kl::KeytoolFiles;

// Each warning once, from a pre-fill file (.xml) or its text form (.txt), each printed as a line
// of its own. A warning leaves the verdict as it is; --strict turns it
// into exit 1.
TEST_F(DoctorSources, EachWarningAndStrict) {
  const std::string server = "<URL>127.0.0.1</URL><Protocol>https</Protocol><Port>8443</Port>";
  const struct {
    std::string name, content;
    bool passes;
    std::string warnings;  // "code: message" lines
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Write(c.name, c.content), kind = c.name.substr(c.name.find('.'));
    const Args args = kind == ".txt" ? Args{"--data", file, "--text"} : Args{"--data", file};
    int code = -1;
    const json report = DoctorReport(args, &code);
    EXPECT_EQ(report["passes"], c.passes);
    EXPECT_EQ(code, c.passes ? 0 : 1);
    EXPECT_EQ(kl::WarningLines(report), c.warnings);
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

// A profile's own slips, in key order: unknown keys, values of a type that is not read, the
// protocol text; and a likely cause that names the profile.
TEST_F(DoctorSources, ProfileWarningsAndCause) {
  const json one = DoctorReport(
      {"--managed-preferences",
       Write("profile.plist", Plist(Entry("CustomerNmae", "A") + Entry("CustomerID", "1") +
                                    Entry("ServerProtocol", "HTTPS") +
                                    "<key>ServerPort</key><array><integer>1</integer></array>" +
                                    Entry("ServerURL", "127.0.0.1") + Entry("Colour", "blue")))});
  EXPECT_EQ(
      kl::WarningLines(one),
      "unknown-name: unknown key \"Colour\" is ignored\n"
      "unknown-name: unknown key \"CustomerNmae\" is ignored; did you mean CustomerName?\n"
      "wrong-type: the value of \"ServerPort\" is not a string or a number, so it is ignored\n"
      "protocol-text: ServerProtocol is \"HTTPS\", not exactly \"http\" or \"https\", so it "
      "is read as http\n");
  EXPECT_EQ(one["alert"], "Activation key can not be empty");
  EXPECT_EQ(one["likelyCause"],
            "The profile gives a customer ID or a customer name but not both, so the pane keeps "
            "the key form and finds no key. Give both (or an activation key).");
  const std::string spaced =
      Write("k.plist", Plist(Entry("ActivationKey", "\n" + Key("127.0.0.1|1|1|") + "\n")));
  EXPECT_EQ(DoctorReport({"--managed-preferences", spaced})["likelyCause"],
            "The key holds line breaks, tabs or spaces around it: the profile's ActivationKey "
            "value is used exactly as given. Write the key in it without them.");
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
        "<D><ActivationKey>" + kl::Key("127.0.0.5:8080|7|1|") + "</ActivationKey></D>");
  const json profileArgv = json::parse(R"(["<resources>/InitialValidate", "-s", "127.0.0.1",
      "-n", "8443", "-p", "https", "-x", "127.0.0.1:3128", "-f", "/tmp/kelvor.conf",
      "-c", "Profile Customer", "-i", "2002", "-l", "/tmp/kelvor_install.log"])");
  const json fileArgv = json::parse(R"(["<resources>/InitialValidate", "-s", "127.0.0.5",
      "-n", "8080", "-p", "http", "-f", "/tmp/kelvor.conf", "-a", "7",
      "-l", "/tmp/kelvor_install.log"])");
  const std::string platform = "com.kelvory.activation";
  const struct {
    Args args;
    bool fromProfile;  // else from the file beside the package
    json profile;      // location, found, hasData, problem
  } cases[] = {
      {{"--managed-preferences", profile}, true, {profile, true, true, nullptr}},  // xml profile
      {{"--managed-preferences", binary}, true, {binary, true, true, nullptr}},    // binary profile
      {{"--package", package, "--managed-preferences", profile},
       true,
       {profile, true, true, nullptr}},
      // profile without data: the file
      {{"--managed-preferences", serverOnly, "--package", package},
       false,
       {serverOnly, true, false, nullptr}},
      {{"--package", package, "--managed-preferences", none},
       false,
       {none, false, false, "no such file in " + dir_}},
      {{"--package", package, "--managed-preferences", array},
       false,
       {array, false, false, "the property list is not a dictionary"}},
      // Without a path the platform's forced preferences, of which Linux has none.
      {{"--package", package, "--managed-preferences"},
       false,
       {platform, false, false, "no managed preferences are forced for this domain"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    int code = -1;
    const json report = DoctorReport(c.args, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(report["source"], c.fromProfile ? "managed-preferences" : "package-folder");
    EXPECT_EQ(report["validation"].at(0)["argv"], c.fromProfile ? profileArgv : fileArgv);
    const json& p = report["profile"];
    EXPECT_EQ(json({p["location"], p["found"], p["hasData"], p["problem"]}), c.profile);
  }
  const json binaryRead = DoctorReport({"--managed-preferences", binary})["read"];
  EXPECT_EQ(binaryRead, DoctorReport({"--managed-preferences", profile})["read"]);
  EXPECT_EQ(binaryRead["proxyServer"], "127.0.0.1:3128");

  // Nothing anywhere: no source, and the report says where it looked.
  int code = -1;
  const json nothing =
      DoctorReport({"--managed-preferences", serverOnly, "--package", dir_ + "/x/p.pkg"}, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(nothing["source"], "none");
  EXPECT_EQ(nothing["passes"], false);
  EXPECT_EQ(nothing["file"]["problem"], "no such folder: " + dir_ + "/x");
}

}  // namespace
