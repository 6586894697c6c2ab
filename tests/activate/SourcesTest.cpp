// kelvory-activate's sources (options over managed preferences over the pre-fill file), the
// no-activation-data outcome, and --unless-activated in command-line installs; run as a real
// process with a fake validation tool.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FakeTool.h"
#include "KLHelper.h"
#include "LogText.h"
#include "RunProcess.h"
#include "TempDir.h"

namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;
const char kConf[] = "/tmp/kelvor.conf";

std::string Plist(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries +
         "</dict></plist>\n";
}
std::string Entry(const std::string& key, const std::string& value) {
  return "<key>" + key + "</key><string>" + value + "</string>";
}

class ActivateSources : public ::testing::Test {
 protected:
  void SetUp() override {
    unlink(kConf);
    unsetenv("COMMAND_LINE_INSTALL");
  }
  void TearDown() override {
    unlink(kConf);
    unsetenv("COMMAND_LINE_INSTALL");
  }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    mkdir(path.substr(0, path.rfind('/')).c_str(), 0755);
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  // Runs kelvory-activate --json with the fake tool; the parsed report and the exit code.
  json Run(Strings args, int* exitCode) {
    args.insert(args.begin(), {"--json", "--tool", tool_.Tool()});
    const kl::ProcessRun run = kl::RunProcess(ACTIVATE_PATH, args);
    *exitCode = run.exitCode;
    return json::parse(run.out, nullptr, false);
  }
  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
  kl::FakeTool tool_{{"exit 0"}};
};

