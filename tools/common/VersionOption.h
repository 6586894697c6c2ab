// --version for every tool: "NAME VERSION" on standard output, and only when it is the whole
// command line, so that a mistyped option next to it is not lost in an exit status of 0.
#ifndef KELVORY_TOOLS_COMMON_VERSIONOPTION_H_
#define KELVORY_TOOLS_COMMON_VERSIONOPTION_H_

#include <cstdio>
#include <cstring>

namespace kl {

/// Looks for --version in `argv`. Returns -1 when it is not there; 0 after printing "NAME
/// VERSION" when it is the only argument; 2 after a usage message on standard error when other
/// arguments come with it. Call it before parsing anything else.
inline int HandleVersionOption(int argc, char** argv, const char* name) {
  bool asked = false;
  for (int i = 1; i < argc; ++i) asked = asked || std::strcmp(argv[i], "--version") == 0;
  if (!asked) return -1;
  if (argc != 2) {
    std::fprintf(stderr, "%s: --version takes no other arguments\n", name);
    return 2;
  }
  std::printf("%s %s\n", name, KL_VERSION);
  return 0;
}

}  // namespace kl

#endif  // KELVORY_TOOLS_COMMON_VERSIONOPTION_H_
