// What only the stand-in installer needs from the plug-in framework twin: making a section,
// connecting what an interface file would, the package it installs, and the navigation a real
// installer does itself. The installer host and the tests include this; plug-in sources never
// do (the public-headers build check would fail).
#ifndef KELVORY_PLATFORM_GNUSTEP_INSTALLERHOST_INSTALLERHOST_H_
#define KELVORY_PLATFORM_GNUSTEP_INSTALLERHOST_INSTALLERHOST_H_

#import <InstallerPlugins/InstallerPlugins.h>

/// Posted by the section just before each willEnterPane: (either direction), with the section
/// as object and, in the user info, the pane under "pane" and the direction (a number) under
/// "direction": a host's transcript follows it.
extern NSString *const KLInstallerSectionWillEnterPaneNotification;

@interface InstallerSection (KLHost)

// What a loaded plug-in's platform answers on Linux, where windows carry no represented URL:
// process-wide, as an installer installs one package. The face reads it back through
// KLStandInChannel.h.
+ (void)setHostPackagePath:(NSString *)path;

// The bundle is retained; plain -init leaves it nil.
- (id)initWithBundle:(NSBundle *)bundle;
- (void)setBundle:(NSBundle *)bundle;
// While set, -bundle answers a bundle whose resourcePath is `path` (and whose
// pathForResource:ofType: looks there), whatever bundle was set. nil removes the override.
- (void)setResourcePath:(NSString *)path;

// Connects the firstPane outlet (retained), as an interface file would.
- (void)setFirstPane:(InstallerPane *)pane;
// Appends `pane` to the chain: the firstPane outlet when empty, else the last pane's nextPane;
// makes this section its section. A pane already in the chain, or one added after -start, is
// ignored. Tests build sections of any panes this way.
- (void)addPane:(InstallerPane *)pane;

// The panes: before -start, the chain from -firstPane as it is now; from -start on, the chain
// as walked then (no pane twice). Empty when shouldLoad said NO.
- (NSArray *)panes;
// Index of the active pane in -panes; -1 before -start; [[self panes] count] once finished.
- (NSInteger)currentPaneIndex;
- (BOOL)isFinished;
// Direction given to the last willEnterPane:; InstallerDirectionUndefined before any.
- (InstallerSectionDirection)lastEnteredDirection;

// Asks shouldLoad and, on YES, calls willLoadMainNib and didLoadMainNib, as the installer does
// before it asks for firstPane. Only the first call acts; answers shouldLoad's answer.
- (BOOL)loadSection;
// Loads the section when not done yet; then, when it loads, walks firstPane and each nextPane
// and enters the first pane going forward (otherwise the section is finished at once). Only
// the first call acts.
- (void)start;
// The user presses Continue: does nothing and answers NO when the active pane has Continue
// disabled; otherwise asks shouldExitPane:InstallerDirectionForward and, on YES, moves to the
// next pane, or finishes the section after the last one. Answers whether the pane was left.
- (BOOL)pressContinue;
// The user presses Go Back: answers NO without asking the pane on pane 0 or when Go Back is
// disabled; otherwise asks shouldExitPane:InstallerDirectionBackward and, on YES, enters the
// previous pane going backward.
- (BOOL)pressGoBack;

// One line per call the section made into a pane, e.g. "StepPane[0] willEnterPane: forward",
// and "section finished"; for host scripts and tests.
- (NSArray *)navigationLog;
- (void)clearNavigationLog;

@end

@interface InstallerPane (KLHost)
// Set by the section; not retained.
- (void)setSection:(InstallerSection *)section;
@end

@interface InstallerState (KLHost)
// Copied; nil means no volume chosen.
- (void)setTargetVolumePath:(NSString *)path;
@end

#endif  // KELVORY_PLATFORM_GNUSTEP_INSTALLERHOST_INSTALLERHOST_H_
