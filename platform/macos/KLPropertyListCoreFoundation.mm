// Property lists read by CoreFoundation on macOS, for KLPropertyList.mm (the library
// klplistparser on Apple). Not compiled on Linux: kept to the calls it needs, the list
// CoreFoundation creates handed to the autorelease pool.
#import "KLPropertyListBackEnd.h"

#include <CoreFoundation/CoreFoundation.h>

namespace {

// The depth and count of what CoreFoundation read, which has no limits of its own.
bool WithinBounds(id object, int depth, size_t* values, std::string* problem) {
  if (++*values > kKLPropertyListMaxValues) {
    *problem = KLPropertyListTooMany();
    return false;
  }
  const bool dictionary = [object isKindOfClass:[NSDictionary class]];
  if (!dictionary && ![object isKindOfClass:[NSArray class]]) return true;
  if (depth == kKLPropertyListMaxDepth) {
    *problem = KLPropertyListTooDeep();
    return false;
  }
  for (id item in (dictionary ? [object allValues] : object)) {
    if (!WithinBounds(item, depth + 1, values, problem)) return false;
  }
  return true;
}

}  // namespace

id KLParsePropertyList(NSData* data, KLPropertyListForm, std::string* problem) {
  CFPropertyListRef list =
      CFPropertyListCreateWithData(kCFAllocatorDefault, reinterpret_cast<CFDataRef>(data),
                                   kCFPropertyListImmutable, nullptr, nullptr);
  if (list == nullptr) {
    *problem = kKLPropertyListNotAList;
    return nil;
  }
  id object = [(id)list autorelease];
  size_t values = 0;
  return WithinBounds(object, 0, &values, problem) ? object : nil;
}
