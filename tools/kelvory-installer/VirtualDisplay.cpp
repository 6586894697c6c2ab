#include "VirtualDisplay.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cstdlib>
#include <string>

namespace kl::host {

namespace {

volatile pid_t g_server = 0;

// In the forked child, before exec: only async-signal-safe calls.
[[noreturn]] void ExecServer(pid_t parent, int displayFd, int readFd, int errorFd,
                             char* const* argv) {
#if defined(__linux__)
  // The kernel kills the server when the host dies, even by SIGKILL.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);  // the host died before the line above took effect
#else
  (void)parent;
#endif
  close(readFd);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, 2);
  (void)displayFd;
  execvp("Xvfb", argv);
  const int error = errno;
  (void)!write(errorFd, &error, sizeof error);
  _exit(127);
}

}  // namespace

void StopVirtualDisplay() {
  const pid_t server = g_server;
  if (server <= 0) return;
  g_server = 0;
  kill(server, SIGTERM);
  while (waitpid(server, nullptr, 0) < 0 && errno == EINTR) {
  }
}

bool StartVirtualDisplay(std::string* error) {
  int fds[2];
  int execFds[2];
  if (pipe(fds) != 0) {
    *error = "cannot create a pipe for Xvfb";
    return false;
  }
  if (pipe2(execFds, O_CLOEXEC) != 0) {
    close(fds[0]);
    close(fds[1]);
    *error = "cannot create a pipe for Xvfb";
    return false;
  }
  // Xvfb picks a free display itself and writes its number to the descriptor we give it.
  std::string fd = std::to_string(fds[1]);
  const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen", "0",
                        "1024x768x24", "-nolisten",  "tcp",      nullptr};
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    ExecServer(parent, fds[1], fds[0], execFds[1], const_cast<char* const*>(argv));
  }
  close(fds[1]);
  close(execFds[1]);
  int execError = 0;
  const bool execFailed = child > 0 && read(execFds[0], &execError, sizeof execError) > 0;
  close(execFds[0]);
  if (child < 0 || execFailed) {
    close(fds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    *error = "no DISPLAY and Xvfb cannot be started (install the xvfb package)";
    return false;
  }
  g_server = child;
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) {
    StopVirtualDisplay();
    *error = "Xvfb did not report a display";
    return false;
  }
  atexit(StopVirtualDisplay);
  setenv("DISPLAY", (":" + number).c_str(), 1);
  return true;
}

}  // namespace kl::host
