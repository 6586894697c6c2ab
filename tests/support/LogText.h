// Install-log text with its time stamps masked, so that tests compare whole entries exactly.
#ifndef KELVORY_TESTS_LOGTEXT_H_
#define KELVORY_TESTS_LOGTEXT_H_

#include <time.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace kl {

/// The whole file (empty when missing).
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

/// `text` with every "MM/DD/YY HH:MM:SS" of the last two minutes, in local time, at the start
/// of a line replaced by "STAMP": a stamp in another order or of another moment stays in the
/// text and fails the comparison.
inline std::string MaskStamps(std::string text) {
  const time_t now = time(nullptr);
  for (time_t t = now - 120; t <= now; ++t) {
    tm local{};
    char stamp[32];
    strftime(stamp, sizeof stamp, "%m/%d/%y %H:%M:%S", localtime_r(&t, &local));
    for (size_t at = text.find(stamp); at != std::string::npos; at = text.find(stamp, at + 1)) {
      if (at == 0 || text[at - 1] == '\n') text.replace(at, strlen(stamp), "STAMP");
    }
  }
  return text;
}

/// The install log, stamps masked.
inline std::string MaskedInstallLog() {
  return MaskStamps(ReadWholeFile("/tmp/kelvor_install.log"));
}

}  // namespace kl

#endif  // KELVORY_TESTS_LOGTEXT_H_
