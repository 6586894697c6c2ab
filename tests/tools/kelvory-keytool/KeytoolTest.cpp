// The key tool run as a real process, without a shell: its commands, the doctor's verdicts on
// pre-fill files, profiles and keys, and the doctor's --probe, all on loopback.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "KLHelper.h"
#include "Lookup.h"
#include "PlistText.h"
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
  const std::string empty = JsonLine(R"({"containData": false, "activationKey": "",
      "customerId": "", "customerName": "", "serverURL": "", "isHTTPS": false, "serverPort": 0,
      "applianceId": 0, "proxyServer": "", "serverURLs": [""]})");
  const struct {
    Args args;
    int code;
    std::string out, err = "";
  } cases[] = {
      {Args{"decode", "--json", Key("https://192.0.2.10:8443,192.0.2.11|42|1|x")}, 0,
       JsonLine(R"({"applianceId": 42, "endpoints": [
           {"protocol": "https", "host": "192.0.2.10", "port": 8443},
           {"protocol": "http", "host": "192.0.2.11", "port": 80}]})")},
      {Args{"decode", Key("192.0.2.10:8080|5|9|")}, 0,
       "applianceId: 5\nendpoint 1: protocol=http host=192.0.2.10 port=8080\n"},
      // The decoder's alert (its refusals are the decoder's tests'), each diagnostic the tool's.
      {Args{"decode", Key("192.0.2.10|5|3|")}, 1,
       "error: Activation key is invalid for this agent type\ndecoded text: 192.0.2.10|5|3|\n"
       "field count: 4 (4 expected)\nappliance type: \"3\" (1, 8 or 9 expected)\n"},
      {Args{"decode", Key("192.0.2.10,ftp://192.0.2.11|42|1|")}, 1,
       "error: LRC checksum test failed\ndecoded text: 192.0.2.10,ftp://192.0.2.11|42|1|\n"
       "field count: 4 (4 expected)\nrejected endpoint \"ftp://192.0.2.11\": Error: invalid "
       "protocol: ftp found in endpoint: ftp://192.0.2.11\n"},
      // Plain output escapes what is not text, and a line break or ESC in a value: one line each.
      {Args{"decode", "notakey"}, 1,
       "error: Invalid activation key format\ndecoded text: \\x9E\\x8BZ\\x91\\xEC\nfield count: 1 "
       "(4 expected)\n"},
      {Args{"decode", Key("192.0.2.10,http://1.2.3.4\n[main]\x1b[2J|42|1|")}, 1,
       "error: LRC checksum test failed\ndecoded text: "
       "192.0.2.10,http://1.2.3.4\\n[main]\\x1B[2J|42|1|"
       "\nfield count: 4 (4 expected)\nrejected endpoint \"http://1.2.3.4\\n[main]\\x1B[2J\":  "
       "Error: hostname: 1.2.3.4\\n[main]\\x1B[2J found in endpoint "
       "http://1.2.3.4\\n[main]\\x1B[2J "
       "is not valid IP address or can't be resolved to an IP address\n"},
      {Args{"decode", Key("192.0.2.10|99999999999|1|")}, 1,
       "error: Unknown error\ndecoded text: 192.0.2.10|99999999999|1|\nfield count: 4 (4 "
       "expected)\nappliance identifier: \"99999999999\" (decimal digits up to 2147483647 "
       "expected)\n"},
      // As JSON; a value after "--" may start with "-", and invalid UTF-8 becomes U+FFFD.
      {Args{"decode", "--json", "--", "-"}, 1,
       JsonLine(R"j({"error": "Invalid activation key format",
           "diagnostics": ["decoded text: \ufffd", "field count: 1 (4 expected)"]})j")},
      {Args{"endpoint", "--json", "ftp://192.0.2.10:21"}, 1,
       JsonLine(R"({"isValid": false, "protocol": "ftp", "host": "", "port": 80, "errorMessage":
           "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n"})")},
      // Overlong forms (lead bytes C0 and C1) are never text: escaped byte by byte.
      {Args{"endpoint", "\xC0\xAF\xC1\xBF\xC2\xA9"}, 1,
       "isValid: false\nprotocol: http\nhost: \\xC0\\xAF\\xC1\\xBF\xC2\xA9\nport: 80\n"
       "errorMessage:  Error: hostname: \\xC0\\xAF\\xC1\\xBF\xC2\xA9 found in endpoint "
       "\\xC0\\xAF\\xC1\\xBF\xC2\xA9 is not valid IP address or can't be resolved to an IP "
       "address\n"},
      // The argument is not trimmed: the spaces stay part of the host.
      {Args{"endpoint", "  192.0.2.10  "}, 0,
       "isValid: true\nprotocol: http\nhost:   192.0.2.10  \nport: 80\n"},
      {Args{"encode", "--endpoint", "https://192.0.2.10:8443", "--endpoint", "192.0.2.11",
            "--appliance-id", "7", "--type", "8", "--token", "t"},
       0, Key("https://192.0.2.10:8443,192.0.2.11|7|8|t") + "\n"},
      // A host that does not resolve here is only a warning: the installing machine may know it.
      {Args{"encode", "--endpoint", "https://-x.invalid:8443", "--appliance-id", "7"}, 0,
       Key("https://-x.invalid:8443|7|1|") + "\n",
       "kelvory-keytool: warning: -x.invalid does not resolve on this machine; decode here "
       "refuses the key, a machine whose resolver knows it accepts it\n"},
      // A port the connection cannot use: the key is made, with the doctor's warning.
      {Args{"encode", "--endpoint", "http://127.0.0.1:70000", "--appliance-id", "4"}, 0,
       Key("http://127.0.0.1:70000|4|1|") + "\n",
       "kelvory-keytool: warning: port 70000 of the key's endpoint 127.0.0.1 is outside 1-65535\n"},
      {Args{"--version"}, 0, "kelvory-keytool " KL_VERSION "\n"},
      {Args{"--version", "--bogus"}, 2, "",
       "kelvory-keytool: --version takes no other arguments\n"},
      // Why a file cannot be used goes to standard error; standard output holds only what was
      // read: an empty record from a file that is there, nothing where there is no file. The texts
      // are the shared lookup's, the parser's position the tool's own.
      {Args{"prefill", "--json", Write("bad.xml", "<Data>\n<ActivationKey>x</Data>")}, 1, empty,
       "kelvory-keytool: " + dir_ +
           "/bad.xml: not a well-formed XML document (the XML parser "
           "stopped at line 2, column 24)\n"},
      {Args{"prefill", "--json", Write("empty.xml", "")}, 1, empty,
       "kelvory-keytool: " + dir_ + "/empty.xml: empty, not a well-formed XML document\n"},
      {Args{"prefill", "--json", dir_ + "/missing.xml"}, 1, "",
       "kelvory-keytool: " + dir_ + "/missing.xml: no such file in " + dir_ + "\n"},
      {Args{"prefill", "--json", dir_ + "/none/d.xml"}, 1, "",
       "kelvory-keytool: " + dir_ + "/none/d.xml: no such folder: " + dir_ + "/none\n"},
      {Args{"prefill", "--json", dir_}, 1, "",
       "kelvory-keytool: " + dir_ + ": a directory of that name, not a file\n"},
      // The pre-fill reader's size limit: well-formed, but read as nothing.
      {Args{"prefill", Write("big.xml", "<D>" + std::string(1 << 20, ' ') + "</D>")}, 1,
       "containData: false\nactivationKey: \ncustomerId: \ncustomerName: \nserverURL: \n"
       "isHTTPS: false\nserverPort: 0\napplianceId: 0\nproxyServer: \nserverURLs: [\"\"]\n",
       "kelvory-keytool: " + dir_ +
           "/big.xml: larger than 1 MiB, which the pre-fill reader "
           "treats as unreadable\n"},
      {Args{"prefill", "--json", xml}, 0,
       JsonLine(R"({"containData": true, "activationKey": "", "customerId": "42",
           "customerName": "Example Customer", "serverURL": "a,b", "isHTTPS": true,
           "serverPort": 8443, "applianceId": 0, "proxyServer": "proxy.example:3128",
           "serverURLs": ["a", "b"]})")},
      // The text reader's echo of each line is not printed: standard error is for errors.
      {Args{"prefill", "--text", Write("d.txt", "customerName=A\nserverURL=a\nport=443\n")}, 0,
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

// encode refuses what decode refuses, with decode's words, on standard error (which keys the
// decoder refuses is decided in the decoder's own tests).
TEST(KeytoolEncode, RefusesWhatDecodeRefuses) {
  const struct {
    Args options;
    std::string decoded;  // the key encode would have made
  } cases[] = {
      {{"--endpoint", "ftp://127.0.0.1:21"}, "ftp://127.0.0.1:21||1|"},
      {{"--endpoint", "127.0.0.1", "--type", "3"}, "127.0.0.1||3|"},
  };
  for (const auto& c : cases) {
    const kl::ProcessRun enc = Keytool(Args{"encode"} + c.options);
    const kl::ProcessRun dec = Keytool({"decode", Key(c.decoded)});
    EXPECT_EQ(json({enc.exitCode, enc.out, dec.exitCode, enc.err}), json({1, "", 1, dec.out}));
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
      {"decode", "--no-such-option"},
  };
  for (const Args& args : cases) {
    const kl::ProcessRun r = Keytool(args);
    EXPECT_EQ(json({r.exitCode, r.out, r.err.empty()}), json({2, "", false}))
        << ::testing::PrintToString(args);
    if (args.back() == "--no-such-option") {  // named, not taken for a missing command or KEY
      EXPECT_EQ(r.err.rfind("The following argument was not expected: --no-such-option\n", 0), 0u);
    }
  }
}

// A resolver of the test's own: names starting "slow" take 3 s, those starting "found" have an
// address, the others none.
bool FakeResolves(const std::string& name) {
  if (name.rfind("slow", 0) == 0) std::this_thread::sleep_for(std::chrono::seconds(3));
  return name.rfind("found", 0) == 0;
}

// The doctor's lookups: every name at once (each once), within the limit however slow the
// resolver. Five names that take 3 s each, with a limit of 1 s, come back well before 3 s (one
// after another they would take 5 s or more) as "no answer", not "not found", even one that
// would resolve; the quick answers are kept.
TEST(DoctorLookups, AllAtOnceWithinTheLimit) {
  using R = kl::keytool::LookupResult;
  const auto began = std::chrono::steady_clock::now();
  const std::map<std::string, R> got = kl::keytool::LookUpAll(
      {"found-a", "b", "found-a", "slow-1", "slow-2", "slow-3", "slow-4", "slow-found"}, 1.0,
      FakeResolves);
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  EXPECT_EQ(got, (std::map<std::string, R>{{"found-a", R::kResolves},
                                           {"b", R::kNotFound},
                                           {"slow-1", R::kNoAnswer},
                                           {"slow-2", R::kNoAnswer},
                                           {"slow-3", R::kNoAnswer},
                                           {"slow-4", R::kNoAnswer},
                                           {"slow-found", R::kNoAnswer}}));
  EXPECT_LT(took, 2.5);
}

const std::string kKey = Key("https://192.0.2.10:8443,localhost|42|1|t");

std::string CustomerXml(const std::string& server, const std::string& extra = "") {
  return "<D><Customer><ID>42</ID><Name>A</Name></Customer><Server>" + server + "</Server>" +
         extra + "</D>";
}

std::string Text(const json& value) { return value.get<std::string>(); }

// A TLS server for 127.0.0.1 alone (the certificate names no other host) and a port that
// accepts connections, for the probe; proxy settings from the environment must not matter.
class DoctorFiles : public KeytoolFiles {
 protected:
  void SetUp() override {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy"}) {
      setenv(name, "http://127.0.0.2:9", 1);
    }
    setenv("KELVORY_CA_FILE", KEYTOOL_TEST_DIR "/probe-cert.pem", 1);
    ASSERT_EQ(listen(socket_, 16), 0);
    tlsPort_ = tls_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(tlsPort_, 0);
    tlsThread_ = std::thread([this] { tls_.listen_after_bind(); });
  }
  void TearDown() override {
    close(socket_);
    tls_.stop();
    if (tlsThread_.joinable()) tlsThread_.join();
  }
  // A customer-form file for --probe, through port_ as the proxy or not.
  std::string Probed(const std::string& urls, const std::string& protocol, int port,
                     bool proxy = false) {
    const std::string via = "<Proxy><URL>127.0.0.1:" + std::to_string(port_) + "</URL></Proxy>";
    return Write(urls + protocol + ".xml",
                 CustomerXml("<URL>" + urls + "</URL><Protocol>" + protocol + "</Protocol><Port>" +
                                 std::to_string(port) + "</Port>",
                             proxy ? via : ""));
  }

  int port_ = 0, tlsPort_ = 0;
  const int socket_ = kl::ToolLoopbackSocket(&port_);
  httplib::SSLServer tls_{KEYTOOL_TEST_DIR "/probe-cert.pem", KEYTOOL_TEST_DIR "/probe-key.pem"};
  std::thread tlsThread_;
};

