// The wording the doctor's warnings share: names quoted, the nearest known name suggested.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_WARNINGTEXT_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_WARNINGTEXT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "KLEndPoint.h"

namespace kl::keytool {

/// The known name nearest to `name` (case ignored, at most a third of its letters wrong, one
/// at least), or the empty text.
std::string NearestName(const std::string& name, const std::vector<std::string>& known);

/// `text` between double quotes, as the warnings name what they are about.
std::string Quoted(const std::string& text);

/// "unknown WHAT NAME WHERE is ignored", with the nearest of `known` when one is near.
std::string UnknownText(const std::string& what, const std::string& name,
                        const std::vector<std::string>& known, const std::string& where);

/// A protocol text other than "http" or "https", and what it is read as.
std::string ProtocolText(const std::string& where, const std::string& text);

/// A port outside 1-65535.
std::string PortText(const std::string& what, int64_t port);

/// PortText for each of a key's endpoints whose port is outside 1-65535 (the decoder takes any).
std::vector<std::string> KeyPortTexts(const std::vector<KLEndPoint>& endpoints);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_WARNINGTEXT_H_
