// The Linux stand-in for the installer's plug-in framework: the order and direction of the calls
// into panes, the deferred pass from inside willEnterPane:, button states, and what panes reach
// through their section. Needs an X display (xvfb-run).
#import <InstallerPlugins/InstallerPlugins.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Calls made into RecordingPanes, in order, e.g. "B willEnterPane: forward".
std::vector<std::string> *gCalls = nullptr;

const char *DirectionName(InstallerSectionDirection dir) {
  switch (dir) {
    case InstallerDirectionForward:
      return "forward";
    case InstallerDirectionBackward:
      return "backward";
    default:
      return "undefined";
  }
}

void Record(NSString *name, const std::string &what) {
  if (gCalls != nullptr) gCalls->push_back(std::string([name UTF8String]) + " " + what);
}

void Record(NSString *name, const char *call, InstallerSectionDirection dir) {
  Record(name, std::string(call) + " " + DirectionName(dir));
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

// A pane that records every call the host makes into it and can refuse to be left or pass by
// itself on entry, as the activation pane does with pre-filled data.
@interface RecordingPane : InstallerPane {
  NSString *_name;
  BOOL _refuseExit;
  BOOL _passForwardOnEntry;
  BOOL _passBackwardOnEntry;
}
- (id)initWithSection:(id)parent name:(NSString *)name;
- (void)setRefuseExit:(BOOL)refuse;
- (void)setPassForwardOnEntry:(BOOL)pass;
- (void)setPassBackwardOnEntry:(BOOL)pass;
@end

@implementation RecordingPane

- (id)initWithSection:(id)parent name:(NSString *)name {
  self = [super initWithSection:parent];
  if (self != nil) _name = [name copy];
  return self;
}

- (void)dealloc {
  [_name release];
  [super dealloc];
}

- (void)setRefuseExit:(BOOL)refuse {
  _refuseExit = refuse;
}

- (void)setPassForwardOnEntry:(BOOL)pass {
  _passForwardOnEntry = pass;
}

- (void)setPassBackwardOnEntry:(BOOL)pass {
  _passBackwardOnEntry = pass;
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
  BOOL moved = NO;
  if (dir == InstallerDirectionForward && _passForwardOnEntry) {
    moved = [self gotoNextPane];
    Record(_name, moved ? "gotoNextPane -> YES" : "gotoNextPane -> NO");
  } else if (dir == InstallerDirectionBackward && _passBackwardOnEntry) {
    moved = [self gotoPreviousPane];
    Record(_name, moved ? "gotoPreviousPane -> YES" : "gotoPreviousPane -> NO");
  } else {
    return;
  }
  // Still on this pane when gotoNextPane returns: the move must wait for this call to end.
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

// Counted separately from every other view and object in the process.
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

typedef std::vector<std::string> Calls;

class InstallerHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = [[NSAutoreleasePool alloc] init];
    gCalls = &calls_;
    section_ = [[InstallerSection alloc] init];
  }

  void TearDown() override {
    [section_ release];
    gCalls = nullptr;
    [pool_ release];
  }

  // Adds recording panes named A, B, C... to the section; the section holds them.
  void AddPanes(int count) {
    for (int i = 0; i < count; i++) {
      NSString *name = [NSString stringWithFormat:@"%c", 'A' + i];
      RecordingPane *pane = [[RecordingPane alloc] initWithSection:section_ name:name];
      [section_ addPane:pane];
      [pane release];
    }
  }

  RecordingPane *Pane(int index) { return (RecordingPane *)[[section_ panes] objectAtIndex:index]; }

  std::string CurrentName() {
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
  AddPanes(2);
  EXPECT_TRUE([section_ currentPane] == nil);
  EXPECT_EQ([section_ currentPaneIndex], -1);
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionUndefined);
  EXPECT_FALSE([section_ isFinished]);
  EXPECT_FALSE([section_ pressContinue]);  // nothing shown yet
  EXPECT_TRUE(Take().empty());

  [section_ start];
  EXPECT_EQ(Take(), (Calls{"A willEnterPane: forward", "A didEnterPane: forward"}));
  EXPECT_TRUE([section_ currentPane] == Pane(0));
  EXPECT_TRUE([Pane(0) section] == section_);
  EXPECT_TRUE([Pane(1) section] == section_);
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionForward);

  [section_ start];  // a second start changes nothing
  EXPECT_TRUE(Take().empty());
  EXPECT_TRUE([section_ currentPane] == Pane(0));
}

