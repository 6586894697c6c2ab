// The supervisor's waiter: a process of ours that starts the tool, waits for it, reports through
// a pipe and ends whatever the tool leaves. Only KLProcessSupervisor.cpp uses it.
#ifndef KELVORY_INSTALLER_VALIDATION_KLPROCESSSUPERVISORWAITER_H_
#define KELVORY_INSTALLER_VALIDATION_KLPROCESSSUPERVISORWAITER_H_

#include <sys/types.h>
#include <sys/wait.h>

#include <memory>

namespace kl {

// What the waiter reports through its pipe: the tool's process id once it runs, then its wait
// status, or the errno of a tool that could not be started or executed.
struct WaiterReport {
  enum class Kind : int { kStatus = 1, kNotStarted = 2, kStarted = 3 } kind;
  int value;  // kStarted: the tool's process id
};

// What the waiter needs; it only reads this.
struct WaiterStart {
  char* const* argv;
  pid_t caller;
  int report;              // the pipe's write end
  bool parentDeathSignal;  // the tool's, read by kl::RunAndWait before the waiter starts
};

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Like a thread that is a process of its own: no copy of this (large) process is made. Its end
// sends no SIGCHLD and only a wait with __WALL sees it. (Sanitizers keep per-thread state that
// such a process would share with the thread that made it, so their builds fork instead.)
#define KL_WAITER_CLONED 1
constexpr int kWaitOptions = __WALL;
#else
#define KL_WAITER_CLONED 0
constexpr int kWaitOptions = 0;
#endif

/// Starts the waiter for `start` (which must outlive it); `stack` keeps what it runs on. Its
/// process id, or -1.
pid_t StartWaiter(WaiterStart* start, std::unique_ptr<char[]>* stack);

// Sleeps `milliseconds` (async-signal-safe).
void Nap(long milliseconds);

}  // namespace kl

#endif  // KELVORY_INSTALLER_VALIDATION_KLPROCESSSUPERVISORWAITER_H_
