#import "KLPropertyList.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#import "KLActivationSource.h"
#import "KLTextDataProvider.h"

#if defined(__APPLE__)
#include <CoreFoundation/CoreFoundation.h>
#else
#include <plist/plist.h>

#include <memory>
#endif

namespace {

const char kNotAList[] = "not a property list (XML or binary)";
const char kDamaged[] = "a damaged binary property list";

std::string TooDeep() {
  return "nested deeper than " + std::to_string(kKLPropertyListMaxDepth) + " levels";
}
std::string TooMany() {
  return "more than " + std::to_string(kKLPropertyListMaxValues) + " values";
}
std::string TooLong() {
  return "more than " + std::to_string(kKLPropertyListMaxTextBytes >> 20) + " MiB of text and data";
}

enum class Form { kXml, kBinary, kOpenStep, kNone };

Form FormOf(const char* bytes, size_t size) {
  if (size >= 8 && memcmp(bytes, "bplist00", 8) == 0) return Form::kBinary;
  size_t at = size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
  while (at < size && strchr(" \t\r\n", bytes[at]) != nullptr && bytes[at] != '\0') ++at;
  if (at == size) return Form::kNone;
  if (bytes[at] == '<') return Form::kXml;
  // A dictionary, an array, a quoted text or a comment: how an OpenStep text list starts.
  return strchr("{(\"/", bytes[at]) != nullptr && bytes[at] != '\0' ? Form::kOpenStep : Form::kNone;
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
  return deepest > kKLPropertyListMaxDepth ? TooDeep() : TooMany();
}

uint64_t BigEndian(const unsigned char* bytes, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) value = value << 8 | bytes[i];
  return value;
}

// A binary list's objects checked before a parser sees them, as the parser would walk them from
// the top: every offset, length and reference within the file, the nesting within the limit
// (a list that refers to itself would nest without end), and the values and bytes counted at
// each use, since a value shared at every level would otherwise be copied 2^depth times.
class BinaryWalk {
 public:
  BinaryWalk(const unsigned char* bytes, size_t size) : bytes_(bytes), size_(size) {}

  std::string Problem() {
    if (size_ < 8 + 32) return kDamaged;
    const unsigned char* trailer = bytes_ + size_ - 32;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    count_ = BigEndian(trailer + 8, 8);
    const uint64_t top = BigEndian(trailer + 16, 8);
    table_ = BigEndian(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || table_ < 8 ||
        table_ > size_ - 32 || count_ == 0 || count_ > (size_ - 32 - table_) / offsetSize_ ||
        top >= count_) {
      return kDamaged;
    }
    Visit(top, 0);
    return problem_;
  }

 private:
  // Whether `count` items of `unit` bytes lie between `at` and the offset table.
  bool Fits(uint64_t at, uint64_t count, uint64_t unit) const {
    return at <= table_ && count <= (table_ - at) / unit;
  }

  bool Fail(const std::string& problem) {
    problem_ = problem;
    return false;
  }

