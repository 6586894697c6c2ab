// Argument lists, loopback sockets and the management server simulator, for the tests of our
// command-line tools.
#ifndef KELVORY_TESTS_TOOLRUN_H_
#define KELVORY_TESTS_TOOLRUN_H_

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "RunProcess.h"

namespace kl {

using Args = std::vector<std::string>;

inline Args operator+(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

/// A TCP socket bound to a free port of 127.0.0.1, put in `*port`; -1 when that failed.
inline int ToolLoopbackSocket(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  fcntl(fd, F_SETFD, FD_CLOEXEC);  // not for the programs the test starts
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

/// Starts kelvory-mgmt-sim with `options`, its output in `out`, and returns its pid; `*port` is
/// the port from the first line it prints, 0 when it printed none within 20 s or another line.
inline pid_t ToolStartSimulator(const Args& options, const std::string& out, int* port) {
  const pid_t pid = StartProcess(Args{MGMT_SIM_PATH} + options, out, out);
  std::string text;
  for (int i = 0; (text = ReadWholeFile(out)).find('\n') == std::string::npos && i < 4000; ++i)
    usleep(5000);
  const std::string prefix = "listening on 127.0.0.1:";
  *port = text.rfind(prefix, 0) == 0 ? std::stoi(text.substr(prefix.size())) : 0;
  return pid;
}

}  // namespace kl

#endif  // KELVORY_TESTS_TOOLRUN_H_
