// The key tool's doctor, run as a real process on pre-fill files and keys.
#include <string>

#include "KeytoolRun.h"

namespace {

using kl::DoctorReport;
using kl::json;
using kl::Key;
using kl::Keytool;

const std::string kKey = Key("https://192.0.2.10:8443,localhost|42|1|t");

using DoctorFiles = kl::KeytoolFiles;

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
    int code = -1;
    const json report = DoctorReport({"--package", dir_ + "/" + c.folder + "/Kelvory.pkg"}, &code);
    // It passes when the file is usable and the pane raises no alert.
    const bool passes = c.problem.is_null() && c.alert.is_null();
    EXPECT_EQ(code, passes ? 0 : 1) << c.folder;
    EXPECT_EQ(report["passes"], passes) << c.folder;
    EXPECT_EQ(
        report["file"],
        json({{"path", dir_ + "/" + c.folder + data}, {"found", c.found}, {"problem", c.problem}}));
    EXPECT_EQ(report["alert"], c.alert) << c.folder;
    const json cause = report["likelyCause"];
    EXPECT_EQ(cause.is_null(), c.cause.empty()) << c.folder;
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
  EXPECT_EQ(report["key"]["decoded"], decoded);
  EXPECT_EQ(report["key"]["applianceId"], "7");
  EXPECT_EQ(report["key"]["applianceType"], "1");
  json endpoints = json::array();  // valid, resolves, message
  for (const json& e : report["key"]["endpoints"]) {
    endpoints.push_back({e["valid"], e["resolves"], e["message"]});
  }
  const json want = {
      {true, true, ""},
      {false, nullptr, "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.11\n"},
      {false, false,
       " Error: hostname: -x.invalid found in endpoint http://-x.invalid is not valid IP address "
       "or can't be resolved to an IP address\n"}};
  EXPECT_EQ(endpoints, want);

  // A key after a tab: the plain cause for a typed key; a good key passes.
  const kl::ProcessRun typed = Keytool({"doctor", "--key", "\t" + kKey});
  EXPECT_EQ(typed.exitCode, 1);
  EXPECT_NE(typed.out.find("likely cause: The key holds line breaks, tabs or spaces around it, "
                           "and the pane uses a key exactly as given."),
            std::string::npos)
      << typed.out;
  EXPECT_EQ(Keytool({"doctor", "--key", kKey}).exitCode, 0);
}

}  // namespace
