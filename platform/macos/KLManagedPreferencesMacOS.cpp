// The preferences an administrator forced on macOS (a configuration profile of a
// device-management system), for kl::DefaultPlatform and so for every tool's platform derived
// from it. The library klmanagedpreferences on Apple; gnustep/ has its own answer. Not
// compiled on Linux: kept to the CFPreferences calls it needs, every Create/Copy released here.
#include <CoreFoundation/CoreFoundation.h>

#include "KLPlatform.h"

namespace kl {
namespace {

// A new CFString of `text` as UTF-8; nullptr when it is not UTF-8.
CFStringRef CreateString(const std::string& text) {
  return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                                 static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false);
}

}  // namespace

std::string SystemManagedPreferences(const std::string& domain,
                                     const std::vector<std::string>& keys) {
  std::string serialized;
  CFStringRef application = CreateString(domain);
  if (application == nullptr) return serialized;
  CFMutableDictionaryRef forced = CFDictionaryCreateMutable(
      kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  if (forced == nullptr) {
    CFRelease(application);
    return serialized;
  }
  for (const std::string& key : keys) {
    CFStringRef name = CreateString(key);
    if (name == nullptr) continue;
    // A value the user or an installer wrote is not the administrator's: forced ones only.
    if (CFPreferencesAppValueIsForced(name, application)) {
      CFPropertyListRef value = CFPreferencesCopyAppValue(name, application);
      if (value != nullptr) {
        CFDictionarySetValue(forced, name, value);
        CFRelease(value);
      }
    }
    CFRelease(name);
  }
  if (CFDictionaryGetCount(forced) > 0) {
    CFDataRef data = CFPropertyListCreateData(kCFAllocatorDefault, forced,
                                              kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    if (data != nullptr) {
      serialized.assign(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                        static_cast<size_t>(CFDataGetLength(data)));
      CFRelease(data);
    }
  }
  CFRelease(forced);
  CFRelease(application);
  return serialized;
}

}  // namespace kl
