// Between KLPropertyList.mm, which checks a list's bytes within bounds, and the parser that then
// reads them: one back-end per platform, the file the platform's CMake picks
// (platform/macos/KLPropertyListCoreFoundation.mm, platform/gnustep/KLPropertyListLibplist.mm),
// which keeps to the same limits and says why it refused in the same words.
#ifndef KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLISTBACKEND_H_
#define KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLISTBACKEND_H_

#import <Foundation/Foundation.h>

#include <string>

#include "KLPropertyList.h"

enum class KLPropertyListForm { kXml, kBinary, kOpenStep, kNone };

inline constexpr char kKLPropertyListNotAList[] = "not a property list (XML or binary)";

inline std::string KLPropertyListTooDeep() {
  return "nested deeper than " + std::to_string(kKLPropertyListMaxDepth) + " levels";
}
inline std::string KLPropertyListTooMany() {
  return "more than " + std::to_string(kKLPropertyListMaxValues) + " values";
}
inline std::string KLPropertyListTooLong() {
  return "more than " + std::to_string(kKLPropertyListMaxTextBytes >> 20) + " MiB of text and data";
}

/// The list in `data`, an XML or binary one (`form`) already checked within bounds, as
/// Foundation objects (autoreleased); nil with `problem` set when the parser refuses it or what it
/// read is beyond the limits.
id KLParsePropertyList(NSData* data, KLPropertyListForm form, std::string* problem);

#endif  // KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLISTBACKEND_H_
