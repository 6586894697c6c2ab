#include "VirtualDisplay.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace {

pid_t g_server = 0;

void StopServer() {
  if (g_server <= 0) return;
  kill(g_server, SIGTERM);
  waitpid(g_server, nullptr, 0);
  g_server = 0;
}

}  // namespace

bool StartVirtualDisplay(std::string* error) {
  int fds[2];
  if (pipe(fds) != 0) {
    *error = "cannot create a pipe for Xvfb";
    return false;
  }
  // Xvfb picks a free display itself and writes its number to the descriptor we give it.
  const std::string fd = std::to_string(fds[1]);
  const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen", "0",
                        "1024x768x24", "-nolisten",  "tcp",      nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int spawned =
      posix_spawnp(&g_server, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    g_server = 0;
    *error = "no DISPLAY and Xvfb cannot be started (install the xvfb package)";
    return false;
  }
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) {
    StopServer();
    *error = "Xvfb did not report a display";
    return false;
  }
  atexit(StopServer);
  setenv("DISPLAY", (":" + number).c_str(), 1);
  return true;
}
