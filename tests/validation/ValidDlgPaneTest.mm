// The validation pane on the stand-in host: a fake tool in the section's resource directory,
// alerts recorded, the main run loop spun until the verdict.
#import <AppKit/AppKit.h>
#import <InstallerPlugins/InstallerPlugins.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AllocationCount.h"
#include "FakePlatform.h"
#include "FakeTool.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"
#include "KLValidationTool.h"
#import "ValidDlgPane.h"
#import "ValidDlgPaneViews.h"

using Strings = std::vector<std::string>;

// Counts the main run loop's turns and the longest gap between them.
@interface KLStallMeter : NSObject {
 @public
  NSTimeInterval last;
  NSTimeInterval longest;
}
- (void)tick:(NSTimer*)timer;
@end
@implementation KLStallMeter
- (void)tick:(NSTimer*)timer {
  (void)timer;
  const NSTimeInterval now = [NSDate timeIntervalSinceReferenceDate];
  if (last > 0 && now - last > longest) longest = now - last;
  last = now;
}
@end

namespace {

const char kConf[] = "/tmp/kelvor.conf";

class AppKitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    [NSApplication sharedApplication];
    GSDebugAllocationActive(YES);
  }
};
::testing::Environment* const kAppKit = ::testing::AddGlobalTestEnvironment(new AppKitEnvironment);

class ValidDlgPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = [[NSAutoreleasePool alloc] init];
    unlink(kConf);
    section_ = [[InstallerSection alloc] init];
    [[section_ installerState] setTargetVolumePath:@"/"];
    pane_ = KLCreateValidationPane(section_);
    [section_ addPane:pane_];
  }
  void TearDown() override {
    [pane_ release];
    [section_ release];
    [pool_ drain];
    unlink(kConf);
  }

  void UseTool(const kl::FakeTool& tool) { [section_ setResourcePath:KLNSString(tool.directory)]; }
  KLTextDataProvider* StoreRecord(NSString* urls) {
    KLTextDataProvider* record = [[KLTextDataProvider alloc] initWithKey:@""
                                                               serverURL:urls
                                                                    port:80
                                                                isSecure:NO
                                                                   proxy:@""
                                                            customerName:@"Demo Customer"
                                                              customerId:@"1001"
                                                             applianceId:0];
    [[section_ sharedDictionary] setValue:record forKey:@"ActivationPaneData"];
    [record release];
    return record;
  }
  BOOL Validating() { return [[pane_ valueForKey:@"klPerformingValidation"] boolValue]; }
  // Spins the main run loop until the verdict (at most 20 s, so a lost hand-off fails).
  void WaitForVerdict() {
    NSDate* limit = [NSDate dateWithTimeIntervalSinceNow:20];
    while (Validating() && [limit timeIntervalSinceNow] > 0) {
      [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                               beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.05]];
    }
    ASSERT_FALSE(Validating()) << "no verdict within 20 s";
  }
  NSTextField* Result() { return [pane_ valueForKey:@"klValidationResult"]; }
  std::string Verdict() {
    return [Result() isHidden] ? "(hidden)" : KLStdString([Result() stringValue]);
  }
  size_t DoneLines() {
    size_t n = 0;
    for (const std::string& line : fake_->ConsoleLines()) {
      n += line.rfind("Validation Done with Code ", 0) == 0;
    }
    return n;
  }

  kl::ScopedFakePlatform fake_;
  NSAutoreleasePool* pool_ = nil;
  InstallerSection* section_ = nil;
  ValidDlgPane* pane_ = nil;
};

const std::string kCustomerBlock =
    "\tendpoint_size=1\n[main]\n    logfilename=//var/log/Tervox/Kelvory/kelvor.log\n"
    "    loglevel=3\n    homedir=/Applications/Kelvory.app/Contents/Daemon/home/kelvor\n"
    "    thread_limitation=50\n    poll_delay=1\n    datablock_size=20\n\n\n";

