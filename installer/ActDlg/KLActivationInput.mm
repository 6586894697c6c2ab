#import "KLActivationInput.h"

#include <vector>

#include "KLHelper.h"
#include "KLInstallLog.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"

namespace {

// Fixed buffer sizes of the copied texts (the kept text is one byte shorter).
constexpr size_t kKeyBuffer = 256;
constexpr size_t kNameBuffer = 1024;
constexpr size_t kIdBuffer = 256;
constexpr size_t kServerBuffer = 256;
constexpr size_t kProxyBuffer = 100;

std::string Trimmed(std::string text) {
  KLHelper::TrimSpace(text);
  return text;
}

bool Refuse(KLActivationRefusal* refusal, const std::string& message, const char* field) {
  refusal->message = message;
  refusal->field = field;
  return false;
}

// The ASCII copy of a field; a refusal naming the field when it has no ASCII form.
bool CopyASCIIField(NSString* text, size_t buffer, const char* name, const char* field,
                    std::string* out, KLActivationRefusal* refusal) {
  if (KLCopyASCII(text, buffer, out)) return true;
  return Refuse(refusal, std::string(name) + " can only contain ASCII characters", field);
}

// The values handed on, one set per exit.
struct HandOff {
  std::string key, serverURL, protocol, proxy, customerName, customerId;
  int32_t port = 0;
  int32_t applianceId = 0;
};

// Key form: the key as typed (untrimmed) and its first endpoint.
bool CheckKeyForm(const KLActivationInput& in, HandOff* out, KLActivationRefusal* refusal) {
  if (!CopyASCIIField(in.activationKey, kKeyBuffer, "Activation key", "activationKey", &out->key,
                      refusal)) {
    return false;
  }
  if (out->key.empty()) return Refuse(refusal, "Activation key can not be empty", "activationKey");
  const kl::KeyAnalysis key = kl::AnalyzeKey(out->key.c_str());
  if (key.status != kl::KeyDecodeStatus::kOk) {
    return Refuse(refusal, kl::KeyDecodeStatusMessage(key.status), "activationKey");
  }
  out->serverURL = Trimmed(key.endpoints[0].host);
  out->protocol = Trimmed(key.endpoints[0].protocol);
  out->port = key.endpoints[0].port;
  out->applianceId = key.applianceId;
  return true;
}

// Customer form, checks in their fixed order; only the first failure counts.
bool CheckCustomerForm(const KLActivationInput& in, HandOff* out, KLActivationRefusal* refusal) {
  if ([in.customerName length] == 0) {
    return Refuse(refusal, "Customer name can not be empty", "customerName");
  }
  if ([in.customerId length] == 0) {
    return Refuse(refusal, "Customer ID can not be empty", "customerId");
  }
  out->customerName = Trimmed(KLCopyUTF8(in.customerName, kNameBuffer));
  if (!isinteger(in.customerId)) return Refuse(refusal, "Invalid customer ID format", "customerId");
  if (!CopyASCIIField(in.customerId, kIdBuffer, "Customer ID", "customerId", &out->customerId,
                      refusal)) {
    return false;
  }
  KLHelper::TrimSpace(out->customerId);
  if ([in.serverURL length] == 0)
    return Refuse(refusal, "Server URL can not be empty", "serverURL");
  if (!CopyASCIIField(in.serverURL, kServerBuffer, "Server URL", "serverURL", &out->serverURL,
                      refusal)) {
    return false;
  }
  KLHelper::TrimSpace(out->serverURL);
  // Each address as the tool gets it, less its spaces at either end: anything else blank or
  // below 0x20 would be written into the agent's configuration file by the tool.
  for (const std::string& address : KLHelper::SplitString(out->serverURL, ",")) {
    if (KLHelper::HasSpaceOrControl(Trimmed(address))) {
      return Refuse(refusal, "Server URL can not contain white space or control characters",
                    "serverURL");
    }
  }
  if ([in.port length] == 0) return Refuse(refusal, "Port can not be empty", "port");
  if (!isinteger(in.port)) return Refuse(refusal, "Invalid port format", "port");
  out->port = KLHelper::ScanInt32(KLStdString(in.port)).value;
  if (static_cast<uint32_t>(out->port) >= 65537u) {
    return Refuse(refusal, "Port is out of range", "port");
  }
  out->protocol = in.https ? "https" : "http";
  return true;
}

}  // namespace

BOOL isinteger(NSString* text) {
  const std::string bytes = KLStdString(text);
  const KLHelper::ScannedInt scan = KLHelper::ScanInt32(bytes);
  if (!scan.hasDigits) return NO;
  for (size_t i = scan.end; i < bytes.size(); ++i) {
    if (!KLHelper::IsCSpace(bytes[i])) return NO;
  }
  return YES;
}

void KLApplyPrefill(KLTextDataProvider* record, KLActivationInput* input) {
  if ([[record activationKey] length] != 0) {
    input->activationKey = [record activationKey];
    input->activationOption = 0;
  } else if ([[record customerId] length] != 0 && [[record customerName] length] != 0) {
    input->customerId = [record customerId];
    input->customerName = [record customerName];
    input->activationOption = 1;
  }
  if ([[record serverURL] length] != 0) input->serverURL = [record serverURL];
  input->https = [record isHTTPS];
  // The file's port stands; it is not reset to the protocol's default.
  input->port = [NSString stringWithFormat:@"%lld", (long long)[record serverPort]];
  if ([[record proxyServer] length] != 0) {
    input->proxy = [record proxyServer];
    input->proxyOption = 1;
  }
}

KLTextDataProvider* KLCreateCheckedRecord(const KLActivationInput& input,
                                          KLActivationRefusal* refusal) {
  HandOff out;
  const bool checked = input.activationOption == 0 ? CheckKeyForm(input, &out, refusal)
                                                   : CheckCustomerForm(input, &out, refusal);
  if (!checked) return nil;
  if (input.proxyOption == 1) {
    if (!CopyASCIIField(input.proxy, kProxyBuffer, "Proxy", "proxy", &out.proxy, refusal)) {
      return nil;
    }
    KLHelper::TrimSpace(out.proxy);
    if (KLHelper::HasSpaceOrControl(out.proxy)) {
      Refuse(refusal, "Proxy can not contain white space or control characters", "proxy");
      return nil;
    }
  }
  return [[KLTextDataProvider alloc] initWithKey:KLNSString(out.key)
                                       serverURL:KLNSString(out.serverURL)
                                            port:(int64_t)out.port
                                        isSecure:(out.protocol == "https")
                                           proxy:KLNSString(out.proxy)
                                    customerName:KLNSString(out.customerName)
                                      customerId:KLNSString(out.customerId)
                                     applianceId:(int64_t)out.applianceId];
}
