// The Linux stand-in for the installer's plug-in framework: the order and direction of the calls
// into panes, the deferred pass from inside willEnterPane:, button states, and what panes reach
// through their section. Needs an X display (xvfb-run).
#import <InstallerPlugins/InstallerPlugins.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

// NSDebug.h declares these only without NDEBUG, which release builds set; the library always
// has them.
extern "C" BOOL GSDebugAllocationActive(BOOL active);
extern "C" int GSDebugAllocationCount(Class c);

namespace {

typedef std::vector<std::string> Calls;

// Calls made into RecordingPanes, in order, e.g. "B willEnterPane: forward".
Calls *gCalls = nullptr;

void Record(NSString *name, const std::string &what) {
  if (gCalls != nullptr) gCalls->push_back(std::string([name UTF8String]) + " " + what);
}

void Record(NSString *name, const char *call, InstallerSectionDirection dir) {
  Record(name, std::string(call) + (dir == InstallerDirectionForward    ? " forward"
                                    : dir == InstallerDirectionBackward ? " backward"
                                                                        : " undefined"));
}

// AppKit controls need the shared application, which needs the display.
class AppKitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    GSDebugAllocationActive(YES);
    [NSApplication sharedApplication];
  }
};

::testing::Environment *const kAppKit = ::testing::AddGlobalTestEnvironment(new AppKitEnvironment);

}  // namespace

// Records every call the host makes into it; can refuse to be left, or pass by itself on entry
// (in the direction it was entered), as the activation pane does with pre-filled data.
@interface RecordingPane : InstallerPane {
 @public
  NSString *_name;
  BOOL _refuseExit;
  BOOL _passOnEntry;
}
@end

@implementation RecordingPane

- (void)dealloc {
  [_name release];
  [super dealloc];
}

- (NSString *)title {
  return _name;
}

- (void)awakeFromNib {
  [super awakeFromNib];
  Record(_name, "awakeFromNib");
}

- (void)willEnterPane:(InstallerSectionDirection)dir {
  Record(_name, "willEnterPane:", dir);
  if (!_passOnEntry) return;
  if (dir == InstallerDirectionForward) {
    Record(_name, [self gotoNextPane] ? "gotoNextPane -> YES" : "gotoNextPane -> NO");
  } else {
    Record(_name, [self gotoPreviousPane] ? "gotoPreviousPane -> YES" : "gotoPreviousPane -> NO");
  }
  // The move must wait until this call has returned.
  Record(_name, [[self section] currentPane] == self ? "still current" : "already left");
}

- (void)didEnterPane:(InstallerSectionDirection)dir {
  Record(_name, "didEnterPane:", dir);
}

- (BOOL)shouldExitPane:(InstallerSectionDirection)dir {
  Record(_name, "shouldExitPane:", dir);
  return !_refuseExit;
}

- (void)willExitPane:(InstallerSectionDirection)dir {
  Record(_name, "willExitPane:", dir);
}

- (void)didExitPane:(InstallerSectionDirection)dir {
  Record(_name, "didExitPane:", dir);
}

@end

// Counted apart from every other view and object in the process.
@interface ProbeView : NSView {
}
@end
@implementation ProbeView
@end

@interface ProbeRecord : NSObject {
}
@end
@implementation ProbeRecord
@end

namespace {

RecordingPane *NewPane(InstallerSection *section, NSString *name) {
  RecordingPane *pane = [[RecordingPane alloc] initWithSection:section];
  pane->_name = [name copy];
  return pane;
}

class InstallerHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = [[NSAutoreleasePool alloc] init];
    gCalls = &calls_;
  }

  void TearDown() override {
    [section_ release];
    gCalls = nullptr;
    [pool_ release];
  }

  // A fresh section holding recording panes named A, B, C...
  void NewSection(int panes) {
    [section_ release];
    section_ = [[InstallerSection alloc] init];
    for (int i = 0; i < panes; i++) {
      RecordingPane *pane = NewPane(section_, [NSString stringWithFormat:@"%c", 'A' + i]);
      [section_ addPane:pane];
      [pane release];
    }
  }

  RecordingPane *Pane(int index) { return (RecordingPane *)[[section_ panes] objectAtIndex:index]; }

  BOOL Press(bool forward) { return forward ? [section_ pressContinue] : [section_ pressGoBack]; }

  std::string Current() {
    InstallerPane *pane = [section_ currentPane];
    return pane == nil ? "(none)" : [[pane title] UTF8String];
  }

  // The calls recorded since the last take.
  Calls Take() {
    Calls taken;
    taken.swap(calls_);
    return taken;
  }

  NSAutoreleasePool *pool_ = nil;
  InstallerSection *section_ = nil;
  Calls calls_;
};

