// A private X display for runs without one (scripts, CI, a terminal over SSH).
#ifndef KELVORY_INSTALLER_VIRTUALDISPLAY_H_
#define KELVORY_INSTALLER_VIRTUALDISPLAY_H_

#include <string>

/// Starts Xvfb on a free display and points DISPLAY at it. The server is stopped when the
/// process exits. Returns false, with the reason in `error`, when it cannot be started.
bool StartVirtualDisplay(std::string* error);

#endif  // KELVORY_INSTALLER_VIRTUALDISPLAY_H_