TEST_F(InstallerHostTest, EmptySectionIsFinishedOnStart) {
  [section_ start];
  EXPECT_TRUE([section_ isFinished]);
  EXPECT_TRUE([section_ currentPane] == nil);
  EXPECT_FALSE([section_ pressContinue]);
  EXPECT_FALSE([section_ pressGoBack]);
}

TEST_F(InstallerHostTest, ContinueWalksForwardAndFinishesAfterLastPane) {
  AddPanes(3);
  [section_ start];
  Take();

  struct Step {
    const char *expectCurrent;
    Calls expectCalls;
  };
  const Step steps[] = {
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
    SCOPED_TRACE(step.expectCurrent);
    EXPECT_FALSE([section_ isFinished]);
    EXPECT_TRUE([section_ pressContinue]);
    EXPECT_EQ(Take(), step.expectCalls);
    EXPECT_EQ(CurrentName(), step.expectCurrent);
  }
  EXPECT_TRUE([section_ isFinished]);
  EXPECT_EQ([section_ currentPaneIndex], 3);
  // Nothing is shown any more: neither button reaches a pane.
  EXPECT_FALSE([section_ pressContinue]);
  EXPECT_FALSE([section_ pressGoBack]);
  EXPECT_TRUE(Take().empty());
}

TEST_F(InstallerHostTest, GoBackEntersPreviousPaneBackward) {
  AddPanes(3);
  [section_ start];
  ASSERT_TRUE([section_ pressContinue]);
  ASSERT_TRUE([section_ pressContinue]);
  Take();

  EXPECT_TRUE([section_ pressGoBack]);
  EXPECT_EQ(Take(), (Calls{"C shouldExitPane: backward", "C willExitPane: backward",
                           "B willEnterPane: backward", "C didExitPane: backward",
                           "B didEnterPane: backward"}));
  EXPECT_EQ(CurrentName(), "B");
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionBackward);

  EXPECT_TRUE([section_ pressGoBack]);
  EXPECT_EQ(CurrentName(), "A");
  Take();
  // Nothing before the first pane: the pane is not even asked.
  EXPECT_FALSE([section_ pressGoBack]);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(CurrentName(), "A");

  // Forward again after going back.
  EXPECT_TRUE([section_ pressContinue]);
  EXPECT_EQ(CurrentName(), "B");
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionForward);
}

TEST_F(InstallerHostTest, RefusedExitKeepsThePane) {
  struct Case {
    const char *name;
    bool forward;
    const char *expectCall;
  };
  const Case cases[] = {
      {"Continue", true, "B shouldExitPane: forward"},
      {"Go Back", false, "B shouldExitPane: backward"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    [section_ release];
    section_ = [[InstallerSection alloc] init];
    AddPanes(3);
    [section_ start];
    ASSERT_TRUE([section_ pressContinue]);
    [Pane(1) setRefuseExit:YES];
    Take();

    BOOL left = c.forward ? [section_ pressContinue] : [section_ pressGoBack];
    EXPECT_FALSE(left);
    EXPECT_EQ(Take(), (Calls{c.expectCall}));
    EXPECT_EQ(CurrentName(), "B");
    EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionForward);

    [Pane(1) setRefuseExit:NO];
    left = c.forward ? [section_ pressContinue] : [section_ pressGoBack];
    EXPECT_TRUE(left);
    EXPECT_EQ(CurrentName(), c.forward ? "C" : "A");
  }
}

