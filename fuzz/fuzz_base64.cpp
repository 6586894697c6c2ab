// Base64 decoding of any text: never fails, and what EncodeBase64 makes decodes back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "KLHelper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string decoded = KLHelper::DecodeBase64(text);
  // Four characters give at most three bytes; a short last group at most two.
  if (decoded.size() > size / 4 * 3 + 2) abort();
  if (KLHelper::DecodeBase64(KLHelper::EncodeBase64(text)) != text) abort();
  return 0;
}
