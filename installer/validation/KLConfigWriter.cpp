#include "KLConfigWriter.h"

#include <cstdio>
#include <cstring>

#include "KLInstallLog.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#include "KLValidationTool.h"

namespace {

constexpr size_t kPathBuffer = 256;

// Writes "\t<name>_<position>=<value>\n" with the key built in its own zeroed buffer.
void WriteEndpointLine(FILE* file, const char* name, int position, const char* value) {
  char key[250] = {0};
  snprintf(key, sizeof key, "%s_%d", name, position);
  fprintf(file, "\t%s=%s\n", key, value);
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

int writeconfig(std::vector<KLEndPoint> endpoints, char* volumePath) {
  FILE* file = OpenForAppendNoFollow(ConfigFilePath().c_str());
  if (file == nullptr) {
    kl::CurrentPlatform().ShowCriticalAlert("Error loading configuration file");
    return 3;
  }
  const int32_t n = static_cast<int32_t>(endpoints.size());
  const int32_t count = n >= 2 ? 2 : 1;  // no endpoint still counts one: the tool's
  char text[250] = {0};
  snprintf(text, sizeof text, "%d", count);
  fprintf(file, "\tendpoint_size=%s\n", text);
  // Position 0 is the tool's (it was given -s, -n and -p); only position 1 is ours.
  for (int32_t i = 1; i < count; ++i) {
    const KLEndPoint& endpoint = endpoints[i];
    char port[20] = {0};
    snprintf(port, sizeof port, "%d", endpoint.port);
    WriteEndpointLine(file, "server", i, endpoint.host.c_str());
    WriteEndpointLine(file, "protocol", i, endpoint.protocol.c_str());
    WriteEndpointLine(file, "port", i, port);
  }
  const size_t prefixLength = strlen(volumePath);
  const bool endsInSeparator = prefixLength > 0 && volumePath[prefixLength - 1] == '/';
  fprintf(file, "[main]\n");
  fprintf(file, "    logfilename=%s%s%s\n", volumePath, "/var/log/Tervox/Kelvory/", "kelvor.log");
  fprintf(file, "    loglevel=%s\n", "3");
  fprintf(file, "    homedir=%s%s%s\n", volumePath, endsInSeparator ? "" : "/",
          "Applications/Kelvory.app/Contents/Daemon/home/kelvor");
  fprintf(file, "    thread_limitation=%s\n", "50");
  fprintf(file, "    poll_delay=%s\n", "1");
  fprintf(file, "    datablock_size=%s\n", "20");
  fprintf(file, "\n");
  fprintf(file, "\n");
  fclose(file);
  return 0;
}

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
  *prefix = CutToBuffer(path);
  return VolumePrefixResult::kOk;
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
  switch (FindVolumePrefix(targetVolumePath, platform.ApplicationDirectories(), &prefix)) {
    case VolumePrefixResult::kOk:
      break;
    case VolumePrefixResult::kNoDestination:
      platform.ShowCriticalAlert("Please go back and select destination first");
      return false;
    case VolumePrefixResult::kNotASCII:
      platform.ShowCriticalAlert("Destination volume path can only contain ASCII characters");
      return false;
  }
  char volume[kPathBuffer] = {0};
  memcpy(volume, prefix.data(), prefix.size());
  return writeconfig(endpoints, volume) == 0;
}