// Each row: doctor's arguments and the report's values it decides, by JSON pointer ($D: the
// test's folder, $P: port_; "/warnings" as "code: message" texts). Every row: the exit code
// follows "passes", --strict fails on any warning, each warning is a line of the plain report.
// The lookup's and the decoder's own texts are decided where they live (prefill rows above).
TEST_F(DoctorFiles, SaysWhatThePaneWouldDoAndWhy) {
  const std::string server =
      "<Server><URL>192.0.2.20,localhost</URL><Protocol>https</Protocol><Port>8443</Port></Server>";
  const std::string data = "/InstallationData.xml", where = "<URL>127.0.0.1</URL><Port>8443</Port>";
  Write("indented" + data, "<D>\n  <ActivationKey>\n    " + kKey + "\n  </ActivationKey>\n</D>");
  Write("bad" + data, "<D><ActivationKey>x");
  Write("server" + data, "<D>" + server + "</D>");
  Write("id" + data, "<D><Customer><ID>42</ID></Customer></D>");
  Write("customer" + data, "<D><Customer><ID>42</ID><Name>A B</Name></Customer>" + server +
                               "<Proxy><URL>proxy.invalid</URL><Port>3128</Port></Proxy></D>");
  Write("key" + data, "<D><ActivationKey>" + Key("127.0.0.5:8080|7|1|") + "</ActivationKey></D>");
  const std::string text = Write("d.txt", "customerName=A\ncustomerID=7\nserverURL=localhost\n");
  const std::string profile = Write(
      "profile.plist",
      kl::Plist({"CustomerName", "Profile Customer", "CustomerID", "<integer>2002</integer>",
                 "ServerPort", "<integer>8443</integer>", "ProxyPort", "<integer>3128</integer>",
                 "ServerURL", "127.0.0.1", "ServerProtocol", "https", "ProxyURL", "127.0.0.1"}));
  const std::string serverOnly = Write("server.plist", kl::Plist({"ServerURL", "127.0.0.9"}));
  const auto pkg = [this](const std::string& folder) { return dir_ + "/" + folder + "/p.pkg"; };
  const struct {
    Args args;
    std::string want;
  } cases[] = {
      // One validation run per server address, in the order the pane fails over.
      {{"--package", pkg("customer")}, R"({"/passes": true, "/source": "package-folder",
          "/alert": null, "/validation/1/server": "localhost", "/warnings": [],
          "/file": {"path": "$D/customer/InstallationData.xml", "found": true, "problem": null},
          "/validation/0/argv": ["<resources>/InitialValidate", "-s", "192.0.2.20", "-n", "8443",
            "-p", "https", "-x", "proxy.invalid:3128", "-f", "/tmp/kelvor.conf", "-c", "A B",
            "-i", "42", "-l", "/tmp/kelvor_install.log"]})"},
      {{"--package", pkg("indented")}, R"({"/passes": false, "/field": "activationKey",
          "/alert": "Invalid activation key format", "/likelyCause": "The key holds line breaks,
          tabs or spaces around it: a key written on its own line inside <ActivationKey>"})"},
      // A profile without activation data, then no file: no source at all.
      {{"--managed-preferences", serverOnly, "--package", pkg("none")}, R"({"/passes": false,
          "/source": "none", "/profile/hasData": false, "/profile/problem": "holds no activation
          data (no activation key, customer ID or customer name), so the file beside the package
          is looked for, or the user is asked", "/file": {"found": false,
          "path": "$D/none/InstallationData.xml", "problem": "no such folder: $D/none"}})"},
      {{"--package", pkg("bad")}, R"({"/passes": false, "/file/found": true,
          "/file/problem": "not a well-formed XML document", "/warnings/0/code": "malformed-at"})"},
      // A server address alone is no activation data: the pane asks, with no alert.
      {{"--package", pkg("server")}, R"({"/passes": false, "/alert": null, "/file/problem":
          "holds no activation data (no activation key, customer ID or customer name), so the
          pane does not fill itself and asks the user"})"},
      {{"--package", pkg("id")}, R"({"/passes": false, "/alert": "Activation key can not be
          empty", "/likelyCause": "The file gives a customer ID or a customer name but not"})"},
      {{"--text", "--data", text}, R"({"/passes": true, "/source": "data-file"})"},
      // A profile with data comes before the file; numbers may be integers.
      {{"--package", pkg("key"), "--managed-preferences", profile}, R"({"/passes": true,
          "/source": "managed-preferences", "/profile": {"location": "$D/profile.plist",
          "found": true, "hasData": true, "problem": null}, "/read": {"containData": true,
          "activationKey": "", "customerId": "2002", "customerName": "Profile Customer",
          "serverURL": "127.0.0.1", "isHTTPS": true, "serverPort": 8443,
          "proxyServer": "127.0.0.1:3128"}})"},
      // profile without data: the file's values alone, not the profile's server
      {{"--managed-preferences", serverOnly, "--package", pkg("key")},
       R"({"/passes": true, "/source": "package-folder", "/read/serverURL": ""})"},
      // Every endpoint of a key past the first bad one (-x.invalid is no name: never asked).
      {{"--key", Key("192.0.2.10,ftp://192.0.2.11,http://-x.invalid|7|1|")},
       R"({"/passes": false, "/alert": "LRC checksum test failed",
          "/key/decoded": "192.0.2.10,ftp://192.0.2.11,http://-x.invalid|7|1|",
          "/key/applianceId": "7", "/key/applianceType": "1", "/key/endpoints/0/resolves": true,
          "/key/endpoints/1/resolves": null, "/key/endpoints/2/resolves": false,
          "/key/endpoints/2/valid": false, "/key/endpoints/1/message":
          "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.11\n"})"},
      // A key typed after a tab has a cause of its own; a good key passes.
      {{"--key", "\t" + kKey}, R"({"/passes": false, "/likelyCause": "The key holds line breaks,
          tabs or spaces around it, and the pane uses a key exactly as given."})"},
      {{"--key", kKey}, R"({"/passes": true})"},
      // Warnings: what the readers take without a word. The verdict stays.
      {{"--data", Write("server.xml", CustomerXml("<URL>127.0.0.1 , 127.0.0.2 </URL><Protocol>"
                                                  "HTTPS</Protocol><Port>65536</Port>"))},
       R"({"/passes": true, "/warnings": ["protocol-text: <Protocol> is \"HTTPS\", not exactly
          \"http\" or \"https\", so it is read as http", "server-list-blanks: server-list item
          \"127.0.0.1 \" has blanks around it; it is used as it stands, blanks included",
          "server-list-blanks: server-list item \" 127.0.0.2\" has blanks around it; it is used
          as it stands, blanks included",
          "port-range: port 65536 of the server is outside 1-65535"]})"},
      {{"--data",
        Write("names.xml",
              "<D><Custmer/>" + CustomerXml("<Url>x</Url><Adress>y</Adress>" + where).substr(3))},
       R"({"/passes": true, "/warnings": ["unknown-name: unknown element <Custmer> is ignored;
          did you mean <Customer>?", "unknown-name: unknown element <Url> inside <Server> is
          ignored; did you mean <URL>?", "unknown-name: unknown element <Adress> inside
          <Server> is ignored"]})"},
      {{"--data", Write("ports.xml", CustomerXml("<URL>127.0.0.1</URL>",
                                                 "<Proxy><URL>127.0.0.1"
                                                 "</URL><Port>70000</Port></Proxy>"))},
       R"({"/passes": true, "/warnings": ["port-range: port 0 of the server is outside 1-65535",
          "port-range: port 70000 of the proxy is outside 1-65535"]})"},
      {{"--data", Write("proxy0.xml", CustomerXml(where, "<Proxy><URL>127.0.0.1:0</URL></Proxy>"))},
       R"({"/warnings": ["port-range: port 0 of the proxy is outside 1-65535"]})"},
      {{"--data", Write("k.xml", "<D><ActivationKey>" + Key("127.0.0.1:70000|1|1|") +
                                     "</ActivationKey></D>")},
       R"({"/passes": true, "/warnings": ["port-range: port 70000 of the key's endpoint
          127.0.0.1 is outside 1-65535"]})"},
      {{"--text", "--data", Write("typo.txt", "customerNmae=A\ncustomerID=7\nserverURL=x\n")},
       R"({"/passes": false, "/warnings": ["unknown-name: unknown key \"customerNmae\" is
          ignored; did you mean customerName?"]})"},
      {{"--text", "--data", Write("words.txt", "customerName = A B\ncustomerID=7\nport=80,81\n")},
       R"({"/read/customerName": "A", "/warnings": ["first-word-only: the value of
          \"customerName\" goes on past a blank or a comma; only \"A\" is read", "first-word-only:
          the value of \"port\" goes on past a blank or a comma; only \"80\" is read"]})"},
      // The text reader takes 255 bytes at a time: the rest of a longer line is a line of its own.
      {{"--text", "--data",
        Write("long.txt", "port=443\ncustomerID=7\ncustomerName=Demo" + std::string(238, ' ') +
                              "serverURL=127.0.0.1\n")},
       R"({"/read/serverURL": "127.0.0.1", "/warnings": ["line-in-pieces: line 3 is longer than 255
          bytes; the reader cuts it there and reads the rest as a line of its own, with the key
          \"serverURL\""]})"},
      // A profile's own slips, in key order; the likely cause names the profile.
      {{"--managed-preferences",
        Write("slips.plist", kl::Plist({"CustomerNmae", "A", "CustomerID", "1", "ServerProtocol",
                                        "HTTPS", "Colour", "blue", "ServerPort", "<true/>"}))},
       R"({"/passes": false, "/warnings": ["unknown-name: unknown key \"Colour\" is ignored",
          "unknown-name: unknown key \"CustomerNmae\" is ignored; did you mean CustomerName?",
          "wrong-type: the value of \"ServerPort\" is a boolean; it is read as 1",
          "protocol-text: ServerProtocol is \"HTTPS\", not exactly \"http\" or
          \"https\", so it is read as http"], "/likelyCause": "The profile gives a customer ID
          or a customer name but not both, so the pane keeps the key form and finds no key. Give
          both (or an activation key)."})"},
      // What the reader makes of each other type.
      {{"--managed-preferences",
        Write("types.plist",
              kl::Plist({"CustomerName", "<false/>", "ServerProtocol", "<true/>", "ProxyURL",
                         "<date>2030-01-01T00:00:00Z</date>", "ProxyPort", "<data>AA==</data>",
                         "ServerURL", "<dict/>", "ActivationKey", "<array/>"}))},
       R"({"/warnings": ["wrong-type: the value of \"ActivationKey\" is an array; it is ignored",
          "wrong-type: the value of \"CustomerName\" is a boolean; it is read as \"0\"",
          "wrong-type: the value of \"ProxyPort\" is data; it is ignored", "wrong-type: the
          value of \"ProxyURL\" is a date; it is ignored", "wrong-type: the value of
          \"ServerProtocol\" is a boolean; it is read as http", "wrong-type: the value of
          \"ServerURL\" is a dictionary; it is ignored"]})"},
      // A text the reader does not take: a NUL in it, or bytes that are not UTF-8.
      {{"--managed-preferences",
        Write("broken.plist", kl::Plist({"CustomerID", std::string("1\0", 2) + "2", "CustomerName",
                                         "\xE9", "ServerURL", "127.0.0.1"}))},
       R"({"/passes": false, "/warnings": ["broken-text: the value of \"CustomerID\" holds a NUL
          or text that is not valid; it is not shortened but ignored, as if the key were not
          there", "broken-text: the value of \"CustomerName\" holds a NUL or text that is not
          valid; it is not shortened but ignored, as if the key were not there"]})"},
      // A whole profile: its payload's own keys are no unknown names.
      {{"--managed-preferences", EXAMPLES_DIR "/Kelvory-activation.mobileconfig"},
       R"({"/passes": true, "/source": "managed-preferences", "/warnings": []})"},
      {{"--managed-preferences",
        Write("spaced.plist", kl::Plist({"ActivationKey", "\n" + Key("127.0.0.1|1|1|") + "\n"}))},
       R"({"/passes": false, "/likelyCause": "The key holds line breaks, tabs or spaces around
          it: the profile's ActivationKey value is used exactly as given. Write the key in it
          without them."})"},
      // --probe: one result per address, each unreachable one a warning (nothing listens on
      // 127.0.0.2); a verified handshake for https; through a proxy, http only connects to it.
      {{"--probe", "--data", Probed("127.0.0.1,127.0.0.2", "http", port_)}, R"({"/passes": true,
          "/probe/0/host": "127.0.0.1", "/probe/0/port": $P, "/probe/0/protocol": "http",
          "/probe/0/reachable": true, "/probe/0/tls": null, "/probe/0/error": null,
          "/probe/1/connected": false, "/probe/1/reachable": false,
          "/warnings/0/code": "unreachable", "/warnings/1": "absent"})"},
      {{"--probe", "--data", Probed("127.0.0.1,localhost", "https", tlsPort_)}, R"({
          "/probe/0/tls": true, "/probe/0/reachable": true, "/probe/1/connected": true,
          "/probe/1/tls": false, "/probe/1/reachable": false})"},
      {{"--probe", "--data", Probed("127.0.0.2", "http", port_, true)},
       R"({"/probe/0/proxy": "127.0.0.1:$P", "/probe/0/reachable": true})"},
      // https asks the proxy for a tunnel, which this one never answers: no handshake.
      {{"--probe", "--probe-timeout", "1", "--data", Probed("127.0.0.1", "https", tlsPort_, true)},
       R"({"/probe/0/tls": false, "/probe/0/reachable": false})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    int code = -1;
    const json report = DoctorReport(c.args, &code);
    std::string want = c.want;  // one line of JSON, the folder in
    for (size_t at; (at = want.find_first_of("$\n")) != std::string::npos;) {
      want.replace(at, want[at] == '$' ? 2 : want.find_first_not_of(' ', at + 1) - at,
                   want[at] != '$'       ? " "
                   : want[at + 1] == 'D' ? dir_
                                         : std::to_string(port_));
    }
    const json wanted = json::parse(want);
    for (const auto& [pointer, value] : wanted.items()) {
      json got = report.value(json::json_pointer(pointer), json("absent"));
      if (pointer == "/likelyCause" && got.is_string()) {
        got = got.get<std::string>().substr(0, value.get<std::string>().size());
      }
      if (pointer == "/warnings") {
        got = json::array();
        for (const json& w : report["warnings"])
          got.push_back(Text(w["code"]) + ": " + Text(w["message"]));
      }
      EXPECT_EQ(got, value) << pointer;
    }
    const bool passes = report["passes"] == true;
    EXPECT_EQ(code, passes ? 0 : 1);
    EXPECT_EQ(Keytool(Args{"doctor", "--strict"} + c.args).exitCode,
              passes && report["warnings"].empty() ? 0 : 1);
    // A probe's own run may end otherwise (a time limit met or not): its report is its own.
    if (std::find(c.args.begin(), c.args.end(), "--probe") != c.args.end()) continue;
    const std::string plain = Keytool(Args{"doctor"} + c.args).out;
    for (const json& w : report["warnings"]) {
      EXPECT_NE(plain.find("\nwarning: " + Text(w["message"]) + "\n"), std::string::npos) << plain;
    }
  }
  EXPECT_EQ(Keytool({"doctor", "--package", pkg("none")}).out,
            "pre-fill file: \"" + dir_ + "/none" + data + "\"\nfound: no\nproblem: no " +
                "such folder: " + dir_ + "/none\npasses by itself: no\n");
}

// --probe-timeout takes fractions: a TLS handshake that never comes (port_ accepts nothing) is
// given up after half a second, not a whole one.
TEST_F(DoctorFiles, AFractionalProbeTimeoutIsHonoured) {
  const auto began = std::chrono::steady_clock::now();
  const kl::ProcessRun r =
      Keytool({"doctor", "--json", "--probe", "--probe-timeout", "0.5", "--key",
               Key("https://127.0.0.1:" + std::to_string(port_) + "|42|1|t")});
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const json report = json::parse(r.out, nullptr, false);
  ASSERT_TRUE(report.is_object()) << r.out << r.err;
  EXPECT_EQ(report["probe"][0]["reachable"], false);
  EXPECT_EQ(Text(report["probe"][0]["error"]).rfind("Connection timed out after 50", 0), 0u);
  EXPECT_GT(took, 0.45);
  EXPECT_LT(took, 0.95);
}

}  // namespace
