#include "KLConfigWriter.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "KLInstallLog.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#include "KLValidationTool.h"

namespace {

constexpr size_t kPathBuffer = 256;

// "\t<name>_<position>=<value>\n" with the key built in its own zeroed buffer.
std::string EndpointLine(const char* name, int position, const char* value) {
  char key[250] = {0};
  snprintf(key, sizeof key, "%s_%d", name, position);
  return std::string("\t") + key + "=" + value + "\n";
}

// Appends `block` to the open file `fd` and closes it. The agent must never read half a block,
// so the block goes out in one write, and when it fails (a short write on a full disk, an error
// at write or sync) the file is cut back to its size before, leaving it as the tool made it.
// errno tells the failure.
bool AppendAllOrNothing(int fd, const std::string& block) {
  struct stat before {};
  if (fstat(fd, &before) != 0) {
    close(fd);
    return false;
  }
  ssize_t written;
  do {
    written = write(fd, block.data(), block.size());
  } while (written < 0 && errno == EINTR);
  bool complete = written == static_cast<ssize_t>(block.size());
  if (written >= 0 && !complete) errno = ENOSPC;
  int error = errno;
  // A write error that the file system reports late (a network volume) shows here.
  if (complete && fsync(fd) != 0 && errno != EINVAL) {
    complete = false;
    error = errno;
  }
  // Nothing else appends meanwhile: the tool has ended and the panes run one at a time.
  if (!complete && ftruncate(fd, before.st_size) != 0) error = errno;
  // Once the block is written and synced, the file holds it whatever close says.
  close(fd);
  errno = error;
  return complete;
}

std::string CutToBuffer(const std::string& text) {
  std::string cut = text.substr(0, kPathBuffer - 1);
  cut.resize(strnlen(cut.c_str(), cut.size()));
  return cut;
}

bool IsASCII(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F) return false;
  }
  return true;
}

}  // namespace

std::string kl::ConfigMainSection(const char* volumePath) {
  const size_t prefixLength = strlen(volumePath);
  const bool endsInSeparator = prefixLength > 0 && volumePath[prefixLength - 1] == '/';
  char text[1024] = {0};
  snprintf(text, sizeof text,
           "[main]\n"
           "    logfilename=%s%s%s\n"
           "    loglevel=%s\n"
           "    homedir=%s%s%s\n"
           "    thread_limitation=%s\n"
           "    poll_delay=%s\n"
           "    datablock_size=%s\n"
           "\n"
           "\n",
           volumePath, "/var/log/Tervox/Kelvory/", "kelvor.log", "3", volumePath,
           endsInSeparator ? "" : "/", "Applications/Kelvory.app/Contents/Daemon/home/kelvor", "50",
           "1", "20");
  return text;
}

namespace kl {

bool EndsWithAppendedBlock(const std::string& text, const char* volumePath) {
  const std::string main = ConfigMainSection(volumePath);
  if (text.size() < main.size() || text.compare(text.size() - main.size(), main.size(), main)) {
    return false;
  }
  // The endpoint lines before it: the count, and for two endpoints the second one's three.
  std::vector<std::string> lines;
  size_t end = text.size() - main.size();
  while (lines.size() < 4 && end > 0) {
    const size_t start = text.rfind('\n', end - 2);
    const size_t from = start == std::string::npos ? 0 : start + 1;
    lines.insert(lines.begin(), text.substr(from, end - from));
    end = from;
  }
  const auto is = [&](size_t fromEnd, const std::string& head) {
    return lines.size() >= fromEnd && lines[lines.size() - fromEnd].rfind(head, 0) == 0;
  };
  if (is(1, "\tendpoint_size=1\n")) return true;
  return is(4, "\tendpoint_size=2\n") && is(3, "\tserver_1=") && is(2, "\tprotocol_1=") &&
         is(1, "\tport_1=");
}

std::string ConfigBlock(const std::vector<KLEndPoint>& endpoints, const char* volumePath,
                        std::string* refused) {
  const int32_t n = static_cast<int32_t>(endpoints.size());
  const int32_t count = n >= 2 ? 2 : 1;  // no endpoint still counts one: the tool's
  char text[250] = {0};
  snprintf(text, sizeof text, "%d", count);
  std::string block = std::string("\tendpoint_size=") + text + "\n";
  // A control character in a value (a line break above all) would start lines, or sections, of
  // its own in the agent's file.
  const auto clean = [refused](const char* name, const std::string& value) {
    for (const char c : value) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        *refused = name;
        return false;
      }
    }
    return true;
  };
  if (!clean("homedir", volumePath)) return std::string();
  // Position 0 is the tool's (it was given -s, -n and -p); only position 1 is ours.
  for (int32_t i = 1; i < count; ++i) {
    const KLEndPoint& endpoint = endpoints[i];
    if (!clean("server_1", endpoint.host) || !clean("protocol_1", endpoint.protocol)) {
      return std::string();
    }
    char port[20] = {0};
    snprintf(port, sizeof port, "%d", endpoint.port);
    block += EndpointLine("server", i, endpoint.host.c_str());
    block += EndpointLine("protocol", i, endpoint.protocol.c_str());
    block += EndpointLine("port", i, port);
  }
  return block + ConfigMainSection(volumePath);
}

}  // namespace kl

