#include "KLValidationTool.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#if __has_include(<sys/prctl.h>)
#include <sys/prctl.h>
#endif
#if defined(__linux__)
#include <sys/syscall.h>
#endif
#if defined(__APPLE__)
#include <sys/event.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

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

namespace {

// The running tools' process ids (each leads its own process group), read from signal
// handlers: lock-free atomics only. More than a few at once only happens in tests.
constexpr int kToolSlots = 64;
std::atomic<pid_t> g_runningTools[kToolSlots];
std::atomic<bool> g_toolsCancelled{false};
std::atomic<bool> g_parentDeathSignal{true};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read from signal handlers");

int Register(pid_t pid) {
  for (int i = 0; i < kToolSlots; ++i) {
    pid_t empty = 0;
    if (g_runningTools[i].compare_exchange_strong(empty, pid)) return i;
  }
  return -1;  // untracked: its waiter still ends it with its caller
}

// Sleeps `milliseconds` (async-signal-safe).
void Nap(long milliseconds) {
  timespec pause{0, milliseconds * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// What the waiter reports through its pipe: the tool's wait status, or the errno of a tool
// that could not be started or executed.
struct Report {
  enum Kind : int { kStatus = 1, kNotStarted = 2 } kind;
  int value;
};

// What the waiter needs; it only reads this.
struct WaiterStart {
  char* const* argv;
  pid_t caller;
  int report;              // the pipe's write end
  bool parentDeathSignal;  // g_parentDeathSignal, read before the waiter starts
};

void Send(int fd, Report::Kind kind, int value) {
  const Report report{kind, value};
  while (write(fd, &report, sizeof report) < 0 && errno == EINTR) {
  }
}

// The waiter's way out when its caller has gone: its whole group, the tool and whatever the tool
// started, and the waiter itself.
[[noreturn]] void EndGroup() {
  kill(-getpid(), SIGKILL);
  _exit(127);  // not reached unless the group could not be signalled
}

[[noreturn]] void SendStatus(const WaiterStart* start, int status) {
  Send(start->report, Report::kStatus, status);
  _exit(0);
}

// Reaps the tool, which has ended, and sends its status.
[[noreturn]] void ReportTool(const WaiterStart* start, pid_t tool) {
  int status = 0;
  while (waitpid(tool, &status, 0) < 0) {
    if (errno != EINTR) _exit(127);
  }
  SendStatus(start, status);
}

// Whichever ends first, the tool or the caller, seen by looking every 20 ms: for systems with no
// way to wait for a process that is not a child, and when setting one up failed. A caller that
// has gone leaves the waiter to another parent.
[[noreturn]] void PollToolAndCaller(const WaiterStart* start, pid_t tool) {
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(tool, &status, WNOHANG);
    if (ended == tool) SendStatus(start, status);
    if (ended < 0 && errno != EINTR) _exit(127);
    if (getppid() != start->caller) EndGroup();
    Nap(20);
  }
}

// Waits in one call for whichever ends first, the tool or the caller. The caller is checked again
// once it is watched: it may have gone before.
[[noreturn]] void WatchToolAndCaller(const WaiterStart* start, pid_t tool) {
#if defined(__APPLE__)
  const int queue = kqueue();
  struct kevent watches[2];
  EV_SET(&watches[0], start->caller, EVFILT_PROC, EV_ADD, NOTE_EXIT, 0, nullptr);
  EV_SET(&watches[1], tool, EVFILT_PROC, EV_ADD, NOTE_EXIT, 0, nullptr);
  if (queue < 0 || kevent(queue, watches, 2, nullptr, 0, nullptr) != 0) {
    PollToolAndCaller(start, tool);  // ESRCH included: one of them has already ended
  }
  if (getppid() != start->caller) EndGroup();
  for (;;) {
    struct kevent event;
    const int got = kevent(queue, nullptr, 0, &event, 1, nullptr);
    if (got < 0 && errno != EINTR) PollToolAndCaller(start, tool);
    if (got != 1) continue;
    if (event.ident == static_cast<uintptr_t>(start->caller)) EndGroup();
    if (event.ident == static_cast<uintptr_t>(tool)) ReportTool(start, tool);
  }
#elif defined(__linux__) && defined(SYS_pidfd_open)
  const int caller = static_cast<int>(syscall(SYS_pidfd_open, start->caller, 0));
  const int toolEnd = caller < 0 ? -1 : static_cast<int>(syscall(SYS_pidfd_open, tool, 0));
  if (toolEnd < 0) {
    if (caller >= 0) close(caller);
    PollToolAndCaller(start, tool);  // ENOSYS before Linux 5.3; ESRCH: the caller has gone
  }
  if (getppid() != start->caller) EndGroup();
  pollfd watches[2] = {{caller, POLLIN, 0}, {toolEnd, POLLIN, 0}};
  for (;;) {
    if (poll(watches, 2, -1) < 0) {
      if (errno != EINTR) PollToolAndCaller(start, tool);
      continue;
    }
    if (watches[0].revents != 0) EndGroup();
    if (watches[1].revents != 0) ReportTool(start, tool);
  }
#else
  PollToolAndCaller(start, tool);
#endif
}

// The tool is not our child but the child of a waiter of ours, which waits for it and sends its
// status through a pipe. A host may reap every child it has with waitpid(-1) (GNUstep's NSTask
// does, on each SIGCHLD), which would take a child's status from us; nobody else can take it
// from the waiter. The waiter leads the process group that ending a tool signals; it ignores
// every signal but SIGKILL, so the tool alone decides what a SIGTERM means. It watches its caller
// and ends the group when the caller ends, however it ends; on Linux a parent-death signal is a
// second line. Only async-signal-safe calls here, and nothing that writes memory the caller
// uses: the waiter may share it.
int RunWaiter(void* argument) {
  const WaiterStart* start = static_cast<const WaiterStart*>(argument);
  setpgid(0, 0);
#if defined(PR_SET_PDEATHSIG)
  if (start->parentDeathSignal) prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
  if (getppid() != start->caller) _exit(127);  // gone already: start nothing
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGCHLD) sigaction(signal, &ignore, nullptr);
  }
  const pid_t waiter = getpid();
  const pid_t tool = vfork();
  if (tool == 0) {
    // Every signal at its default and none blocked, as a command run by a shell would start.
#if defined(PR_SET_PDEATHSIG)
    if (start->parentDeathSignal) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != waiter) _exit(127);
    }
