// One logic, two faces: the same scenarios through the panes on the stand-in host and through
// kelvory-activate give the same messages, tool arguments and configuration bytes. And the
// source choice with the platform's managed preferences (a configuration profile on macOS).
#import <InstallerHost/InstallerHost.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <tuple>

#import "ActDlgPaneViews.h"
#include "FakePlatform.h"
#include "FakeTool.h"
#import "KLActivationSource.h"
#include "KLHelper.h"
#include "KLPlatform.h"
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
};

// What a run left behind: the tool's argument vectors and the configuration file.
Outcome Collect(const kl::FakeTool& tool, Strings messages) {
  Outcome o{messages, {}, kl::ReadWholeFile(kConf)};
  for (int n = 1; n <= tool.Runs(); ++n) {
    const Strings argv = tool.Arguments(n);
    o.argv.push_back(Strings(argv.begin() + 1, argv.end()));
  }
  unlink(kConf);
  return o;
}

struct Scenario {
  const char* name;
  std::string prefill;  // InstallationData.xml beside the package; empty for none
  Strings steps;        // the fake tool's
  Strings options;      // what a person types, as kelvory-activate options
};

// One kelvory-activate option as a person would type it in the pane, after a click on the radio
// button that shows its field, if any.
void Type(ActDlgPane* pane, const std::string& option, const std::string& value) {
  const std::map<std::string, std::tuple<NSString*, NSString*>> kFields{
      {"--key", {nil, @"klActivationKeyField"}},
      {"--proxy", {@"klProxyMatrix", @"klProxyField"}},
      {"--customer-name", {@"klActivationMatrix", @"klCustomerNameField"}},
      {"--customer-id", {@"klActivationMatrix", @"klCustomerIdField"}},
      {"--server", {@"klActivationMatrix", @"klServerURLField"}}};
  const auto& [matrix, field] = kFields.at(option);
  if (matrix != nil) {
    [[pane valueForKey:matrix] selectCellAtRow:1 column:0];
    [[pane valueForKey:matrix] sendAction];
  }
  [[pane valueForKey:field] setStringValue:KLNSString(value)];
}

class ActivateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    [NSApplication sharedApplication];
    unlink(kConf);
  }
  void TearDown() override { unlink(kConf); }

  // The panes on the stand-in host, with the options typed into the activation pane.
  Outcome ThroughPanes(const Scenario& s) {
    kl::FakeTool tool(s.steps);
    kl::ScopedFakePlatform fake;
    fake->packagePath = package_;
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    InstallerSection* section = [[[InstallerSection alloc] init] autorelease];
    [section setResourcePath:KLNSString(tool.directory)];
    [[section installerState] setTargetVolumePath:@"/"];
    ActDlgPane* activation = [KLCreateActivationPane(section) autorelease];
    ValidDlgPane* validation = [KLCreateValidationPane(section) autorelease];
    [section addPane:activation];
    [section addPane:validation];
    [section start];
    for (size_t i = 0; i + 1 < s.options.size(); i += 2)
      Type(activation, s.options[i], s.options[i + 1]);
    if (!s.options.empty()) [section pressContinue];
    NSDate* limit = [NSDate dateWithTimeIntervalSinceNow:20];
    while ([[validation valueForKey:@"klPerformingValidation"] boolValue] &&
           [limit timeIntervalSinceNow] > 0) {
      [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                               beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.05]];
    }
    Strings messages = fake->alerts;
    NSTextField* result = [validation valueForKey:@"klValidationResult"];
    if (![result isHidden] && [[result stringValue] isEqualToString:@"Validation Succeeded"]) {
      messages.push_back("Validation Succeeded");
    }
    [pool drain];
    return Collect(tool, messages);
  }

  Outcome ThroughActivate(const Scenario& s) {
    kl::FakeTool tool(s.steps);
    Strings args{"--json", "--package", package_, "--tool", tool.Tool()};
    args.insert(args.end(), s.options.begin(), s.options.end());
    const nlohmann::json json =
        nlohmann::json::parse(kl::RunProcess(ACTIVATE_PATH, args).out, nullptr, false);
    return Collect(tool, {json.value("message", "(no message)")});
  }

  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
  const std::string package_ = dir_ + "/Kelvory.pkg";
};

std::string KeyXml(const std::string& decoded) {
  return "<InstallationData><ActivationKey>" + KLHelper::EncodeBase64(decoded) +
         "</ActivationKey></InstallationData>";
}

