// A binary property list checked before a parser sees it (KLPropertyList.mm).
#ifndef KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLISTBINARYWALK_H_
#define KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLISTBINARYWALK_H_

#include <stddef.h>

#include <string>
#include <vector>

/// Why the binary property list of `size` bytes at `bytes` may not be parsed: damaged, nested
/// deeper than kKLPropertyListMaxDepth, referring to itself, or beyond the limits on values and
/// bytes; the empty text when it may. `brokenKeys`, when given, gets the keys (ASCII ones) whose
/// text value holds a NUL or an unpaired UTF-16 surrogate, which a parser may cut or drop.
std::string KLBinaryPropertyListProblem(const unsigned char* bytes, size_t size,
                                        std::vector<std::string>* brokenKeys = nullptr);

#endif  // KELVORY_INSTALLER_ACTDLG_PREFILL_KLPROPERTYLISTBINARYWALK_H_
