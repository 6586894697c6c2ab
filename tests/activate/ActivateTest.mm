// One logic, two faces: the same scenarios through the panes on the stand-in host and through
// kelvory-activate give the same messages, tool arguments and configuration bytes.
#import <InstallerHost/InstallerHost.h>
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include <nlohmann/json.hpp>

#import "ActDlgPaneViews.h"
#include "FakePlatform.h"
#include "FakeTool.h"
#include "KLHelper.h"
#include "KLStringBridge.h"
#include "RunProcess.h"
#include "TempDir.h"
#import "ValidDlgPaneViews.h"

namespace {

using Strings = std::vector<std::string>;
const char kConf[] = "/tmp/kelvor.conf";

struct Outcome {
  Strings messages;           // the alerts the user saw (the panes) or the final message
  std::vector<Strings> argv;  // each tool run's arguments after the tool's own path
  std::string conf;
  int exitCode = -1;
  nlohmann::json json;
};

std::vector<Strings> ToolRuns(const kl::FakeTool& tool) {
  std::vector<Strings> runs;
  for (int n = 1; n <= tool.Runs(); ++n) {
    Strings argv = tool.Arguments(n);
    runs.push_back(Strings(argv.begin() + 1, argv.end()));
  }
  return runs;
}

// Runs kelvory-activate (no shell) and returns its exit code; standard output in `out`.
int RunActivate(const Strings& args, std::string* out) {
  const kl::ProcessRun run = kl::RunProcess(ACTIVATE_PATH, args);
  *out = run.out;
  return run.exitCode;
}

struct Scenario {
  const char* name;
  std::string prefill;  // InstallationData.xml beside the package; empty for none
  Strings steps;        // the fake tool's
  Strings options;      // what a person types, as kelvory-activate options
};

class ActivateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    [NSApplication sharedApplication];
    unlink(kConf);
  }
  void TearDown() override { unlink(kConf); }
  std::string Package() { return dir_ + "/Kelvory.pkg"; }

  // The panes on the stand-in host, with the options typed into the activation pane.
  Outcome ThroughPanes(const Scenario& s) {
    Outcome o;
    unlink(kConf);
    kl::FakeTool tool(s.steps);
    kl::ScopedFakePlatform fake;
    fake->packagePath = Package();
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    InstallerSection* section = [[[InstallerSection alloc] init] autorelease];
    [section setResourcePath:KLNSString(tool.directory)];
    [[section installerState] setTargetVolumePath:@"/"];
    ActDlgPane* activation = [KLCreateActivationPane(section) autorelease];
    ValidDlgPane* validation = [KLCreateValidationPane(section) autorelease];
    [section addPane:activation];
    [section addPane:validation];
    [section start];
    if (!s.options.empty()) {
      for (size_t i = 0; i + 1 < s.options.size(); i += 2)
        Type(activation, s.options[i], s.options[i + 1]);
      [section pressContinue];
    }
    NSDate* limit = [NSDate dateWithTimeIntervalSinceNow:20];
    while ([[validation valueForKey:@"klPerformingValidation"] boolValue] &&
           [limit timeIntervalSinceNow] > 0) {
      [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                               beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.05]];
    }
    o.messages = fake->alerts;
    NSTextField* result = [validation valueForKey:@"klValidationResult"];
    if (![result isHidden] && [[result stringValue] isEqualToString:@"Validation Succeeded"]) {
      o.messages.push_back("Validation Succeeded");
    }
    [pool drain];
    o.argv = ToolRuns(tool);
    o.conf = kl::ReadWholeFile(kConf);
    return o;
  }
  // One kelvory-activate option, as a person would type it in the pane (after a click on the
  // radio button that shows its field, if any).
  void Type(ActDlgPane* pane, const std::string& option, const std::string& value) {
    const std::map<std::string, std::tuple<NSString*, int, NSString*>> kFields{
        {"--key", {nil, 0, @"klActivationKeyField"}},
        {"--proxy", {@"klProxyMatrix", 1, @"klProxyField"}},
        {"--customer-name", {@"klActivationMatrix", 1, @"klCustomerNameField"}},
        {"--customer-id", {@"klActivationMatrix", 1, @"klCustomerIdField"}},
        {"--server", {@"klActivationMatrix", 1, @"klServerURLField"}}};
    const auto& [matrix, row, field] = kFields.at(option);
    if (matrix != nil) {
      [[pane valueForKey:matrix] selectCellAtRow:row column:0];
      [[pane valueForKey:matrix] sendAction];
    }
    [[pane valueForKey:field] setStringValue:KLNSString(value)];
  }

  Outcome ThroughActivate(const Scenario& s) {
    Outcome o;
    kl::FakeTool tool(s.steps);
    unlink(kConf);
    Strings args{"--json", "--package", Package(), "--tool", tool.Tool()};
    args.insert(args.end(), s.options.begin(), s.options.end());
    std::string out;
    o.exitCode = RunActivate(args, &out);
    o.json = nlohmann::json::parse(out, nullptr, false);
    if (o.json.contains("message")) o.messages = {o.json["message"].get<std::string>()};
    o.argv = ToolRuns(tool);
    o.conf = kl::ReadWholeFile(kConf);
    return o;
  }

  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
};

std::string CustomerXml(const std::string& urls) {
  return "<InstallationData><Customer><Name>Demo Customer</Name><ID>1001</ID></Customer>"
         "<Server><URL>" +
         urls +
         "</URL><Protocol>https</Protocol><Port>8443</Port></Server>"
         "<Proxy><URL>127.0.0.1</URL><Port>3128</Port></Proxy></InstallationData>";
}
std::string KeyXml(const std::string& decoded) {
  return "<InstallationData><ActivationKey>" + KLHelper::EncodeBase64(decoded) +
         "</ActivationKey></InstallationData>";
}

