// The Installer's part in the pane tests, played through the framework's public API alone, so
// that the tests build against Apple's framework as against the stand-in (a build check compiles
// them with the public headers only).
#ifndef KELVORY_TESTS_PANEHARNESS_H_
#define KELVORY_TESTS_PANEHARNESS_H_

#import <InstallerPlugins/InstallerPlugins.h>

#import "ActDlgPane.h"

@interface KLTestSection : InstallerSection {
 @private
  NSMutableDictionary* klShared;
  InstallerState* klState;
  NSBundle* klBundle;
  NSArray* klPanes;
  NSInteger klActive;  // index in klPanes: -1 before -start, the count past the last
  BOOL klEntering;     // inside willEnterPane:
  BOOL klMoveOn;       // gotoNextPane asked for inside willEnterPane:
}
/// The panes in the Installer's order; the first answers -firstPane.
- (void)setPanes:(NSArray*)panes;
/// -bundle then answers a bundle whose resources are the files in `path`.
- (void)setResourcePath:(NSString*)path;
/// What the installer state answers as targetVolumePath (nil: none chosen).
- (void)setTargetVolumePath:(NSString*)path;
/// Enters the first pane going forward.
- (void)start;
/// Continue (forward) or Go Back: NO, with nothing done, when the button is disabled, there is
/// no pane before the first, or shouldExitPane: refuses.
- (BOOL)press:(InstallerSectionDirection)dir;
/// gotoNextPane of `pane`: NO unless it is active and a pane follows. Asked inside
/// willEnterPane:, the move follows once that has returned.
- (BOOL)moveOnFrom:(InstallerPane*)pane;
@end

/// The activation pane as KLCreateActivationPane builds it, its gotoNextPane carried out by
/// `section`, as the Installer would.
ActDlgPane* KLNewTestActivationPane(KLTestSection* section);

#endif  // KELVORY_TESTS_PANEHARNESS_H_
