#include "KLHelper.h"

#include <arpa/inet.h>

#include <cctype>
#include <climits>

#include "KLPlatform.h"

namespace {

// The base64 alphabet; a character's 6-bit value is its index here.
constexpr char cvt[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// -1 for a character outside the alphabet ('=' included).
int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Outside the alphabet counts as all bits set.
int SextetOrAllOnes(unsigned char c) {
  const int v = Base64Value(c);
  return v < 0 ? 63 : v;
}

}  // namespace

namespace KLHelper {

void ToUpperCase(std::string& text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
}

void ToLowerCase(std::string& text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

void TrimSpace(std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first != std::string::npos) text.erase(0, first);
  const size_t last = text.find_last_not_of(' ');
  if (last != std::string::npos) text.erase(last + 1);
}

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter) {
  std::vector<std::string> result;
  if (delimiter.empty()) {
    result.push_back(text);
    return result;
  }
  // The unsplit rest is the window [begin, end) of `text`, space-trimmed after every cut just
  // as TrimSpace would trim a copy of it, but without copying or erasing: linear in the text.
  size_t begin = 0;
  size_t end = text.size();
  bool onlySpacesLeft = false;  // then no later trim can change the window either
  size_t at;
  while ((at = text.find(delimiter, begin)) != std::string::npos && at + delimiter.size() <= end) {
    std::string token = text.substr(begin, at - begin);
    TrimSpace(token);
    result.push_back(token);
    begin = at + delimiter.size();
    if (onlySpacesLeft) continue;
    // TrimSpace leaves a rest of spaces only as it is.
    const size_t first = text.find_first_not_of(' ', begin);
    if (first != std::string::npos && first < end) {
      begin = first;
      end = text.find_last_not_of(' ', end - 1) + 1;
    } else {
      onlySpacesLeft = true;
    }
  }
  result.push_back(text.substr(begin, end - begin));
  return result;
}

std::string DecodeBase64(const std::string& text) {
  std::string out;
  const size_t n = text.size();
  out.reserve(n / 4 * 3 + 3);
  for (size_t i = 0; i < n; i += 4) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const int c1 = SextetOrAllOnes(at(0));
    // A missing second character counts as outside the alphabet.
    const int c2 = i + 1 < n ? SextetOrAllOnes(at(1)) : 63;
    out.push_back(static_cast<char>((c1 << 2) | (c2 >> 4)));
    if (i + 2 >= n) break;
    if (at(2) == '=') break;
    const int c3 = SextetOrAllOnes(at(2));
    out.push_back(static_cast<char>(((c2 & 0x0F) << 4) | (c3 >> 2)));
    if (i + 3 >= n) break;
    if (at(3) == '=') break;
    const int c4 = Base64Value(at(3));
    out.push_back(c4 < 0 ? static_cast<char>(0xFF) : static_cast<char>(((c3 & 0x03) << 6) | c4));
  }
  return out;
}

std::string EncodeBase64(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const unsigned b0 = static_cast<unsigned char>(bytes[i]);
    const unsigned b1 = left > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const unsigned b2 = left > 2 ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    out.push_back(cvt[b0 >> 2]);
    out.push_back(cvt[((b0 & 0x03) << 4) | (b1 >> 4)]);
    out.push_back(left > 1 ? cvt[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=');
    out.push_back(left > 2 ? cvt[b2 & 0x3F] : '=');
  }
  return out;
}

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsWellFormedUtf8(const char* bytes, size_t size) {
  const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < size;) {
    const unsigned char lead = text[i];
    const size_t length = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || size - i < length) return false;
    if (length > 1) {
      // The second byte's range rules out the overlong, surrogate and too-large forms.
      const unsigned char second = text[i + 1];
      const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
      if (second < low || second > high) return false;
      for (size_t k = 2; k < length; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) return false;
      }
    }
    i += length;
  }
  return true;
}

ScannedInt ScanInt32(const std::string& text) {
  ScannedInt r;
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate in 64 bits and stop growing once past the 32-bit range.
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  int64_t magnitude = 0;
  const size_t digitsStart = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude <= limit) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (i == digitsStart) return r;
  r.hasDigits = true;
  r.end = i;
  if (magnitude > limit) {
    r.overflow = true;
    magnitude = limit;
  }
  r.value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return r;
}

int32_t Atoi32(const std::string& text) { return ScanInt32(text).value; }

bool IsAllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool IsValidIP(const std::string& text) {
  const std::vector<std::string> parts = SplitString(text, ".");
  if (parts.size() != 4) return false;
  for (const std::string& part : parts) {
    if (part == "0") continue;
    if (!IsAllDigits(part)) return false;
    const int32_t value = Atoi32(part);
    if (value < 1 || value > 255) return false;
  }
  return true;
}

bool HasSpaceOrControl(const std::string& text) {
  for (const char c : text) {
    if (IsCSpace(c) || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool IsValidFQDN(const std::string& text) {
  if (HasSpaceOrControl(text)) return false;
  if (inet_addr(text.c_str()) != INADDR_NONE) return true;
  return kl::CurrentPlatform().ResolveHostName(text);
}

}  // namespace KLHelper
