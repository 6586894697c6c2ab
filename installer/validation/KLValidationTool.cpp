#include "KLValidationTool.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>

#include "KLHelper.h"
#include "KLInstallLog.h"

extern char** environ;

const char* const ERRORS[19] = {
    "The connectivity check is successful. The self registration is successful. The "
    "configuration file is created successfully.",
    "Input connection option is invalid. Missing server IP, protocol or port.",
    "Input connection option is invalid. Duplicate server IP, protocol or port.",
    "Input connection option is invalid. Missing configuration file path.",
    "Input connection option is invalid. Duplicate configuration file path.",
    "Input validation option is invalid. No customer name, customer ID or appliance ID.",
    "Input validation option is invalid. Only one item of customer name, customer ID or "
    "appliance ID can be included in the input.",
    "Input connection option is invalid. Missing install log file path.",
    "Input connection option is invalid. Duplicate install log file path.",
    "Unrecognized options in input.",
    "Connection failed. Can not connect to the server with the input parameters.",
    "Validation failed. The specified customer name can not be validated.",
    "Validation failed. The specified customer ID can not be validated.",
    "Validation failed. The specified appliance ID can not be validated.",
    "Local asset discovery failed. Check log file for more information.",
    "Server can not register the appliance. Contact system administrator for more information.",
    "Can not create or access the configuration file.",
    "Can not create or access the install log file.",
    "Runtime exception occurred.",
};

namespace {

// The status a shell gives for a command it could not execute.
constexpr int32_t kNotExecutedStatus = 127 << 8;

constexpr size_t kResourceDirectoryBuffer = 2048;

}  // namespace

std::string ValidationToolPath(const std::string& resourceDirectory) {
  std::string directory = resourceDirectory.substr(0, kResourceDirectoryBuffer - 1);
  directory.resize(strnlen(directory.c_str(), directory.size()));
  KLHelper::TrimSpace(directory);
  return directory + "/" + "InitialValidate";
}

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

int32_t RunAndWait(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);

  // The tool starts with every signal at its default and none blocked, as a command run by a
  // shell would, whatever this thread or a host has set up.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, pointers[0], nullptr, &attributes, pointers.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    // glibc reports a failed exec as the spawn's error. Only a lack of resources means that no
    // process could be started; everything else is a tool that cannot be executed.
    return (error == EAGAIN || error == ENOMEM) ? -1 : kNotExecutedStatus;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

int32_t launchvalidation(const char* resourceDirectory, const ValidationRequest& request) {
  if (resourceDirectory == nullptr) return -1;  // never build a path from a missing directory
  return RunAndWait(ValidationArguments(resourceDirectory, request));
}

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
