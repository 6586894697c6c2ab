// Any bytes as a configuration profile, through the managed values' reader: refused with a
// reason, or a dictionary nested no deeper than the limit. libplist and GNUstep are not
// instrumented: coverage counts only our checks and conversion.
#import <Foundation/Foundation.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#import "KLActivationSource.h"
#import "KLPropertyList.h"

namespace {

// Levels of arrays and dictionaries in `object`, itself included.
int Depth(id object) {
  const bool dictionary = [object isKindOfClass:[NSDictionary class]];
  if (!dictionary && ![object isKindOfClass:[NSArray class]]) return 0;
  int deepest = 0;
  for (id item in (dictionary ? [object allValues] : object))
    deepest = std::max(deepest, Depth(item));
  return deepest + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  std::string problem;
  NSDictionary* values = KLManagedValuesFromData([NSData dataWithBytes:data length:size], &problem);
  const bool refused = values == nil && !problem.empty();
  const bool bounded = values != nil && problem.empty() &&
                       [values isKindOfClass:[NSDictionary class]] &&
                       Depth(values) <= kKLPropertyListMaxDepth;
  if (!refused && !bounded) abort();
  [pool drain];
  return 0;
}
