// The doctor's sources: managed preferences before the pre-fill file beside the package.
#include <string>

#include "KeytoolRun.h"

namespace {

using kl::Args;
using kl::DoctorReport;
using kl::json;

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

std::string Plist(const std::string& root) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + root +
         "</plist>\n";
}

using DoctorSources = kl::KeytoolFiles;

// The first source with activation data supplies the record; both property-list forms read the
// same. The report says what was found in the profile and which source gave the data.
TEST_F(DoctorSources, ManagedPreferencesBeforeTheFile) {
  const auto s = [](const char* k, const char* v) {
    return "<key>" + std::string(k) + "</key><string>" + v + "</string>";
  };
  const std::string profile =
      Write("profile.plist",
            Plist("<dict>" + s("CustomerName", "Profile Customer") +
                  "<key>CustomerID</key><integer>2002</integer>" + s("ServerURL", "127.0.0.1") +
                  s("ServerProtocol", "https") + "<key>ServerPort</key><integer>8443</integer>" +
                  s("ProxyURL", "127.0.0.1") + s("ProxyPort", "3128") + "</dict>"));
  const std::string binary = Write("binary.plist", FromHex(kBinaryPlistHex));
  const std::string serverOnly =
      Write("server.plist", Plist("<dict>" + s("ServerURL", "127.0.0.9") + "</dict>"));
  const std::string array = Write("array.plist", Plist("<array><string>x</string></array>"));
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
      {{"--managed-preferences", profile}, true, {profile, true, true, nullptr}},
      {{"--managed-preferences", binary}, true, {binary, true, true, nullptr}},
      {{"--package", package, "--managed-preferences", profile},
       true,
       {profile, true, true, nullptr}},
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
