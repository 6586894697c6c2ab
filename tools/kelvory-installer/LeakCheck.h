// The host's leak check: with the host and the section gone, no object of a class of ours may
// live on: the plug-in's classes, the installer framework's and the host's own.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_LEAKCHECK_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_LEAKCHECK_H_

#import <Foundation/Foundation.h>

namespace kl::host {

/// Starts counting instances per class; call before the plug-in makes any object.
void KLStartCountingObjects();

/// The classes counted as ours: every class that `plugin` (a loaded bundle), the installer
/// framework or this program defines, found in the runtime rather than listed, so that a class
/// added later is counted without anyone remembering to. Sorted by name.
NSArray* KLOurClasses(NSBundle* plugin);

/// True when no instance of KLOurClasses(plugin) is alive; otherwise names each class with its
/// count on standard error. Allows the last validation thread a moment to let go.
bool KLOurObjectsFreed(NSBundle* plugin);

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_LEAKCHECK_H_