TEST_F(ActivateTest, PanesAndHeadlessActivationAgree) {
  const Scenario scenarios[] = {
      {"customer pre-fill, first address failing",
       CustomerXml("127.0.0.2, 127.0.0.1"),
       {"exit 10", "exit 0"},
       {}},
      {"key pre-fill, two endpoints",
       KeyXml("127.0.0.1:8080,https://127.0.0.9:8443|42|1|x"),
       {"exit 0"},
       {}},
      {"key refused", KeyXml("127.0.0.1|42|5|x"), {"exit 0"}, {}},
      {"typed, hostile values",
       "",
       {"exit 0"},
       {"--customer-name", "x\"; touch " + dir_ + "/owned; \"$(id)`id`\n;", "--customer-id",
        " 1001 ", "--server", "127.0.0.1", "--proxy", " proxy.invalid:3128 "}},
      // Without activation data the file is not used at all: its server does not count.
      {"pre-fill without activation data",
       "<InstallationData><Server><URL>127.0.0.1</URL></Server></InstallationData>",
       {"exit 0"},
       {"--customer-name", "N", "--customer-id", "1"}},
      // A name alone stops the pane on the key form; the person then types a key, and the
      // file's server and proxy stay.
      {"typed over an incomplete pre-fill",
       "<InstallationData><Customer><Name>N</Name></Customer><Server><URL>127.0.0.1</URL>"
       "</Server><Proxy><URL>127.0.0.1</URL><Port>3128</Port></Proxy></InstallationData>",
       {"exit 0"},
       {"--key", KLHelper::EncodeBase64("127.0.0.4:8080|7|1|x")}},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    unlink((dir_ + "/InstallationData.xml").c_str());
    if (!s.prefill.empty()) std::ofstream(dir_ + "/InstallationData.xml") << s.prefill;
    const Outcome panes = ThroughPanes(s);
    const Outcome headless = ThroughActivate(s);
    EXPECT_FALSE(panes.messages.empty());
    EXPECT_EQ(panes.messages.back(), headless.messages.at(0));
    EXPECT_LE(panes.messages.size(), 2u);  // at most one alert, then the verdict
    EXPECT_EQ(panes.argv, headless.argv);
    EXPECT_EQ(panes.conf, headless.conf);
    EXPECT_NE(access((dir_ + "/owned").c_str(), F_OK), 0);
  }
}

TEST_F(ActivateTest, ExitCodesAndOutcomes) {
  kl::FakeTool tool({"exit 0"});
  const Strings customer{"--customer-name", "Demo Customer", "--customer-id", "1001",  "--server",
                         "127.0.0.1",       "--tool",        tool.Tool(),     "--json"};
  const auto with = [&](Strings extra) {
    Strings args = customer;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const struct {
    Strings args;
    int exitCode;
    const char* outcome;
  } cases[] = {
      {{"--json"}, 2, nullptr},  // no input at all
      {{"--package", "a", "--data", "b", "--json"}, 2, nullptr},
      {with({"--key", "k"}), 2, nullptr},  // both forms
      {with({"--protocol", "ftp"}), 2, nullptr},
      {with({"--port", "abc"}), 1, "refused"},
      {{"--data", dir_ + "/missing.xml", "--json"}, 1, "refused"},
      {with({"--dry-run"}), 0, "dry-run"},
      {with({"--target", "/V\n[main]"}), 1, "refused"},  // before any tool runs
      {with({"--port", "443"}), 0, "activated"},
      {with({"--unless-activated"}), 0, "already-activated"},  // the run before wrote it
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(RunActivate(c.args, &out), c.exitCode) << c.args[0] << " " << out;
    if (c.outcome != nullptr) {
      EXPECT_EQ(nlohmann::json::parse(out, nullptr, false).value("outcome", ""), c.outcome);
    }
  }
  // Only the activation ran the tool; the dry run started nothing.
  EXPECT_EQ(tool.Runs(), 1);

  // --protocol acts as a click: the protocol's default port, unless --port follows.
  std::string dry;
  RunActivate(with({"--protocol", "https", "--dry-run"}), &dry);
  EXPECT_EQ(nlohmann::json::parse(dry, nullptr, false)["argv"][0][4], "443") << dry;

  // A tool ended by a signal: a failure, with the shell's status 128+N.
  kl::FakeTool killed({"kill -TERM $$"});
  Strings args = customer;
  args[7] = killed.Tool();
  std::string out;
  EXPECT_EQ(RunActivate(args, &out), 3);
  const nlohmann::json attempt = nlohmann::json::parse(out, nullptr, false)["attempts"][0];
  EXPECT_EQ(attempt.value("status", 0), 128 + SIGTERM);
  EXPECT_EQ(attempt.value("message", ""), "Launch script failed");

  // A configuration file that cannot be appended to: validated, but exit 4.
  unlink(kConf);
  ASSERT_EQ(symlink("/nonexistent/kelvor.conf", kConf), 0);
  EXPECT_EQ(RunActivate(customer, &out), 4);
  const nlohmann::json json = nlohmann::json::parse(out, nullptr, false);
  EXPECT_EQ(json.value("message", ""), "Error loading configuration file");
  EXPECT_EQ(json.value("outcome", ""), "config-error");
  EXPECT_EQ(json["attempts"].at(0).value("status", -1), 0);
}

}  // namespace
