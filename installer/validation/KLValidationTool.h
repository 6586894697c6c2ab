// The validation tool InitialValidate: its argument vector, its launch, and the message for the
// status it ends with.
#ifndef KELVORY_INSTALLER_VALIDATION_KLVALIDATIONTOOL_H_
#define KELVORY_INSTALLER_VALIDATION_KLVALIDATIONTOOL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "KLInstallLog.h"         // ConfigFilePath, InstallLogPath
#include "KLProcessSupervisor.h"  // RunAndWait, which launches it

/// The messages for the tool's exit codes 0 to 18; entry 0 is never shown (exit code 0 is
/// success, which has the empty message).
extern const char* const ERRORS[19];

namespace kl {

/// What one validation attempt hands the tool. Texts are byte strings used verbatim.
struct ValidationRequest {
  std::string serverURL;     ///< `-s`, always, even when empty
  int32_t port = 0;          ///< `-n`, always, in decimal
  std::string protocol;      ///< `-p`, always
  std::string proxy;         ///< `-x`, only when not empty
  std::string customerName;  ///< `-c`, only when not empty
  std::string customerId;    ///< `-i`, only when not empty
  int32_t applianceId = 0;   ///< `-a`, in decimal, only when not 0
};

/// The tool's path: `resourceDirectory` cut at 2047 bytes, trimmed of spaces, then
/// "/InitialValidate".
std::string ValidationToolPath(const std::string& resourceDirectory);

/// The whole argument vector, the tool path first, then the options in their fixed order:
/// -s -n -p [-x] -f /tmp/kelvor.conf [-c] [-i] [-a] -l /tmp/kelvor_install.log. Each value is
/// one argument, exactly as given: no quoting, nothing is ever cut or reinterpreted.
std::vector<std::string> ValidationArguments(const std::string& resourceDirectory,
                                             const ValidationRequest& request);

}  // namespace kl

/// Runs the tool for one attempt and returns its status (see kl::RunAndWait). `resourceDirectory`
/// is the ASCII form of the plug-in's resource directory; null when it has none, and then
/// nothing is started and the status is -1. Blocks until the tool has ended.
int32_t launchvalidation(const char* resourceDirectory, const kl::ValidationRequest& request);

namespace kl {

/// The user's message for a status: the empty text for success (a normal exit with code 0),
/// "Launch script failed" when the tool could not be started or run (status -1, exit code 127)
/// or was ended by a signal, the ERRORS entry for exit codes 1 to 18, and "Launch script
/// returned unexpected error code: N" for any other code N (the status shifted right by 8 bits
/// with its sign).
std::string ValidationStatusMessage(int64_t status);

}  // namespace kl

#endif  // KELVORY_INSTALLER_VALIDATION_KLVALIDATIONTOOL_H_
