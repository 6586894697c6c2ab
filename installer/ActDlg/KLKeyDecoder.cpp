#include "KLKeyDecoder.h"

#include "KLHelper.h"
#include "KLPlatform.h"

KeyAnalysis AnalyzeKey(const char* key) {
  KeyAnalysis a;
  a.decoded = KLHelper::DecodeBase64(key != nullptr ? key : "");
  a.fields = KLHelper::SplitString(a.decoded, "|");
  if (a.fields.size() != 4) {
    a.status = kKeyDecodeBadFormat;
    return a;
  }

  std::string type = a.fields[2];
  KLHelper::TrimSpace(type);
  if (type != "1" && type != "8" && type != "9") {
    a.status = kKeyDecodeWrongType;
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
      a.status = kKeyDecodeBadEndpoint;
      return a;
    }
    a.endpoints.push_back(endpoint);
  }

  std::string identifier = a.fields[1];
  KLHelper::TrimSpace(identifier);
  const KLHelper::ScannedInt value = KLHelper::ScanInt32(identifier);
  if (identifier.find_first_not_of("0123456789") != std::string::npos || value.overflow) {
    a.endpoints.clear();
    a.status = kKeyDecodeBadIdentifier;
    return a;
  }
  a.applianceId = value.value;
  a.status = kKeyDecodeOk;
  return a;
}

const char* KeyDecodeStatusMessage(int status) {
  switch (status) {
    case kKeyDecodeOk:
      return "";
    case kKeyDecodeWrongType:
      return "Activation key is invalid for this agent type";
    case kKeyDecodeBadEndpoint:
      return "LRC checksum test failed";
    case kKeyDecodeBadFormat:
      return "Invalid activation key format";
    default:
      return "Unknown error";
  }
}

int32_t FinishKeyDecode(const KeyAnalysis& analysis, std::vector<KLEndPoint>& endpoints) {
  if (analysis.status == kKeyDecodeOk) {
    endpoints.insert(endpoints.end(), analysis.endpoints.begin(), analysis.endpoints.end());
    return analysis.applianceId;
  }
  if (analysis.status == kKeyDecodeBadEndpoint || analysis.status == kKeyDecodeBadIdentifier) {
    endpoints.clear();
  }
  kl::CurrentPlatform().ShowCriticalAlert(KeyDecodeStatusMessage(analysis.status));
  return -1;
}

int32_t keydecode(const char* key, std::vector<KLEndPoint>& endpoints) {
  return FinishKeyDecode(AnalyzeKey(key), endpoints);
}