TEST_F(InstallerHostTest, DisabledButtonDoesNotAskThePane) {
  struct Case {
    const char *name;
    bool forward;
  };
  const Case cases[] = {{"Continue", true}, {"Go Back", false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    [section_ release];
    section_ = [[InstallerSection alloc] init];
    AddPanes(3);
    [section_ start];
    ASSERT_TRUE([section_ pressContinue]);
    Take();

    if (c.forward) {
      [Pane(1) setNextEnabled:NO];
    } else {
      [Pane(1) setPreviousEnabled:NO];
    }
    BOOL left = c.forward ? [section_ pressContinue] : [section_ pressGoBack];
    EXPECT_FALSE(left);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(CurrentName(), "B");

    // The other button still works while this one is disabled.
    left = c.forward ? [section_ pressGoBack] : [section_ pressContinue];
    EXPECT_TRUE(left);
    EXPECT_EQ(CurrentName(), c.forward ? "A" : "C");
  }
}

TEST_F(InstallerHostTest, ButtonStatesStartEnabledAndBelongToEachPane) {
  AddPanes(2);
  EXPECT_TRUE([Pane(0) nextEnabled]);
  EXPECT_TRUE([Pane(0) previousEnabled]);
  [section_ start];
  [Pane(0) setNextEnabled:NO];
  [Pane(0) setPreviousEnabled:NO];
  EXPECT_FALSE([Pane(0) nextEnabled]);
  EXPECT_FALSE([Pane(0) previousEnabled]);
  EXPECT_TRUE([Pane(1) nextEnabled]);
  EXPECT_TRUE([Pane(1) previousEnabled]);

  [Pane(0) setNextEnabled:YES];
  ASSERT_TRUE([section_ pressContinue]);
  ASSERT_TRUE([section_ pressGoBack]);
  // Entering again does not reset what the pane set: that stays the pane's business.
  EXPECT_TRUE([Pane(0) nextEnabled]);
  EXPECT_FALSE([Pane(0) previousEnabled]);
}

TEST_F(InstallerHostTest, PassFromWillEnterWaitsForItToReturn) {
  AddPanes(3);
  [Pane(1) setPassForwardOnEntry:YES];
  [section_ start];
  Take();

  EXPECT_TRUE([section_ pressContinue]);
  // B is left without being asked again and without didEnterPane:.
  EXPECT_EQ(Take(),
            (Calls{"A shouldExitPane: forward", "A willExitPane: forward",
                   "B willEnterPane: forward", "B gotoNextPane -> YES", "B still current",
                   "A didExitPane: forward", "B willExitPane: forward", "C willEnterPane: forward",
                   "B didExitPane: forward", "C didEnterPane: forward"}));
  EXPECT_EQ(CurrentName(), "C");

  // Going back lands on B, which passes only going forward.
  EXPECT_TRUE([section_ pressGoBack]);
  EXPECT_EQ(CurrentName(), "B");
}

TEST_F(InstallerHostTest, PassesOnEntryFromStart) {
  struct Case {
    std::vector<int> passers;
    const char *expectCurrent;
    Calls expectEntered;  // panes that got didEnterPane:
  };
  const Case cases[] = {
      {{}, "A", {"A didEnterPane: forward"}},
      {{0}, "B", {"B didEnterPane: forward"}},
      {{0, 1}, "C", {"C didEnterPane: forward"}},
      // The last pane has nowhere to pass to: it stays, shown.
      {{0, 1, 2}, "C", {"C didEnterPane: forward"}},
      {{1}, "A", {"A didEnterPane: forward"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.expectCurrent + std::string(" passers=") + std::to_string(c.passers.size()));
    [section_ release];
    section_ = [[InstallerSection alloc] init];
    AddPanes(3);
    for (int index : c.passers) [Pane(index) setPassForwardOnEntry:YES];
    Take();

    [section_ start];
    Calls entered;
    for (const std::string &call : Take()) {
      EXPECT_EQ(call.find("shouldExitPane:"), std::string::npos) << call;
      if (call.find("didEnterPane:") != std::string::npos) entered.push_back(call);
    }
    EXPECT_EQ(entered, c.expectEntered);
    EXPECT_EQ(CurrentName(), c.expectCurrent);
    EXPECT_FALSE([section_ isFinished]);
  }
}

TEST_F(InstallerHostTest, LastPanePassingOnEntryStays) {
  AddPanes(2);
  [Pane(1) setPassForwardOnEntry:YES];
  [section_ start];
  Take();

  EXPECT_TRUE([section_ pressContinue]);
  EXPECT_EQ(Take(), (Calls{"A shouldExitPane: forward", "A willExitPane: forward",
                           "B willEnterPane: forward", "B gotoNextPane -> NO", "B still current",
                           "A didExitPane: forward", "B didEnterPane: forward"}));
  EXPECT_EQ(CurrentName(), "B");
  EXPECT_FALSE([section_ isFinished]);
}

TEST_F(InstallerHostTest, PassBackwardFromWillEnterWaitsForItToReturn) {
  AddPanes(3);
  [section_ start];
  ASSERT_TRUE([section_ pressContinue]);
  ASSERT_TRUE([section_ pressContinue]);
  [Pane(1) setPassBackwardOnEntry:YES];
  Take();

  EXPECT_TRUE([section_ pressGoBack]);
  EXPECT_EQ(Take(), (Calls{"C shouldExitPane: backward", "C willExitPane: backward",
                           "B willEnterPane: backward", "B gotoPreviousPane -> YES",
                           "B still current", "C didExitPane: backward", "B willExitPane: backward",
                           "A willEnterPane: backward", "B didExitPane: backward",
                           "A didEnterPane: backward"}));
  EXPECT_EQ(CurrentName(), "A");
  EXPECT_EQ([section_ lastEnteredDirection], InstallerDirectionBackward);
}

TEST_F(InstallerHostTest, GotoOutsideEntryMovesAtOnceWithoutAsking) {
  AddPanes(3);
  [section_ start];
  ASSERT_TRUE([section_ pressContinue]);
  Take();

  // As from a button action of the shown pane.
  EXPECT_TRUE([Pane(1) gotoNextPane]);
  EXPECT_EQ(Take(), (Calls{"B willExitPane: forward", "C willEnterPane: forward",
                           "B didExitPane: forward", "C didEnterPane: forward"}));
  EXPECT_EQ(CurrentName(), "C");

  EXPECT_FALSE([Pane(2) gotoNextPane]);  // last pane: nowhere to go
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(CurrentName(), "C");
  EXPECT_FALSE([section_ isFinished]);

  EXPECT_TRUE([Pane(2) gotoPreviousPane]);
  EXPECT_EQ(Take(), (Calls{"C willExitPane: backward", "B willEnterPane: backward",
                           "C didExitPane: backward", "B didEnterPane: backward"}));
  EXPECT_TRUE([Pane(1) gotoPreviousPane]);
  EXPECT_EQ(CurrentName(), "A");
  EXPECT_FALSE([Pane(0) gotoPreviousPane]);  // first pane: nowhere to go
  EXPECT_EQ(CurrentName(), "A");
}

TEST_F(InstallerHostTest, GotoFromAPaneNotShownDoesNothing) {
  AddPanes(3);
  RecordingPane *loose = [[RecordingPane alloc] initWithSection:nil name:@"L"];
  EXPECT_FALSE([Pane(0) gotoNextPane]);  // before start
  [section_ start];
  Take();

  struct Case {
    const char *name;
    InstallerPane *pane;
    bool forward;
  };
  const Case cases[] = {
      {"later pane", Pane(2), true},
      {"later pane backward", Pane(2), false},
      {"next pane", Pane(1), true},
      {"pane outside any section", loose, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.forward ? [c.pane gotoNextPane] : [c.pane gotoPreviousPane]);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(CurrentName(), "A");
  }
  [loose release];
}

TEST_F(InstallerHostTest, NavigationLogNamesEachCallForScripts) {
  AddPanes(2);
  [Pane(1) setPassForwardOnEntry:YES];
  [section_ start];
  [Pane(0) setNextEnabled:NO];
  EXPECT_FALSE([section_ pressContinue]);
  [Pane(0) setNextEnabled:YES];
  [Pane(0) setRefuseExit:YES];
  EXPECT_FALSE([section_ pressContinue]);
  [Pane(0) setRefuseExit:NO];
  EXPECT_TRUE([section_ pressContinue]);
  EXPECT_TRUE([section_ pressContinue]);

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

TEST_F(InstallerHostTest, AddPaneIgnoresDuplicatesAndPanesAfterStart) {
  AddPanes(2);
  [section_ addPane:Pane(0)];
  [section_ addPane:nil];
  EXPECT_EQ([[section_ panes] count], 2u);

  [section_ start];
  RecordingPane *late = [[RecordingPane alloc] initWithSection:nil name:@"L"];
  [section_ addPane:late];
  EXPECT_EQ([[section_ panes] count], 2u);
  EXPECT_TRUE([late section] == nil);
  [late release];
}

TEST_F(InstallerHostTest, PaneOutlivingItsSectionForgetsIt) {
  AddPanes(1);
  RecordingPane *pane = [Pane(0) retain];
  [section_ start];
  [section_ release];
  section_ = nil;
  EXPECT_TRUE([pane section] == nil);
  EXPECT_FALSE([pane gotoNextPane]);
  [pane release];
}

TEST_F(InstallerHostTest, AwakeFromNibReachesTheBaseClass) {
  RecordingPane *pane = [[RecordingPane alloc] initWithSection:section_ name:@"P"];
  [pane awakeFromNib];  // calls [super awakeFromNib], which GNUstep's NSObject lacks
  EXPECT_EQ(Take(), (Calls{"P awakeFromNib"}));
  [pane release];
}

TEST_F(InstallerHostTest, SharedDictionaryKeepsWhatPanesStore) {
  AddPanes(2);
  int before = GSDebugAllocationCount([ProbeRecord class]);
  ProbeRecord *record = [[ProbeRecord alloc] init];
  // The writer stores and drops its own reference at once.
  [[[Pane(0) section] sharedDictionary] setValue:record forKey:@"ActivationPaneData"];
  [record release];
  EXPECT_EQ(GSDebugAllocationCount([ProbeRecord class]), before + 1);

  // The next pane reads the same object through its own section.
  id read = [[[Pane(1) section] sharedDictionary] valueForKey:@"ActivationPaneData"];
  EXPECT_TRUE(read == record);

  // Replacing the entry frees the earlier value.
  [[section_ sharedDictionary] setValue:@"other" forKey:@"ActivationPaneData"];
  EXPECT_EQ(GSDebugAllocationCount([ProbeRecord class]), before);
}

TEST_F(InstallerHostTest, ResourcePathOverrideAndBundle) {
  char dirTemplate[] = "/tmp/kl_host_test_XXXXXX";
  ASSERT_TRUE(mkdtemp(dirTemplate) != nullptr);
  NSString *dir = [NSString stringWithUTF8String:dirTemplate];
  NSString *tool = [dir stringByAppendingPathComponent:@"InitialValidate"];
  ASSERT_TRUE([[NSData data] writeToFile:tool atomically:NO]);

  EXPECT_TRUE([section_ bundle] == nil);  // plain init: no bundle

  NSBundle *main = [NSBundle mainBundle];
  InstallerSection *withBundle = [[InstallerSection alloc] initWithBundle:main];
  EXPECT_TRUE([withBundle bundle] == main);

  InstallerSection *sections[] = {section_, withBundle};
  for (InstallerSection *section : sections) {
    SCOPED_TRACE([section bundle] == nil ? "no bundle" : "main bundle");
    NSBundle *original = [section bundle];
    [section setResourcePath:dir];
    NSBundle *bundle = [section bundle];
    ASSERT_TRUE(bundle != nil);
    EXPECT_TRUE([bundle isKindOfClass:[NSBundle class]]);
    EXPECT_STREQ([[bundle resourcePath] UTF8String], dirTemplate);
    EXPECT_STREQ([[bundle pathForResource:@"InitialValidate" ofType:nil] UTF8String],
                 [tool UTF8String]);
    EXPECT_TRUE([bundle pathForResource:@"Missing" ofType:@"plist"] == nil);

    [section setResourcePath:nil];
    EXPECT_TRUE([section bundle] == original);
  }

  // A bundle set later stands behind a resource path set earlier.
  [section_ setResourcePath:dir];
  [section_ setBundle:main];
  EXPECT_STREQ([[[section_ bundle] resourcePath] UTF8String], dirTemplate);
  [section_ setResourcePath:nil];
  EXPECT_TRUE([section_ bundle] == main);

  [withBundle release];
  unlink([tool fileSystemRepresentation]);
  rmdir(dirTemplate);
}

TEST_F(InstallerHostTest, TargetVolumePath) {
  InstallerState *state = [section_ installerState];
  ASSERT_TRUE(state != nil);
  EXPECT_TRUE(state == [section_ installerState]);
  EXPECT_TRUE([state targetVolumePath] == nil);

  NSMutableString *path = [NSMutableString stringWithString:@"/Volumes/Data"];
  [state setTargetVolumePath:path];
  [path appendString:@"/changed"];  // the state keeps its own copy
  EXPECT_STREQ([[state targetVolumePath] UTF8String], "/Volumes/Data");

  [state setTargetVolumePath:nil];
  EXPECT_TRUE([state targetVolumePath] == nil);
}

TEST_F(InstallerHostTest, ContentViewIsRetainedAndReleased) {
  int before = GSDebugAllocationCount([ProbeView class]);
  RecordingPane *pane = [[RecordingPane alloc] initWithSection:section_ name:@"P"];
  ProbeView *first = [[ProbeView alloc] initWithFrame:NSMakeRect(0, 0, 100, 50)];
  NSTextField *field = [[NSTextField alloc] initWithFrame:NSMakeRect(0, 0, 80, 20)];
  [first addSubview:field];
  [field release];

  [pane setContentView:first];
  [first release];
  EXPECT_TRUE([pane contentView] == first);
  EXPECT_EQ(GSDebugAllocationCount([ProbeView class]), before + 1);

  ProbeView *second = [[ProbeView alloc] initWithFrame:NSMakeRect(0, 0, 10, 10)];
  [pane setContentView:second];
  [second release];
  EXPECT_TRUE([pane contentView] == second);
  EXPECT_EQ(GSDebugAllocationCount([ProbeView class]), before + 1);  // the first one is gone

  [pane setContentView:second];  // setting the same view again must not free it
  EXPECT_TRUE([pane contentView] == second);
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
  Class resourceBundleClass = Nil;

  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  InstallerSection *section = [[InstallerSection alloc] initWithBundle:[NSBundle mainBundle]];
  [section setResourcePath:@"/tmp"];
  resourceBundleClass = [[section bundle] class];
  for (int i = 0; i < 3; i++) {
    RecordingPane *pane =
        [[RecordingPane alloc] initWithSection:section name:[NSString stringWithFormat:@"%d", i]];
    ProbeView *view = [[ProbeView alloc] initWithFrame:NSMakeRect(0, 0, 10, 10)];
    [pane setContentView:view];
    [view release];
    if (i == 1) [pane setPassForwardOnEntry:YES];
    [section addPane:pane];
    [pane release];
  }
  ProbeRecord *record = [[ProbeRecord alloc] init];
  [[section sharedDictionary] setValue:record forKey:@"ActivationPaneData"];
  [record release];
  [[section installerState] setTargetVolumePath:@"/"];
  [section start];
  [section pressContinue];
  [section pressGoBack];
  [section pressContinue];
  [section pressContinue];
  EXPECT_TRUE([section isFinished]);
  int resourceBundlesAlive = GSDebugAllocationCount(resourceBundleClass);
  EXPECT_GE(resourceBundlesAlive, 1);
  [section release];
  [pool release];

  for (size_t i = 0; i < kCount; i++) {
    EXPECT_EQ(GSDebugAllocationCount(classes[i]), before[i]) << class_getName(classes[i]);
  }
  EXPECT_EQ(GSDebugAllocationCount(resourceBundleClass), resourceBundlesAlive - 1);
}

}  // namespace
