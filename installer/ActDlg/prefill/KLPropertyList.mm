#import "KLPropertyList.h"

#include <string.h>

#include <algorithm>

#include "KLHelper.h"
#import "KLPropertyListBackEnd.h"
#include "KLPropertyListBinaryWalk.h"
#import "KLTextDataProvider.h"  // kPrefillMaxBytes

namespace {

KLPropertyListForm FormOf(const char* bytes, size_t size) {
  if (size >= 8 && memcmp(bytes, "bplist00", 8) == 0) return KLPropertyListForm::kBinary;
  size_t at = size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
  while (at < size && strchr(" \t\r\n", bytes[at]) != nullptr && bytes[at] != '\0') ++at;
  if (at == size) return KLPropertyListForm::kNone;
  if (bytes[at] == '<') return KLPropertyListForm::kXml;
  // A dictionary, an array, a quoted text or a comment: how an OpenStep text list starts.
  return strchr("{(\"/", bytes[at]) != nullptr && bytes[at] != '\0' ? KLPropertyListForm::kOpenStep
                                                                    : KLPropertyListForm::kNone;
}

// libplist builds and frees its tree by recursion, and its XML reader has no depth limit. Each
// array or dictionary it builds starts at "<array" or "<dict", so counting those (in comments
// and texts too) bounds its depth whatever it makes of the rest. The nesting counted on the way
// only picks the reason.
std::string XmlBeyondBounds(const char* bytes, size_t size) {
  const char* const end = bytes + size;
  size_t opened = 0;
  long depth = 0, deepest = 0;
  for (const char* at = bytes; (at = static_cast<const char*>(
                                    memchr(at, '<', static_cast<size_t>(end - at)))) != nullptr;) {
    const bool closing = ++at < end && *at == '/';
    const char* name = closing ? at + 1 : at;
    const size_t room = static_cast<size_t>(end - name);
    const size_t length = room >= 5 && memcmp(name, "array", 5) == 0  ? 5
                          : room >= 4 && memcmp(name, "dict", 4) == 0 ? 4
                                                                      : 0;
    if (length == 0) continue;
    if (closing) {
      --depth;
      continue;
    }
    ++opened;
    if (room == length || name[length] != '/') deepest = std::max(deepest, ++depth);
  }
  if (opened <= kKLPropertyListMaxValues) return std::string();
  return deepest > kKLPropertyListMaxDepth ? KLPropertyListTooDeep() : KLPropertyListTooMany();
}

// The keys of the XML texts that are not UTF-8 (libplist drops such bytes without a word). A text
// belongs to the last key before it.
std::vector<std::string> XmlBrokenKeys(const char* bytes, size_t size) {
  std::vector<std::string> keys;
  if (KLHelper::IsWellFormedUtf8(bytes, size)) return keys;
  const std::string xml(bytes, size);
  for (size_t open = 0; (open = xml.find("<string>", open)) != std::string::npos;) {
    open += 8;
    const size_t close = xml.find("</string>", open);
    if (close == std::string::npos) break;
    const size_t key = xml.rfind("<key>", open);
    const size_t keyEnd = key == std::string::npos ? key : xml.find("</key>", key);
    if (!KLHelper::IsWellFormedUtf8(xml.data() + open, close - open) && keyEnd < open) {
      keys.push_back(xml.substr(key + 5, keyEnd - key - 5));
    }
    open = close;
  }
  return keys;
}

}  // namespace

id KLPropertyListFromData(NSData* data, std::string* problem,
                          std::vector<std::string>* brokenKeys) {
  if ([data length] > static_cast<NSUInteger>(kl::kPrefillMaxBytes)) {
    *problem = "larger than 1 MiB";
    return nil;
  }
  const char* bytes = static_cast<const char*>([data bytes]);
  const size_t size = [data length];
  const KLPropertyListForm form = FormOf(bytes, size);
  switch (form) {
    case KLPropertyListForm::kNone:
      *problem = kKLPropertyListNotAList;
      return nil;
    case KLPropertyListForm::kOpenStep:
      *problem = "an OpenStep text property list, which is not read";
      return nil;
    case KLPropertyListForm::kXml:
      *problem = XmlBeyondBounds(bytes, size);
      if (brokenKeys != nullptr) *brokenKeys = XmlBrokenKeys(bytes, size);
      // The mark says only how the text is encoded, which the declaration says again; not every
      // parser skips it.
      if (size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        data = [NSData dataWithBytes:bytes + 3 length:size - 3];
      }
      break;
    case KLPropertyListForm::kBinary:
      *problem = KLBinaryPropertyListProblem(reinterpret_cast<const unsigned char*>(bytes), size,
                                             brokenKeys);
      break;
  }
  if (!problem->empty()) return nil;
  return KLParsePropertyList(data, form, problem);
}
