// The Installer's part in the pane tests, played through the framework's public API alone, so
// that the tests build against Apple's framework as against the stand-in (a build check compiles
// them with the public headers only).
#ifndef KELVORY_TESTS_PANEHARNESS_H_
#define KELVORY_TESTS_PANEHARNESS_H_

#import <InstallerPlugins/InstallerPlugins.h>

#import "ActDlgPane.h"
#import "ValidDlgPane.h"

// What a pane asks of the Installer (setNextEnabled:, setPreviousEnabled:, gotoNextPane, the shared
// dictionary) is recorded here, never read back from the framework's objects: on a Mac Apple's
// InstallerPane may keep the buttons' state in the Installer's own controller, which a test does
// not have.
@interface KLTestSection : InstallerSection {
 @private
  NSMutableDictionary* klShared;
  InstallerState* klState;
  NSBundle* klBundle;
  NSArray* klPanes;
  NSMutableArray* klNextAsked;      // per pane, what it last asked: YES until it asks
  NSMutableArray* klPreviousAsked;  // the same for Go Back
  NSInteger klActive;               // index in klPanes: -1 before -start, the count past the last
  BOOL klEntering;                  // inside willEnterPane:
  BOOL klMoveOn;                    // gotoNextPane asked for inside willEnterPane:
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
/// Records what `pane` asked of setNextEnabled: (next) or setPreviousEnabled:.
- (void)pane:(InstallerPane*)pane asksNext:(BOOL)next enabled:(BOOL)enabled;
/// Whether the Installer would leave Continue (next) or Go Back enabled for `pane`, from what it
/// last asked; YES when it never asked.
- (BOOL)pane:(InstallerPane*)pane hasEnabled:(BOOL)next;
/// Hands on, as the activation pane would, the simulator's demo customer at `servers` (port
/// 80, http, no proxy); the record (autoreleased).
- (KLTextDataProvider*)handOnDemoCustomerAt:(NSString*)servers;
@end

/// The language the sections' bundles answer texts in from now on ("en" at first): one of the
/// string tables' folders (en, de, fr, es, ja). A pane reads its captions when it is built.
void KLSetTestLanguage(NSString* language);
NSString* KLTestLanguage();
/// From now on `key` answers `text` in every language, whatever the tables say; nil undoes it.
void KLSetTestText(NSString* key, NSString* text);

/// The activation pane as KLCreateActivationPane builds it, its gotoNextPane carried out by
/// `section`, as the Installer would.
ActDlgPane* KLNewTestActivationPane(KLTestSection* section);

/// The validation pane whose buttons' states go to its KLTestSection (and on to the framework, as
/// they would). It adds no instance variable, so a built pane can take it on, or a subclass of it.
@interface KLTestValidationPane : ValidDlgPane
@end

/// The validation pane as KLCreateValidationPane builds it, as a KLTestValidationPane; the
/// section's panes become a plain pane (the activation pane's stand-in), it, and another plain one.
ValidDlgPane* KLNewTestValidationPane(KLTestSection* section);
/// Turns the main run loop while `pane` validates, 20 s at most; the longest turn since `since`.
NSTimeInterval KLWaitForVerdict(ValidDlgPane* pane, NSTimeInterval since);

#endif  // KELVORY_TESTS_PANEHARNESS_H_
