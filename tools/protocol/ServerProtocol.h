// What InitialValidate and a management server say to each other: the two requests, and the
// limits on the JSON that either side accepts. The simulator serves the same protocol.
#ifndef KELVORY_TOOLS_PROTOCOL_SERVERPROTOCOL_H_
#define KELVORY_TOOLS_PROTOCOL_SERVERPROTOCOL_H_

#include <cstddef>
#include <string_view>

namespace kl::protocol {

constexpr char kValidatePath[] = "/api/v1/validate";
constexpr char kRegisterPath[] = "/api/v1/register";

/// Requests and answers are a few hundred bytes and two levels deep; these bounds leave room.
constexpr size_t kMaxJsonBytes = 64 * 1024;
constexpr size_t kMaxJsonDepth = 64;

/// Whether `text` is small and shallow enough to hand to the JSON parser: at most
/// kMaxJsonBytes bytes, arrays and objects nested at most kMaxJsonDepth deep (brackets inside
/// strings do not count). It says nothing else about the text. A deeper one is malformed for
/// both sides: copying or printing a parsed value recurses once per level, and some hundred
/// thousand levels exhaust the stack.
inline bool JsonWithinLimits(std::string_view text) {
  if (text.size() > kMaxJsonBytes) return false;
  size_t depth = 0;
  bool inString = false, escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

}  // namespace kl::protocol

#endif  // KELVORY_TOOLS_PROTOCOL_SERVERPROTOCOL_H_
