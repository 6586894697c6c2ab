// The validation pane as the Installer drives it (tests/support/PaneHarness), after a stand-in
// for the activation pane, with a fake tool in the section's resources and alerts recorded.
#include <gtest/gtest.h>

#include <objc/runtime.h>

#include <algorithm>
#include <cstdio>

#include "AllocationCount.h"
#include "FakePlatform.h"
#include "FakeTool.h"
#include "KLHelper.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"
#import "KLValidation.h"
#include "KLValidationTool.h"
#import "PaneHarness.h"
#import "ValidDlgPaneViews.h"

using Strings = std::vector<std::string>;

// A validation pane whose two verdict methods answer their own way and never write: the verdict
// must go through them, as the pane's order of calls says.
static std::string gVerdictCalls;
@interface KLOwnVerdictPane : KLTestValidationPane
@end
@implementation KLOwnVerdictPane
- (NSString*)getErrorString:(int64_t)status {
  gVerdictCalls += "getErrorString:" + std::to_string(status) + " ";
  return status == 0 ? @"" : @"Our own message";
}
- (BOOL)writeConfigFile:(NSString*)activationKey {
  // The verdict shows only once the configuration is written.
  const bool shown = ![[self valueForKey:@"klValidationResult"] isHidden];
  gVerdictCalls += "writeConfigFile:" + KLStdString(activationKey) + (shown ? " shown " : " ");
  return NO;
}
@end

// The pane's busy indicator, watched: whether it spins.
static bool gSpinning = false;
@interface KLWatchedIndicator : NSProgressIndicator
@end
@implementation KLWatchedIndicator
- (void)startAnimation:(id)sender {
  gSpinning = true;
  [super startAnimation:sender];
}
- (void)stopAnimation:(id)sender {
  gSpinning = false;
  [super stopAnimation:sender];
}
@end

namespace {

const char kConf[] = "/tmp/kelvor.conf";
const std::string kCustomerBlock =
    "\tendpoint_size=1\n[main]\n    logfilename=//var/log/Tervox/Kelvory/kelvor.log\n"
    "    loglevel=3\n    homedir=/Applications/Kelvory.app/Contents/Daemon/home/kelvor\n"
    "    thread_limitation=50\n    poll_delay=1\n    datablock_size=20\n\n\n";

class ValidDlgPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    [NSApplication sharedApplication];
    pool_ = [[NSAutoreleasePool alloc] init];
    unlink(kConf);
    fake_->alerts.clear();
    fake_->console.clear();
    fake_->clockStep = 2.5;
    section_ = [[KLTestSection alloc] init];
    [section_ setTargetVolumePath:@"/"];
    pane_ = KLNewTestValidationPane(section_);
  }
  void TearDown() override {
    [pane_ release];
    [section_ release];
    [pool_ drain];
    unlink(kConf);
  }

  BOOL Validating() { return [[pane_ valueForKey:@"klPerformingValidation"] boolValue]; }
  std::string Verdict() {
    NSTextField* result = [pane_ valueForKey:@"klValidationResult"];
    return [result isHidden] ? "(hidden)" : KLStdString([result stringValue]);
  }
  size_t Lines(const std::string& prefix) {
    const Strings lines = fake_->ConsoleLines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  kl::ScopedFakePlatform fake_;
  NSAutoreleasePool* pool_ = nil;
  KLTestSection* section_ = nil;
  ValidDlgPane* pane_ = nil;
};

