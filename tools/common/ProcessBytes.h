// Arguments and environment entries that are not UTF-8 (an ISO-8859-1 locale, a user's name)
// must never end a tool. The tools read both as bytes, but GNUstep's process information copies
// them when its library starts and raises at their first use (NSLog included) when one does not
// convert: an uncaught exception before the tool has said a word. So, before any library
// initializer runs (ELF's .preinit_array, which only the program may fill), GNUstep is shown
// what it can convert: each such argument is rewritten in place, every byte outside ASCII as '?'
// (GNUstep reads them from /proc), while argv points to a copy of the real bytes; each such
// environment entry is hidden from the list until main puts it back, so that the tool's own
// getenv and the programs it starts see it as it was.
#ifndef KELVORY_TOOLS_COMMON_PROCESSBYTES_H_
#define KELVORY_TOOLS_COMMON_PROCESSBYTES_H_

#if defined(__linux__)
#include <stdlib.h>
#include <string.h>

#include "KLHelper.h"

extern char** environ;

namespace kl::process_bytes {

// What HideFromProcessInfo changed, for RestoreEnvironment. Plain pointers: no constructor has
// run when it is called.
inline char** gList = nullptr;   // the environment list the process started with
inline char** gWhole = nullptr;  // a copy of its entries, in order, null-terminated
inline size_t gCount = 0;

// For .preinit_array (argc, argv and envp are the ones main gets).
inline void HideFromProcessInfo(int argc, char** argv, char** envp) {
  for (int i = 0; i < argc && argv != nullptr; ++i) {
    if (KLHelper::IsWellFormedUtf8(argv[i], strlen(argv[i]))) continue;
    char* bytes = strdup(argv[i]);
    if (bytes == nullptr) continue;
    for (char* c = argv[i]; *c != '\0'; ++c) {
      if (static_cast<unsigned char>(*c) >= 0x80) *c = '?';
    }
    argv[i] = bytes;
  }
  if (envp == nullptr) return;
  size_t count = 0;
  bool hide = false;
  for (; envp[count] != nullptr; ++count) {
    hide = hide || !KLHelper::IsWellFormedUtf8(envp[count], strlen(envp[count]));
  }
  if (!hide) return;
  char** whole = static_cast<char**>(malloc((count + 1) * sizeof(char*)));
  if (whole == nullptr) return;
  memcpy(whole, envp, (count + 1) * sizeof(char*));
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    if (KLHelper::IsWellFormedUtf8(whole[i], strlen(whole[i]))) envp[kept++] = whole[i];
  }
  envp[kept] = nullptr;
  gList = envp;
  gWhole = whole;
  gCount = count;
}

// main's first step: the environment as the process got it.
inline void RestoreEnvironment() {
  if (gWhole == nullptr) return;
  memcpy(gList, gWhole, (gCount + 1) * sizeof(char*));
  // A library that set a variable meanwhile made the C library copy the list: add them there.
  if (environ != gList) {
    for (size_t i = 0; i < gCount; ++i) {
      if (!KLHelper::IsWellFormedUtf8(gWhole[i], strlen(gWhole[i]))) putenv(gWhole[i]);
    }
  }
  free(gWhole);
  gWhole = nullptr;
}

}  // namespace kl::process_bytes

// In the program's main file, at namespace scope (any namespace).
#define KL_PROCESS_BYTES_PREINIT                                                    \
  __attribute__((section(".preinit_array"), used)) void (*const kHideProcessBytes)( \
      int, char**, char**) = ::kl::process_bytes::HideFromProcessInfo;
#define KL_PROCESS_BYTES_RESTORE() ::kl::process_bytes::RestoreEnvironment()
#else
#define KL_PROCESS_BYTES_PREINIT
#define KL_PROCESS_BYTES_RESTORE() ((void)0)
#endif

#endif  // KELVORY_TOOLS_COMMON_PROCESSBYTES_H_
