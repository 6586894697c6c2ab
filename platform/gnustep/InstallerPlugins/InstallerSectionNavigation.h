// Between the section's state (InstallerSection.m) and its navigation
// (InstallerSection+Navigation.m): moving between panes, as the installer does. Not public API.
#ifndef KELVORY_INSTALLERPLUGINS_INSTALLERSECTIONNAVIGATION_H_
#define KELVORY_INSTALLERPLUGINS_INSTALLERSECTIONNAVIGATION_H_

#import <InstallerHost/InstallerHost.h>

// The chain from `first` through each nextPane, each pane once (a chain that loops ends where it
// would come back).
NSMutableArray *KLWalkChain(InstallerPane *first);

// In InstallerSection.m, with the log it writes.
@interface InstallerSection (KLNavigationLog)
// Appends "<pane class>[index] event" to the navigation log.
- (void)logPaneAtIndex:(NSInteger)index event:(NSString *)event;
@end

// In InstallerSection+Navigation.m.
@interface InstallerSection (KLNavigation)
// Moves from the active pane to pane `target` at once, or, inside a switch, once it is done.
- (BOOL)moveTo:(NSInteger)target direction:(InstallerSectionDirection)dir;
@end

#endif  // KELVORY_INSTALLERPLUGINS_INSTALLERSECTIONNAVIGATION_H_
