// The Linux stand-in for the installer's plug-in framework: the order and direction of the calls
// into panes, the deferred pass from inside willEnterPane:, the host's notice, a pane's section.
#import <InstallerHost/InstallerHost.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationCount.h"

// Calls made into RecordingPanes and the host's notices, comma-separated, e.g.
// "B notice fwd, B willEnter fwd, B didEnter fwd".
static std::string *gCalls = nullptr;

static void Record(char name, const char *what, int dir = -1) {
  if (gCalls == nullptr) return;
  if (!gCalls->empty()) *gCalls += ", ";
  *gCalls += std::string(1, name) + " " + what;
  if (dir >= 0) *gCalls += dir == InstallerDirectionForward ? " fwd" : " back";
}

// Records the calls made into it. Its flag: 'r' refuses to be left; 'p', 'd', 's' move on by
// themselves from willEnterPane:, didEnterPane: or shouldExitPane: in the direction of the call;
// 'n' / 'b' has Continue / Go Back disabled.
@interface RecordingPane : InstallerPane {
 @public
  char _name, _flag;
}
@end

@implementation RecordingPane
- (void)moveOn:(InstallerSectionDirection)dir ifFlag:(char)flag {
  if (_flag != flag) return;
  BOOL moved = dir == InstallerDirectionForward ? [self gotoNextPane] : [self gotoPreviousPane];
  Record(_name, moved ? "goto YES" : "goto NO");
  Record(_name, [[self section] activePane] == self ? "still current" : "left early");
}
- (void)willEnterPane:(InstallerSectionDirection)dir {
  Record(_name, "willEnter", dir);
  [self moveOn:dir ifFlag:'p'];
}
- (void)didEnterPane:(InstallerSectionDirection)dir {
  Record(_name, "didEnter", dir);
  [self moveOn:dir ifFlag:'d'];
}
- (BOOL)shouldExitPane:(InstallerSectionDirection)dir {
  Record(_name, "shouldExit", dir);
  [self moveOn:dir ifFlag:'s'];
  return _flag != 'r';
}
- (void)willExitPane:(InstallerSectionDirection)dir {
  Record(_name, "willExit", dir);
}
- (void)didExitPane:(InstallerSectionDirection)dir {
  Record(_name, "didExit", dir);
}
@end

// Records the installer's question before the first pane; flag 'n' refuses to load.
@interface RecordingSection : InstallerSection {
 @public
  char _flag;
}
@end
@implementation RecordingSection
- (BOOL)shouldLoad {
  Record('S', "shouldLoad");
  return _flag != 'n';
}
@end

// Records the host's notice before each willEnterPane:, naming the pane it carries.
@interface NoticeRecorder : NSObject
@end
@implementation NoticeRecorder
- (void)notice:(NSNotification *)n {
  RecordingPane *pane = [[n userInfo] objectForKey:@"pane"];
  Record(pane->_name, pane == [[n object] activePane] ? "notice" : "notice early",
         [[[n userInfo] objectForKey:@"direction"] intValue]);
}
@end