TEST_F(ValidDlgPaneTest, VerdictsOverTheServerAddresses) {
  const struct {
    const char* name;
    NSString* urls;
    Strings steps;
    Strings alerts;
    std::string verdict;
    Strings servers;  // the -s of each run
    std::string conf;
  } cases[] = {
      {"one address failing",
       @"127.0.0.1",
       {"exit 10"},
       {ERRORS[10]},
       "Validation Failed",
       {"127.0.0.1"},
       ""},
      {"first failing, second validating",
       @"127.0.0.2, 127.0.0.1",
       {"exit 10", "exit 0"},
       {},
       "Validation Succeeded",
       {"127.0.0.2", " 127.0.0.1"},
       kCustomerBlock},
      {"all failing: the last message only",
       @"127.0.0.2,127.0.0.3",
       {"exit 11", "exit 12"},
       {ERRORS[12]},
       "Validation Failed",
       {"127.0.0.2", "127.0.0.3"},
       ""},
      {"killed by a signal",
       @"127.0.0.1",
       {"kill -TERM $$"},
       {"Launch script failed"},
       "Validation Failed",
       {"127.0.0.1"},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(kConf);
    fake_->alerts.clear();
    const size_t doneBefore = DoneLines();
    kl::FakeTool tool(c.steps);
    UseTool(tool);
    KLTextDataProvider* record = StoreRecord(c.urls);
    [pane_ willEnterPane:InstallerDirectionForward];
    WaitForVerdict();

    EXPECT_EQ(fake_->alerts, c.alerts);
    EXPECT_EQ(Verdict(), c.verdict);
    const bool succeeded = c.verdict == "Validation Succeeded";
    EXPECT_EQ([pane_ nextEnabled], succeeded);
    EXPECT_TRUE([pane_ previousEnabled]);
    Strings servers;
    for (int run = 1; run <= tool.Runs(); ++run) servers.push_back(tool.Arguments(run).at(2));
    EXPECT_EQ(servers, c.servers);
    EXPECT_EQ(DoneLines() - doneBefore, c.servers.size());
    EXPECT_EQ(kl::ReadWholeFile(kConf), c.conf);
    // A success keeps its address; after every address has failed, the rotation is back at
    // the first.
    EXPECT_EQ(KLStdString([record currentURL]), succeeded ? c.servers.back() : c.servers[0]);
  }
}

TEST_F(ValidDlgPaneTest, StaysResponsiveAndCannotBeLeftWhileValidating) {
  kl::FakeTool tool({"sleep 2; exit 0"});
  UseTool(tool);
  StoreRecord(@"127.0.0.1");
  fake_->clockStep = 2.5;
  KLStallMeter* meter = [[[KLStallMeter alloc] init] autorelease];
  NSTimer* timer = [NSTimer scheduledTimerWithTimeInterval:0.01
                                                    target:meter
                                                  selector:@selector(tick:)
                                                  userInfo:nil
                                                   repeats:YES];
  [pane_ willEnterPane:InstallerDirectionForward];
  EXPECT_FALSE([pane_ shouldExitPane:InstallerDirectionForward]);
  EXPECT_FALSE([pane_ shouldExitPane:InstallerDirectionBackward]);
  EXPECT_FALSE([pane_ nextEnabled] || [pane_ previousEnabled]);
  EXPECT_EQ(Verdict(), "(hidden)");
  WaitForVerdict();
  [timer invalidate];
  std::printf("main run loop's longest stall while the tool slept 2 s: %.0f ms\n",
              meter->longest * 1000);
  EXPECT_LT(meter->longest, 1.0);
  EXPECT_EQ(Verdict(), "Validation Succeeded");
  EXPECT_TRUE([pane_ shouldExitPane:InstallerDirectionForward]);
  const Strings console = fake_->ConsoleLines();
  EXPECT_NE(std::find(console.begin(), console.end(), "Validation took 2.5 sec."), console.end());

  // Coming back from a later pane: no new validation, the verdict and buttons stay.
  [pane_ willEnterPane:InstallerDirectionBackward];
  EXPECT_FALSE(Validating());
  EXPECT_EQ(Verdict(), "Validation Succeeded");
  EXPECT_TRUE([pane_ nextEnabled] && [pane_ previousEnabled]);
  EXPECT_EQ(tool.Runs(), 1);
}

TEST_F(ValidDlgPaneTest, MissingRecordSendsTheUserBack) {
  kl::FakeTool tool({"exit 0"});
  UseTool(tool);
  [pane_ willEnterPane:InstallerDirectionForward];
  EXPECT_EQ(fake_->alerts,
            Strings{"No activation data was found. Please go back and enter the activation data."});
  EXPECT_EQ(Verdict(), "Validation Failed");
  EXPECT_FALSE([pane_ nextEnabled]);
  EXPECT_TRUE([pane_ previousEnabled] && [pane_ shouldExitPane:InstallerDirectionBackward]);
  EXPECT_EQ(tool.Runs(), 0);
}

TEST_F(ValidDlgPaneTest, FreesItsControls) {
  const int indicators = GSDebugAllocationCount([NSProgressIndicator class]);
  const int panes = GSDebugAllocationCount([ValidDlgPane class]);
  NSAutoreleasePool* inner = [[NSAutoreleasePool alloc] init];
  ValidDlgPane* pane = KLCreateValidationPane(section_);
  EXPECT_EQ(GSDebugAllocationCount([NSProgressIndicator class]), indicators + 1);
  [pane release];
  [inner drain];
  EXPECT_EQ(GSDebugAllocationCount([ValidDlgPane class]), panes);
  EXPECT_EQ(GSDebugAllocationCount([NSProgressIndicator class]), indicators);
}

}  // namespace
