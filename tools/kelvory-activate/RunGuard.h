// What keeps one headless activation within bounds: a time limit for the whole run, signals
// that end it cleanly, and a lock so that two runs never both append to the configuration.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_RUNGUARD_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_RUNGUARD_H_

#include <string>

namespace kl::activate {

/// Why a run has to stop early.
enum class StopReason { kNone, kTimedOut, kInterrupted };

/// Installs handlers for SIGTERM, SIGINT, SIGHUP and SIGALRM (unblocking them: a parent's
/// blocked mask must not make the run deaf) and starts the run's clock. When a stop comes, the
/// running validation tool's process group is sent SIGTERM, and SIGKILL 2 seconds later when
/// it is still there; no tool starts after that. Call first, before anything can take time
/// (it needs no initialized library but the C library's system calls); later calls do nothing.
void InstallStopHandlers();

/// Arms the time limit: `timeoutSeconds` (0: none) from InstallStopHandlers, so the whole run
/// counts, option parsing included. A limit already past stops the run at once.
void ArmTimeLimit(unsigned timeoutSeconds);

/// The first reason to stop that came, or kNone.
StopReason StopRequested();

/// Seconds left before the time limit armed by InstallStopHandlers; infinity when there is none.
double SecondsBeforeTimeLimit();

/// Waits `seconds`, or less when a stop comes meanwhile (its signal wakes the wait at once).
/// False when a stop was requested, before or during the wait.
bool PauseUnlessStopped(double seconds);

/// Waits until `fd` is readable (true) or a stop is requested (false), whichever comes first.
bool WaitUnlessStopped(int fd);

/// The lock's path: root's lies where only root can write, /var/run/kelvory-activate.lock, so
/// that nothing another user plants can block it; any other user's is the configuration file's
/// path with ".lock".
std::string ActivationLockPath();

enum class LockResult { kTaken, kStopped, kFailed };

/// Takes the activation lock, waiting while another run holds it, until the lock is taken
/// (kTaken), a stop is requested (kStopped), or the lock cannot be made at all (kFailed: no
/// space, a read-only or unwritable directory, something there that cannot be replaced; at
/// once, `*why` saying why with the system's reason). In a world-writable directory a lock that
/// is not a regular file of ours with a single link cannot be trusted, and is removed and made
/// anew when this process may. Held until the process ends.
LockResult AcquireActivationLock(std::string* why);

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_RUNGUARD_H_