TEST_F(InstallerHostTest, StartEntersFirstPaneForward) {
  NewSection(0);
  [section_ start];  // nothing to show: finished at once
  EXPECT_TRUE([section_ isFinished]);
  EXPECT_FALSE([section_ pressContinue]);

  NewSection(2);
  EXPECT_EQ(Current(), "(none)");
  EXPECT_EQ([section_ currentPaneIndex], -1);
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionUndefined);
  EXPECT_FALSE([section_ pressContinue]);  // not started
  EXPECT_TRUE(Take().empty());

  [section_ start];
  [section_ start];  // only the first start acts
  EXPECT_EQ(Take(), (Calls{"A willEnterPane: forward", "A didEnterPane: forward"}));
  EXPECT_EQ(Current(), "A");
  EXPECT_TRUE([Pane(1) section] == section_);
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionForward);
  EXPECT_FALSE([section_ isFinished]);
}

TEST_F(InstallerHostTest, ContinueWalksForwardAndFinishesAfterLastPane) {
  NewSection(3);
  [section_ start];
  Take();
  struct Step {
    const char *current;
    Calls calls;
  } const steps[] = {
      {"B",
       {"A shouldExitPane: forward", "A willExitPane: forward", "B willEnterPane: forward",
        "A didExitPane: forward", "B didEnterPane: forward"}},
      {"C",
       {"B shouldExitPane: forward", "B willExitPane: forward", "C willEnterPane: forward",
        "B didExitPane: forward", "C didEnterPane: forward"}},
      {"(none)",
       {"C shouldExitPane: forward", "C willExitPane: forward", "C didExitPane: forward"}},
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(step.current);
    EXPECT_TRUE([section_ pressContinue]);
    EXPECT_EQ(Take(), step.calls);
    EXPECT_EQ(Current(), step.current);
  }
  EXPECT_TRUE([section_ isFinished]);
  EXPECT_EQ([section_ currentPaneIndex], 3);
  EXPECT_FALSE([section_ pressContinue]);
  EXPECT_FALSE([section_ pressGoBack]);
  EXPECT_TRUE(Take().empty());
}

TEST_F(InstallerHostTest, GoBackEntersPreviousPaneBackward) {
  NewSection(3);
  [section_ start];
  [section_ pressContinue];
  [section_ pressContinue];
  Take();

  EXPECT_TRUE([section_ pressGoBack]);
  EXPECT_EQ(Take(), (Calls{"C shouldExitPane: backward", "C willExitPane: backward",
                           "B willEnterPane: backward", "C didExitPane: backward",
                           "B didEnterPane: backward"}));
  EXPECT_EQ(Current(), "B");
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionBackward);

  EXPECT_TRUE([section_ pressGoBack]);
  Take();
  EXPECT_FALSE([section_ pressGoBack]);  // nothing before the first pane: not even asked
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Current(), "A");
  EXPECT_TRUE([section_ pressContinue]);
  EXPECT_EQ(Current(), "B");
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionForward);
}

TEST_F(InstallerHostTest, RefusedExitOrDisabledButtonKeepsThePane) {
  struct Case {
    const char *name;
    bool forward;
    bool disable;  // the button instead of a refusal
    Calls calls;
    const char *afterwards;
  } const cases[] = {
      {"Continue refused", true, false, {"B shouldExitPane: forward"}, "C"},
      {"Go Back refused", false, false, {"B shouldExitPane: backward"}, "A"},
      {"Continue disabled", true, true, {}, "C"},
      {"Go Back disabled", false, true, {}, "A"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    NewSection(3);
    EXPECT_TRUE([Pane(1) nextEnabled] && [Pane(1) previousEnabled]);  // both start enabled
    [section_ start];
    [section_ pressContinue];
    Take();
    if (!c.disable) {
      Pane(1)->_refuseExit = YES;
    } else if (c.forward) {
      [Pane(1) setNextEnabled:NO];
    } else {
      [Pane(1) setPreviousEnabled:NO];
    }

    EXPECT_FALSE(Press(c.forward));
    EXPECT_EQ(Take(), c.calls);
    EXPECT_EQ(Current(), "B");
    EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionForward);
    EXPECT_EQ([Pane(1) nextEnabled], !(c.disable && c.forward));
    EXPECT_EQ([Pane(1) previousEnabled], !(c.disable && !c.forward));
    EXPECT_TRUE([Pane(0) nextEnabled] && [Pane(2) previousEnabled]);  // each pane its own

    Pane(1)->_refuseExit = NO;
    [Pane(1) setNextEnabled:YES];
    [Pane(1) setPreviousEnabled:YES];
    EXPECT_TRUE(Press(c.forward));
    EXPECT_EQ(Current(), c.afterwards);
  }
}

