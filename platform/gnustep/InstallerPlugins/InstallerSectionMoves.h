// Between InstallerPane and InstallerSection only: a pane asking its section to move on.
#ifndef KELVORY_INSTALLERPLUGINS_INSTALLERSECTIONMOVES_H_
#define KELVORY_INSTALLERPLUGINS_INSTALLERSECTIONMOVES_H_

#import <InstallerPlugins/InstallerSection.h>

@interface InstallerSection (KLPaneMoves)
// Backs -[InstallerPane gotoNextPane] and -gotoPreviousPane.
- (BOOL)pane:(InstallerPane *)pane asksToMove:(InstallerSectionDirection)dir;
@end

#endif  // KELVORY_INSTALLERPLUGINS_INSTALLERSECTIONMOVES_H_
