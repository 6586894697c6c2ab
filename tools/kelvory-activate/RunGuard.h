// What keeps one headless activation within bounds: a time limit for the whole run, signals
// that end it cleanly, and a lock so that two runs never both append to the configuration.
#ifndef KELVORY_TOOLS_ACTIVATE_RUNGUARD_H_
#define KELVORY_TOOLS_ACTIVATE_RUNGUARD_H_

#include <string>

namespace kl {

/// Why a run has to stop early.
enum class StopReason { kNone, kTimedOut, kInterrupted };

/// Installs handlers for SIGTERM, SIGINT and SIGHUP, and arms a time limit of
/// `timeoutSeconds` (0: none) for the rest of the run. When either comes, the running
/// validation tool's process group is sent SIGTERM, and SIGKILL 2 seconds later when it is
/// still there; no tool starts after that. Call once, early.
void InstallStopHandlers(unsigned timeoutSeconds);

/// The first reason to stop that came, or kNone.
StopReason StopRequested();

/// Seconds left before the time limit armed by InstallStopHandlers; infinity when there is none.
double SecondsBeforeTimeLimit();

/// Waits `seconds`, or less when a stop comes meanwhile (its signal wakes the wait at once).
/// False when a stop was requested, before or during the wait.
bool PauseUnlessStopped(double seconds);

/// The lock's path: the configuration file's path with ".lock".
std::string ActivationLockPath();

/// Takes the activation lock, waiting while another run holds it, until the lock is taken
/// (true) or a stop is requested (false; `*why` says why). The lock file lies in a
/// world-writable directory: one that is not a regular file of ours with a single link cannot
/// be trusted, and is removed and made anew when this process may (root may); otherwise the
/// lock is refused. Held until the process ends.
bool AcquireActivationLock(std::string* why);

}  // namespace kl

#endif  // KELVORY_TOOLS_ACTIVATE_RUNGUARD_H_
