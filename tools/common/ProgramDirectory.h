// The folder of the running program, where the tools find their siblings (InitialValidate).
#ifndef KELVORY_TOOLS_COMMON_PROGRAMDIRECTORY_H_
#define KELVORY_TOOLS_COMMON_PROGRAMDIRECTORY_H_

#include <unistd.h>

#include <string>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace kl {

/// The running program's folder without a trailing slash; "." when it cannot be found.
inline std::string ProgramDirectory() {
  std::string exe;
#if defined(__APPLE__)
  char path[4096] = {0};
  uint32_t size = sizeof path;
  if (_NSGetExecutablePath(path, &size) == 0) exe = path;
#else
  char path[4096] = {0};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) exe.assign(path, static_cast<size_t>(n));
#endif
  const size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace kl

#endif  // KELVORY_TOOLS_COMMON_PROGRAMDIRECTORY_H_
