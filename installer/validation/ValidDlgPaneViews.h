// The validation pane's controls, built in code as an interface file would lay them out.
#ifndef KELVORY_INSTALLER_VALIDATION_VALIDDLGPANEVIEWS_H_
#define KELVORY_INSTALLER_VALIDATION_VALIDDLGPANEVIEWS_H_

#import "ValidDlgPane.h"

/// A new validation pane for `section` (owned by the caller, like +alloc/-init): its content
/// view with a caption, the busy indicator (stopped) and the verdict label (empty, hidden),
/// connected to their outlets, then -awakeFromNib called. Nothing on it takes the keyboard, so it
/// sets no key views: the installer's own buttons have them.
ValidDlgPane* KLCreateValidationPane(InstallerSection* section);

#endif  // KELVORY_INSTALLER_VALIDATION_VALIDDLGPANEVIEWS_H_
