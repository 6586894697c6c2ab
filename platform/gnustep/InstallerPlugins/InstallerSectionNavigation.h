// Between the section's state (InstallerSection.m) and its navigation
// (InstallerSection+Navigation.m): moving between panes, as the installer does. Not public API.
#ifndef KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSECTIONNAVIGATION_H_
#define KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSECTIONNAVIGATION_H_

#import <InstallerHost/InstallerHost.h>

// The chain from `first` through each nextPane, each pane once (a chain that loops ends where it
// would come back).
NSMutableArray *KLWalkChain(InstallerPane *first);

// In InstallerSection.m, beside the state they use.
@interface InstallerSection (KLSectionMoves)
// Appends "<pane class>[index] event" to the navigation log.
- (void)logPaneAtIndex:(NSInteger)index event:(NSString *)event;
// Moves from the active pane to pane `target` at once, or, inside a switch, once it is done.
- (BOOL)moveTo:(NSInteger)target direction:(InstallerSectionDirection)dir;
@end

// In InstallerSection+Navigation.m.
@interface InstallerSection (KLNavigation)
// Leaves pane `from` (-1: none) for pane `to` ([_panes count]: the end of the section).
- (void)switchFrom:(NSInteger)from to:(NSInteger)to direction:(InstallerSectionDirection)dir;
@end

#endif  // KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSECTIONNAVIGATION_H_