TEST_F(ActivateTest, PanesAndHeadlessActivationAgree) {
  const Scenario scenarios[] = {
      {"customer pre-fill, first address failing",
       "<InstallationData><Customer><Name>Demo Customer</Name><ID>1001</ID></Customer><Server>"
       "<URL>127.0.0.2, 127.0.0.1</URL><Protocol>https</Protocol><Port>8443</Port></Server>"
       "<Proxy><URL>127.0.0.1</URL><Port>3128</Port></Proxy></InstallationData>",
       Strings{"exit 10", "exit 0"}, Strings{}},
      {"key pre-fill, two endpoints", KeyXml("127.0.0.1:8080,https://127.0.0.9:8443|42|1|x"),
       Strings{"exit 0"}, Strings{}},
      {"key refused", KeyXml("127.0.0.1|42|5|x"), Strings{"exit 0"}, Strings{}},
      {"typed, hostile values", "", Strings{"exit 0"},
       Strings{"--customer-name", "x\"; touch " + dir_ + "/owned; \"$(id)`id`\n;", "--customer-id",
               " 1001 ", "--server", "127.0.0.1", "--proxy", " proxy.invalid:3128 "}},
      // Without activation data the file is not used at all: its server does not count.
      {"pre-fill without activation data",
       "<InstallationData><Server><URL>127.0.0.1</URL></Server></InstallationData>",
       Strings{"exit 0"}, Strings{"--customer-name", "N", "--customer-id", "1"}},
      // A name alone stops the pane on the key form; the person then types a key, and the
      // file's server and proxy stay.
      {"typed over an incomplete pre-fill",
       "<InstallationData><Customer><Name>N</Name></Customer><Server><URL>127.0.0.1</URL>"
       "</Server><Proxy><URL>127.0.0.1</URL><Port>3128</Port></Proxy></InstallationData>",
       Strings{"exit 0"}, Strings{"--key", KLHelper::EncodeBase64("127.0.0.4:8080|7|1|x")}},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    unlink((dir_ + "/InstallationData.xml").c_str());
    if (!s.prefill.empty()) std::ofstream(dir_ + "/InstallationData.xml") << s.prefill;
    const Outcome panes = ThroughPanes(s);
    const Outcome headless = ThroughActivate(s);
    ASSERT_FALSE(panes.messages.empty());
    EXPECT_LE(panes.messages.size(), 2u);  // at most one alert, then the verdict
    EXPECT_EQ(panes.messages.back(), headless.messages[0]);
    EXPECT_EQ(panes.argv, headless.argv);
    EXPECT_EQ(panes.conf, headless.conf);
    EXPECT_NE(access((dir_ + "/owned").c_str(), F_OK), 0);
  }
}

class ProfilePlatform : public kl::DefaultPlatform {
 public:
  std::string ManagedPreferences(const std::string& domain,
                                 const std::vector<std::string>& keys) override {
    asked = domain;
    for (const std::string& key : keys) asked += " " + key;
    return forced;
  }
  std::string forced, asked;
};

// The domain and keys asked for; what is forced (an integer too) gives the record, and a typed
// proxy overrides it.
TEST(SourceChoice, ThePlatformsForcedPreferences) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  ProfilePlatform platform;
  kl::ScopedPlatform scope(&platform);
  platform.forced =
      "<?xml version=\"1.0\"?>\n<plist "
      "version=\"1.0\"><dict><key>ActivationKey</key><string>a2V5</string><key>ServerPort</key>"
      "<integer>8443</integer></dict></plist>\n";
  KLSourceRequest request;
  request.managedPreferences = true;
  request.typed.proxy = "127.0.0.1:3128";
  const KLSourceChoice choice = KLChooseActivationSource(request);
  EXPECT_EQ(platform.asked,
            "com.kelvory.activation ActivationKey CustomerID CustomerName ServerURL "
            "ServerProtocol ServerPort ProxyURL ProxyPort");
  EXPECT_EQ(choice.source, KLSourceKind::kManagedPreferences);
  EXPECT_EQ(choice.looked.at(0).location, "com.kelvory.activation");
  EXPECT_TRUE(choice.looked.at(0).found);
  EXPECT_EQ(KLStdString(choice.input.activationKey), "a2V5");
  EXPECT_EQ(KLStdString(choice.input.port), "8443");
  EXPECT_EQ(KLStdString(choice.input.proxy), "127.0.0.1:3128");
  EXPECT_EQ(choice.overrides, std::vector<std::string>({"proxy"}));
  [pool drain];
}

}  // namespace
