// Where kelvory-activate takes its input from, and when it has nothing to do: the source
// choice shared with the key tool's doctor, reported in the tool's own words, and the rule of
// --unless-activated.
#ifndef KELVORY_TOOLS_ACTIVATE_ACTIVATIONSOURCES_H_
#define KELVORY_TOOLS_ACTIVATE_ACTIVATIONSOURCES_H_

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>

#import "KLActivationSource.h"

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

/// The message of the no-activation-data outcome: every place looked at, and what each held.
std::string NoActivationDataMessage(const KLSourceChoice& choice);

/// The report's fields about the input: `source` (a KLSourceName, "none" when nothing gave
/// activation data), `sourceLocation` (the file's path or the preferences' location; null for
/// options and none), `overrides` (the fields options set over the record) and `looked` (each
/// place: `source`, `location`, `found`, `hasData`, `problem`).
nlohmann::json SourceFields(const KLSourceChoice& choice);

/// A short plain line about the input: "source: NAME (LOCATION), options over it: ...".
std::string SourceLine(const KLSourceChoice& choice);

#endif  // KELVORY_TOOLS_ACTIVATE_ACTIVATIONSOURCES_H_
