// One validation attempt and its verdict, without any pane: the validation pane runs the
// attempt on its background thread and the verdict on the main thread; a headless activation
// runs both in turn. Either way the rules (arguments, launch, messages, server rotation,
// configuration append) are these.
#ifndef KELVORY_INSTALLER_VALIDATION_KLVALIDATION_H_
#define KELVORY_INSTALLER_VALIDATION_KLVALIDATION_H_

#import <Foundation/Foundation.h>

#include <cstdint>
#include <string>

#import "KLTextDataProvider.h"
#include "KLValidationTool.h"

/// The values an attempt hands the tool, read from the record in this order: the current
/// server address (which logs "Server URl: ..."), the port, "https" or "http", the proxy, the
/// customer name and ID (texts as UTF-8), the appliance ID. Port and appliance ID keep their
/// low 32 bits.
kl::ValidationRequest KLValidationRequestFromRecord(KLTextDataProvider* record);

/// The tool run for `request` with the tool in `resourcePath`: converts the directory to ASCII
/// (none: nothing is started, -1) and runs it (see launchvalidation in KLValidationTool.h).
int32_t launchvalidation(NSString* resourcePath, const kl::ValidationRequest& request);

/// One attempt against the record's current server address: reads the request (into `used`
/// when given), notes the clock, runs the tool, logs "Validation took %.1f sec." and returns the
/// status. Blocks; may run on any thread, as long as no other thread uses the record meanwhile.
int32_t KLRunValidationAttempt(KLTextDataProvider* record, NSString* resourcePath,
                               kl::ValidationRequest* used = nullptr);

namespace kl {

enum class AttemptVerdict {
  kSucceeded,  ///< validated and the configuration lines were appended
  kRetry,      ///< failed, and the record has moved to its next server address: try again
  kFailed,     ///< failed for good; the user has been shown why
};

struct AttemptOutcome {
  AttemptVerdict verdict;
  std::string message;  ///< the status's message; empty for a validated attempt
};

}  // namespace kl

/// The verdict of one attempt with `status`, on the main thread: logs "Validation Done with
/// Code N"; success appends the configuration (writeConfigFile's rules with the record's key
/// and `targetVolumePath`); a failure moves the record to its next address (kRetry, silent)
/// or, with none left, shows the message in a critical alert (kFailed).
kl::AttemptOutcome KLConcludeValidationAttempt(KLTextDataProvider* record, int32_t status,
                                               NSString* targetVolumePath);

namespace kl {

/// The two steps of a verdict its caller answers: the validation pane answers them with its own
/// getErrorString: and writeConfigFile:, the function above with the shared rules they use.
class VerdictSteps {
 public:
  virtual ~VerdictSteps() = default;
  /// The message for a status; empty for success.
  virtual std::string ErrorString(int64_t status) = 0;
  /// Appends the configuration for the record's key; false after an alert when it cannot.
  virtual bool WriteConfigFile(NSString* activationKey) = 0;
};

}  // namespace kl

/// KLConcludeValidationAttempt with the message and the configuration append from `steps`.
kl::AttemptOutcome KLConcludeValidationAttempt(KLTextDataProvider* record, int32_t status,
                                               kl::VerdictSteps& steps);

/// writeConfigFile's rules: the key's ASCII form (at most 255 bytes; an alert naming the key
/// when it has none) and the target volume, then kl::WriteConfiguration.
BOOL KLWriteConfigFile(NSString* activationKey, NSString* targetVolumePath);

#endif  // KELVORY_INSTALLER_VALIDATION_KLVALIDATION_H_
