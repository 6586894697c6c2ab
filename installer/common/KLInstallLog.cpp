#include "KLInstallLog.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "KLPlatform.h"

namespace kl {

int OpenOwnedForAppend(const char* path, std::string* why) {
  const int fd = open(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
    return -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    *why = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    *why = "it is not a regular file";
  } else if (info.st_uid != geteuid()) {
    *why = "another user owns it";
  } else if (info.st_nlink != 1) {
    *why = "it has more than one link";
  } else if ((info.st_mode & 077) != 0 && fchmod(fd, 0600) != 0) {
    *why = std::strerror(errno);
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

std::string EscapeControlCharacters(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02X", byte);
      escaped += hex;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace kl

void DumpLog(FILE* file, const std::string& message, const std::string& detail) {
  if (file == nullptr) return;
  char stamp[50] = {0};
  const time_t now = time(nullptr);
  tm local{};
  if (now != static_cast<time_t>(-1) && localtime_r(&now, &local) != nullptr) {
    if (strftime(stamp, sizeof stamp, "%m/%d/%y %H:%M:%S", &local) == 0) stamp[0] = '\0';
  }
  if (stamp[0] != '\0') {
    fprintf(file, "%s\t%s -- %s\n", stamp, message.c_str(), detail.c_str());
  } else {
    fprintf(file, "%s -- %s\n", message.c_str(), detail.c_str());
  }
}

namespace kl {

std::string InstallLogPath() {
  char path[256] = {0};
  snprintf(path, sizeof path, "%s%s%s", "/tmp", "/", "kelvor_install.log");
  return path;
}

std::string ConfigFilePath() {
  char path[256] = {0};
  snprintf(path, sizeof path, "%s%s%s", "/tmp", "/", "kelvor.conf");
  return path;
}

}  // namespace kl

void LogInstallerMessage(const std::string& message, const std::string& detail) {
  std::string why;
  const int fd = kl::OpenOwnedForAppend(kl::InstallLogPath().c_str(), &why);
  FILE* file = fd < 0 ? nullptr : fdopen(fd, "a+");
  if (file == nullptr) {
    if (fd >= 0) close(fd);
    // Diagnostics only: the installation goes on without this entry.
    kl::CurrentPlatform().ConsoleLog(
        kl::ConsoleCategory::kPlugin,
        "Install log " + kl::InstallLogPath() + " not written: " + why);
    return;
  }
  DumpLog(file, message, detail);
  fclose(file);
}

namespace kl {

int OpenRegularForReading(const char* path, long long maxBytes) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxBytes) {
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

FileRead ReadRegularFile(const char* path, long long maxBytes) {
  FileRead read;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    read.error = errno;
    read.status = read.error == ENOENT || read.error == ENOTDIR ? FileReadStatus::kMissing
                                                                : FileReadStatus::kFailed;
    return read;
  }
  struct stat info;
  if (fstat(fd, &info) != 0) {
    read.error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    read.status = FileReadStatus::kDirectory;
  } else if (!S_ISREG(info.st_mode)) {
    read.status = FileReadStatus::kNotRegular;
  } else if (info.st_size > maxBytes) {
    read.status = FileReadStatus::kTooLarge;
  } else {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // One byte more than allowed tells a file that grew since it was judged.
    read.bytes.resize(static_cast<size_t>(maxBytes) + 1);
    size_t have = 0;
    while (have < read.bytes.size()) {
      const ssize_t got = ::read(fd, &read.bytes[have], read.bytes.size() - have);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) read.error = errno;
      if (got <= 0) break;
      have += static_cast<size_t>(got);
    }
    read.bytes.resize(have);
    read.status = read.error != 0                        ? FileReadStatus::kFailed
                  : have > static_cast<size_t>(maxBytes) ? FileReadStatus::kTooLarge
                                                         : FileReadStatus::kRead;
    if (read.status != FileReadStatus::kRead) read.bytes.clear();
  }
  close(fd);
  return read;
}

}  // namespace kl
