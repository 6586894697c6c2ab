// Property lists from bytes nobody vouches for (configuration profiles): read within bounds by a
// parser made for such input, CoreFoundation's on macOS and libplist's elsewhere (GNUstep's own
// overflows its stack or reads out of bounds on crafted lists).
#ifndef KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLIST_H_
#define KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLIST_H_

#import <Foundation/Foundation.h>

#include <stddef.h>

#include <string>
#include <vector>

/// Arrays and dictionaries nested deeper than this are refused; a profile needs eight.
constexpr int kKLPropertyListMaxDepth = 32;
/// Values in all (a binary list's shared value counted at each use), and the bytes of its texts
/// and data counted the same way.
constexpr size_t kKLPropertyListMaxValues = 16384;
constexpr size_t kKLPropertyListMaxTextBytes = 8 << 20;

/// The property list in `data`, XML or binary and at most kl::kPrefillMaxBytes, as NSDictionary,
/// NSArray, NSString, NSNumber, NSDate and NSData objects (autoreleased); nil with `problem` set
/// to why: larger than 1 MiB, an OpenStep text list, nested too deep, too many values, a
/// damaged binary list or one that refers to itself, or no property list at all. An XML list may
/// start with a UTF-8 byte-order mark. `brokenKeys`, when given, gets the keys whose text value
/// the parser may have shortened: one holding a NUL or an unpaired surrogate (binary), or bytes
/// that are not UTF-8 (XML).
id KLPropertyListFromData(NSData* data, std::string* problem,
                          std::vector<std::string>* brokenKeys = nullptr);

#endif  // KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLIST_H_
