// Values in the tools' plain output, which a person or a script reads line by line.
#ifndef KELVORY_TOOLS_COMMON_PLAINTEXT_H_
#define KELVORY_TOOLS_COMMON_PLAINTEXT_H_

#include <cstdio>
#include <string>

#include "KLInstallLog.h"  // EscapeControlCharacters

namespace kl {

/// `text` safe for one line of plain output: control characters escaped as in the install log
/// (a line break or an ESC in a value can neither forge a line nor drive the terminal; a
/// backslash is doubled), and each byte that is not part of well-formed UTF-8 as \xNN, where a
/// terminal would show a replacement character. The JSON output says the same with its own
/// escapes.
inline std::string PlainValue(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      // Continuation bytes only, and none of the overlong, surrogate or too-large forms.
      const bool low = (k == 1 && ((lead == 0xE0 && next < 0xA0) || (lead == 0xF0 && next < 0x90)));
      const bool high =
          (k == 1 && ((lead == 0xED && next > 0x9F) || (lead == 0xF4 && next > 0x8F)));
      if ((next & 0xC0) != 0x80 || low || high) length = 0;
    }
    if (length == 1) {
      out += kl::EscapeControlCharacters(text.substr(i, 1));
    } else if (length > 1) {
      out += text.substr(i, length);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", lead);
      out += hex;
      length = 1;
    }
    i += length;
  }
  return out;
}

}  // namespace kl

#endif  // KELVORY_TOOLS_COMMON_PLAINTEXT_H_
