#import "ActivationSources.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "KLConfigWriter.h"
#include "KLPlatform.h"
#include "KLValidationTool.h"

namespace {

std::string Describe(const KLSourceLook& look) {
  switch (look.kind) {
    case KLSourceKind::kManagedPreferences:
      return "the managed preferences " + look.location;
    case KLSourceKind::kPackageFolder:
      return "the file beside the package " + look.location;
    default:
      return "the pre-fill file " + look.location;
  }
}

}  // namespace

bool SkipBecauseActivated(const std::string& target, uid_t installerUid, std::string* why) {
  const char* commandLine = getenv("COMMAND_LINE_INSTALL");
  if (commandLine != nullptr && std::string(commandLine) == "1") return false;
  std::string prefix;
  if (FindVolumePrefix(target.c_str(), kl::CurrentPlatform().ApplicationDirectories(), &prefix) !=
      VolumePrefixResult::kOk) {
    return false;
  }
  // The type, links and owner are those of the file opened; a FIFO does not block the open.
  const int fd = open(ConfigFilePath().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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
  if (!trusted || !EndsWithAppendedBlock(tail, prefix.c_str())) return false;
  *why = ConfigFilePath() +
         " already ends with a complete activation for this volume (the installer's panes ran)";
  return true;
}

std::string ConfigFingerprint() {
  struct stat info {};
  if (lstat(ConfigFilePath().c_str(), &info) != 0) return "none";
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

std::string NoActivationDataMessage(const KLSourceChoice& choice) {
  std::string message = "No activation data was found (an activation key, a customer ID or a "
                        "customer name)";
  if (choice.looked.empty()) return message + "; no option gave any";
  message += ". Looked at: ";
  for (size_t i = 0; i < choice.looked.size(); ++i) {
    const KLSourceLook& look = choice.looked[i];
    message += (i == 0 ? "" : "; ") + Describe(look) + ": " +
               (look.problem.empty() ? "holds none" : look.problem);
  }
  return message;
}

nlohmann::json SourceFields(const KLSourceChoice& choice) {
  nlohmann::json looked = nlohmann::json::array();
  nlohmann::json location = nullptr;
  for (const KLSourceLook& look : choice.looked) {
    looked.push_back({{"source", KLSourceName(look.kind)},
                      {"location", look.location},
                      {"found", look.found},
                      {"hasData", look.hasData},
                      {"problem", look.problem.empty() ? nlohmann::json(nullptr)
                                                       : nlohmann::json(look.problem)}});
    if (look.kind == choice.source) location = look.location;
  }
  return {{"source", KLSourceName(choice.source)},
          {"sourceLocation", location},
          {"overrides", choice.overrides},
          {"looked", looked}};
}

std::string SourceLine(const KLSourceChoice& choice) {
  std::string line = std::string("source: ") + KLSourceName(choice.source);
  for (const KLSourceLook& look : choice.looked) {
    if (look.kind == choice.source) line += " (" + look.location + ")";
  }
  if (!choice.overrides.empty() && choice.source != KLSourceKind::kOptions) {
    line += ", options over it:";
    for (const std::string& field : choice.overrides) line += " " + field;
  }
  return line;
}