TEST_F(InstallerHostTest, PassFromWillEnterWaitsForItToReturn) {
  NewSection(3);
  Pane(1)->_passOnEntry = YES;
  [section_ start];
  Take();

  // B is left without being asked again and without didEnterPane:.
  EXPECT_TRUE([section_ pressContinue]);
  EXPECT_EQ(Take(),
            (Calls{"A shouldExitPane: forward", "A willExitPane: forward",
                   "B willEnterPane: forward", "B gotoNextPane -> YES", "B still current",
                   "A didExitPane: forward", "B willExitPane: forward", "C willEnterPane: forward",
                   "B didExitPane: forward", "C didEnterPane: forward"}));
  EXPECT_EQ(Current(), "C");

  // Entered going back, B passes backward the same way.
  EXPECT_TRUE([section_ pressGoBack]);
  EXPECT_EQ(Take(), (Calls{"C shouldExitPane: backward", "C willExitPane: backward",
                           "B willEnterPane: backward", "B gotoPreviousPane -> YES",
                           "B still current", "C didExitPane: backward", "B willExitPane: backward",
                           "A willEnterPane: backward", "B didExitPane: backward",
                           "A didEnterPane: backward"}));
  EXPECT_EQ(Current(), "A");
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionBackward);
}

TEST_F(InstallerHostTest, PassesOnEntryFromStart) {
  struct Case {
    std::vector<int> passers;
    const char *current;
    const char *shown;  // the only didEnterPane:
  } const cases[] = {
      {{}, "A", "A didEnterPane: forward"},
      {{0}, "B", "B didEnterPane: forward"},
      {{0, 1}, "C", "C didEnterPane: forward"},
      {{0, 1, 2}, "C", "C didEnterPane: forward"},  // nowhere to pass to from the last pane
      {{1}, "A", "A didEnterPane: forward"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.passers.size()) + " passers, ending on " + c.current);
    NewSection(3);
    for (int index : c.passers) Pane(index)->_passOnEntry = YES;
    [section_ start];
    Calls shown;
    for (const std::string &call : Take()) {
      EXPECT_EQ(call.find("shouldExitPane:"), std::string::npos) << call;
      if (call.find("didEnterPane:") != std::string::npos) shown.push_back(call);
    }
    EXPECT_EQ(shown, (Calls{c.shown}));
    EXPECT_EQ(Current(), c.current);
    EXPECT_FALSE([section_ isFinished]);
  }
}

TEST_F(InstallerHostTest, GotoOutsideEntryMovesAtOnceWithoutAsking) {
  NewSection(3);
  [section_ start];
  [section_ pressContinue];
  Take();

  EXPECT_TRUE([Pane(1) gotoNextPane]);  // as from a button action of the shown pane
  EXPECT_EQ(Take(), (Calls{"B willExitPane: forward", "C willEnterPane: forward",
                           "B didExitPane: forward", "C didEnterPane: forward"}));
  EXPECT_FALSE([Pane(2) gotoNextPane]);  // the last pane: the section does not finish
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Current(), "C");
  EXPECT_FALSE([section_ isFinished]);

  EXPECT_TRUE([Pane(2) gotoPreviousPane]);
  EXPECT_EQ(Take(), (Calls{"C willExitPane: backward", "B willEnterPane: backward",
                           "C didExitPane: backward", "B didEnterPane: backward"}));
  EXPECT_TRUE([Pane(1) gotoPreviousPane]);
  EXPECT_FALSE([Pane(0) gotoPreviousPane]);
  EXPECT_EQ(Current(), "A");

  // Panes not on screen cannot move the section.
  RecordingPane *loose = NewPane(nil, @"L");
  EXPECT_FALSE([loose gotoNextPane]);
  EXPECT_FALSE([Pane(2) gotoNextPane]);
  EXPECT_FALSE([Pane(2) gotoPreviousPane]);
  EXPECT_FALSE([Pane(1) gotoNextPane]);
  [loose release];
  Take();
  EXPECT_EQ(Current(), "A");
}

