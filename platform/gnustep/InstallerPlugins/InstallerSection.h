// The section that owns a plug-in's panes: what the panes reach through -section, and, host
// side, the pane order and the Continue / Go Back navigation between them.
#ifndef KELVORY_INSTALLERPLUGINS_INSTALLERSECTION_H_
#define KELVORY_INSTALLERPLUGINS_INSTALLERSECTION_H_

#import <Foundation/Foundation.h>

#import <InstallerPlugins/InstallerState.h>

@class InstallerPane;

typedef enum {
  InstallerDirectionForward = 0,
  InstallerDirectionBackward = 1,
  InstallerDirectionUndefined = 2
} InstallerSectionDirection;

@interface InstallerSection : NSObject {
  NSBundle *_bundle;
  NSBundle *_resourceBundle;  // stands in for _bundle while a resource path is set
  NSMutableDictionary *_sharedDictionary;
  InstallerState *_installerState;
  NSMutableArray *_panes;
  NSMutableArray *_navigationLog;
  NSInteger _currentIndex;  // -1 before start; [_panes count] once finished
  BOOL _started;
  BOOL _switching;       // inside a pane switch, until the entered pane's didEnterPane:
  BOOL _hasPendingMove;  // a move asked for while switching, run when the switch is done
  InstallerSectionDirection _pendingDirection;
  InstallerSectionDirection _lastEnteredDirection;
}

// The plug-in's own bundle; its resourcePath holds the plug-in's resources.
- (NSBundle *)bundle;
// One dictionary for all panes of the section; it retains what is stored in it.
- (NSMutableDictionary *)sharedDictionary;
- (InstallerState *)installerState;

@end

/// Posted by the section just before each willEnterPane: (either direction), with the section
/// as object and, in the user info, the pane under "pane" and the direction (a number) under
/// "direction": a host's transcript follows it.
extern NSString *const KLInstallerSectionWillEnterPaneNotification;

@interface InstallerSection (KLHost)

// What a loaded plug-in's platform answers on Linux, where windows carry no represented URL:
// process-wide, as an installer installs one package. nil until set.
+ (void)setHostPackagePath:(NSString *)path;
+ (NSString *)hostPackagePath;

// The bundle is retained; plain -init leaves it nil.
- (id)initWithBundle:(NSBundle *)bundle;
- (void)setBundle:(NSBundle *)bundle;
// While set, -bundle answers a bundle whose resourcePath is `path` (and whose
// pathForResource:ofType: looks there), whatever bundle was set. nil removes the override.
- (void)setResourcePath:(NSString *)path;

// Appends a pane to the order, retains it and makes this section its section. The pane does not
// retain the section: the section must outlive the panes' use of it. Adding a pane already in
// the order, or adding after -start, does nothing.
- (void)addPane:(InstallerPane *)pane;
- (NSArray *)panes;
// The pane on screen: nil before -start and once finished.
- (InstallerPane *)currentPane;
// Index of the current pane in -panes; -1 before -start; [[self panes] count] once finished.
- (NSInteger)currentPaneIndex;
- (BOOL)isFinished;
// Direction given to the last willEnterPane:; InstallerDirectionUndefined before any.
- (InstallerSectionDirection)lastEnteredDirection;

// Enters pane 0 going forward (an empty section is finished at once). Only the first call acts.
- (void)start;
// The user presses Continue: does nothing and answers NO when the current pane has Continue
// disabled; otherwise asks shouldExitPane:InstallerDirectionForward and, on YES, moves to the
// next pane, or finishes the section after the last one. Answers whether the pane was left.
- (BOOL)pressContinue;
// The user presses Go Back: answers NO without asking the pane on pane 0 or when Go Back is
// disabled; otherwise asks shouldExitPane:InstallerDirectionBackward and, on YES, enters the
// previous pane going backward.
- (BOOL)pressGoBack;

// One line per call the section made into a pane, e.g. "StepPane willEnterPane: forward",
// and "section finished"; for host scripts and tests.
- (NSArray *)navigationLog;
- (void)clearNavigationLog;

@end

#endif  // KELVORY_INSTALLERPLUGINS_INSTALLERSECTION_H_
