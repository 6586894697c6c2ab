// The activation pane driven as the Installer drives it (tests/support/PaneHarness).
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#import "ActDlgPaneViews.h"
#include "AllocationCount.h"
#include "FakePlatform.h"
#include "KLHelper.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"
#include "LogText.h"
#import "PaneHarness.h"
#include "TempDir.h"

using Strings = std::vector<std::string>;

namespace {

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }
Strings Alerts(const std::string& alert) { return alert.empty() ? Strings{} : Strings{alert}; }

class ActDlgPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    [NSApplication sharedApplication];
    pool_ = [[NSAutoreleasePool alloc] init];
    unlink("/tmp/kelvor_install.log");
    fake_->alerts.clear();
    fake_->packagePath = tmp_.path + "/Kelvory.pkg";
    fake_->resolvableNames = {"mgmt.example.test"};
    live_ = Live();
    section_ = [[KLTestSection alloc] init];
    pane_ = KLNewTestActivationPane(section_);
    next_ = [[[InstallerPane alloc] initWithSection:section_] autorelease];
    [section_ setPanes:[NSArray arrayWithObjects:pane_, next_, nil]];
  }
  void TearDown() override {
    [pane_ release];
    [section_ release];
    [pool_ drain];
    EXPECT_EQ(Live(), live_) << "records, matrices, text fields left";
  }
  // Instances of the classes a pane makes and hands on, by GNUstep's counters (none elsewhere).
  static std::vector<int> Live() {
    std::vector<int> counts;
#ifdef GNUSTEP
    GSDebugAllocationActive(YES);
    for (Class c : {[KLTextDataProvider class], [NSMatrix class], [NSTextField class]}) {
      counts.push_back(GSDebugAllocationCount(c));
    }
#endif
    return counts;
  }

  id Outlet(const char* name) { return [pane_ valueForKey:[NSString stringWithUTF8String:name]]; }
  void Type(const char* outlet, const std::string& text) {
    [Outlet(outlet) setStringValue:KLNSString(text)];
  }
  std::string Text(const char* outlet) { return KLStdString([Outlet(outlet) stringValue]); }
  // A radio button clicked as a user would: the selection, then the group's action.
  void Click(const char* matrix, int row, int column) {
    [Outlet(matrix) selectCellAtRow:row column:column];
    [Outlet(matrix) sendAction];
  }
  // "hidden flags of key form, customer form, proxy field, proxy label|key|ID|name|URL|
  // protocol column|port|proxy"
  std::string Screen() {
    std::string s;
    for (const char* view :
         {"klActivateByKeyView", "klActivateByCustomerInfoView", "klProxyField", "klProxyLabel"}) {
      s += [Outlet(view) isHidden] ? '1' : '0';
    }
    for (const char* field :
         {"klActivationKeyField", "klCustomerIdField", "klCustomerNameField", "klServerURLField"}) {
      s += "|" + Text(field);
    }
    return s + "|" + std::to_string([Outlet("klProtocolMatrix") selectedColumn]) + "|" +
           Text("klServerPortField") + "|" + Text("klProxyField");
  }
  KLTextDataProvider* Stored() {
    return [[section_ sharedDictionary] valueForKey:@"ActivationPaneData"];
  }
  // "key|ID|name|URL|isHTTPS|port|appliance ID|proxy" of the handed-on record, every byte of
  // each text (a NUL included); "" for none.
  std::string StoredText() {
    KLTextDataProvider* r = Stored();
    if (r == nil) return "";
    std::string s;
    for (NSString* text : {[r activationKey], [r customerId], [r customerName], [r serverURL]}) {
      NSData* bytes = [text dataUsingEncoding:NSUTF8StringEncoding];
      s.append(static_cast<const char*>([bytes bytes]), [bytes length]) += "|";
    }
    return s + std::to_string([r isHTTPS]) + "|" + std::to_string([r serverPort]) + "|" +
           std::to_string([r applianceId]) + "|" + KLStdString([r proxyServer]);
  }
  // A fresh exit forward, from nothing stored: its alert ("" for none) and the record handed on.
  void ExpectExit(const std::string& alert, const std::string& stored) {
    [[section_ sharedDictionary] removeAllObjects];
    fake_->alerts.clear();
    EXPECT_EQ([pane_ shouldExitPane:InstallerDirectionForward], alert.empty());
    EXPECT_EQ(fake_->alerts, Alerts(alert));
    EXPECT_EQ(StoredText(), stored);
  }
  // Starts the section with `xml` in the pre-fill file beside the package; "DIR": a directory
  // of that name instead, "NOPKG": no package location.
  void StartWith(const std::string& xml) {
    const std::string file = tmp_.path + "/InstallationData.xml";
    unlink(file.c_str());
    if (xml == "DIR") {
      mkdir(file.c_str(), 0755);
    } else if (xml == "NOPKG") {
      fake_->packagePath.clear();
    } else {
      std::ofstream(file) << "<D>" + xml + "</D>";
    }
    [section_ start];
  }

  kl::ScopedFakePlatform fake_;
  NSAutoreleasePool* pool_ = nil;
  kl::TempDir tmp_;
  KLTestSection* section_ = nil;
  ActDlgPane* pane_ = nil;
  InstallerPane* next_ = nil;
  std::vector<int> live_;
};

