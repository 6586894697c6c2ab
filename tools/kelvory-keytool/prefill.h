// The keytool's "prefill" command: reads a pre-fill file the way the activation pane does and
// shows what the activation data record made of it.
#ifndef KELVORY_KEYTOOL_PREFILL_H_
#define KELVORY_KEYTOOL_PREFILL_H_

#include <string>

/// Reads `path` as the XML pre-fill file (or, with `textFormat`, as a key=value text file) and
/// prints the record's nine values and its server address list to stdout: one JSON object with
/// `json`, otherwise "name: value" lines. Why a file is unusable (missing, unreadable, not
/// well-formed XML) goes to stderr. Returns the exit code: 0 when the file was read, else 1.
int RunPrefill(const std::string& path, bool json, bool textFormat);

#endif  // KELVORY_KEYTOOL_PREFILL_H_