int writeconfig(std::vector<KLEndPoint> endpoints, char* volumePath) {
  std::string refused;
  const std::string block = kl::ConfigBlock(endpoints, volumePath, &refused);
  if (block.empty()) {
    kl::CurrentPlatform().ConsoleLog(kl::ConsoleCategory::kValidation,
                                     "Not appending to " + kl::ConfigFilePath() +
                                         ": the value of " + refused +
                                         " holds a control character");
    kl::CurrentPlatform().ShowCriticalAlert("Error loading configuration file");
    return 3;
  }

  std::string why;
  const int fd = kl::OpenOwnedForAppend(kl::ConfigFilePath().c_str(), &why);
  if (fd < 0) {
    kl::CurrentPlatform().ConsoleLog(kl::ConsoleCategory::kValidation,
                                     "Cannot append to " + kl::ConfigFilePath() + ": " + why);
    kl::CurrentPlatform().ShowCriticalAlert("Error loading configuration file");
    return 3;
  }
  if (!AppendAllOrNothing(fd, block)) {
    kl::CurrentPlatform().ConsoleLog(
        kl::ConsoleCategory::kValidation,
        "Cannot append to " + kl::ConfigFilePath() + ": " + std::strerror(errno));
    kl::CurrentPlatform().ShowCriticalAlert("Error loading configuration file");
    return 3;
  }
  return 0;
}

namespace kl {

VolumePrefixResult FindVolumePrefix(const char* targetVolumePath,
                                    const std::vector<std::string>& applicationDirectories,
                                    std::string* prefix) {
  prefix->clear();
  std::string path;
  if (targetVolumePath != nullptr && targetVolumePath[0] != '\0') {
    path = targetVolumePath;
  } else {
    if (applicationDirectories.size() != 1) return VolumePrefixResult::kNoDestination;
    path = applicationDirectories[0];
    const size_t at = path.rfind("Applications");
    if (at == std::string::npos) return VolumePrefixResult::kNoDestination;
    path.erase(at, std::strlen("Applications"));
  }
  if (!IsASCII(path)) return VolumePrefixResult::kNotASCII;
  // A line break in the path would start sections of its own in the agent's file.
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return VolumePrefixResult::kControlCharacters;
    }
  }
  *prefix = CutToBuffer(path);
  return VolumePrefixResult::kOk;
}

const char* VolumePrefixMessage(VolumePrefixResult result) {
  switch (result) {
    case VolumePrefixResult::kOk:
      return "";
    case VolumePrefixResult::kNoDestination:
      return "Please go back and select destination first";
    case VolumePrefixResult::kNotASCII:
      return "Destination volume path can only contain ASCII characters";
    case VolumePrefixResult::kControlCharacters:
      return "Destination volume path can not contain control characters";
  }
  return "";
}

bool WriteConfiguration(const std::string& key, const char* targetVolumePath) {
  std::vector<KLEndPoint> endpoints;
  if (!key.empty()) {
    char buffer[kPathBuffer] = {0};
    strncpy(buffer, key.c_str(), sizeof buffer - 1);
    if (keydecode(buffer, endpoints) == -1) return false;  // keydecode has shown why
  }
  kl::Platform& platform = kl::CurrentPlatform();
  std::string prefix;
  const VolumePrefixResult found =
      FindVolumePrefix(targetVolumePath, platform.ApplicationDirectories(), &prefix);
  if (found != VolumePrefixResult::kOk) {
    platform.ShowCriticalAlert(VolumePrefixMessage(found));
    return false;
  }
  char volume[kPathBuffer] = {0};
  memcpy(volume, prefix.data(), prefix.size());
  return writeconfig(endpoints, volume) == 0;
}

}  // namespace kl