// Which source supplies the record, and what each option then changes; seen in the dry run's
// tool arguments and the report's fields.
TEST_F(ActivateSources, OptionsOverManagedPreferencesOverTheFile) {
  const std::string profile =
      Write("profile.plist", Plist(Entry("CustomerName", "Profile Customer") +
                                   Entry("CustomerID", "2002") + Entry("ServerURL", "127.0.0.1") +
                                   Entry("ServerProtocol", "https") + Entry("ServerPort", "8443") +
                                   Entry("ProxyURL", "127.0.0.1") + Entry("ProxyPort", "3128")));
  const std::string serverOnly = Write("server.plist", Plist(Entry("ServerURL", "127.0.0.9")));
  const std::string package = dir_ + "/pkg/Kelvory.pkg";
  const std::string beside =
      Write("pkg/InstallationData.xml",
            "<D><Customer><ID>1001</ID><Name>File Customer</Name></Customer><Server><URL>127.0.0.5"
            "</URL><Port>8080</Port></Server></D>");
  const std::string data = Write("data.txt",
                                 "customerName=Text\ncustomerID=7\nserverURL=127.0.0.6\n"
                                 "port=81\n");
  const Strings fromProfile{
      "-s", "127.0.0.1",        "-n", "8443", "-p", "https", "-x", "127.0.0.1:3128",
      "-c", "Profile Customer", "-i", "2002"};
  const Strings fromFile{"-s", "127.0.0.5",     "-n", "8080", "-p", "http",
                         "-c", "File Customer", "-i", "1001"};
  const struct {
    const char* name;
    Strings args;
    std::string source;
    json location;
    json overrides;
    Strings argv;  // the tool's arguments without -f and -l
  } cases[] = {
      {"profile over the file",
       {"--package", package, "--managed-preferences", profile},
       "managed-preferences",
       profile,
       json::array(),
       fromProfile},
      {"the file when the profile holds no activation data",
       {"--package", package, "--managed-preferences", serverOnly},
       "package-folder",
       beside,
       json::array(),
       fromFile},
      {"the file alone", {"--package", package}, "package-folder", beside, json::array(), fromFile},
      {"a text file by path",
       {"--data", data, "--text", "--managed-preferences", serverOnly},
       "data-file",
       data,
       json::array(),
       {"-s", "127.0.0.6", "-n", "81", "-p", "http", "-c", "Text", "-i", "7"}},
      {"options over the profile, field by field",
       {"--managed-preferences", profile, "--customer-id", "77", "--protocol", "http"},
       "managed-preferences",
       profile,
       {"customerId", "protocol"},
       {"-s", "127.0.0.1", "-n", "80", "-p", "http", "-x", "127.0.0.1:3128", "-c",
        "Profile Customer", "-i", "77"}},
      {"a key over the file's customer form",
       {"--package", package, "--key", KLHelper::EncodeBase64("127.0.0.4:8080|9|1|")},
       "package-folder",
       beside,
       {"activationKey"},
       {"-s", "127.0.0.4", "-n", "8080", "-p", "http", "-a", "9"}},
      {"options alone",
       {"--customer-name", "N", "--customer-id", "5", "--server", "127.0.0.7"},
       "options",
       nullptr,
       {"customerName", "customerId", "serverURL"},
       {"-s", "127.0.0.7", "-n", "80", "-p", "http", "-c", "N", "-i", "5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Strings args = c.args;
    args.push_back("--dry-run");
    int code = -1;
    const json report = Run(args, &code);
    EXPECT_EQ(code, 0) << report.dump();
    EXPECT_EQ(report["outcome"], "dry-run");
    EXPECT_EQ(report["source"], c.source);
    EXPECT_EQ(report["sourceLocation"], c.location);
    EXPECT_EQ(report["overrides"], c.overrides);
    Strings argv;
    for (const json& a : report["argv"].at(0)) argv.push_back(a);
    Strings shown;  // without the tool's path and the fixed -f and -l
    for (size_t i = 1; i < argv.size(); ++i) {
      if (argv[i] == "-f" || argv[i] == "-l") {
        ++i;
      } else {
        shown.push_back(argv[i]);
      }
    }
    EXPECT_EQ(shown, c.argv);
  }

  // Every place looked at, the profile first, with what it held.
  int code = -1;
  const json report = Run({"--package", package, "--managed-preferences", serverOnly}, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(report["outcome"], "activated");
  EXPECT_EQ(report["looked"], json::parse(R"([
      {"source": "managed-preferences", "location": ")" +
                                          serverOnly + R"(", "found": true,
       "hasData": false, "problem": null},
      {"source": "package-folder", "location": ")" +
                                          beside + R"(", "found": true,
       "hasData": true, "problem": null}])"));
  // The plain report names the source first.
  unlink(kConf);
  const kl::ProcessRun plain = kl::RunProcess(
      ACTIVATE_PATH,
      {"--tool", tool_.Tool(), "--managed-preferences", profile, "--customer-id", "77"});
  EXPECT_EQ(plain.out.substr(0, plain.out.find('\n')),
            "source: managed-preferences (" + profile + "), options over it: customerId");
}

// Nothing anywhere is its own outcome, exit 5, naming every place looked at; a file named on
// the command line that cannot be read is a refusal instead.
TEST_F(ActivateSources, NoActivationDataAndUnreadableFiles) {
  const std::string serverOnly = Write("server.plist", Plist(Entry("ServerURL", "127.0.0.9")));
  const std::string array = Write(
      "array.plist",
      "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><array><string>x</string></array></plist>");
  const std::string noData =
      Write("nodata/InstallationData.xml", "<D><Server><URL>127.0.0.1</URL></Server></D>");
  const std::string none =
      "No activation data was found (an activation key, a customer ID or a "
      "customer name). Looked at: ";
  const struct {
    const char* name;
    Strings args;
    int exitCode;
    std::string outcome, message;
  } cases[] = {
      {"no file beside the package",
       {"--package", dir_ + "/pkg/Kelvory.pkg"},
       5,
       "no-activation-data",
       none + "the file beside the package " + dir_ +
           "/pkg/InstallationData.xml: no such folder: " + dir_ + "/pkg"},
      {"nothing in the profile or the file",
       {"--managed-preferences", serverOnly, "--package", dir_ + "/nodata/Kelvory.pkg"},
       5,
       "no-activation-data",
       none + "the managed preferences " + serverOnly +
           ": holds none; the file beside the "
           "package " +
           noData + ": holds none"},
      {"no preferences forced on this platform",
       {"--managed-preferences"},
       5,
       "no-activation-data",
       none + "the managed preferences com.kelvory.activation: no managed preferences are forced "
              "for this domain"},
      {"options without activation data",
       {"--server", "127.0.0.1", "--proxy", "127.0.0.1:3128"},
       5,
       "no-activation-data",
       "No activation data was found (an activation key, a customer ID or a customer name); no "
       "option gave any"},
      {"a profile file that is not there",
       {"--managed-preferences", dir_ + "/no.plist"},
       1,
       "refused",
       "Cannot read the managed preferences " + dir_ + "/no.plist: no such file in " + dir_},
      {"a property list that is no dictionary",
       {"--managed-preferences", array},
       1,
       "refused",
       "Cannot read the managed preferences " + array + ": the property list is not a dictionary"},
      {"a pre-fill file that is not well-formed",
       {"--data", Write("bad.xml", "<D><ActivationKey>x")},
       1,
       "refused",
       "Cannot read the pre-fill file " + dir_ + "/bad.xml: not a well-formed XML document"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int code = -1;
    const json report = Run(c.args, &code);
    EXPECT_EQ(code, c.exitCode);
    EXPECT_EQ(report["outcome"], c.outcome);
    EXPECT_EQ(report["message"], c.message);
    EXPECT_EQ(report["configWritten"], false);
  }
  EXPECT_EQ(tool_.Runs(), 0);  // none of them started the tool
}

// --unless-activated skips only when the configuration ends with a complete block (the panes
// ran), whatever its age, and never in a command-line install.
TEST_F(ActivateSources, UnlessActivatedInCommandLineInstalls) {
  const Strings customer{"--customer-name", "N",         "--customer-id",     "1",
                         "--server",        "127.0.0.1", "--unless-activated"};
  int code = -1;
  ASSERT_EQ(Run(customer, &code)["outcome"], "activated");  // writes a complete block
  const std::string complete = kl::ReadWholeFile(kConf);
  const struct {
    const char* name;
    std::string conf;  // empty: no file
    bool old;          // changed two hours ago
    const char* commandLine;
    const char* outcome;
  } cases[] = {
      {"the panes ran", complete, false, nullptr, "already-activated"},
      {"the panes ran long ago", complete, true, nullptr, "already-activated"},
      {"a command-line install", complete, false, "1", "activated"},
      {"another value is no command-line install", complete, false, "0", "already-activated"},
      {"no configuration", "", false, nullptr, "activated"},
      {"a block cut short", complete.substr(0, complete.size() - 3), false, nullptr, "activated"},
      {"only the tool's section", "[server]\n\tserver_0=127.0.0.1\n", false, nullptr, "activated"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(kConf);
    if (!c.conf.empty()) {
      std::ofstream(kConf, std::ios::binary) << c.conf;
      chmod(kConf, 0600);
    }
    if (c.old) {
      const timeval past[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
      utimes(kConf, past);
    }
    if (c.commandLine != nullptr) {
      setenv("COMMAND_LINE_INSTALL", c.commandLine, 1);
    } else {
      unsetenv("COMMAND_LINE_INSTALL");
    }
    const int runs = tool_.Runs();
    const json report = Run(customer, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(report["outcome"], c.outcome);
    const bool skipped = std::string(c.outcome) == "already-activated";
    EXPECT_EQ(tool_.Runs(), runs + (skipped ? 0 : 1));
    if (skipped) {
      EXPECT_EQ(report["message"], std::string(kConf) +
                                       " already ends with a complete activation "
                                       "for this volume (the installer's panes ran)");
    }
  }
  // Without --unless-activated a completed activation is done again.
  unsetenv("COMMAND_LINE_INSTALL");
  Strings again(customer.begin(), customer.end() - 1);
  EXPECT_EQ(Run(again, &code)["outcome"], "activated");
}

// The install log's entry for the file beside the package says whether the user would be asked;
// when the profile gives the data nobody is, and the entry is left out.
TEST_F(ActivateSources, InstallLogEntryOnlyWhenTheFileIsNeeded) {
  const char kLog[] = "/tmp/kelvor_install.log";
  const std::string profile =
      Write("p.plist", Plist(Entry("CustomerName", "N") + Entry("CustomerID", "1") +
                             Entry("ServerURL", "127.0.0.1") + Entry("ServerPort", "80")));
  const std::string serverOnly = Write("s.plist", Plist(Entry("ServerURL", "127.0.0.1")));
  const struct {
    std::string plist;
    int exitCode;
    bool entry;
  } cases[] = {{profile, 0, false}, {serverOnly, 5, true}};
  for (const auto& c : cases) {
    unlink(kLog);
    unlink(kConf);
    int code = -1;
    Run({"--managed-preferences", c.plist, "--package", dir_ + "/Kelvory.pkg"}, &code);
    EXPECT_EQ(code, c.exitCode);
    EXPECT_EQ(
        kl::ReadWholeFile(kLog).find("InstallationData.xml was not found") != std::string::npos,
        c.entry)
        << c.plist;
  }
  unlink(kLog);
}

TEST(ActivateCommandLine, VersionAndUsage) {
  const kl::ProcessRun version = kl::RunProcess(ACTIVATE_PATH, {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("kelvory-activate ") + KL_VERSION + "\n");
  const std::vector<Strings> usage = {
      {},
      {"--json"},
      {"--managed-preferences", "a", "b"},  // one property list at most
      {"--package", "a", "--data", "b"},
  };
  for (const Strings& args : usage) {
    const kl::ProcessRun r = kl::RunProcess(ACTIVATE_PATH, args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
}

}  // namespace
