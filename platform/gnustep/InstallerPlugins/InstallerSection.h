// The section: one per plug-in bundle, the bundle's principal class. The installer creates it,
// asks shouldLoad, then takes its panes from firstPane and each pane's nextPane.
#ifndef KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSECTION_H_
#define KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSECTION_H_

#import <Foundation/Foundation.h>

#import <InstallerPlugins/InstallerState.h>

@class InstallerPane;

typedef enum {
  InstallerDirectionForward = 0,
  InstallerDirectionBackward = 1,
  InstallerDirectionUndefined = 2
} InstallerSectionDirection;

@interface InstallerSection : NSObject {
 @private
  // The runtime here has no non-fragile instance variables: the stand-in's own state has to be
  // declared in the public interface. None of it is API.
  NSBundle *_bundle;
  NSBundle *_resourceBundle;  // stands in for _bundle while a resource path is set
  NSMutableDictionary *_sharedDictionary;
  InstallerState *_installerState;
  InstallerPane *_firstPane;  // the outlet; subclasses may answer -firstPane themselves
  NSMutableArray *_panes;     // the chain as walked at the start
  NSMutableArray *_navigationLog;
  NSInteger _currentIndex;  // -1 before the start; [_panes count] once finished
  BOOL _loaded;
  BOOL _loads;  // shouldLoad's answer
  BOOL _started;
  BOOL _switching;       // inside a pane switch, until the entered pane's didEnterPane:
  NSInteger _pendingTo;  // a move asked for while switching (-1: none), run after the switch
  InstallerSectionDirection _pendingDirection;
  InstallerSectionDirection _lastEnteredDirection;
}

// The plug-in's own bundle; its resourcePath holds the plug-in's resources.
- (NSBundle *)bundle;
// The step's title: the bundle's InstallerSectionTitle, or the empty text.
- (NSString *)title;
// YES by default; NO keeps the section out of the installation.
- (BOOL)shouldLoad;
// Called before and after the section's main interface file is loaded (this installer loads
// none, and calls both before asking for firstPane).
- (void)willLoadMainNib;
- (void)didLoadMainNib;
// The first of the section's panes; the others follow through each pane's nextPane. The outlet
// by default (nil when unconnected).
- (InstallerPane *)firstPane;
// The pane on screen; nil when none of this section's is.
- (InstallerPane *)activePane;
// Shows `pane`, one of this section's, going forward when it comes later than the active pane
// and backward otherwise. NO when it is not in the section or is the active pane already.
- (BOOL)gotoPane:(InstallerPane *)pane;
- (InstallerState *)installerState;
// One dictionary for all panes of the section; it retains what is stored in it.
- (NSMutableDictionary *)sharedDictionary;

@end

#endif  // KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSECTION_H_
