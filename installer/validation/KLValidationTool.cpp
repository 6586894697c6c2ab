#include "KLValidationTool.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#if __has_include(<sys/prctl.h>)
#include <sys/prctl.h>
#endif

#include <atomic>
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

namespace {

// The running tools' process ids (each leads its own process group), read from signal
// handlers: lock-free atomics only. More than a few at once only happens in tests.
constexpr int kToolSlots = 64;
std::atomic<pid_t> g_runningTools[kToolSlots];
std::atomic<bool> g_toolsCancelled{false};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read from signal handlers");

int Register(pid_t pid) {
  for (int i = 0; i < kToolSlots; ++i) {
    pid_t empty = 0;
    if (g_runningTools[i].compare_exchange_strong(empty, pid)) return i;
  }
  return -1;  // untracked: it still ends with its caller through the parent-death signal
}

// Sleeps `milliseconds` (async-signal-safe).
void Nap(long milliseconds) {
  timespec pause{0, milliseconds * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// The child's side between fork and exec: only async-signal-safe calls. Writes errno to
// `report` when the exec fails.
[[noreturn]] void ExecTool(char* const* argv, const pid_t parent, int report) {
  setpgid(0, 0);  // its own group, so that ending it ends whatever it started too
#if defined(PR_SET_PDEATHSIG)
  // A caller killed outright takes the tool with it.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
#else
  (void)parent;
#endif
  // Every signal at its default and none blocked, as a command run by a shell would start,
  // whatever this thread or a host has set up.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &byDefault, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(argv[0], argv, environ);
  const int error = errno;
  while (write(report, &error, sizeof error) < 0 && errno == EINTR) {
  }
  _exit(127);
}

}  // namespace

int32_t RunAndWait(const std::vector<std::string>& argv) {
  if (argv.empty() || g_toolsCancelled.load()) return -1;
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);

  // The exec's failure comes back through a pipe that a successful exec closes.
  int report[2];
  if (pipe(report) != 0) return -1;
  fcntl(report[0], F_SETFD, FD_CLOEXEC);
  fcntl(report[1], F_SETFD, FD_CLOEXEC);
  // No handler of ours may run in the child before it has reset them all.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) ExecTool(pointers.data(), parent, report[1]);
  const int forkError = errno;
  if (pid > 0) setpgid(pid, pid);  // also here, so the group exists before anyone signals it
  const int slot = pid > 0 ? Register(pid) : -1;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    return (forkError == EAGAIN || forkError == ENOMEM) ? -1 : kNotExecutedStatus;
  }
  // A cancel that came before the tool was registered has not reached it.
  if (g_toolsCancelled.load()) kill(-pid, SIGKILL);

  int execError = 0;
  ssize_t got;
  do {
    got = read(report[0], &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (slot >= 0) g_runningTools[slot].store(0);
  if (waited < 0) return -1;
  // Whatever the tool left running in its group ends with it.
  kill(-pid, SIGKILL);
  if (got == static_cast<ssize_t>(sizeof execError)) {
    // Only a lack of resources means that nothing could be run; anything else is a tool that
    // cannot be executed.
    return (execError == EAGAIN || execError == ENOMEM) ? -1 : kNotExecutedStatus;
  }
  return status;
}

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
      const pid_t ended = waitpid(pid, nullptr, WNOHANG);
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
    if (pid > 0) waitpid(pid, nullptr, 0);
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
