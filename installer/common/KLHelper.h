// Byte-string helpers shared by the endpoint parser, the key decoder and the panes' checks.
// None of them reports an error: they change their argument in place or return a fresh value.
#ifndef KELVORY_INSTALLER_COMMON_KLHELPER_H_
#define KELVORY_INSTALLER_COMMON_KLHELPER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace KLHelper {

/// Upper-cases every byte in place with `toupper` (C locale: only a-z change). Unused today; the
/// counterpart of ToLowerCase.
void ToUpperCase(std::string& text);

/// Lower-cases every byte in place with `tolower` (C locale: only A-Z change).
void ToLowerCase(std::string& text);

/// Removes leading and trailing space characters (0x20 only; tabs and line breaks stay).
/// A text made only of spaces has no non-space character and comes back unchanged.
void TrimSpace(std::string& text);

/// Splits `text` at every occurrence of the whole `delimiter`. Always at least one element;
/// empty tokens are kept; every element is space-trimmed, except that a text holding no
/// delimiter comes back as its single element untrimmed. An empty delimiter gives the text
/// itself (no caller passes one).
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter);

/// Decodes standard base64 in groups of four, never refusing: a character outside the
/// alphabet counts as 63 (in a group's fourth place it makes the third byte 0xFF); '=' in a
/// group's third or fourth place ends decoding there; a short final group gives what it
/// covers (one character still gives one byte). The result may hold any byte, NUL included.
std::string DecodeBase64(const std::string& text);

/// Standard padded base64 of `bytes`. Not used by the plug-in itself: tools and tests make
/// activation keys with it.
std::string EncodeBase64(const std::string& bytes);

/// Strict dotted quad: four parts after SplitString at "."; each exactly "0" or digits only
/// with a value from 1 to 255 ("010" is ten; "00" fails).
bool IsValidIP(const std::string& text);

/// True when `text` holds white space (the C set) or a control character (below 0x20, or 0x7F).
bool HasSpaceOrControl(const std::string& text);

/// False for a text with white space or a control character, whatever the system's parser
/// makes of it ("1.2.3.4 x" passes `inet_addr`, and a line break would reach the agent's
/// configuration file); otherwise true when `inet_addr` parses the text (any numbers-and-dots
/// form it accepts) or, failing that, when the platform resolver finds the name with at least
/// one address.
bool IsValidFQDN(const std::string& text);

/// The result of reading a leading decimal integer the way `atoi`/`strtol` do.
struct ScannedInt {
  int32_t value = 0;       ///< saturated at INT32_MIN / INT32_MAX
  bool overflow = false;   ///< the digits did not fit in 32 bits
  bool hasDigits = false;  ///< at least one digit was read
  size_t end = 0;          ///< index just past the last character read (0 when no digits)
};

/// Reads a leading integer from `text`: white space (C `isspace` set: space, \t, \n, \v, \f,
/// \r; nothing else) is skipped, one optional sign, then decimal digits up to the first
/// non-digit. Values beyond 32 bits saturate at the nearest limit (unlike `atoi`, whose
/// overflow is undefined), so no digit string can wrap to a small value.
ScannedInt ScanInt32(const std::string& text);

/// `atoi` with saturation: ScanInt32(text).value (0 when there are no digits).
int32_t Atoi32(const std::string& text);

/// True when `text` is non-empty and holds only the characters 0-9.
bool IsAllDigits(const std::string& text);

/// True for the C locale's white-space characters: space, \t, \n, \v, \f, \r.
bool IsCSpace(char c);

/// True when `bytes` is well-formed UTF-8: no stray continuation byte, no overlong form (lead
/// bytes C0 and C1 included), no surrogate and nothing above U+10FFFF. NUL bytes are allowed.
bool IsWellFormedUtf8(const char* bytes, size_t size);
inline bool IsWellFormedUtf8(const std::string& text) {
  return IsWellFormedUtf8(text.data(), text.size());
}

}  // namespace KLHelper

#endif  // KELVORY_INSTALLER_COMMON_KLHELPER_H_
