// The activation key: base64 of "endpoints|applianceId|applianceType|checksum".
#ifndef KELVORY_INSTALLER_ACTDLG_KLKEYDECODER_H_
#define KELVORY_INSTALLER_ACTDLG_KLKEYDECODER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "KLEndPoint.h"

namespace kl {

/// Why a key was refused. The numbers are fixed; each picks its alert text.
enum class KeyDecodeStatus : int {
  kOk = 0,
  kWrongType = 4,      ///< "Activation key is invalid for this agent type"
  kBadEndpoint = 5,    ///< "LRC checksum test failed"
  kBadIdentifier = 6,  ///< "Unknown error"
  kBadFormat = 7,      ///< "Invalid activation key format"
};

/// Everything the decoder found in one key: what `keydecode` acts on, and what a tool shows
/// to explain a refusal.
struct KeyAnalysis {
  KeyDecodeStatus status = KeyDecodeStatus::kOk;
  std::string decoded;              ///< the base64-decoded text (any bytes)
  std::vector<std::string> fields;  ///< the decoded text split at "|", each space-trimmed
  /// The key's endpoints in key order when status is 0; empty for a refused key.
  std::vector<KLEndPoint> endpoints;
  std::string rejectedEndpointText;     ///< the first endpoint text that gave no valid endpoint
  std::string rejectedEndpointMessage;  ///< that endpoint's own `errorMessage`
  int32_t applianceId = 0;              ///< the identifier's value when status is 0
};

/// Runs every check on `key` (used as given, not trimmed) in the fixed order: four fields,
/// appliance type "1"/"8"/"9", each endpoint (stops at the first bad one; host names may be
/// looked up through the platform resolver), then the identifier (digits only or empty, at
/// most 2147483647 so that no accepted key can yield -1). Shows nothing.
KeyAnalysis AnalyzeKey(const char* key);

/// The alert text of a non-zero status; the empty text for 0.
const char* KeyDecodeStatusMessage(KeyDecodeStatus status);

/// Acts on an analysis as `keydecode` does: on success appends the key's endpoints to
/// `endpoints` and returns the identifier; on failure shows the status's critical alert and
/// returns -1, after emptying `endpoints` for endpoint and identifier faults (format and type
/// faults leave it untouched).
int32_t FinishKeyDecode(const KeyAnalysis& analysis, std::vector<KLEndPoint>& endpoints);

}  // namespace kl

/// Decodes the activation key `key` into `endpoints` (appended, in key order) and returns the
/// appliance identifier, or shows the critical alert that names the fault and returns -1.
int32_t keydecode(const char* key, std::vector<KLEndPoint>& endpoints);

#endif  // KELVORY_INSTALLER_ACTDLG_KLKEYDECODER_H_