// Refusals show only the first failure; texts are trimmed and cut at their buffer size (never
// inside a character). A protocol click puts its default port in the field.
TEST_F(ActDlgPaneTest, CustomerFormExit) {
  const std::string kBlankServer = "Server URL can not contain white space or control characters";
  const std::string name = std::string(1021, 'a') + "\xC3\xA9";  // one character, two bytes
  const struct {
    std::string name, id, url, port;
    int protocolColumn;
    std::string alert, stored;
  } cases[] = {
      {"", "", "", "", 0, "Customer name can not be empty", ""},
      {"N", "", "", "", 0, "Customer ID can not be empty", ""},
      {"N", "42\xC2\xA0", "", "", 0, "Invalid customer ID format", ""},  // NBSP: no white space
      {"N", "42", "", "", 0, "Server URL can not be empty", ""},
      {"N", "42", "192.0.2.1", "", 0, "Port can not be empty", ""},
      {"N", "42", "192.0.2.1", "8o", 0, "Invalid port format", ""},
      {"N", "42", "192.0.2.1", "65537", 0, "Port is out of range", ""},
      {"N", "42", "192.0.2.1", "-1", 0, "Port is out of range", ""},
      {" Example Customer ", " 42 ", " 192.0.2.1,192.0.2.2 ", "443 ", 1, "",
       "|42|Example Customer|192.0.2.1,192.0.2.2|1|443|0|"},
      {"N", "42", "192.0.2.\xC3\xA9", "443", 0, "Server URL can only contain ASCII characters", ""},
      // The tool writes each address into the agent's file: no forged lines.
      {"N", "42", "192.0.2.1, 192.0.2.2\n[main]", "80", 0, kBlankServer, ""},
      {"N", "42", "192.0.2.1 x", "80", 0, kBlankServer, ""},
      {"   ", "-7", "a", "\t65536\n", 0, "", "|-7|   |a|0|65536|0|"},  // spaces only: not empty
      {name + "tail", std::string(300, '7'), std::string(300, 'u'), "80", 0, "",
       "|" + std::string(255, '7') + "|" + name + "|" + std::string(255, 'u') + "|0|80|0|"},
      {"a" + name, "1", "u", "80", 0, "", "|1|" + std::string(1022, 'a') + "|u|0|80|0|"},
      {"N", "42", std::string("192.0.2.1\0x", 11), "80", 0, "",
       "|42|N|192.0.2.1|0|80|0|"},  // NUL ends
  };
  Type("klActivationKeyField", "ignored in this form");
  Click("klActivationMatrix", 1, 0);
  EXPECT_EQ(Screen(), "1011|ignored in this form||||0|80|");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alert + c.stored);
    Type("klCustomerNameField", c.name);
    Type("klCustomerIdField", c.id);
    Type("klServerURLField", c.url);
    Click("klProtocolMatrix", 0, c.protocolColumn);
    EXPECT_EQ(Text("klServerPortField"), c.protocolColumn == 1 ? "443" : "80");
    Type("klServerPortField", c.port);
    ExpectExit(c.alert, c.stored);
  }
}

