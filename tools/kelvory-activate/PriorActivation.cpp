#include "PriorActivation.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "KLConfigWriter.h"
#include "KLPlatform.h"
#include "KLValidationTool.h"

namespace kl::activate {

bool SkipBecauseActivated(const std::string& target, uid_t installerUid, std::string* why) {
  const char* commandLine = getenv("COMMAND_LINE_INSTALL");
  if (commandLine != nullptr && std::string(commandLine) == "1") return false;
  std::string prefix;
  if (kl::FindVolumePrefix(target.c_str(), kl::CurrentPlatform().ApplicationDirectories(),
                           &prefix) != kl::VolumePrefixResult::kOk) {
    return false;
  }
  // The type, links and owner are those of the file opened; a FIFO does not block the open.
  const int fd = open(kl::ConfigFilePath().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool trusted =
      fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
      (info.st_uid == 0 || info.st_uid == geteuid() || info.st_uid == installerUid);
  std::string tail;
  if (trusted) {
    // A block is a few hundred bytes: the tail is enough, and a huge file costs nothing more.
    constexpr off_t kTailBytes = 64 * 1024;
    tail.resize(static_cast<size_t>(std::min<off_t>(info.st_size, kTailBytes)));
    const ssize_t got = pread(fd, &tail[0], tail.size(), info.st_size - tail.size());
    tail.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  close(fd);
  if (!trusted || !kl::EndsWithAppendedBlock(tail, prefix.c_str())) return false;
  *why = kl::ConfigFilePath() +
         " already ends with a complete activation for this volume (the installer's panes ran)";
  return true;
}

std::string ConfigFingerprint() {
  struct stat info {};
  if (lstat(kl::ConfigFilePath().c_str(), &info) != 0) return "none";
#if defined(__APPLE__)
  const timespec modified = info.st_mtimespec, changed = info.st_ctimespec;
#else
  const timespec modified = info.st_mtim, changed = info.st_ctim;
#endif
  char text[160];
  std::snprintf(text, sizeof text, "%llu %llu %lld %lld.%09ld %lld.%09ld",
                static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino), static_cast<long long>(info.st_size),
                static_cast<long long>(modified.tv_sec), modified.tv_nsec,
                static_cast<long long>(changed.tv_sec), changed.tv_nsec);
  return text;
}

}  // namespace kl::activate
