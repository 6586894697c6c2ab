// The host's leak check: with the host and the section gone, no object of the plug-in's own
// classes may live on.
#ifndef KELVORY_INSTALLER_LEAKCHECK_H_
#define KELVORY_INSTALLER_LEAKCHECK_H_

/// Starts counting instances per class; call before the plug-in makes any object.
void KLStartCountingObjects();

/// True when no instance of the plug-in's own classes is alive; otherwise names each class with
/// its count on standard error. Allows the last validation thread a moment to let go.
bool KLPluginObjectsFreed();

#endif  // KELVORY_INSTALLER_LEAKCHECK_H_
