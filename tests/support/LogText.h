// Install-log text with its time stamps masked, so that tests compare whole entries exactly.
#ifndef KELVORY_TESTS_LOGTEXT_H_
#define KELVORY_TESTS_LOGTEXT_H_

#include <time.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

namespace kl {

/// The whole file (empty when missing).
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

/// `text` with every "MM/DD/YY HH:MM:SS" at the start of a line replaced by "STAMP", but only
/// when it reads, in that order, as local time within the last hour: a stamp in another order
/// or of another moment stays in the text and fails the comparison.
inline std::string MaskStamps(const std::string& text) {
  static const char kShape[] = "00/00/00 00:00:00";
  const size_t width = sizeof kShape - 1;
  const time_t now = time(nullptr);
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool stamp = (i == 0 || text[i - 1] == '\n') && i + width <= text.size();
    for (size_t k = 0; stamp && k < width; ++k) {
      const char c = text[i + k];
      stamp = kShape[k] == '0' ? (c >= '0' && c <= '9') : c == kShape[k];
    }
    tm local{};
    local.tm_isdst = -1;
    if (stamp && strptime(text.substr(i, width).c_str(), "%m/%d/%y %H:%M:%S", &local) != nullptr) {
      const time_t at = mktime(&local);
      stamp = at <= now + 1 && at >= now - 3600;
    } else {
      stamp = false;
    }
    if (stamp) {
      out += "STAMP";
      i += width;
    } else {
      out += text[i++];
    }
  }
  return out;
}

/// The install log, stamps masked.
inline std::string MaskedInstallLog() {
  return MaskStamps(ReadWholeFile("/tmp/kelvor_install.log"));
}

}  // namespace kl

#endif  // KELVORY_TESTS_LOGTEXT_H_
