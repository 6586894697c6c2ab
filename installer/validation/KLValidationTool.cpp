#include "KLValidationTool.h"

#include <cstdio>
#include <cstring>

#include "KLHelper.h"
#include "KLInstallLog.h"
#include "KLToolExitCodes.h"

// The tool's exit-code table holds the texts.
const char* const ERRORS[19] = {
    kl::kToolExitCodeTexts[0].message,  kl::kToolExitCodeTexts[1].message,
    kl::kToolExitCodeTexts[2].message,  kl::kToolExitCodeTexts[3].message,
    kl::kToolExitCodeTexts[4].message,  kl::kToolExitCodeTexts[5].message,
    kl::kToolExitCodeTexts[6].message,  kl::kToolExitCodeTexts[7].message,
    kl::kToolExitCodeTexts[8].message,  kl::kToolExitCodeTexts[9].message,
    kl::kToolExitCodeTexts[10].message, kl::kToolExitCodeTexts[11].message,
    kl::kToolExitCodeTexts[12].message, kl::kToolExitCodeTexts[13].message,
    kl::kToolExitCodeTexts[14].message, kl::kToolExitCodeTexts[15].message,
    kl::kToolExitCodeTexts[16].message, kl::kToolExitCodeTexts[17].message,
    kl::kToolExitCodeTexts[18].message,
};

namespace {

constexpr size_t kResourceDirectoryBuffer = 2048;

}  // namespace

std::string kl::ValidationToolPath(const std::string& resourceDirectory) {
  std::string directory = resourceDirectory.substr(0, kResourceDirectoryBuffer - 1);
  directory.resize(strnlen(directory.c_str(), directory.size()));
  KLHelper::TrimSpace(directory);
  return directory + "/" + "InitialValidate";
}

namespace kl {

std::vector<std::string> ValidationArguments(const std::string& resourceDirectory,
                                             const ValidationRequest& request) {
  std::vector<std::string> argv{
      ValidationToolPath(resourceDirectory), "-s", request.serverURL, "-n",
      std::to_string(request.port),          "-p", request.protocol};
  if (!request.proxy.empty()) argv.insert(argv.end(), {"-x", request.proxy});
  argv.insert(argv.end(), {"-f", ConfigFilePath()});
  if (!request.customerName.empty()) argv.insert(argv.end(), {"-c", request.customerName});
  if (!request.customerId.empty()) argv.insert(argv.end(), {"-i", request.customerId});
  if (request.applianceId != 0) {
    argv.insert(argv.end(), {"-a", std::to_string(request.applianceId)});
  }
  argv.insert(argv.end(), {"-l", InstallLogPath()});
  return argv;
}

}  // namespace kl

int32_t launchvalidation(const char* resourceDirectory, const kl::ValidationRequest& request) {
  if (resourceDirectory == nullptr) return -1;  // never build a path from a missing directory
  return kl::RunAndWait(kl::ValidationArguments(resourceDirectory, request));
}

namespace kl {

std::string ValidationStatusMessage(int64_t status) {
  const int64_t code = status >> 8;
  if (status == -1 || code == 127) return "Launch script failed";
  if (code >= 1 && code <= 18) return ERRORS[code];
  if (code == 0) {
    // 1 to 255: the tool was ended by a signal, which must never read as success.
    return status == 0 ? std::string() : std::string("Launch script failed");
  }
  char message[128] = {0};
  snprintf(message, sizeof message, "Launch script returned unexpected error code: %ld",
           static_cast<long>(code));
  return message;
}

}  // namespace kl
