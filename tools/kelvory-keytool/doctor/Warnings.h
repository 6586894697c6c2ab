// The doctor's warnings: what the activation input's readers accept without a word but that
// will fail or surprise at install time. A warning leaves the verdict as it is (`--strict`
// makes it count).
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_WARNINGS_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_WARNINGS_H_

#import <Foundation/Foundation.h>

#include <string>
#include <vector>

#import "KLActivationInput.h"
#import "KLPrefillReaders.h"

namespace kl::keytool {

struct DoctorWarning {
  std::string code;  ///< "protocol-text", "server-list-blanks", "unknown-name", "wrong-type",
                     ///< "first-word-only", "line-in-pieces", "port-range", "malformed-at"
                     ///< or "unreachable"
  std::string message;
};

/// A pre-fill file, from what its reader reported: unknown element names or keys, protocol
/// texts, values cut at a blank or a comma, lines read in pieces, and where the XML parser
/// stopped in a file that is not well-formed (then nothing else).
std::vector<DoctorWarning> FileWarnings(const KLPrefillReport& report, bool textFormat);

/// Managed preferences: unknown keys (a payload's own keys are known), values of a type that is
/// not a string or a number (with what is read instead), and the protocol text.
std::vector<DoctorWarning> ManagedWarnings(NSDictionary* values);

/// The input the checks get: blanks around server-list items and ports outside 1-65535 (the
/// customer form's port, the proxy's, and every endpoint of the key).
std::vector<DoctorWarning> InputWarnings(const KLActivationInput& input);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_WARNINGS_H_
