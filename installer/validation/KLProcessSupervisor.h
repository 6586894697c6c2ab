// The process supervisor: starts a program in a process group of its own through a waiter
// process of ours, waits for it, and makes sure nothing it starts outlives the attempt or its
// caller. The platform's ways of watching processes (kqueue, pidfd, the child subreaper) are
// decided here and in its waiter (KLProcessSupervisorWaiter.cpp), nowhere else.
#ifndef KELVORY_INSTALLER_VALIDATION_KLPROCESSSUPERVISOR_H_
#define KELVORY_INSTALLER_VALIDATION_KLPROCESSSUPERVISOR_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kl {

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

}  // namespace kl

/// kl::TerminateRunningTools by a plain C name, for a host that finds it in the loaded plug-in
/// (KLPluginNames.h).
extern "C" void KLTerminateRunningTools();

#endif  // KELVORY_INSTALLER_VALIDATION_KLPROCESSSUPERVISOR_H_
