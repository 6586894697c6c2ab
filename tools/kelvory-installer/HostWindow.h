// The host's window and steps: the panes on screen with the step list beside them, Continue and
// Go Back, the summary at the end, and the transcript of panes entered and verdicts shown. It
// uses what the installer uses: each pane's title, contentView and key views. With no window
// (headless) the same navigation and transcript run without anything on screen.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_HOSTWINDOW_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_HOSTWINDOW_H_

#import <AppKit/AppKit.h>
#import <InstallerHost/InstallerHost.h>

#include <string>

@interface KLHostController : NSObject {
  InstallerSection* section;
  NSArray* panes;  // as the installer walks them
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
/// `somePanes`: the section's panes as the installer walks them (see KLSectionPanes).
- (id)initWithSection:(InstallerSection*)aSection panes:(NSArray*)somePanes window:(BOOL)withWindow;
- (InstallerSection*)section;
- (NSArray*)panes;
/// The pane on screen; nil before the start and after the last pane.
- (InstallerPane*)currentPane;
/// Whether the last verdict shown is the success verdict in the language shown (the plug-in's
/// own table's text for it).
- (BOOL)lastVerdictSucceeded;
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
/// Runs the window for a person until it is closed.
- (void)runInteractively;
@end

// What a script asks of the window beyond the buttons (HostWindowScripting.mm).
@interface KLHostController (Scripting)
/// Presses a key ("tab", "return" or "escape") in the key window: a panel the plug-in shows,
/// or else the host's window, where Return is the Continue button's key.
- (void)pressKey:(const std::string&)name;
/// What has the keyboard focus: the pane's outlet by name, "Continue", "Go Back", or "none".
- (std::string)focusName;
/// Writes the window's content as a PNG file; ends the host when it cannot.
- (void)saveScreenshot:(const std::string&)file;
@end

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_HOSTWINDOW_H_
