// Both panes in each language of the string tables: what they show, what they tell VoiceOver,
// and the alerts worded by the shared checks and the validation, shown in the pane's language.
// Expected texts are read from the tables' files here, not through the code under test.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "FakeTool.h"
#include "KLKeyDecoder.h"
#import "KLPaneText.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"
#include "KLValidationTool.h"
#import "PaneHarness.h"

using Strings = std::vector<std::string>;

namespace {

const char* const kLanguages[] = {"en", "de", "fr", "es", "ja"};

// One table of the source tree, key to text.
std::map<std::string, std::string> Table(const std::string& language,
                                         const char* name = "Localizable") {
  NSString* path = [NSString
      stringWithFormat:@"%s/%s.lproj/%s.strings", KL_STRING_TABLES_DIR, language.c_str(), name];
  NSDictionary* entries =
      [[NSString stringWithContentsOfFile:path encoding:NSUTF8StringEncoding
                                    error:NULL] propertyListFromStringsFileFormat];
  std::map<std::string, std::string> table;
  NSArray* keys = [entries allKeys];
  for (NSUInteger i = 0; i < [keys count]; ++i) {
    NSString* key = [keys objectAtIndex:i];
    table[KLStdString(key)] = KLStdString([entries objectForKey:key]);
  }
  return table;
}

// The records of `fake` for `view` of one kind.
std::vector<kl::FakePlatform::Accessibility> Told(const kl::FakePlatform& fake, id view,
                                                  kl::AccessibilityText kind) {
  std::vector<kl::FakePlatform::Accessibility> found;
  for (const auto& a : fake.accessibility) {
    if (a.view == (void*)view && a.kind == kind) found.push_back(a);
  }
  return found;
}

class PaneLanguages : public ::testing::Test {
 protected:
  void SetUp() override {
    [NSApplication sharedApplication];
    pool_ = [[NSAutoreleasePool alloc] init];
    unlink("/tmp/kelvor.conf");
  }
  void TearDown() override {
    KLSetTestLanguage(@"en");
    [pool_ drain];
    unlink("/tmp/kelvor.conf");
  }
  NSAutoreleasePool* pool_ = nil;
};

// Every message the shared code can give the panes, from where it is worded, shown in each
// language as its table says; in English exactly as worded.
TEST_F(PaneLanguages, EveryAlertOfTheSharedCodeIsShownFromTheTable) {
  struct Produced {
    std::string english, key, number = "";
  };
  std::vector<Produced> produced = {
      {kl::KeyDecodeStatusMessage(kl::KeyDecodeStatus::kWrongType),
       "alert.activationKey.agentType"},
      {kl::KeyDecodeStatusMessage(kl::KeyDecodeStatus::kBadEndpoint),
       "alert.activationKey.checksum"},
      {kl::KeyDecodeStatusMessage(kl::KeyDecodeStatus::kBadFormat), "alert.activationKey.format"},
      {kl::KeyDecodeStatusMessage(kl::KeyDecodeStatus::kBadIdentifier),
       "alert.activationKey.applianceId"},
      {kl::ValidationStatusMessage(-1), "alert.launch.failed"},
      {kl::ValidationStatusMessage(77 << 8), "alert.launch.unexpectedCode", "77"},
  };
  for (int code = 1; code <= 18; ++code)
    produced.push_back(
        {kl::ValidationStatusMessage(code << 8), "tool.exit." + std::to_string(code)});
  NSBundle* bundle = nil;
  for (const char* language : kLanguages) {
    SCOPED_TRACE(language);
    KLSetTestLanguage(KLNSString(language));
    KLTestSection* section = [[[KLTestSection alloc] init] autorelease];
    bundle = [section bundle];
    const auto table = Table(language);
    for (const Produced& p : produced) {
      SCOPED_TRACE(p.english);
      ASSERT_EQ(table.count(p.key), 1u) << p.key;
      std::string expected = table.at(p.key);
      if (!p.number.empty()) expected.replace(expected.find("%@"), 2, p.number);
      EXPECT_EQ(KLPaneAlertText(bundle, p.english), expected);
      if (std::string(language) == "en") {
        EXPECT_EQ(expected, p.english);
      }
    }
    // A text that is not an alert of the panes passes as it is.
    EXPECT_EQ(KLPaneAlertText(bundle, "Launch script returned unexpected error code: x"),
              "Launch script returned unexpected error code: x");
  }
}

// Per language: the pane's title, each caption tied to its field as the field's accessibility
// title, each radio group's label and titles, and a refusal of the checks in that language.
TEST_F(PaneLanguages, ActivationPaneCaptionsTitlesAndAlerts) {
  const std::pair<const char*, const char*> fields[] = {
      {"klActivationKeyField", "activation.caption.activationKey"},
      {"klCustomerNameField", "activation.caption.customerName"},
      {"klCustomerIdField", "activation.caption.customerId"},
      {"klServerURLField", "activation.caption.serverURL"},
      {"klServerPortField", "activation.caption.port"},
      {"klProxyField", "activation.caption.proxy"},
  };
  // Outlet, label, and the cells' titles: keys, or the texts themselves when not translated.
  const std::tuple<const char*, const char*, Strings> groups[] = {
      {"klActivationMatrix",
       "activation.form.label",
       {"activation.form.key", "activation.form.customer"}},
      {"klProtocolMatrix", "activation.protocol.label", {"http", "https"}},
      {"klProxyMatrix",
       "activation.proxy.label",
       {"activation.proxy.none", "activation.proxy.use"}},
  };
  for (const char* language : kLanguages) {
    SCOPED_TRACE(language);
    auto table = Table(language);
    auto text = [&](const std::string& key) { return table.count(key) ? table[key] : key; };
    kl::ScopedFakePlatform fake;
    KLSetTestLanguage(KLNSString(language));
    // Autoreleased: an ASSERT that ends the test early leaks nothing.
    KLTestSection* section = [[[KLTestSection alloc] init] autorelease];
    ActDlgPane* pane = [KLNewTestActivationPane(section) autorelease];
    [section setPanes:[NSArray arrayWithObject:pane]];
    EXPECT_EQ(KLStdString([pane title]), text("activation.title"));

    for (const auto& [outlet, key] : fields) {
      SCOPED_TRACE(outlet);
      const auto told =
          Told(fake, [pane valueForKey:KLNSString(outlet)], kl::AccessibilityText::kTitle);
      ASSERT_EQ(told.size(), 1u);
      EXPECT_EQ(told[0].text, text(key));
      // Tied to the caption the pane shows, which shows the same text.
      NSTextField* caption = (NSTextField*)told[0].caption;
      ASSERT_NE(caption, nil);
      EXPECT_TRUE([caption isKindOfClass:[NSTextField class]] && ![caption isEditable]);
      EXPECT_TRUE([caption isDescendantOf:[pane valueForKey:@"klPlaceholderView"]] ||
                  [caption superview] == [pane contentView]);
      EXPECT_EQ(KLStdString([caption stringValue]), text(key));
    }
    for (const auto& [outlet, label, keys] : groups) {
      SCOPED_TRACE(outlet);
      NSMatrix* matrix = [pane valueForKey:KLNSString(outlet)];
      const auto told = Told(fake, matrix, kl::AccessibilityText::kLabel);
      ASSERT_EQ(told.size(), 1u);
      EXPECT_EQ(told[0].text, text(label));
      Strings titles, expected;
      for (NSUInteger i = 0; i < [[matrix cells] count]; ++i)
        titles.push_back(KLStdString([[[matrix cells] objectAtIndex:i] title]));
      for (const std::string& key : keys) expected.push_back(text(key));
      EXPECT_EQ(titles, expected);
    }

    // Continue with the key form empty: the check's refusal, in the language.
    [section start];
    EXPECT_FALSE([section press:InstallerDirectionForward]);
    EXPECT_EQ(fake->alerts, Strings{text("alert.activationKey.empty")});
  }
}

// Per language: the caption, the busy indicator's label, the verdict (announced as it appears)
// and the tool's message after a failure, as the tables say.
TEST_F(PaneLanguages, ValidationPaneVerdictsAndTheToolsMessage) {
  for (const char* language : kLanguages) {
    for (const bool succeeds : {false, true}) {
      SCOPED_TRACE(std::string(language) + (succeeds ? " exit 0" : " exit 12"));
      auto table = Table(language);
      kl::ScopedFakePlatform fake;
      KLSetTestLanguage(KLNSString(language));
      KLTestSection* section = [[[KLTestSection alloc] init] autorelease];
      [section setTargetVolumePath:@"/"];
      ValidDlgPane* pane = [KLNewTestValidationPane(section) autorelease];
      EXPECT_EQ(KLStdString([pane title]), table["validation.title"]);
      NSProgressIndicator* indicator = [pane valueForKey:@"klValidationIndicator"];
      const auto busy = Told(fake, indicator, kl::AccessibilityText::kLabel);
      ASSERT_EQ(busy.size(), 1u);
      EXPECT_EQ(busy[0].text, table["validation.busy"]);
      Strings shown;
      NSArray* views = [[pane contentView] subviews];
      for (NSUInteger i = 0; i < [views count]; ++i) {
        id view = [views objectAtIndex:i];
        if ([view isKindOfClass:[NSTextField class]] && ![view isHidden])
          shown.push_back(KLStdString([view stringValue]));
      }
      EXPECT_EQ(shown, Strings{table["validation.caption"]});

      kl::FakeTool tool({succeeds ? "exit 0" : "exit 12"});
      [section setResourcePath:KLNSString(tool.directory)];
      [section handOnDemoCustomerAt:@"127.0.0.1"];
      [section start];
      [section press:InstallerDirectionForward];
      KLWaitForVerdict(pane, [NSDate timeIntervalSinceReferenceDate]);
      const std::string verdict =
          table[succeeds ? "validation.verdict.succeeded" : "validation.verdict.failed"];
      NSTextField* result = [pane valueForKey:@"klValidationResult"];
      EXPECT_EQ(KLStdString([result stringValue]), verdict);
      EXPECT_EQ(fake->alerts, succeeds ? Strings{} : Strings{table["tool.exit.12"]});
      ASSERT_EQ(fake->announcements.size(), 1u);
      EXPECT_EQ(fake->announcements[0].view, (void*)result);
      EXPECT_EQ(fake->announcements[0].text, verdict);
      unlink("/tmp/kelvor.conf");
    }
  }
}

}  // namespace
