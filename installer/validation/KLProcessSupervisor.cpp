#include "KLProcessSupervisor.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>

#include "KLProcessSupervisorWaiter.h"

namespace kl {

namespace {

// The status a shell gives for a command it could not execute.
constexpr int32_t kNotExecutedStatus = 127 << 8;

// The running attempts, read from signal handlers: lock-free atomics only. Each slot holds a
// waiter's process id and, once the waiter has reported it, its tool's, which leads the process
// group that ending the tool signals. More than a few at once only happens in tests.
constexpr int kToolSlots = 64;
std::atomic<pid_t> g_waiters[kToolSlots];
std::atomic<pid_t> g_tools[kToolSlots];
std::atomic<bool> g_toolsCancelled{false};
std::atomic<int> g_cancelSignal{0};  // the last signal kl::CancelRunningTools sent
std::atomic<bool> g_parentDeathSignal{true};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read from signal handlers");

int Register(pid_t waiter) {
  for (int i = 0; i < kToolSlots; ++i) {
    pid_t empty = 0;
    if (g_waiters[i].compare_exchange_strong(empty, waiter)) return i;
  }
  return -1;  // untracked: its waiter still ends the tool with its caller
}

}  // namespace

int32_t RunAndWait(const std::vector<std::string>& argv) {
  if (argv.empty() || g_toolsCancelled.load()) return -1;
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);

  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -1;
  fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
  fcntl(pipeEnds[1], F_SETFD, FD_CLOEXEC);
  // No handler of ours may run in the waiter before it has set its own.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  WaiterStart start{pointers.data(), getpid(), pipeEnds[1], g_parentDeathSignal.load()};
  std::unique_ptr<char[]> stack;
  const pid_t waiter = kl::StartWaiter(&start, &stack);
  if (waiter > 0) setpgid(waiter, waiter);
  const int slot = waiter > 0 ? Register(waiter) : -1;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  close(pipeEnds[1]);
  if (waiter < 0) {
    close(pipeEnds[0]);
    return -1;
  }

  // The tool's process id, then its status, then the end of the pipe: the waiter has ended (or
  // been killed).
  WaiterReport report{WaiterReport::Kind::kStatus, -1};
  bool reported = false;
  pid_t tool = 0;
  for (;;) {
    WaiterReport next{};
    const ssize_t got = read(pipeEnds[0], &next, sizeof next);
    if (got < 0 && errno == EINTR) continue;
    if (got != static_cast<ssize_t>(sizeof next)) break;
    if (next.kind == WaiterReport::Kind::kStarted) {
      tool = next.value;
      if (slot >= 0) g_tools[slot].store(tool);
      // A cancel that came before the tool was known has not reached it.
      const int signal = g_cancelSignal.load();
      if (g_toolsCancelled.load() && signal != 0) kill(-tool, signal);
      continue;
    }
    if (!reported || next.kind == WaiterReport::Kind::kNotStarted) report = next;
    reported = true;
  }
  close(pipeEnds[0]);
  int waiterStatus = 0;
  pid_t waited;
  do {
    waited = waitpid(waiter, &waiterStatus, kWaitOptions);
  } while (waited < 0 && errno == EINTR);
  if (slot >= 0) {
    g_tools[slot].store(0);
    g_waiters[slot].store(0);
  }
  if (!reported) {
    // The waiter was killed: the tool dies by its parent-death signal, and its group here.
    if (tool > 0) kill(-tool, SIGKILL);
    return waited == waiter && WIFSIGNALED(waiterStatus) ? waiterStatus : SIGKILL;
  }
  if (report.kind == WaiterReport::Kind::kNotStarted) {
    // Only a lack of resources means that nothing could be run; anything else is a tool that
    // cannot be executed.
    return (report.value == EAGAIN || report.value == ENOMEM) ? -1 : kNotExecutedStatus;
  }
  return report.value;
}

void SetParentDeathSignalForTesting(bool enabled) { g_parentDeathSignal.store(enabled); }

void CancelRunningTools(int signal) {
  g_cancelSignal.store(signal);
  g_toolsCancelled.store(true);
  for (std::atomic<pid_t>& slot : g_tools) {
    const pid_t pid = slot.load();
    if (pid > 0) kill(-pid, signal);
  }
}

}  // namespace kl

extern "C" void KLTerminateRunningTools() { kl::TerminateRunningTools(); }

namespace kl {

void TerminateRunningTools() {
  CancelRunningTools(SIGTERM);
  for (int waited = 0; waited < 200; ++waited) {  // up to 2 s for them to end on their own
    bool running = false;
    for (std::atomic<pid_t>& slot : g_waiters) {
      const pid_t pid = slot.load();
      if (pid <= 0) continue;
      const pid_t ended = waitpid(pid, nullptr, WNOHANG | kWaitOptions);
      if (ended == pid || (ended < 0 && errno == ECHILD)) {
        pid_t expected = pid;
        slot.compare_exchange_strong(expected, 0);
      } else {
        running = true;
      }
    }
    if (!running) return;
    Nap(10);
  }
  // Each waiter ends once its tool has, after ending what the tool left.
  CancelRunningTools(SIGKILL);
  for (std::atomic<pid_t>& slot : g_waiters) {
    const pid_t pid = slot.load();
    if (pid > 0) waitpid(pid, nullptr, kWaitOptions);
  }
}

}  // namespace kl
