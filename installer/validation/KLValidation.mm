#import "KLValidation.h"

#include <cstdio>
#include <string>

#include "KLConfigWriter.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"

namespace {

constexpr size_t kResourceDirectoryBuffer = 2048;
constexpr size_t kKeyBuffer = 256;

}  // namespace

kl::ValidationRequest KLValidationRequestFromRecord(KLTextDataProvider* record) {
  kl::ValidationRequest request;
  request.serverURL = KLStdString([record currentURL]);
  request.port = static_cast<int32_t>([record serverPort]);
  request.protocol = [record isHTTPS] ? "https" : "http";
  request.proxy = KLStdString([record proxyServer]);
  request.customerName = KLStdString([record customerName]);
  request.customerId = KLStdString([record customerId]);
  request.applianceId = static_cast<int32_t>([record applianceId]);
  return request;
}

int32_t launchvalidation(NSString* resourcePath, const kl::ValidationRequest& request) {
  std::string directory;
  if (resourcePath == nil || !KLCopyASCII(resourcePath, kResourceDirectoryBuffer, &directory)) {
    return launchvalidation(static_cast<const char*>(nullptr), request);
  }
  return launchvalidation(directory.c_str(), request);
}

int32_t KLRunValidationAttempt(KLTextDataProvider* record, NSString* resourcePath,
                               kl::ValidationRequest* used) {
  const kl::ValidationRequest request = KLValidationRequestFromRecord(record);
  if (used != nullptr) *used = request;
  kl::Platform& platform = kl::CurrentPlatform();
  const double start = platform.AbsoluteTime();
  const int32_t status = launchvalidation(resourcePath, request);
  char line[64] = {0};
  snprintf(line, sizeof line, "Validation took %.1f sec.", platform.AbsoluteTime() - start);
  platform.ConsoleLog(kl::ConsoleCategory::kValidation, line);
  return status;
}

kl::AttemptOutcome KLConcludeValidationAttempt(KLTextDataProvider* record, int32_t status,
                                               NSString* targetVolumePath) {
  struct SharedSteps : kl::VerdictSteps {
    NSString* volume;
    std::string ErrorString(int64_t code) override { return kl::ValidationStatusMessage(code); }
    bool WriteConfigFile(NSString* key) override { return KLWriteConfigFile(key, volume); }
  } steps;
  steps.volume = targetVolumePath;
  return KLConcludeValidationAttempt(record, status, steps);
}

kl::AttemptOutcome KLConcludeValidationAttempt(KLTextDataProvider* record, int32_t status,
                                               kl::VerdictSteps& steps) {
  kl::Platform& platform = kl::CurrentPlatform();
  platform.ConsoleLog(kl::ConsoleCategory::kValidation,
                      "Validation Done with Code " + std::to_string(status));
  kl::AttemptOutcome outcome{kl::AttemptVerdict::kFailed, steps.ErrorString(status)};
  if (outcome.message.empty()) {
    if (steps.WriteConfigFile([record activationKey])) {
      outcome.verdict = kl::AttemptVerdict::kSucceeded;
    }
    return outcome;
  }
  if ([record nextURL]) {
    outcome.verdict = kl::AttemptVerdict::kRetry;
    return outcome;
  }
  platform.ShowCriticalAlert(outcome.message);
  return outcome;
}

BOOL KLWriteConfigFile(NSString* activationKey, NSString* targetVolumePath) {
  std::string key;
  if (!KLCopyASCII(activationKey, kKeyBuffer, &key)) {
    kl::CurrentPlatform().ShowCriticalAlert("Activation key can only contain ASCII characters");
    return NO;
  }
  const std::string volume = KLStdString(targetVolumePath);
  return kl::WriteConfiguration(key, targetVolumePath != nil ? volume.c_str() : nullptr) ? YES : NO;
}
