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

@interface KLTestActivationPane : ActDlgPane
@end
@implementation KLTestActivationPane
- (BOOL)gotoNextPane {
  return [(KLTestSection*)[self section] pane:self asksToMove:YES];
}
- (BOOL)gotoPreviousPane {
  return [(KLTestSection*)[self section] pane:self asksToMove:NO];
}
@end

ActDlgPane* KLNewTestActivationPane(KLTestSection* section) {
  ActDlgPane* pane = KLCreateActivationPane(section);
  // The subclass adds no instance variable, so the built pane can take it on.
  NSCAssert(class_getInstanceSize([KLTestActivationPane class]) ==
                class_getInstanceSize([ActDlgPane class]),
            @"the test pane must not change the layout");
  object_setClass(pane, [KLTestActivationPane class]);
  return pane;
}

@implementation KLTestSection

- (id)init {
  self = [super init];
  if (self != nil) {
    klShared = [[NSMutableDictionary alloc] init];
    klState = [[KLTestState alloc] init];
    klPanes = [[NSMutableArray alloc] init];
    klActive = -1;
    klPending = -1;
  }
  return self;
}

- (void)dealloc {
  [klShared release];
  [klState release];
  [klBundle release];
  [klFirst release];
  [klPanes release];
  [super dealloc];
}

- (NSBundle*)bundle {
  return klBundle;
}

- (InstallerState*)installerState {
  return klState;
}

- (NSMutableDictionary*)sharedDictionary {
  return klShared;
}

- (InstallerPane*)firstPane {
  return klFirst;
}

- (InstallerPane*)activePane {
  const BOOL shown = klActive >= 0 && klActive < (NSInteger)[klPanes count];
  return shown ? [klPanes objectAtIndex:klActive] : nil;
}

- (void)setPanes:(NSArray*)panes {
  for (NSUInteger i = 0; i + 1 < [panes count]; ++i) {
    [[panes objectAtIndex:i] setNextPane:[panes objectAtIndex:i + 1]];
  }
  [klFirst release];
  klFirst = [[panes firstObject] retain];
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
- (void)moveTo:(NSInteger)to direction:(InstallerSectionDirection)dir {
  for (;;) {
    InstallerPane* leaving = [self activePane];
    klActive = to;
    InstallerPane* entering = [self activePane];
    [leaving willExitPane:dir];
    klPending = -1;
    klEntering = YES;
    [entering willEnterPane:dir];
    klEntering = NO;
    [leaving didExitPane:dir];
    if (klPending < 0) break;
    dir = klPending > to ? InstallerDirectionForward : InstallerDirectionBackward;
    to = klPending;
  }
  [[self activePane] didEnterPane:dir];
}

- (void)start {
  for (InstallerPane* pane = [self firstPane]; pane != nil; pane = [pane nextPane]) {
    [klPanes addObject:pane];
  }
  [self moveTo:0 direction:InstallerDirectionForward];
}

- (BOOL)press:(BOOL)forward {
  InstallerPane* pane = [self activePane];
  const InstallerSectionDirection dir =
      forward ? InstallerDirectionForward : InstallerDirectionBackward;
  if (pane == nil || (!forward && klActive == 0)) return NO;
  if (!(forward ? [pane nextEnabled] : [pane previousEnabled]) || ![pane shouldExitPane:dir]) {
    return NO;
  }
  [self moveTo:klActive + (forward ? 1 : -1) direction:dir];
  return YES;
}

- (BOOL)pressContinue {
  return [self press:YES];
}

- (BOOL)pressGoBack {
  return [self press:NO];
}

- (BOOL)pane:(InstallerPane*)pane asksToMove:(BOOL)forward {
  const NSInteger to = klActive + (forward ? 1 : -1);
  if (pane != [self activePane] || to < 0 || to >= (NSInteger)[klPanes count]) return NO;
  if (klEntering) {
    klPending = to;
  } else {
    [self moveTo:to direction:forward ? InstallerDirectionForward : InstallerDirectionBackward];
  }
  return YES;
}

@end
