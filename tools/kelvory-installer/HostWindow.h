// The host's window and steps: the panes on screen with the step list beside them, Continue and
// Go Back, the summary at the end, and the transcript of panes entered and verdicts shown. With
// no window (headless) the same navigation and transcript run without anything on screen.
#ifndef KELVORY_INSTALLER_HOSTWINDOW_H_
#define KELVORY_INSTALLER_HOSTWINDOW_H_

#import <AppKit/AppKit.h>
#import <InstallerPlugins/InstallerPlugins.h>

#include <string>

@interface KLHostController : NSObject {
  InstallerSection* section;
  NSWindow* window;
  NSView* paneArea;
  NSArray* stepLabels;
  NSButton* continueButton;
  NSButton* backButton;
  NSTextField* summary;
  InstallerPane* shownPane;
  BOOL verdictShown;
  BOOL showingSummary;
  std::string* lastVerdict;
  NSTimeInterval waitLimit;
}
- (id)initWithSection:(InstallerSection*)aSection window:(BOOL)withWindow;
- (InstallerSection*)section;
/// The pane on screen; nil before the start and after the last pane.
- (InstallerPane*)currentPane;
/// The last verdict shown ("Validation Succeeded", ...); empty before any.
- (const std::string&)lastVerdict;
/// Shows the window (if any) and enters the first pane.
- (void)start;
/// Handles the events and queued calls pending now (a validation's verdict among them).
- (void)drainEvents;
/// How long waitForVerdict waits; 120 s unless set.
- (void)setWaitLimit:(NSTimeInterval)seconds;
/// Handles events until no validation runs; ends the host when one runs past the wait limit.
- (void)waitForVerdict;
/// What the buttons do; NO when the button is off (nothing happens then).
- (BOOL)pressContinue;
- (BOOL)pressBack;
/// Writes the window's content as a PNG file; ends the host when it cannot.
- (void)saveScreenshot:(const std::string&)file;
/// Runs the window for a person until it is closed.
- (void)runInteractively;
@end

#endif  // KELVORY_INSTALLER_HOSTWINDOW_H_
