// The host's Edit menu, so that a person at the window can paste a key as on a Mac.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_EDITMENU_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_EDITMENU_H_

namespace kl::host {

/// Gives the application a main menu with an Edit menu: Cut, Copy, Paste and Select All, sent
/// to the focused control, with the platform's command key and x, c, v and a. Call once the
/// application object exists.
void KLInstallEditMenu();

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_EDITMENU_H_
