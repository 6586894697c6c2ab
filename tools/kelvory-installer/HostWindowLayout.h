// The host's window laid out as the installer's: the step list, the pane area and the buttons,
// and the key-view loop a pane entered joins. Used by HostWindow.mm only.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_HOSTWINDOWLAYOUT_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_HOSTWINDOWLAYOUT_H_

#import "HostWindow.h"

@interface KLHostController (Layout)
/// Makes the window with its step labels, pane area, summary field and buttons.
- (void)buildWindow;
/// As the installer does on entering a pane: the pane's key views lead to the buttons and back
/// (Go Back, Continue, then the pane's first key view), and its initial key view gets the focus.
- (void)takeKeyViewsOf:(InstallerPane*)pane;
@end

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_HOSTWINDOWLAYOUT_H_
