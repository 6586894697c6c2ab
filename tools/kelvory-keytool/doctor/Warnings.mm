// The doctor's warnings about managed preferences and about the input the checks get.
#include "Warnings.h"

#include <ctype.h>

#include <algorithm>

#import "KLActivationSource.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#include "KLPrefillSchema.h"
#import "KLStringBridge.h"
#include "WarningText.h"

namespace kl::keytool {

namespace {

using kl::prefill_schema::RecordField;

// The managed preferences' key of `field`.
std::string ProfileKey(RecordField field) { return kl::prefill_schema::FieldFor(field).profileKey; }

// The port at the end of a proxy text host:port, or -1 when it names none.
int64_t ProxyPort(std::string proxy) {
  KLHelper::TrimSpace(proxy);
  const size_t colon = proxy.rfind(':');
  if (colon == std::string::npos || proxy.find(':') != colon) return -1;  // none, or IPv6
  const std::string digits = proxy.substr(colon + 1);
  if (digits.empty() || !KLHelper::IsAllDigits(digits)) return -1;
  return digits.size() > 10 ? INT64_MAX : std::stoll(digits);
}

// The type of a managed value that is not a plain string or number, or the empty text. A
// boolean is a number to the reader, but nobody means a port or a name by one.
std::string ManagedTypeName(id value) {
  if ([value isKindOfClass:[[NSNumber numberWithBool:YES] class]]) return "a boolean";
  if ([value isKindOfClass:[NSString class]] || [value isKindOfClass:[NSNumber class]]) return "";
  if ([value isKindOfClass:[NSDate class]]) return "a date";
  if ([value isKindOfClass:[NSData class]]) return "data";
  if ([value isKindOfClass:[NSArray class]]) return "an array";
  if ([value isKindOfClass:[NSDictionary class]]) return "a dictionary";
  return "of another type";
}

// What the managed-values reader makes of a value of the wrong type: a boolean is taken as the
// number it holds, anything else as absent.
std::string ReadAs(const std::string& name, id value) {
  if (![value isKindOfClass:[NSNumber class]]) return "it is ignored";
  if (name == ProfileKey(RecordField::kIsHTTPS)) return "it is read as http";
  const std::string text = KLStdString([value stringValue]);
  if (name == ProfileKey(RecordField::kServerPort) || name == ProfileKey(RecordField::kProxyPort)) {
    return "it is read as " + std::to_string(KLHelper::Atoi32(text));
  }
  return "it is read as " + Quoted(text);
}

}  // namespace

std::vector<DoctorWarning> ManagedWarnings(NSDictionary* values) {
  // A payload's own keys sit beside the values in a profile's payload: known, never read.
  static const std::vector<std::string> kPayloadKeys = {
      "PayloadType",        "PayloadIdentifier",       "PayloadUUID",         "PayloadVersion",
      "PayloadDisplayName", "PayloadDescription",      "PayloadOrganization", "PayloadEnabled",
      "PayloadScope",       "PayloadRemovalDisallowed"};
  std::vector<DoctorWarning> out;
  std::vector<std::string> known;
  for (const char* const* k = kKLManagedKeys; *k != nullptr; ++k) known.push_back(*k);
  NSArray* keys = [[values allKeys] sortedArrayUsingSelector:@selector(compare:)];
  for (NSUInteger i = 0; i < [keys count]; ++i) {
    id key = [keys objectAtIndex:i];
    const std::string name = KLStdString([key description]);
    if (std::find(kPayloadKeys.begin(), kPayloadKeys.end(), name) != kPayloadKeys.end()) continue;
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      out.push_back({"unknown-name", UnknownText("key", Quoted(name), known, "")});
      continue;
    }
    id value = [values objectForKey:key];
    const std::string type = ManagedTypeName(value);
    if ([value isKindOfClass:[NSString class]] && !KLIsWholeText(value)) {
      out.push_back({"broken-text", "the value of " + Quoted(name) +
                                        " holds a NUL or text that is not valid; it is not "
                                        "shortened but ignored, as if the key were not there"});
    } else if (!type.empty()) {
      out.push_back({"wrong-type",
                     "the value of " + Quoted(name) + " is " + type + "; " + ReadAs(name, value)});
    } else if (name == ProfileKey(RecordField::kIsHTTPS)) {
      const std::string text = KLStdString([value description]);
      if (text != "http" && text != "https") {
        out.push_back({"protocol-text", ProtocolText(name, text)});
      }
    }
  }
  return out;
}

std::vector<DoctorWarning> InputWarnings(const KLActivationInput& input) {
  std::vector<DoctorWarning> out;
  if (input.activationOption == 0) {
    const KeyAnalysis key = AnalyzeKey(KLStdString(input.activationKey).c_str());
    for (const std::string& text : KeyPortTexts(key.endpoints)) {
      out.push_back({"port-range", text});
    }
  } else {
    std::string servers = KLStdString(input.serverURL);
    KLHelper::TrimSpace(servers);  // the pane trims the whole list, not its items
    // Split as the record splits the list: each piece as it stands.
    for (size_t start = 0, end = 0; start <= servers.size(); start = end + 1) {
      end = servers.find(',', start);
      if (end == std::string::npos) end = servers.size();
      const std::string item = servers.substr(start, end - start);
      if (!item.empty() && (KLHelper::IsCSpace(item.front()) || KLHelper::IsCSpace(item.back()))) {
        out.push_back({"server-list-blanks",
                       "server-list item " + Quoted(item) +
                           " has blanks around it; it is used as it stands, blanks included"});
      }
    }
    const std::string port = KLStdString(input.port);
    if (isinteger(input.port)) {
      const int32_t value = KLHelper::ScanInt32(port).value;
      if (value < 1 || value > 65535) out.push_back({"port-range", PortText("the server", value)});
    }
  }
  if (input.proxyOption == 1) {
    const int64_t port = ProxyPort(KLStdString(input.proxy));
    if (port == 0 || port > 65535) {
      out.push_back({"port-range", PortText("the proxy", port)});
    }
  }
  return out;
}

}  // namespace kl::keytool
