// A binary property list checked before a parser sees it (KLPropertyList.mm).
#ifndef KELVORY_ACTDLG_KLPROPERTYLISTBINARYWALK_H_
#define KELVORY_ACTDLG_KLPROPERTYLISTBINARYWALK_H_

#include <stddef.h>

#include <string>

/// Why the binary property list of `size` bytes at `bytes` may not be parsed: damaged, nested
/// deeper than kKLPropertyListMaxDepth, referring to itself, or beyond the limits on values and
/// bytes; the empty text when it may.
std::string KLBinaryPropertyListProblem(const unsigned char* bytes, size_t size);

#endif  // KELVORY_ACTDLG_KLPROPERTYLISTBINARYWALK_H_
