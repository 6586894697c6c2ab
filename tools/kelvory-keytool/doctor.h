// The keytool's "doctor" command: what an administrator asks before a rollout. It runs the
// activation pane's own pre-fill, checks and validation arguments on a pre-fill file, managed
// preferences or a key and says what the pane (or kelvory-activate) would do with them, and why;
// it warns about what the readers accept silently, and can probe the servers.
#ifndef KELVORY_KEYTOOL_DOCTOR_H_
#define KELVORY_KEYTOOL_DOCTOR_H_

#include <string>

struct DoctorRequest {
  std::string packagePath;  ///< the pre-fill file is looked for beside this package
  std::string dataPath;     ///< a pre-fill file (XML, or key=value text with `textFormat`)
  bool hasKey = false;      ///< `key` is an activation key typed into the key form
  std::string key;
  bool managedPreferences = false;     ///< read managed preferences first
  std::string managedPreferencesPath;  ///< from this property list; empty: the platform's
  bool textFormat = false;
  bool json = false;
  bool strict = false;  ///< warnings fail the run
  bool probe = false;   ///< connect to each server address
  double probeSeconds = 5;
};

/// Prints the report to stdout (one JSON object with `json`) and returns the exit code: 0 when
/// the pane would pass by itself (and, with `strict`, nothing was warned about), 1 otherwise.
int RunDoctor(const DoctorRequest& request);

#endif  // KELVORY_KEYTOOL_DOCTOR_H_
