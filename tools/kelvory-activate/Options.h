// kelvory-activate's command line: its options and exit codes.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_OPTIONS_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_OPTIONS_H_

#include <sys/types.h>

#include <string>

namespace kl::activate {

enum class ExitCode : int {
  kActivated = 0,
  kRefused = 1,
  kUsage = 2,
  kFailed = 3,
  kConfigError = 4,  // the configuration, or the lock it is written under, could not be made
  kNoData = 5,       // no source gave any activation data
  kStopped = 6,      // timed out, interrupted, or another activation holds the lock
};

// The process's exit status for `code`.
constexpr int Code(ExitCode code) { return static_cast<int>(code); }

// Long enough for several server addresses that each take their full connection time, short
// enough that a stuck install ends well before a device-management system gives up on it.
constexpr unsigned kDefaultTimeoutSeconds = 300;

struct Options {
  std::string package, data, target = "/", tool;
  bool text = false, json = false, dryRun = false, unlessActivated = false;
  bool managed = false;
  bool retry = false;
  std::string managedPath;  // empty: the platform's forced preferences
  std::string installerUser;
  uid_t installerUid = 0;  // root's when no installer user is named
  unsigned timeout = kDefaultTimeoutSeconds;
  std::string key, customerName, customerId, server, protocol, port, proxy;
  bool hasKey = false, hasName = false, hasId = false, hasServer = false, hasProtocol = false,
       hasPort = false, hasProxy = false;
};

// Reads the command line into `o` and arms the time limit: -1 to go on, else the exit code
// (--help, a usage error, or a stop that came meanwhile).
int ReadCommandLine(int argc, char** argv, Options& o);

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_OPTIONS_H_
