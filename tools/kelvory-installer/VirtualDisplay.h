// A private X display for runs without one (scripts, CI, a terminal over SSH).
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_VIRTUALDISPLAY_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_VIRTUALDISPLAY_H_

#include <string>

namespace kl::host {

/// Starts Xvfb on a free display and points DISPLAY at it. The server never outlives this
/// process: it is stopped at exit, by StopVirtualDisplay, and (Linux) killed by the kernel when
/// this process dies any other way. Returns false, with the reason in `error`, when it cannot
/// be started.
bool StartVirtualDisplay(std::string* error);

/// Ends the server started above, if any, and waits for it. Async-signal-safe: a signal handler
/// may call it.
void StopVirtualDisplay();

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_VIRTUALDISPLAY_H_