  // `depth`: the arrays and dictionaries around the object. A dictionary's key must be a text
  // without NUL: libplist keeps any other as it is, and asserts on a NUL in one.
  bool Visit(uint64_t object, int depth, bool key = false) {
    if (++values_ > kKLPropertyListMaxValues) return Fail(TooMany());
    const uint64_t at = BigEndian(bytes_ + table_ + object * offsetSize_, offsetSize_);
    if (at < 8 || at >= table_) return Fail(kDamaged);
    const unsigned type = bytes_[at] >> 4, info = bytes_[at] & 0xF;
    uint64_t head = at + 1;
    if (key && type != 0x5 && type != 0x6) return Fail(kDamaged);
    switch (type) {
      case 0x0:  // null, false, true, fill
        return true;
      case 0x1:  // integer of 2^info bytes, 16 at most
        return info <= 4 && Fits(head, 1u << info, 1) ? true : Fail(kDamaged);
      case 0x2:  // real of 4 or 8 bytes
        return (info == 2 || info == 3) && Fits(head, 1u << info, 1) ? true : Fail(kDamaged);
      case 0x3:  // date
        return info == 3 && Fits(head, 8, 1) ? true : Fail(kDamaged);
      case 0x8:  // UID
        return Fits(head, info + 1, 1) ? true : Fail(kDamaged);
      case 0x4:
      case 0x5:
      case 0x6:
      case 0xA:
      case 0xD:
        break;
      default:
        return Fail(kDamaged);
    }
    uint64_t length = info;
    if (info == 0xF) {  // the length follows as an integer of 1, 2, 4 or 8 bytes
      if (!Fits(head, 1, 1) || bytes_[head] >> 4 != 0x1 || (bytes_[head] & 0xF) > 3) {
        return Fail(kDamaged);
      }
      const unsigned size = 1u << (bytes_[head] & 0xF);
      if (!Fits(head + 1, size, 1)) return Fail(kDamaged);
      length = BigEndian(bytes_ + head + 1, size);
      head += 1 + size;
    }
    if (type < 0xA) {
      const uint64_t unit = type == 0x6 ? 2 : 1;  // UTF-16 or bytes
      if (!Fits(head, length, unit)) return Fail(kDamaged);
      for (uint64_t i = 0; key && i < length; ++i) {
        if (bytes_[head + i * unit] == 0 && bytes_[head + i * unit + unit - 1] == 0) {
          return Fail(kDamaged);
        }
      }
      textBytes_ += length * unit;
      return textBytes_ <= kKLPropertyListMaxTextBytes ? true : Fail(TooLong());
    }
    if (length > UINT64_MAX / 2) return Fail(kDamaged);
    const uint64_t refs = type == 0xD ? 2 * length : length;  // a dictionary: keys, then values
    if (!Fits(head, refs, refSize_)) return Fail(kDamaged);
    if (depth == kKLPropertyListMaxDepth) return Fail(TooDeep());
    path_[depth] = object;
    for (uint64_t i = 0; i < refs; ++i) {
      const uint64_t ref = BigEndian(bytes_ + head + i * refSize_, refSize_);
      if (ref >= count_) return Fail(kDamaged);
      if (std::find(path_, path_ + depth + 1, ref) != path_ + depth + 1) {
        return Fail("a binary property list that refers to itself");
      }
      if (!Visit(ref, depth + 1, type == 0xD && i < length)) return false;
    }
    return true;
  }

  const unsigned char* bytes_;
  const size_t size_;
  unsigned offsetSize_ = 0, refSize_ = 0;
  uint64_t count_ = 0, table_ = 0;
  uint64_t path_[kKLPropertyListMaxDepth] = {};  // the containers on the way to the object
  size_t values_ = 0;
  uint64_t textBytes_ = 0;
  std::string problem_;
};

#if defined(__APPLE__)

// The depth and count of what CoreFoundation read. Not compiled here: no Mac in this build.
bool WithinBounds(id object, int depth, size_t* values, std::string* problem) {
  if (++*values > kKLPropertyListMaxValues) {
    *problem = TooMany();
    return false;
  }
  const bool dictionary = [object isKindOfClass:[NSDictionary class]];
  if (!dictionary && ![object isKindOfClass:[NSArray class]]) return true;
  if (depth == kKLPropertyListMaxDepth) {
    *problem = TooDeep();
    return false;
  }
  for (id item in (dictionary ? [object allValues] : object)) {
    if (!WithinBounds(item, depth + 1, values, problem)) return false;
  }
  return true;
}

id Parse(NSData* data, Form, std::string* problem) {
  CFPropertyListRef list =
      CFPropertyListCreateWithData(kCFAllocatorDefault, reinterpret_cast<CFDataRef>(data),
                                   kCFPropertyListImmutable, nullptr, nullptr);
  if (list == nullptr) {
    *problem = kNotAList;
    return nil;
  }
  id object = [(id)list autorelease];
  size_t values = 0;
  return WithinBounds(object, 0, &values, problem) ? object : nil;
}

#else

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};

// libplist's tree as Foundation objects, within the same limits.
class Conversion {
 public:
  std::string problem;