#endif
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(start->argv[0], start->argv, environ);
    Send(start->report, Report::kNotStarted, errno);
    _exit(127);
  }
  if (tool < 0) {
    Send(start->report, Report::kNotStarted, errno);
    _exit(127);
  }
  WatchToolAndCaller(start, tool);
}

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Like a thread that is a process of its own: no copy of this (large) process is made. Its end
// sends no SIGCHLD and only a wait with __WALL sees it. (Sanitizers keep per-thread state that
// such a process would share with the thread that made it, so their builds fork instead.)
constexpr int kWaitOptions = __WALL;
constexpr size_t kWaiterStackBytes = 64 * 1024;
pid_t StartWaiter(WaiterStart* start, std::unique_ptr<char[]>* stack) {
  stack->reset(new char[kWaiterStackBytes]);
  return clone(RunWaiter, stack->get() + kWaiterStackBytes, CLONE_VM, start);
}
#else
constexpr int kWaitOptions = 0;
pid_t StartWaiter(WaiterStart* start, std::unique_ptr<char[]>*) {
  const pid_t pid = fork();
  if (pid == 0) RunWaiter(start);
  return pid;
}
#endif

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
  const pid_t waiter = StartWaiter(&start, &stack);
  if (waiter > 0) setpgid(waiter, waiter);  // also here: the group exists before anyone signals
  const int slot = waiter > 0 ? Register(waiter) : -1;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  close(pipeEnds[1]);
  if (waiter < 0) {
    close(pipeEnds[0]);
    return -1;
  }
  // A cancel that came before the waiter was registered has not reached it.
  if (g_toolsCancelled.load()) kill(-waiter, SIGKILL);

  // The waiter's report, then the end of the pipe: the waiter has ended (or been killed).
  Report report{Report::kStatus, -1};
  bool reported = false;
  for (;;) {
    Report next{};
    const ssize_t got = read(pipeEnds[0], &next, sizeof next);
    if (got < 0 && errno == EINTR) continue;
    if (got != static_cast<ssize_t>(sizeof next)) break;
    if (!reported || next.kind == Report::kNotStarted) report = next;
    reported = true;
  }
  close(pipeEnds[0]);
  int waiterStatus = 0;
  pid_t waited;
  do {
    waited = waitpid(waiter, &waiterStatus, kWaitOptions);
  } while (waited < 0 && errno == EINTR);
  if (slot >= 0) g_runningTools[slot].store(0);
  // Whatever the tool left running in its group ends with it.
  kill(-waiter, SIGKILL);
  if (!reported) {
    // The waiter was killed, so the tool was too: a tool ended by a signal.
    return waited == waiter && WIFSIGNALED(waiterStatus) ? waiterStatus : SIGKILL;
  }
  if (report.kind == Report::kNotStarted) {
    // Only a lack of resources means that nothing could be run; anything else is a tool that
    // cannot be executed.
    return (report.value == EAGAIN || report.value == ENOMEM) ? -1 : kNotExecutedStatus;
  }
  return report.value;
}

void SetParentDeathSignalForTesting(bool enabled) { g_parentDeathSignal.store(enabled); }

void CancelRunningTools(int signal) {
  g_toolsCancelled.store(true);
  for (std::atomic<pid_t>& slot : g_runningTools) {
    const pid_t pid = slot.load();
    if (pid > 0) kill(-pid, signal);
  }
}

void TerminateRunningTools() {
  CancelRunningTools(SIGTERM);
  for (int waited = 0; waited < 200; ++waited) {  // up to 2 s for them to end on their own
    bool running = false;
    for (std::atomic<pid_t>& slot : g_runningTools) {
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
  CancelRunningTools(SIGKILL);
  for (std::atomic<pid_t>& slot : g_runningTools) {
    const pid_t pid = slot.load();
    if (pid > 0) waitpid(pid, nullptr, kWaitOptions);
  }
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