// Until the verdict the pane shows none and cannot be left while the main run loop turns. On
// success (no alert, and the configuration written) Continue opens; Go Back is open after any
// verdict. Rows with `calls` use the pane above, whose verdict methods are called in that order.
TEST_F(ValidDlgPaneTest, VerdictsOverTheServerAddresses) {
  const struct {
    NSString* urls;
    Strings steps, alerts;
    Strings servers;         // the -s of each run
    std::string calls = "";  // "": the pane as built
  } cases[] = {
      {@"127.0.0.2, 127.0.0.1", {"exit 10", "sleep 2; exit 0"}, {}, {"127.0.0.2", " 127.0.0.1"}},
      {@"127.0.0.2,127.0.0.3", {"exit 11", "exit 12"}, {ERRORS[12]}, {"127.0.0.2", "127.0.0.3"}},
      {@"127.0.0.1", {"kill -TERM $$"}, {"Launch script failed"}, {"127.0.0.1"}},
      // Validated, but the override refused to write.
      {@"127.0.0.1", {"exit 0"}, {}, {"127.0.0.1"}, "getErrorString:0 writeConfigFile: "},
      {@"127.0.0.1", {"exit 10"}, {"Our own message"}, {"127.0.0.1"}, "getErrorString:2560 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(KLStdString(c.urls) + " " + c.steps.back() + " " + c.calls);
    TearDown();
    SetUp();
    // Same layout (no instance variables of its own): the built pane becomes the subclass.
    if (!c.calls.empty()) object_setClass(pane_, [KLOwnVerdictPane class]);
    object_setClass([pane_ valueForKey:@"klValidationIndicator"], [KLWatchedIndicator class]);
    gVerdictCalls.clear();
    kl::FakeTool tool(c.steps);
    [section_ setResourcePath:KLNSString(tool.directory)];
    KLTextDataProvider* record = [section_ handOnDemoCustomerAt:c.urls];
    const NSTimeInterval entered = [NSDate timeIntervalSinceReferenceDate];
    [section_ start];
    [section_ press:InstallerDirectionForward];
    EXPECT_FALSE([pane_ shouldExitPane:InstallerDirectionForward] ||
                 [pane_ shouldExitPane:InstallerDirectionBackward]);
    EXPECT_FALSE([section_ pane:pane_ hasEnabled:YES] || [section_ pane:pane_ hasEnabled:NO]);
    EXPECT_EQ(Verdict(), "(hidden)");
    EXPECT_TRUE(gSpinning);
    const NSTimeInterval stall = KLWaitForVerdict(pane_, entered);
    EXPECT_FALSE(Validating()) << "no verdict within 20 s";
    EXPECT_FALSE(gSpinning);  // whatever the verdict
    printf("main run loop's longest stall while the tool ran: %.0f ms\n", stall * 1000);
    EXPECT_LT(stall, 1.0);

    EXPECT_EQ(gVerdictCalls, c.calls);
    EXPECT_EQ(fake_->alerts, c.alerts);
    const bool succeeded = c.alerts.empty() && c.calls.empty();
    const std::string verdict = succeeded ? "Validation Succeeded" : "Validation Failed";
    EXPECT_EQ(Verdict(), verdict);
    Strings servers;
    for (int run = 1; run <= tool.Runs(); ++run) servers.push_back(tool.Arguments(run).at(2));
    EXPECT_EQ(servers, c.servers);
    EXPECT_EQ(Lines("Validation Done with Code "), c.servers.size());
    EXPECT_EQ(Lines("Validation took 2.5 sec."), c.servers.size());
    EXPECT_EQ(kl::ReadWholeFile(kConf), succeeded ? kCustomerBlock : "");
    // A success keeps its address; once every address has failed, the first is current again.
    EXPECT_EQ(KLStdString([record currentURL]), succeeded ? c.servers.back() : c.servers[0]);
    EXPECT_EQ([section_ press:InstallerDirectionForward], succeeded);
    ASSERT_TRUE([section_ press:InstallerDirectionBackward]);
    if (!succeeded) continue;
    // Coming back from a later pane: no new validation, the verdict and buttons stay.
    EXPECT_FALSE(Validating());
    EXPECT_EQ(Verdict(), verdict);
    EXPECT_TRUE([section_ pane:pane_ hasEnabled:YES] && [section_ pane:pane_ hasEnabled:NO]);
    EXPECT_EQ(static_cast<size_t>(tool.Runs()), servers.size());
  }
}

// The configuration's copy of the key keeps 255 bytes, as the pane's 256-byte buffer: a key of
// 255 is used whole, one of 256 loses its last byte (here the separator before an empty token,
// so the copy has three fields and is refused).
TEST_F(ValidDlgPaneTest, TheConfigurationsCopyOfTheKeyKeeps255Bytes) {
  // A key text of `length` characters: many endpoints, then "|42|1|".
  const auto key = [](size_t length) {
    const size_t decoded = length * 3 / 4;  // unpadded: 255 characters hold 191 bytes
    std::vector<std::string> items{"192.0.2.1"};
    size_t size = 9 + 6;
    while (size + 10 <= decoded) items.push_back("192.0.2.1"), size += 10;
    for (size_t i = 0; size < decoded; ++i, ++size) items[i] += "0";
    std::string text = items[0];
    for (size_t i = 1; i < items.size(); ++i) text += "," + items[i];
    std::string encoded = KLHelper::EncodeBase64(text + "|42|1|");
    encoded.erase(encoded.find_last_not_of('=') + 1);
    EXPECT_EQ(encoded.size(), length);
    return KLNSString(encoded);
  };
  EXPECT_TRUE(KLWriteConfigFile(key(255), @"/"));
  EXPECT_EQ(fake_->alerts, Strings{});
  unlink(kConf);
  EXPECT_FALSE(KLWriteConfigFile(key(256), @"/"));
  EXPECT_EQ(fake_->alerts, Strings{"Invalid activation key format"});
}

TEST_F(ValidDlgPaneTest, MissingRecordSendsTheUserBackAndPanesFreeTheirControls) {
  [section_ start];
  [section_ press:InstallerDirectionForward];
  EXPECT_EQ(fake_->alerts,
            Strings{"No activation data was found. Please go back and enter the activation data."});
  EXPECT_EQ(Verdict(), "Validation Failed");
  EXPECT_FALSE([section_ press:InstallerDirectionForward]);
  EXPECT_TRUE([section_ press:InstallerDirectionBackward]);

#ifdef GNUSTEP  // per-class instance counts are GNUstep's
  GSDebugAllocationActive(YES);
  const int indicators = GSDebugAllocationCount([NSProgressIndicator class]);
  NSAutoreleasePool* inner = [[NSAutoreleasePool alloc] init];
  [KLCreateValidationPane(section_) release];
  [inner drain];
  EXPECT_EQ(GSDebugAllocationCount([NSProgressIndicator class]), indicators);
#endif
}

}  // namespace
