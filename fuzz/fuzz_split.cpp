// SplitString against the plain statement of its rule (cut at the first delimiter, trim the
// token, trim what is left, repeat), which is quadratic and therefore not the product's.
// The first byte picks a delimiter; the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "KLHelper.h"

namespace {

std::vector<std::string> Oracle(const std::string& text, const std::string& delimiter) {
  std::vector<std::string> result;
  std::string rest = text;
  if (delimiter.empty()) return {rest};
  size_t at;
  while ((at = rest.find(delimiter)) != std::string::npos) {
    std::string token = rest.substr(0, at);
    KLHelper::TrimSpace(token);
    result.push_back(token);
    rest.erase(0, at + delimiter.size());
    KLHelper::TrimSpace(rest);
  }
  result.push_back(rest);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kDelimiters[] = {",", "|", ".", " ", ", ", " ,", "  ", "::", "", "a a"};
  if (size == 0) return 0;
  const std::string delimiter = kDelimiters[data[0] % (sizeof kDelimiters / sizeof *kDelimiters)];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (KLHelper::SplitString(text, delimiter) != Oracle(text, delimiter)) abort();
  return 0;
}
