// The keytool's "doctor" command: what an administrator asks before a rollout. It runs the
// activation pane's own pre-fill, checks and validation arguments on a pre-fill file or a key
// and says what the pane would do with them, and why.
#ifndef KELVORY_KEYTOOL_DOCTOR_H_
#define KELVORY_KEYTOOL_DOCTOR_H_

#include <string>

/// The one input of a run.
enum class DoctorInput {
  kPackage,  ///< `value` is a package path; the pre-fill file is looked for beside it
  kData,     ///< `value` is a pre-fill file (XML, or key=value text with `textFormat`)
  kKey,      ///< `value` is an activation key, typed into the key form
};

struct DoctorRequest {
  DoctorInput input = DoctorInput::kKey;
  std::string value;
  bool textFormat = false;
  bool json = false;
};

/// Prints the report to stdout (one JSON object with `json`) and returns the exit code: 0 when
/// the pane would pass by itself, 1 when it would not.
int RunDoctor(const DoctorRequest& request);

#endif  // KELVORY_KEYTOOL_DOCTOR_H_
