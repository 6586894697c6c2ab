// What keeps the host from hanging or leaving anything behind: it never starts GNUstep's
// notification daemon (nor, unless a person is at the window, its pasteboard server), an
// uncaught exception is printed instead of shown in a panel nobody sees, and on SIGTERM, SIGINT
// or SIGHUP it ends what it started before it goes.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_PROCESSGUARD_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_PROCESSGUARD_H_

#import <Foundation/Foundation.h>

namespace kl::host {

/// Call once the application object exists (it installs a panel-showing handler of its own).
/// With `sharePasteboard` (a person at the window) the pasteboard is the desktop's, through
/// GNUstep's pasteboard server; otherwise it is private to the host.
void KLGuardProcess(bool sharePasteboard);

/// From now on every way out (exit, a terminating signal) also ends the validation tools the
/// loaded plug-in `bundle` is running, and waits for them.
void KLTakeToolsAlong(NSBundle* bundle);

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_PROCESSGUARD_H_
