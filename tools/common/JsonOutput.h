// JSON output of the command-line tools: one object on one line of standard output.
#ifndef KELVORY_TOOLS_COMMON_JSONOUTPUT_H_
#define KELVORY_TOOLS_COMMON_JSONOUTPUT_H_

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace kl {

/// Prints `object` as one line to standard output. Text values are taken as UTF-8; an invalid
/// sequence becomes U+FFFD instead of an exception, since keys and files may hold any bytes.
inline void PrintJson(const nlohmann::json& object) {
  const std::string text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace kl

#endif  // KELVORY_TOOLS_COMMON_JSONOUTPUT_H_
