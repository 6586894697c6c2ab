#import "PaneHarness.h"

#include <objc/runtime.h>

#import "ActDlgPaneViews.h"

// The tests lay a tool out in a plain folder: the bundle's resources are that folder.
@interface KLTestBundle : NSBundle
@end
@implementation KLTestBundle
- (NSString*)resourcePath {
  return [self bundlePath];
}
@end

@interface KLTestState : InstallerState {
 @public
  NSString* volume;
}
@end
@implementation KLTestState
- (void)dealloc {
  [volume release];
  [super dealloc];
}
- (NSString*)targetVolumePath {
  return volume;
}
@end

// No instance variable of its own, so that a built pane can take this class on.
@interface KLTestActivationPane : ActDlgPane
@end
@implementation KLTestActivationPane
- (BOOL)gotoNextPane {
  return [(KLTestSection*)[self section] moveOnFrom:self];
}
@end

ActDlgPane* KLNewTestActivationPane(KLTestSection* section) {
  ActDlgPane* pane = KLCreateActivationPane(section);
  NSCAssert(class_getInstanceSize([KLTestActivationPane class]) ==
                class_getInstanceSize([ActDlgPane class]),
            @"the test pane must not change the layout");
  object_setClass(pane, [KLTestActivationPane class]);
  return pane;
}

@interface KLTestSection ()
@property(nonatomic, readonly) NSBundle* bundle;
@property(nonatomic, readonly) InstallerState* installerState;
@property(nonatomic, readonly) NSMutableDictionary* sharedDictionary;
@end

@implementation KLTestSection
@synthesize bundle = klBundle, installerState = klState, sharedDictionary = klShared;
- (id)init {
  self = [super init];
  if (self != nil) {
    klShared = [[NSMutableDictionary alloc] init];
    klState = [[KLTestState alloc] init];
    klActive = -1;
  }
  return self;
}
- (void)dealloc {
  [klState release];
  [klShared release];
  [klBundle release];
  [klPanes release];
  [super dealloc];
}
- (InstallerPane*)firstPane {
  return [klPanes firstObject];
}
- (InstallerPane*)activePane {
  const BOOL shown = klActive >= 0 && klActive < (NSInteger)[klPanes count];
  return shown ? [klPanes objectAtIndex:klActive] : nil;
}
- (void)setPanes:(NSArray*)panes {
  [klPanes release];
  klPanes = [panes copy];
}
- (void)setResourcePath:(NSString*)path {
  [klBundle release];
  klBundle = [[KLTestBundle alloc] initWithPath:path];
}
- (void)setTargetVolumePath:(NSString*)path {
  [((KLTestState*)klState)->volume release];
  ((KLTestState*)klState)->volume = [path copy];
}
// The Installer's order: willExitPane: of the pane left, willEnterPane: of the next, then
// didExitPane: and didEnterPane:. A pane that moves on from inside willEnterPane: is passed by
// and gets no didEnterPane:.
- (void)moveTo:(NSInteger)to {
  const InstallerSectionDirection dir =
      to > klActive ? InstallerDirectionForward : InstallerDirectionBackward;
  InstallerPane* leaving = [self activePane];
  klActive = to;
  [leaving willExitPane:dir];
  klEntering = YES;
  klMoveOn = NO;
  [[self activePane] willEnterPane:dir];
  klEntering = NO;
  [leaving didExitPane:dir];
  if (klMoveOn) {
    [self moveTo:to + 1];
  } else {
    [[self activePane] didEnterPane:dir];
  }
}
- (void)start {
  [self moveTo:0];
}
- (BOOL)press:(InstallerSectionDirection)dir {
  const BOOL forward = dir == InstallerDirectionForward;
  InstallerPane* pane = [self activePane];
  if (pane == nil || (!forward && klActive == 0) ||
      !(forward ? [pane nextEnabled] : [pane previousEnabled]) || ![pane shouldExitPane:dir]) {
    return NO;
  }
  [self moveTo:klActive + (forward ? 1 : -1)];
  return YES;
}
- (BOOL)moveOnFrom:(InstallerPane*)pane {
  if (pane != [self activePane] || klActive + 1 >= (NSInteger)[klPanes count]) return NO;
  if (klEntering) {
    klMoveOn = YES;
  } else {
    [self moveTo:klActive + 1];
  }
  return YES;
}
@end
