// --unless-activated's rule, and whether /tmp/kelvor.conf changed during a run.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_PRIORACTIVATION_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_PRIORACTIVATION_H_

#include <sys/types.h>

#include <string>

namespace kl::activate {

/// --unless-activated: true (with `*why`) when this run has nothing to do. A command-line
/// install (COMMAND_LINE_INSTALL is "1": no pane can have run) never skips; otherwise the run
/// skips only when /tmp/kelvor.conf ends with a complete block for `target`, as the panes
/// append it, whatever its age (the system empties /tmp at restart), in a file that only the
/// panes or root can have written: a regular file with one link, owned by root, by this
/// process's user or by `installerUid` (the user who ran the Installer). Only its last 64 KiB
/// are read. Any other file is no activation.
bool SkipBecauseActivated(const std::string& target, uid_t installerUid, std::string* why);

/// What tells whether /tmp/kelvor.conf changed: its device, inode, size and change times, or
/// "none" when there is no such file.
std::string ConfigFingerprint();

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_PRIORACTIVATION_H_
