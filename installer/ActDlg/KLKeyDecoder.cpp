#include "KLKeyDecoder.h"

#include "KLHelper.h"
#include "KLPlatform.h"

namespace kl {

KeyAnalysis AnalyzeKey(const char* key) {
  KeyAnalysis a;
  a.decoded = KLHelper::DecodeBase64(key != nullptr ? key : "");
  a.fields = KLHelper::SplitString(a.decoded, "|");
  if (a.fields.size() != 4) {
    a.status = kl::KeyDecodeStatus::kBadFormat;
    return a;
  }

  std::string type = a.fields[2];
  KLHelper::TrimSpace(type);
  if (type != "1" && type != "8" && type != "9") {
    a.status = kl::KeyDecodeStatus::kWrongType;
    return a;
  }

  std::string endpointField = a.fields[0];
  KLHelper::TrimSpace(endpointField);
  for (const std::string& text : KLHelper::SplitString(endpointField, ",")) {
    KLEndPoint endpoint(text);
    if (!endpoint.isValid) {
      a.endpoints.clear();
      a.rejectedEndpointText = text;
      a.rejectedEndpointMessage = endpoint.errorMessage;
      a.status = kl::KeyDecodeStatus::kBadEndpoint;
      return a;
    }
    a.endpoints.push_back(endpoint);
  }

  std::string identifier = a.fields[1];
  KLHelper::TrimSpace(identifier);
  const KLHelper::ScannedInt value = KLHelper::ScanInt32(identifier);
  if (identifier.find_first_not_of("0123456789") != std::string::npos || value.overflow) {
    a.endpoints.clear();
    a.status = kl::KeyDecodeStatus::kBadIdentifier;
    return a;
  }
  a.applianceId = value.value;
  a.status = kl::KeyDecodeStatus::kOk;
  return a;
}

const char* KeyDecodeStatusMessage(KeyDecodeStatus status) {
  switch (status) {
    case kl::KeyDecodeStatus::kOk:
      return "";
    case kl::KeyDecodeStatus::kWrongType:
      return "Activation key is invalid for this agent type";
    case kl::KeyDecodeStatus::kBadEndpoint:
      return "LRC checksum test failed";
    case kl::KeyDecodeStatus::kBadFormat:
      return "Invalid activation key format";
    default:
      return "Unknown error";
  }
}

int32_t FinishKeyDecode(const KeyAnalysis& analysis, std::vector<KLEndPoint>& endpoints) {
  if (analysis.status == kl::KeyDecodeStatus::kOk) {
    endpoints.insert(endpoints.end(), analysis.endpoints.begin(), analysis.endpoints.end());
    return analysis.applianceId;
  }
  if (analysis.status == kl::KeyDecodeStatus::kBadEndpoint ||
      analysis.status == kl::KeyDecodeStatus::kBadIdentifier) {
    endpoints.clear();
  }
  kl::CurrentPlatform().ShowCriticalAlert(KeyDecodeStatusMessage(analysis.status));
  return -1;
}

}  // namespace kl

int32_t keydecode(const char* key, std::vector<KLEndPoint>& endpoints) {
  return kl::FinishKeyDecode(kl::AnalyzeKey(key), endpoints);
}
