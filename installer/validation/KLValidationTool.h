// The validation tool InitialValidate: its argument vector, its launch, and the message for the
// status it ends with.
#ifndef KELVORY_VALIDATION_KLVALIDATIONTOOL_H_
#define KELVORY_VALIDATION_KLVALIDATIONTOOL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "KLInstallLog.h"  // ConfigFilePath, InstallLogPath

/// The messages for the tool's exit codes 0 to 18; entry 0 is never shown (exit code 0 is
/// success, which has the empty message).
extern const char* const ERRORS[19];

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

/// Starts argv[0] with `argv` (no shell; the environment is this process's; every signal at
/// its default) in a process group of its own, and waits for it. Nothing the tool starts outlives
/// the attempt or its caller: a waiter process of ours, the tool's parent, ends the tool's group
/// when the tool ends, and when its caller ends without CancelRunningTools or
/// TerminateRunningTools, SIGKILL included (it watches the caller: kqueue on macOS, a pidfd on
/// Linux, else a look every 20 ms). On Linux it is also the child subreaper of what the tool
/// leaves and ends those processes too, those that left the group included; the tool has a
/// parent-death signal as a second line. Returns the wait status; the status of exit code 127
/// (32512) when the program could not be executed (missing, not executable); -1 when no process
/// could be started at all, `argv` is empty, or the tools have been cancelled.
int32_t RunAndWait(const std::vector<std::string>& argv);

/// For tests only: `false` starts later tools without Linux's parent-death signal, so that the
/// waiter is all that ends them with their caller. On by default; read by RunAndWait before it
/// starts the waiter.
void SetParentDeathSignalForTesting(bool enabled);

/// Sends `signal` to the process group of every tool that RunAndWait is waiting for, and makes
/// every later RunAndWait start nothing (-1). Async-signal-safe: meant for a caller's SIGTERM
/// handler or time limit, after which the waiting RunAndWait returns the ended tool's status.
void CancelRunningTools(int signal);

/// CancelRunningTools(SIGTERM), up to 2 seconds for the tools to end, then SIGKILL for what is
/// left, and waits for them. Async-signal-safe; for a caller that is about to exit.
void TerminateRunningTools();

/// TerminateRunningTools by a plain C name, for a host that finds it in the loaded plug-in
/// (KLPluginNames.h).
extern "C" void KLTerminateRunningTools();

/// Runs the tool for one attempt and returns its status (see RunAndWait). `resourceDirectory`
/// is the ASCII form of the plug-in's resource directory; null when it has none, and then
/// nothing is started and the status is -1. Blocks until the tool has ended.
int32_t launchvalidation(const char* resourceDirectory, const ValidationRequest& request);

/// The user's message for a status: the empty text for success (a normal exit with code 0),
/// "Launch script failed" when the tool could not be started or run (status -1, exit code 127)
/// or was ended by a signal, the ERRORS entry for exit codes 1 to 18, and "Launch script
/// returned unexpected error code: N" for any other code N (the status shifted right by 8 bits
/// with its sign).
std::string ValidationStatusMessage(int64_t status);

#endif  // KELVORY_VALIDATION_KLVALIDATIONTOOL_H_
