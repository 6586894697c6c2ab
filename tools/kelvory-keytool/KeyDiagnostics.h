// What decode and encode say about a key the decoder refuses: why, field by field.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_KEYDIAGNOSTICS_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_KEYDIAGNOSTICS_H_

#include <string>
#include <vector>

#include "KLKeyDecoder.h"

namespace kl::keytool {

/// The decoded text, the field count and, for the refusals that name a field, that field.
std::vector<std::string> Diagnostics(const kl::KeyAnalysis& a);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_KEYDIAGNOSTICS_H_