TEST_F(InstallerHostTest, NavigationLogNamesEachCallForScripts) {
  NewSection(2);
  Pane(1)->_passOnEntry = YES;
  [section_ start];
  [Pane(0) setNextEnabled:NO];
  [section_ pressContinue];
  [Pane(0) setNextEnabled:YES];
  Pane(0)->_refuseExit = YES;
  [section_ pressContinue];
  Pane(0)->_refuseExit = NO;
  [section_ pressContinue];
  [section_ pressContinue];

  const char *expected[] = {
      "RecordingPane[0] willEnterPane: forward",
      "RecordingPane[0] didEnterPane: forward",
      "RecordingPane[0] Continue is disabled",
      "RecordingPane[0] shouldExitPane: forward -> NO",
      "RecordingPane[0] shouldExitPane: forward -> YES",
      "RecordingPane[0] willExitPane: forward",
      "RecordingPane[1] willEnterPane: forward",
      "RecordingPane[1] gotoNextPane -> NO",
      "RecordingPane[0] didExitPane: forward",
      "RecordingPane[1] didEnterPane: forward",
      "RecordingPane[1] shouldExitPane: forward -> YES",
      "RecordingPane[1] willExitPane: forward",
      "RecordingPane[1] didExitPane: forward",
      "section finished",
  };
  NSArray *log = [section_ navigationLog];
  ASSERT_EQ([log count], sizeof(expected) / sizeof(expected[0]));
  for (NSUInteger i = 0; i < [log count]; i++) {
    EXPECT_STREQ([[log objectAtIndex:i] UTF8String], expected[i]) << "line " << i;
  }
  [section_ clearNavigationLog];
  EXPECT_EQ([[section_ navigationLog] count], 0u);
}

TEST_F(InstallerHostTest, PaneOutlivingItsSectionForgetsIt) {
  NewSection(1);
  RecordingPane *pane = [Pane(0) retain];
  [section_ start];
  [section_ release];
  section_ = nil;
  EXPECT_TRUE([pane section] == nil);
  EXPECT_FALSE([pane gotoNextPane]);
  [pane awakeFromNib];  // reaches the base class, which GNUstep's NSObject would not
  EXPECT_EQ(Take().back(), "A awakeFromNib");
  [pane release];
}

TEST_F(InstallerHostTest, SharedDictionaryKeepsWhatPanesStore) {
  NewSection(2);
  int before = GSDebugAllocationCount([ProbeRecord class]);
  ProbeRecord *record = [[ProbeRecord alloc] init];
  // The writer stores and drops its own reference at once.
  [[[Pane(0) section] sharedDictionary] setValue:record forKey:@"ActivationPaneData"];
  [record release];
  EXPECT_EQ(GSDebugAllocationCount([ProbeRecord class]), before + 1);
  EXPECT_TRUE([[[Pane(1) section] sharedDictionary] valueForKey:@"ActivationPaneData"] == record);

  // Replacing the entry frees the earlier value.
  [[section_ sharedDictionary] setValue:@"other" forKey:@"ActivationPaneData"];
  EXPECT_EQ(GSDebugAllocationCount([ProbeRecord class]), before);
}

TEST_F(InstallerHostTest, ResourcePathOverrideAndBundle) {
  char dir[] = "/tmp/kl_host_test_XXXXXX";
  ASSERT_TRUE(mkdtemp(dir) != nullptr);
  std::string tool = std::string(dir) + "/InitialValidate";
  ASSERT_TRUE([[NSData data] writeToFile:[NSString stringWithUTF8String:tool.c_str()]
                              atomically:NO]);
  NSString *path = [NSString stringWithUTF8String:dir];
  NSBundle *main = [NSBundle mainBundle];
  InstallerSection *sections[] = {[[InstallerSection alloc] init],
                                  [[InstallerSection alloc] initWithBundle:main]};
  EXPECT_TRUE([sections[0] bundle] == nil);
  EXPECT_TRUE([sections[1] bundle] == main);

  for (InstallerSection *section : sections) {
    SCOPED_TRACE([section bundle] == nil ? "no bundle" : "main bundle");
    NSBundle *original = [section bundle];
    [section setResourcePath:path];
    NSBundle *bundle = [section bundle];
    EXPECT_TRUE([bundle isKindOfClass:[NSBundle class]]);
    EXPECT_STREQ([[bundle resourcePath] UTF8String], dir);
    EXPECT_STREQ([[bundle pathForResource:@"InitialValidate" ofType:nil] UTF8String], tool.c_str());
    EXPECT_TRUE([bundle pathForResource:@"Missing" ofType:@"plist"] == nil);
    [section setResourcePath:nil];
    EXPECT_TRUE([section bundle] == original);
  }

  // The override holds even over a bundle set after it.
  [sections[0] setResourcePath:path];
  [sections[0] setBundle:main];
  EXPECT_STREQ([[[sections[0] bundle] resourcePath] UTF8String], dir);
  [sections[0] setResourcePath:nil];
  EXPECT_TRUE([sections[0] bundle] == main);

  [sections[0] release];
  [sections[1] release];
  unlink(tool.c_str());
  rmdir(dir);
}

