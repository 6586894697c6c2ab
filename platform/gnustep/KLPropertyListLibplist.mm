// Property lists read by libplist on Linux, for KLPropertyList.mm (GNUstep's own parser overflows
// its stack or reads out of bounds on crafted lists); the library klplistparser here.
#import "KLPropertyListBackEnd.h"

#include <plist/plist.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>

#import "KLActivationSource.h"  // KLTypedText

namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};

// libplist's tree as Foundation objects, within the same limits.
class Conversion {
 public:
  std::string problem;

  // `depth`: the arrays and dictionaries around the node.
  id Convert(plist_t node, int depth) {
    if (++values_ > kKLPropertyListMaxValues) return Fail(KLPropertyListTooMany());
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
        return depth == kKLPropertyListMaxDepth ? Fail(KLPropertyListTooDeep())
                                                : Array(node, depth);
      case PLIST_DICT:
        return depth == kKLPropertyListMaxDepth ? Fail(KLPropertyListTooDeep())
                                                : Dictionary(node, depth);
      default:  // a UID belongs to archives, not to profiles
        return Fail(kKLPropertyListNotAList);
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

}  // namespace

id KLParsePropertyList(NSData* data, KLPropertyListForm form, std::string* problem) {
  const char* bytes = static_cast<const char*>([data bytes]);
  const uint32_t size = static_cast<uint32_t>([data length]);  // within kl::kPrefillMaxBytes
  plist_t root = nullptr;
  if (form == KLPropertyListForm::kBinary) {
    plist_from_bin(bytes, size, &root);
  } else {
    plist_from_xml(bytes, size, &root);
  }
  std::unique_ptr<void, PlistFree> owned(root);
  if (root == nullptr) {
    *problem = kKLPropertyListNotAList;
    return nil;
  }
  Conversion conversion;
  id list = conversion.Convert(root, 0);
  if (list == nil) *problem = conversion.problem;
  return list;
}
