// The plug-in's principal class: the section the installer instantiates from the bundle. Its
// panes are the activation pane then the validation pane, built in code on every platform.
#ifndef KELVORY_INSTALLER_KLINSTALLERSECTION_H_
#define KELVORY_INSTALLER_KLINSTALLERSECTION_H_

#import <InstallerPlugins/InstallerPlugins.h>

@class ActDlgPane;

@interface KLInstallerSection : InstallerSection {
  ActDlgPane* klFirstPane;  // built on first use; it holds the validation pane as its nextPane
}
/// The activation pane, its nextPane the validation pane (whose nextPane is nil). Both are made
/// on the first call, with their views, as an interface file would make them.
- (InstallerPane*)firstPane;
@end

#endif  // KELVORY_INSTALLER_KLINSTALLERSECTION_H_