  // `depth`: the arrays and dictionaries around the node.
  id Convert(plist_t node, int depth) {
    if (++values_ > kKLPropertyListMaxValues) return Fail(TooMany());
    switch (plist_get_node_type(node)) {
      case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return [NSNumber numberWithBool:value != 0];
      }
      case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return Negative(node, value) ? [NSNumber numberWithLongLong:static_cast<long long>(value)]
                                     : [NSNumber numberWithUnsignedLongLong:value];
      }
      case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return [NSNumber numberWithDouble:value];
      }
      case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return KLTypedText(std::string(text != nullptr ? text : "", text != nullptr ? length : 0));
      }
      case PLIST_DATE: {
        int32_t seconds = 0, micros = 0;
        plist_get_date_val(node, &seconds, &micros);
        return [NSDate dateWithTimeIntervalSinceReferenceDate:seconds + micros / 1e6];
      }
      case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        return [NSData dataWithBytes:bytes length:bytes != nullptr ? length : 0];
      }
      case PLIST_ARRAY:
        return depth == kKLPropertyListMaxDepth ? Fail(TooDeep()) : Array(node, depth);
      case PLIST_DICT:
        return depth == kKLPropertyListMaxDepth ? Fail(TooDeep()) : Dictionary(node, depth);
      default:  // a UID belongs to archives, not to profiles
        return Fail(kNotAList);
    }
  }

 private:
  id Fail(const std::string& why) {
    problem = why;
    return nil;
  }

  // libplist keeps every integer in 64 bits: past INT64_MAX it is negative unless it was written
  // as an unsigned 128-bit one, which only its own XML writer tells apart.
  static bool Negative(plist_t node, uint64_t value) {
    if (value <= INT64_MAX) return false;
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    const bool negative = xml != nullptr && strstr(xml, "<integer>-") != nullptr;
    plist_to_xml_free(xml);
    return negative;
  }

  id Array(plist_t node, int depth) {
    const uint32_t count = plist_array_get_size(node);
    NSMutableArray* array = [NSMutableArray arrayWithCapacity:std::min<uint32_t>(count, 1024)];
    for (uint32_t i = 0; i < count; ++i) {
      id item = Convert(plist_array_get_item(node, i), depth + 1);
      if (item == nil) return nil;
      [array addObject:item];
    }
    return array;
  }

  id Dictionary(plist_t node, int depth) {
    NSMutableDictionary* dictionary = [NSMutableDictionary dictionary];
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    for (;;) {
      char* key = nullptr;
      plist_t value = nullptr;
      plist_dict_next_item(node, iterator, &key, &value);
      if (value == nullptr) {
        free(key);
        break;
      }
      NSString* name = KLTypedText(key != nullptr ? key : "");
      free(key);
      id item = Convert(value, depth + 1);
      if (item == nil) {
        dictionary = nil;
        break;
      }
      [dictionary setObject:item forKey:name];
    }
    free(iterator);
    return dictionary;
  }

  size_t values_ = 0;
};

id Parse(NSData* data, Form form, std::string* problem) {
  const char* bytes = static_cast<const char*>([data bytes]);
  const uint32_t size = static_cast<uint32_t>([data length]);  // within kPrefillMaxBytes
  plist_t root = nullptr;
  if (form == Form::kBinary) {
    plist_from_bin(bytes, size, &root);
  } else {
    plist_from_xml(bytes, size, &root);
  }
  std::unique_ptr<void, PlistFree> owned(root);
  if (root == nullptr) {
    *problem = kNotAList;
    return nil;
  }
  Conversion conversion;
  id list = conversion.Convert(root, 0);
  if (list == nil) *problem = conversion.problem;
  return list;
}

#endif

}  // namespace

id KLPropertyListFromData(NSData* data, std::string* problem) {
  if ([data length] > static_cast<NSUInteger>(kPrefillMaxBytes)) {
    *problem = "larger than 1 MiB";
    return nil;
  }
  const char* bytes = static_cast<const char*>([data bytes]);
  const size_t size = [data length];
  const Form form = FormOf(bytes, size);
  switch (form) {
    case Form::kNone:
      *problem = kNotAList;
      return nil;
    case Form::kOpenStep:
      *problem = "an OpenStep text property list, which is not read";
      return nil;
    case Form::kXml:
      *problem = XmlBeyondBounds(bytes, size);
      break;
    case Form::kBinary:
      *problem = BinaryWalk(reinterpret_cast<const unsigned char*>(bytes), size).Problem();
      break;
  }
  if (!problem->empty()) return nil;
  return Parse(data, form, problem);
}