TEST_F(ActDlgPaneTest, KeyFormExit) {
  // 189 decoded bytes give exactly 252 base64 characters. "AAA" adds two NUL bytes to the
  // checksum field; what follows would, uncut, add five more "|" and spoil the format.
  std::string decoded = "192.0.2.10|7|1|";
  decoded += std::string(189 - decoded.size(), 'c');
  const std::string longKey = Key(decoded) + "AAAA" + "fHx8fHx8";
  const std::string key = Key("192.0.2.10|1|1|"), plain = key + "|||192.0.2.10|0|80|1|";
  const std::string twoServers = Key("https://mgmt.example.test:8443,http://192.0.2.11|42|1|x");
  const struct {
    std::string key;
    int proxyRow;
    std::string proxy, alert, stored;
  } cases[] = {
      {"", 0, "", "Activation key can not be empty", ""},
      {" " + key, 0, "", "Invalid activation key format", ""},  // used as typed
      {"S\xC3\xA9", 0, "", "Activation key can only contain ASCII characters", ""},
      {key, 1, "pr\xC3\xB6xy", "Proxy can only contain ASCII characters", ""},
      {key, 1, "proxy.test:3128\r\n[main]",
       "Proxy can not contain white space or control characters", ""},
      {twoServers, 0, "", "", twoServers + "|||mgmt.example.test|1|8443|42|"},
      {longKey, 1, std::string(120, 'p'), "",
       longKey.substr(0, 255) + "|||192.0.2.10|0|80|7|" + std::string(99, 'p')},
      {key, 0, " proxy.test:3128 ", "", plain},  // option off: the text is not used
      {key, 1, " proxy.test:3128 ", "", plain + "proxy.test:3128"},
  };
  Click("klActivationMatrix", 1, 0);
  Type("klCustomerNameField", "ignored in this form");
  Click("klActivationMatrix", 0, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    Type("klActivationKeyField", c.key);
    Click("klProxyMatrix", c.proxyRow, 0);
    EXPECT_EQ(Screen().substr(0, 4), c.proxyRow == 1 ? "0100" : "0111");  // the proxy field
    Type("klProxyField", c.proxy);
    ExpectExit(c.alert, c.stored);
  }
}