namespace {

// Panes A, B, C... with the given flags ('.' for none).
InstallerSection *NewSection(const char *flags) {
  InstallerSection *section = [[InstallerSection alloc] init];
  for (const char *f = flags; *f != '\0'; f++) {
    RecordingPane *pane = [[RecordingPane alloc] initWithSection:section];
    pane->_name = (char)('A' + (f - flags));
    pane->_flag = *f;
    [pane setNextEnabled:*f != 'n'];
    [pane setPreviousEnabled:*f != 'b'];
    [section addPane:pane];
    [pane release];
  }
  return section;
}

class InstallerHostTest : public ::testing::Test {
 protected:
  InstallerHostTest() { GSDebugAllocationActive(YES); }
  ~InstallerHostTest() override { [pool_ release]; }
  NSAutoreleasePool *pool_ = [[NSAutoreleasePool alloc] init];
};

typedef BOOL (*Action)(InstallerSection *);
const Action kStart = [](InstallerSection *s) -> BOOL { return [s start], YES; };
const Action kContinue = [](InstallerSection *s) { return [s pressContinue]; };
const Action kBack = [](InstallerSection *s) { return [s pressGoBack]; };
const Action kNext = [](InstallerSection *s) { return [[s activePane] gotoNextPane]; };
const Action kPrevious = [](InstallerSection *s) { return [[s activePane] gotoPreviousPane]; };
const Action kGotoB = [](InstallerSection *s) { return [s gotoPane:[[s panes] objectAtIndex:1]]; };
const Action kGotoC = [](InstallerSection *s) { return [s gotoPane:[[s panes] objectAtIndex:2]]; };
const Action kGotoNil = [](InstallerSection *s) { return [s gotoPane:nil]; };
const Action kGotoStranger = [](InstallerSection *s) {
  return [s gotoPane:[[[RecordingPane alloc] initWithSection:nil] autorelease]];
};

TEST_F(InstallerHostTest, NavigationCallsPanesInOrderAndFreesThem) {
  struct Step {
    Action action;
    bool moved;    // what the action answers
    char current;  // '-': finished, '.': not started
    std::string calls;
  };
  const std::string kAtoB = "A willExit fwd, B willEnter fwd, A didExit fwd, B didEnter fwd";
  const std::string kBtoC = "B willExit fwd, C willEnter fwd, B didExit fwd, C didEnter fwd";
  const std::string kCtoB = "C willExit back, B willEnter back, C didExit back, B didEnter back";
  const struct {
    const char *flags;
    std::vector<Step> steps;
  } scenarios[] = {
      {"...",
       {{kStart, true, 'A', "A willEnter fwd, A didEnter fwd"},
        {kStart, true, 'A', ""},  // only the first start acts
        {kBack, false, 'A', ""},  // nothing before the first pane: not even asked
        {kContinue, true, 'B', "A shouldExit fwd, " + kAtoB},
        {kContinue, true, 'C', "B shouldExit fwd, " + kBtoC},
        {kContinue, true, '-', "C shouldExit fwd, C willExit fwd, C didExit fwd"},
        {kContinue, false, '-', ""}}},
      // gotoPane: moves at once either way, to a pane of the section other than the current.
      {"...",
       {{kGotoB, false, '.', ""},
        {kStart, true, 'A', "A willEnter fwd, A didEnter fwd"},
        {kGotoC, true, 'C', "A willExit fwd, C willEnter fwd, A didExit fwd, C didEnter fwd"},
        {kGotoB, true, 'B', kCtoB},
        {kGotoB, false, 'B', ""},
        {kGotoNil, false, 'B', ""},
        {kGotoStranger, false, 'B', ""}}},
      // A disabled button keeps the pane without asking it, a refusal after asking;
      // gotoNextPane / gotoPreviousPane move at once without asking.
      {"nrb",
       {{kStart, true, 'A', "A willEnter fwd, A didEnter fwd"},
        {kContinue, false, 'A', ""},
        {kNext, true, 'B', kAtoB},
        {kContinue, false, 'B', "B shouldExit fwd"},
        {kBack, false, 'B', "B shouldExit back"},
        {kNext, true, 'C', kBtoC},
        {kBack, false, 'C', ""},
        {kPrevious, true, 'B', kCtoB}}},
      // A pass from willEnterPane: waits for it to return; the pane passed by is not asked
      // shouldExitPane: and gets no didEnterPane:. The last and first panes have none to pass to.
      {"ppp",
       {{kStart, true, 'C',
         "A willEnter fwd, A goto YES, A still current, A willExit fwd, B willEnter fwd, "
         "B goto YES, B still current, A didExit fwd, B willExit fwd, C willEnter fwd, "
         "C goto NO, C still current, B didExit fwd, C didEnter fwd"},
        {kNext, false, 'C', ""},
        {kBack, true, 'A',
         "C shouldExit back, C willExit back, B willEnter back, B goto YES, B still current, "
         "C didExit back, B willExit back, A willEnter back, A goto NO, A still current, "
         "B didExit back, A didEnter back"}}},
      // A move from didEnterPane: or shouldExitPane: happens at once, and only once.
      {"d.",
       {{kStart, true, 'B',
         "A willEnter fwd, A didEnter fwd, " + kAtoB + ", A goto YES, A left early"}}},
      {"s.",
       {{kStart, true, 'A', "A willEnter fwd, A didEnter fwd"},
        {kContinue, true, 'B', "A shouldExit fwd, " + kAtoB + ", A goto YES, A left early"}}},
  };
  auto live = [] {
    std::vector<int> n;
    for (Class c : {[RecordingPane class], [InstallerSection class], [InstallerState class]}) {
      n.push_back(GSDebugAllocationCount(c));
    }
    return n;
  };
  for (const auto &scenario : scenarios) {
    const std::vector<int> before = live();
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    InstallerSection *section = NewSection(scenario.flags);
    for (size_t i = 0; i < scenario.steps.size(); i++) {
      const Step &step = scenario.steps[i];
      SCOPED_TRACE(std::string(scenario.flags) + " step " + std::to_string(i));
      std::string calls;
      gCalls = &calls;
      EXPECT_EQ(step.action(section), step.moved);
      gCalls = nullptr;
      EXPECT_EQ(calls, step.calls);
      const NSInteger index = [section currentPaneIndex];
      EXPECT_EQ([section isFinished] ? '-' : index < 0 ? '.' : (char)('A' + index), step.current);
    }
    InstallerPane *a = [[[section panes] objectAtIndex:0] retain];
    [section release];
    EXPECT_TRUE([a section] == nil && ![a gotoNextPane]);  // a pane outliving its section
    [a release];
    [pool release];
    EXPECT_EQ(live(), before) << "panes, sections, states left: " << scenario.flags;
  }
}

TEST_F(InstallerHostTest, LoadsThenWalksTheChainOnce) {
  for (const char flag : {'.', 'n'}) {
    const bool loads = flag != 'n';
    RecordingSection *section = [[[RecordingSection alloc] init] autorelease];
    section->_flag = flag;
    RecordingPane *a = [[[RecordingPane alloc] initWithSection:section] autorelease];
    RecordingPane *b = [[[RecordingPane alloc] initWithSection:section] autorelease];
    a->_name = 'A';
    b->_name = 'B';
    [section setFirstPane:a];
    [a setNextPane:b];
    [b setNextPane:a];  // a chain that loops ends where it would come back
    NoticeRecorder *recorder = [[[NoticeRecorder alloc] init] autorelease];
    [[NSNotificationCenter defaultCenter] addObserver:recorder
                                             selector:@selector(notice:)
                                                 name:KLInstallerSectionWillEnterPaneNotification
                                               object:section];
    std::string calls;
    gCalls = &calls;
    [section start];
    [section start];
    gCalls = nullptr;
    [[NSNotificationCenter defaultCenter] removeObserver:recorder];
    EXPECT_EQ(calls, loads ? "S shouldLoad, A notice fwd, A willEnter fwd, A didEnter fwd"
                           : "S shouldLoad");
    EXPECT_EQ([[section panes] count], loads ? 2u : 0u);
    [b setNextPane:nil];
  }
}

}  // namespace
