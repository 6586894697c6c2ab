// The host's transcript: one event per line on standard output, and its fatal errors.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_TRANSCRIPT_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_TRANSCRIPT_H_

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kl::host {

/// Writes one transcript line and flushes it, so that a reader sees it at once.
inline void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

/// Ends the host with `status` after "error: MESSAGE" on standard error (exit handlers run).
[[noreturn]] inline void Fail(int status, const std::string& message) {
  std::fprintf(stderr, "error: %s\n", message.c_str());
  std::fflush(stdout);
  std::exit(status);
}

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_TRANSCRIPT_H_