TEST_F(ActDlgPaneTest, PrefillCases) {
  // A complete pre-fill passes by itself, with the pane hidden; otherwise the pane stays.
  const std::string key = Key("192.0.2.10|3|1|");
  const std::string customer = "<Customer><ID>42</ID><Name>Example Customer</Name></Customer>";
  const std::string proxy = "<Proxy><URL>proxy.test</URL><Port>3128</Port></Proxy>";
  const std::string gaveNothing =
      "Pre-fill file " + tmp_.path + "/InstallationData.xml gave the activation pane nothing: ";
  const struct {
    std::string xml, screen, stored, alert;  // stored "": nothing handed on
    std::string console = "";                // the one console line (its start), if any
  } cases[] = {
      {customer + "<Server><URL>192.0.2.1</URL><Protocol>https</Protocol><Port>443</Port></Server>",
       "1011||42|Example Customer|192.0.2.1|1|443|", "|42|Example Customer|192.0.2.1|1|443|0|", ""},
      // The file's port stands; its proxy is shown and handed on.
      {customer + "<Server><URL>192.0.2.1</URL><Port>8080</Port></Server>" + proxy,
       "1000||42|Example Customer|192.0.2.1|0|8080|proxy.test:3128",
       "|42|Example Customer|192.0.2.1|0|8080|0|proxy.test:3128", ""},
      // A key wins over customer data, which is not filled in.
      {"<ActivationKey>" + key + "</ActivationKey>" + customer + proxy,
       "0100|" + key + "||||0|0|proxy.test:3128", key + "|||192.0.2.10|0|80|3|proxy.test:3128", ""},
      {"<Customer><ID>42</ID></Customer>", "0111|||||0|0|", "", "Activation key can not be empty"},
      // Found, but nothing for the pane: the console says why.
      {"<ActivationKey>x", "0111|||||0|80|", "", "",
       gaveNothing + "not a well-formed XML document (the XML parser stopped at line 1, column "},
      {"<Customer><Id>42</Id><name>A</name></Customer>", "0111|||||0|80|", "", "",
       gaveNothing + "it holds no activation data: none of <ActivationKey>, <Customer><ID> or "
                     "<Customer><Name> was read (element names are exact)"},
      // Not found: a directory of that name is no file; without a package location there is
      // nothing beside it (last: the directory stays).
      {"DIR", "0111|||||0|80|", "", ""},
      {"NOPKG", "0111|||||0|80|", "", "",
       "The package's location is not known: no represented URL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    TearDown();
    SetUp();
    fake_->console.clear();
    StartWith(c.xml);
    EXPECT_EQ(Screen(), c.screen);
    EXPECT_EQ(StoredText(), c.stored);
    const bool passed = !c.stored.empty();
    EXPECT_EQ([section_ activePane], passed ? next_ : pane_);
    EXPECT_EQ([[pane_ contentView] isHidden], passed);
    EXPECT_EQ(fake_->alerts, Alerts(c.alert));
    EXPECT_EQ(kl::MaskedInstallLog(),
              c.xml == "DIR" || c.xml == "NOPKG"
                  ? "STAMP\tInstallationData.xml was not found -- User will be prompted for "
                    "Activation parameters\n"
                  : "STAMP\t" + tmp_.path + "/InstallationData.xml has been found\n -- \n");
    // The column is the platform parser's count: only the start is compared.
    EXPECT_EQ(fake_->console.size(), c.console.empty() ? 0u : 1u);
    if (!fake_->console.empty()) {
      EXPECT_EQ(fake_->console[0].rfind(c.console, 0), 0u) << fake_->console[0];
    }
  }
}

// A profile's forced values come before the file beside the package, which is then not looked
// for; a profile without activation data leaves the file to answer.
TEST_F(ActDlgPaneTest, AProfileComesBeforeTheFile) {
  const std::string file = "<ActivationKey>" + Key("192.0.2.10|3|1|") + "</ActivationKey>";
  const std::string customer = "<key>CustomerID</key><integer>42</integer>"
                               "<key>CustomerName</key><string>Example Customer</string>";
  const std::string start = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>",
                    end = "<key>ServerURL</key><string>192.0.2.1</string></dict></plist>";
  const struct {
    std::string profile;
    bool used;                 // the profile's values, not the file's
    std::string console = "";  // the start of the one console line, if any
  } cases[] = {
      {start + customer + end, true},
      {start + end, false},
      // One that cannot be read is passed over for the file, with the reason on the console.
      {start + "<key>", false,
       "Managed preferences com.kelvory.activation gave the activation pane nothing: they could "
       "not be read (not a property list (XML or binary))"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    TearDown();
    SetUp();
    fake_->console.clear();
    fake_->managedPreferences = c.profile;
    StartWith(file);
    EXPECT_EQ([section_ activePane], next_);
    EXPECT_EQ(StoredText(), c.used ? "|42|Example Customer|192.0.2.1|0|0|0|"
                                   : Key("192.0.2.10|3|1|") + "|||192.0.2.10|0|80|3|");
    EXPECT_EQ(kl::MaskedInstallLog(),
              c.used ? "STAMP\tManaged preferences com.kelvory.activation have been found -- \n"
                     : "STAMP\t" + tmp_.path + "/InstallationData.xml has been found\n -- \n");
    EXPECT_EQ(fake_->console.size(), c.console.empty() ? 0u : 1u);
    if (!fake_->console.empty()) {
      EXPECT_EQ(fake_->console[0].rfind(c.console, 0), 0u) << fake_->console[0];
    }
  }
}

// Read on the first forward entry only. Coming back shows the pane again; a later forward entry
// neither reads nor passes; a later exit replaces the record handed on.
TEST_F(ActDlgPaneTest, PrefillIsReadOnlyOnTheFirstEntry) {
  StartWith("<ActivationKey>" + Key("https://192.0.2.10:8443|42|1|x") + "</ActivationKey>");
  ASSERT_EQ([section_ activePane], next_);
  const std::string log = kl::MaskedInstallLog();
  ASSERT_TRUE([section_ press:InstallerDirectionBackward]);
  EXPECT_FALSE([[pane_ contentView] isHidden]);
  [pane_ willEnterPane:InstallerDirectionForward];
  EXPECT_EQ([section_ activePane], pane_);
  EXPECT_EQ(kl::MaskedInstallLog(), log);
  Type("klActivationKeyField", "");
  EXPECT_FALSE([section_ press:InstallerDirectionForward]);
  EXPECT_TRUE([pane_ shouldExitPane:InstallerDirectionBackward]);  // going back needs nothing
  Type("klActivationKeyField", Key("192.0.2.20|2|1|"));
  ASSERT_TRUE([section_ press:InstallerDirectionForward]);
  EXPECT_EQ([section_ activePane], next_);
  EXPECT_EQ([Stored() applianceId], 2);
}

TEST_F(ActDlgPaneTest, PassingWithoutANextPaneRaisesNoEndPane) {
  [section_ setPanes:[NSArray arrayWithObject:pane_]];
  // An NSException, which g++ catches as any other.
  EXPECT_ANY_THROW(StartWith("<ActivationKey>" + Key("192.0.2.10|3|1|") + "</ActivationKey>"));
}

}  // namespace
