// The activation pane's controls, built in code as an interface file would lay them out.
#ifndef KELVORY_INSTALLER_ACTDLG_ACTDLGPANEVIEWS_H_
#define KELVORY_INSTALLER_ACTDLG_ACTDLGPANEVIEWS_H_

#import "ActDlgPane.h"

/// A new activation pane for `section` (owned by the caller, like +alloc/-init): its content
/// view and every control created and connected to its outlets and actions, then
/// -awakeFromNib called. Starts on the key form, http with port "80", no proxy (field and label
/// hidden), every other text field empty. The key views run in reading order from the form
/// choice (firstKeyView) to the proxy field (lastKeyView); the key field has the focus first.
ActDlgPane* KLCreateActivationPane(InstallerSection* section);

#endif  // KELVORY_INSTALLER_ACTDLG_ACTDLGPANEVIEWS_H_
