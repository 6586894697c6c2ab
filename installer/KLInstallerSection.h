// The plug-in's principal class: the section a host instantiates from the bundle to get the
// panes in their order, the activation pane then the validation pane.
#ifndef KELVORY_KLINSTALLERSECTION_H_
#define KELVORY_KLINSTALLERSECTION_H_

#import <InstallerPlugins/InstallerPlugins.h>

@interface KLInstallerSection : InstallerSection
@end

#endif  // KELVORY_KLINSTALLERSECTION_H_
