// The waiter process and what it does between the tool's start and its end: watching the tool and
// the caller, and ending what the tool leaves behind.
#include "KLProcessSupervisorWaiter.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
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

#include <cstring>
#include <initializer_list>
#include <memory>

extern char** environ;

namespace kl {

// Sleeps `milliseconds` (async-signal-safe).
void Nap(long milliseconds) {
  timespec pause{0, milliseconds * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

namespace {

void Send(int fd, WaiterReport::Kind kind, int value) {
  const WaiterReport report{kind, value};
  while (write(fd, &report, sizeof report) < 0 && errno == EINTR) {
  }
}

#if defined(__linux__)
// The parent of process `name` (its /proc directory), from the fourth field of its stat line;
// the command name before it may hold spaces and parentheses, so the last ')' ends it. 0 when
// it cannot be read.
pid_t ParentOf(int proc, const char* name) {
  char path[64] = {0};
  size_t length = 0;
  while (name[length] != '\0' && length < 40) path[length] = name[length], ++length;
  for (const char c : {'/', 's', 't', 'a', 't'}) path[length++] = c;
  const int fd = openat(proc, path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char line[512];
  const ssize_t got = read(fd, line, sizeof line - 1);
  close(fd);
  if (got <= 0) return 0;
  const char* at = nullptr;
  for (ssize_t i = 0; i < got; ++i) {
    if (line[i] == ')') at = line + i;
  }
  if (at == nullptr || at + 4 >= line + got) return 0;
  pid_t parent = 0;
  for (at += 4; at < line + got && *at >= '0' && *at <= '9'; ++at)
    parent = parent * 10 + (*at - '0');
  return parent;
}

// Sends SIGKILL to every child of this process, found in /proc (the kernel's list of children
// is not in every build). Returns how many.
int KillOwnChildren() {
  const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return 0;
  const pid_t self = getpid();
  int killed = 0;
  alignas(8) char entries[4096];
  for (;;) {
    const long got = syscall(SYS_getdents64, proc, entries, sizeof entries);
    if (got <= 0) break;
    for (long at = 0; at < got;) {
      // linux_dirent64: inode (8 bytes), offset (8), record length (2), type (1), name.
      unsigned short length = 0;
      memcpy(&length, entries + at + 16, sizeof length);
      const char* name = entries + at + 19;
      at += length;
      pid_t pid = 0;
      const char* c = name;
      for (; *c >= '0' && *c <= '9'; ++c) pid = pid * 10 + (*c - '0');
      if (*c != '\0' || pid <= 0 || ParentOf(proc, name) != self) continue;
      kill(pid, SIGKILL);
      ++killed;
    }
  }
  close(proc);
  return killed;
}
#endif

// Ends whatever the tool left: its process group and, on Linux, every process the waiter has
// adopted as the child subreaper (those that left the group with setsid and whose parent
// ended), until it has no child left; each one ended frees its own children to the waiter. On
// macOS a process that left the group escapes. Cheap when nothing is left: one wait.
void EndLeftovers(pid_t tool) {
  kill(-tool, SIGKILL);
#if defined(__linux__)
  for (int round = 0; round < 10000; ++round) {
    const pid_t ended = waitpid(-1, nullptr, WNOHANG | __WALL);
    if (ended > 0 || (ended < 0 && errno == EINTR)) continue;
    if (ended < 0) return;               // ECHILD: none left
    if (KillOwnChildren() == 0) return;  // children that cannot be found (no /proc)
    while (waitpid(-1, nullptr, __WALL) < 0 && errno == EINTR) {
    }
  }
#endif
}

// The waiter's way out when its caller has gone: the tool and everything it left, then itself.
[[noreturn]] void EndGroup(pid_t tool) {
  EndLeftovers(tool);
  _exit(127);
}

[[noreturn]] void SendStatus(const WaiterStart* start, pid_t tool, int status) {
  EndLeftovers(tool);
  Send(start->report, WaiterReport::Kind::kStatus, status);
  _exit(0);
}

// Reaps the tool, which has ended, and sends its status once what it left has ended too. Its
// group is signalled first, while the tool's pid still holds the group's id.
[[noreturn]] void ReportTool(const WaiterStart* start, pid_t tool) {
  kill(-tool, SIGKILL);
  int status = 0;
  while (waitpid(tool, &status, 0) < 0) {
    if (errno != EINTR) _exit(127);
  }
  SendStatus(start, tool, status);
}

// Whichever ends first, the tool or the caller, seen by looking every 20 ms: for systems with no
// way to wait for a process that is not a child, and when setting one up failed. A caller that
// has gone leaves the waiter to another parent.
[[noreturn]] void PollToolAndCaller(const WaiterStart* start, pid_t tool) {
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(tool, &status, WNOHANG);
    if (ended == tool) SendStatus(start, tool, status);
    if (ended < 0 && errno != EINTR) _exit(127);
    if (getppid() != start->caller) EndGroup(tool);
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
  if (getppid() != start->caller) EndGroup(tool);
  for (;;) {
    struct kevent event;
    const int got = kevent(queue, nullptr, 0, &event, 1, nullptr);
    if (got < 0 && errno != EINTR) PollToolAndCaller(start, tool);
    if (got != 1) continue;
    if (event.ident == static_cast<uintptr_t>(start->caller)) EndGroup(tool);
    if (event.ident == static_cast<uintptr_t>(tool)) ReportTool(start, tool);
  }
#elif defined(__linux__) && defined(SYS_pidfd_open)
  const int caller = static_cast<int>(syscall(SYS_pidfd_open, start->caller, 0));
  const int toolEnd = caller < 0 ? -1 : static_cast<int>(syscall(SYS_pidfd_open, tool, 0));
  if (toolEnd < 0) {
    if (caller >= 0) close(caller);
    PollToolAndCaller(start, tool);  // ENOSYS before Linux 5.3; ESRCH: the caller has gone
  }
  if (getppid() != start->caller) EndGroup(tool);
  pollfd watches[2] = {{caller, POLLIN, 0}, {toolEnd, POLLIN, 0}};
  for (;;) {
    if (poll(watches, 2, -1) < 0) {
      if (errno != EINTR) PollToolAndCaller(start, tool);
      continue;
    }
    if (watches[0].revents != 0) EndGroup(tool);
    if (watches[1].revents != 0) ReportTool(start, tool);
  }
#else
  PollToolAndCaller(start, tool);
#endif
}

// The tool is not our child but the child of a waiter of ours, which waits for it and sends its
// status through a pipe. A host may reap every child it has with waitpid(-1) (GNUstep's NSTask
// does, on each SIGCHLD), which would take a child's status from us; nobody else can take it
// from the waiter. The tool leads the process group that ending it signals; the waiter is in a
// group of its own and ignores every signal but SIGKILL. It watches its caller and, however the
// caller ends, ends the tool and everything it left before it goes, so it takes no parent-death
// signal (one would kill it at the same instant as its caller, before it could): the tool has
// one, as a second line should the waiter itself be killed. Only async-signal-safe calls here,
// and nothing that writes memory the caller uses: the waiter may share it.
int RunWaiter(void* argument) {
  const WaiterStart* start = static_cast<const WaiterStart*>(argument);
  setpgid(0, 0);
#if defined(PR_SET_CHILD_SUBREAPER)
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // what the tool's processes leave comes to the waiter
#endif
  if (getppid() != start->caller) _exit(127);  // gone already: start nothing
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGCHLD) sigaction(signal, &ignore, nullptr);
  }
  const pid_t waiter = getpid();
#if defined(__linux__)
  const pid_t tool = vfork();
#else
  const pid_t tool = fork();  // vfork is deprecated in Apple's SDK
#endif
  if (tool == 0) {
    setpgid(0, 0);
#if defined(PR_SET_PDEATHSIG)
    if (start->parentDeathSignal) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != waiter) _exit(127);
    }
#endif
    // Every signal at its default and none blocked, as a command run by a shell would start.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(start->argv[0], start->argv, environ);
    Send(start->report, WaiterReport::Kind::kNotStarted, errno);
    _exit(127);
  }
  if (tool < 0) {
    Send(start->report, WaiterReport::Kind::kNotStarted, errno);
    _exit(127);
  }
  setpgid(tool, tool);  // fails once the tool has executed, which made the group itself
  Send(start->report, WaiterReport::Kind::kStarted, tool);
  WatchToolAndCaller(start, tool);
}

}  // namespace

#if KL_WAITER_CLONED
constexpr size_t kWaiterStackBytes = 64 * 1024;
pid_t StartWaiter(WaiterStart* start, std::unique_ptr<char[]>* stack) {
  stack->reset(new char[kWaiterStackBytes]);
  return clone(RunWaiter, stack->get() + kWaiterStackBytes, CLONE_VM, start);
}
#else
pid_t StartWaiter(WaiterStart* start, std::unique_ptr<char[]>*) {
  const pid_t pid = fork();
  if (pid == 0) RunWaiter(start);
  return pid;
}
#endif

}  // namespace kl