TEST_F(InstallerHostTest, TargetVolumePath) {
  NewSection(0);
  InstallerState *state = [section_ installerState];
  ASSERT_TRUE(state != nil);
  EXPECT_TRUE([state targetVolumePath] == nil);
  NSMutableString *path = [NSMutableString stringWithString:@"/Volumes/Data"];
  [state setTargetVolumePath:path];
  [path appendString:@"/changed"];  // the state keeps its own copy
  EXPECT_STREQ([[[section_ installerState] targetVolumePath] UTF8String], "/Volumes/Data");
  [state setTargetVolumePath:nil];
  EXPECT_TRUE([state targetVolumePath] == nil);
}

TEST_F(InstallerHostTest, ContentViewIsRetainedAndReleased) {
  int before = GSDebugAllocationCount([ProbeView class]);
  RecordingPane *pane = NewPane(nil, @"P");
  ProbeView *views[2];
  for (int i = 0; i < 2; i++) {
    views[i] = [[ProbeView alloc] initWithFrame:NSMakeRect(0, 0, 100, 50)];
    NSTextField *field = [[NSTextField alloc] initWithFrame:NSMakeRect(0, 0, 80, 20)];
    [views[i] addSubview:field];
    [field release];
  }
  [pane setContentView:views[0]];
  [views[0] release];
  EXPECT_TRUE([pane contentView] == views[0]);
  EXPECT_EQ(GSDebugAllocationCount([ProbeView class]), before + 2);

  [pane setContentView:views[1]];  // the first view goes
  [views[1] release];
  [pane setContentView:views[1]];  // setting the same view again keeps it
  EXPECT_TRUE([pane contentView] == views[1]);
  EXPECT_EQ(GSDebugAllocationCount([ProbeView class]), before + 1);

  [pane release];
  EXPECT_EQ(GSDebugAllocationCount([ProbeView class]), before);
}

TEST_F(InstallerHostTest, PanesSectionAndViewsAreFreed) {
  const Class classes[] = {[RecordingPane class],
                           [InstallerSection class],
                           [InstallerState class],
                           [ProbeView class],
                           [ProbeRecord class]};
  const size_t kCount = sizeof(classes) / sizeof(classes[0]);
  int before[kCount];
  for (size_t i = 0; i < kCount; i++) before[i] = GSDebugAllocationCount(classes[i]);

  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  InstallerSection *section = [[InstallerSection alloc] initWithBundle:[NSBundle mainBundle]];
  [section setResourcePath:@"/tmp"];
  Class resourceBundleClass = [[section bundle] class];
  int resourceBundles = GSDebugAllocationCount(resourceBundleClass);
  for (int i = 0; i < 3; i++) {
    RecordingPane *pane = NewPane(section, [NSString stringWithFormat:@"%d", i]);
    ProbeView *view = [[ProbeView alloc] initWithFrame:NSMakeRect(0, 0, 10, 10)];
    [pane setContentView:view];
    [view release];
    pane->_passOnEntry = (i == 1);
    [section addPane:pane];
    [pane release];
  }
  ProbeRecord *record = [[ProbeRecord alloc] init];
  [[section sharedDictionary] setValue:record forKey:@"ActivationPaneData"];
  [record release];
  [[section installerState] setTargetVolumePath:@"/"];
  [section start];
  EXPECT_TRUE([section pressContinue]);  // passes B to C
  EXPECT_TRUE([section pressGoBack]);    // passes B back to A
  EXPECT_TRUE([section pressContinue]);
  EXPECT_TRUE([section pressContinue]);
  EXPECT_TRUE([section isFinished]);
  [section release];
  [pool release];

  for (size_t i = 0; i < kCount; i++) {
    EXPECT_EQ(GSDebugAllocationCount(classes[i]), before[i]) << class_getName(classes[i]);
  }
  EXPECT_EQ(GSDebugAllocationCount(resourceBundleClass), resourceBundles - 1);
}

}  // namespace
