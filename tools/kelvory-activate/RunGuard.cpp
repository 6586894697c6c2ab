#include "RunGuard.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "KLValidationTool.h"

namespace kl::activate {
namespace {

std::atomic<int> g_stop{static_cast<int>(StopReason::kNone)};
static_assert(std::atomic<int>::is_always_lock_free, "set from signal handlers");

// Grace the tool gets between SIGTERM and SIGKILL.
constexpr unsigned kGraceSeconds = 2;

// A pipe the stop signals write to, so that a pause waiting on it wakes even when the signal
// comes between its last look at g_stop and the wait (a sleep would miss that one).
int g_wake[2] = {-1, -1};
double g_start = 0;
double g_deadline = std::numeric_limits<double>::infinity();

double Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void OnStopSignal(int signal) {
  const int reason =
      static_cast<int>(signal == SIGALRM ? StopReason::kTimedOut : StopReason::kInterrupted);
  int none = static_cast<int>(StopReason::kNone);
  if (g_stop.compare_exchange_strong(none, reason)) {
    CancelRunningTools(SIGTERM);
    alarm(kGraceSeconds);  // the next SIGALRM escalates
  } else if (signal == SIGALRM) {
    CancelRunningTools(SIGKILL);
  }
  const int saved = errno;
  if (g_wake[1] >= 0) (void)!write(g_wake[1], "", 1);  // full: a wake is already pending
  errno = saved;
}

}  // namespace

void InstallStopHandlers() {
  if (g_start != 0) return;
  g_start = Now();
  if (pipe(g_wake) == 0) {
    for (const int fd : g_wake) {
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      fcntl(fd, F_SETFL, O_NONBLOCK);
    }
  } else {
    g_wake[0] = g_wake[1] = -1;  // pauses then wake only when their time is up
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGALRM}) {
    sigaction(signal, &action, nullptr);
    sigaddset(&stops, signal);
  }
  sigprocmask(SIG_UNBLOCK, &stops, nullptr);
}

void ArmTimeLimit(unsigned timeoutSeconds) {
  if (timeoutSeconds == 0) return;
  g_deadline = g_start + timeoutSeconds;
  const double left = g_deadline - Now();
  if (left <= 0) {
    raise(SIGALRM);
    return;
  }
  itimerval limit{};
  limit.it_value.tv_sec = static_cast<time_t>(left);
  limit.it_value.tv_usec = static_cast<suseconds_t>((left - std::floor(left)) * 1e6) + 1;
  setitimer(ITIMER_REAL, &limit, nullptr);
}

StopReason StopRequested() { return static_cast<StopReason>(g_stop.load()); }

double SecondsBeforeTimeLimit() { return g_deadline - Now(); }

bool PauseUnlessStopped(double seconds) {
  const double end = Now() + seconds;
  for (;;) {
    if (StopRequested() != StopReason::kNone) return false;
    const double left = end - Now();
    if (left <= 0) return true;
    // The pipe is never drained: once a stop came, every later pause ends at once too.
    pollfd wake{g_wake[0], POLLIN, 0};
    poll(&wake, 1, static_cast<int>(std::ceil(left * 1000)));
  }
}

bool WaitUnlessStopped(int fd) {
  for (;;) {
    if (StopRequested() != StopReason::kNone) return false;
    pollfd watches[2] = {{fd, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
    if (poll(watches, 2, -1) > 0 && watches[0].revents != 0) return true;
  }
}

std::string ActivationLockPath() {
  return geteuid() == 0 ? "/var/run/kelvory-activate.lock" : ConfigFilePath() + ".lock";
}

LockResult AcquireActivationLock(std::string* why) {
  const std::string path = ActivationLockPath();
  for (;;) {
    if (StopRequested() != StopReason::kNone) {
      *why = "another activation holds " + path;
      return LockResult::kStopped;
    }
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    // ELOOP: a link, replaced below; anything else will not change by waiting.
    if (fd < 0 && errno != ELOOP) {
      *why = "Cannot make the activation lock " + path + ": " + std::strerror(errno);
      return LockResult::kFailed;
    }
    struct stat info {};
    const bool trusted = fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                         info.st_uid == geteuid() && info.st_nlink == 1;
    if (!trusted) {
      // Planted by someone else (or a link): never lock through it.
      if (fd >= 0) close(fd);
      if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        *why = "Cannot make the activation lock " + path +
               ": something of someone else's is there and cannot be replaced (" +
               std::strerror(errno) + ")";
        return LockResult::kFailed;
      }
      continue;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // It may have been replaced between the open and the lock; then lock the new one.
      struct stat now {};
      if (stat(path.c_str(), &now) == 0 && now.st_dev == info.st_dev && now.st_ino == info.st_ino) {
        return LockResult::kTaken;  // the descriptor stays open, and locked, until the process ends
      }
    }
    close(fd);
    timespec pause{0, 50 * 1000000L};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace kl::activate
