#include "KLInstallLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

FILE* OpenForAppendNoFollow(const char* path) {
  const int fd = open(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "a+");
  if (file == nullptr) close(fd);
  return file;
}

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

void LogInstallerMessage(const std::string& message, const std::string& detail) {
  FILE* file = OpenForAppendNoFollow(InstallLogPath().c_str());
  if (file == nullptr) return;
  DumpLog(file, message, detail);
  fclose(file);
}
