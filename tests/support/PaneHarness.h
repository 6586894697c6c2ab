// The Installer's part in the pane tests, played through the framework's public API alone so
// that the same tests build against Apple's framework and the stand-in (a build check compiles
// them with the public headers only): a section answering its public getters from what the test
// gives it, and driving its panes in the Installer's order of calls.
#ifndef KELVORY_TESTS_PANEHARNESS_H_
#define KELVORY_TESTS_PANEHARNESS_H_

#import <InstallerPlugins/InstallerPlugins.h>

#import "ActDlgPane.h"

@interface KLTestSection : InstallerSection {
 @private
  NSMutableDictionary* klShared;
  InstallerState* klState;
  NSBundle* klBundle;
  InstallerPane* klFirst;
  NSMutableArray* klPanes;  // the chain as walked by -start
  NSInteger klActive;       // index in klPanes: -1 before -start, the count past the last
  NSInteger klPending;      // a move asked for inside willEnterPane:, -1 for none
  BOOL klEntering;
}
/// Chains `panes` through nextPane; the first answers -firstPane.
- (void)setPanes:(NSArray*)panes;
/// -bundle then answers a bundle whose resources are the files in `path`.
- (void)setResourcePath:(NSString*)path;
/// What the installer state answers as targetVolumePath (nil: none chosen).
- (void)setTargetVolumePath:(NSString*)path;
/// Walks firstPane and each nextPane, then enters the first pane going forward.
- (void)start;
/// The buttons: NO, with nothing done, when the button is disabled, there is no pane before
/// the first, or shouldExitPane: refuses.
- (BOOL)pressContinue;
- (BOOL)pressGoBack;
/// gotoNextPane / gotoPreviousPane of the active pane: NO without a pane to go to. Asked inside
/// willEnterPane:, the move follows once that has returned.
- (BOOL)pane:(InstallerPane*)pane asksToMove:(BOOL)forward;
@end

/// The activation pane as KLCreateActivationPane builds it, its gotoNextPane and
/// gotoPreviousPane handed to `section`, where the Installer would carry them out.
ActDlgPane* KLNewTestActivationPane(KLTestSection* section);

#endif  // KELVORY_TESTS_PANEHARNESS_H_
