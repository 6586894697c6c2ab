#import "DoctorChecks.h"

#include <vector>

#include "KLEndPoint.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#import "KLStringBridge.h"
#import "KLValidation.h"
#include "KLValidationTool.h"
#include "Probe.h"

namespace kl::keytool {

using nlohmann::json;

namespace {

// The report lists the argument vectors with this in place of the plug-in's resource folder.
const char kResourcePlaceholder[] = "<resources>";

bool HasLayoutCharacters(const std::string& key) {
  return key.find_first_of("\r\n\t") != std::string::npos ||
         (!key.empty() && (key.front() == ' ' || key.back() == ' '));
}

}  // namespace

json Resolves(const std::string& host, DoctorPlatform& platform) {
  if (host.empty()) return nullptr;
  if (KLHelper::IsValidFQDN(host)) return true;
  // The answer is known by now: IsValidFQDN asked for it, unless the name is refused unasked.
  if (!KLHelper::HasSpaceOrControl(host) && platform.Lookup(host) == LookupResult::kNoAnswer) {
    return nullptr;
  }
  return false;
}

// The decoder's view of a key, with every endpoint of its first field parsed on its own: the
// decoder stops at the first bad one, an administrator wants them all.
json KeyReport(const std::string& key, DoctorPlatform& platform) {
  const kl::KeyAnalysis analysis = kl::AnalyzeKey(key.c_str());
  json report = {{"text", key},
                 {"decoded", analysis.decoded},
                 {"fieldCount", analysis.fields.size()},
                 {"applianceId", nullptr},
                 {"applianceType", nullptr},
                 {"decoderAlert", nullptr},
                 {"endpoints", json::array()}};
  if (analysis.status != kl::KeyDecodeStatus::kOk) {
    report["decoderAlert"] = kl::KeyDecodeStatusMessage(analysis.status);
  }
  if (analysis.fields.size() != 4) return report;
  report["applianceId"] = analysis.fields[1];
  report["applianceType"] = analysis.fields[2];
  for (const std::string& text : KLHelper::SplitString(analysis.fields[0], ",")) {
    const KLEndPoint endpoint(text);
    report["endpoints"].push_back({{"text", text},
                                   {"valid", endpoint.isValid},
                                   {"protocol", endpoint.protocol},
                                   {"host", endpoint.host},
                                   {"port", endpoint.port},
                                   {"message", endpoint.errorMessage},
                                   {"resolves", Resolves(endpoint.host, platform)}});
  }
  return report;
}

// A plain-words cause for the refusals that come from a common slip, or null.
json LikelyCause(const KLActivationRefusal& refusal, const std::string& key, KLSourceKind source,
                 KLTextDataProvider* record) {
  const bool fromFile = source == KLSourceKind::kPackageFolder || source == KLSourceKind::kDataFile;
  if (refusal.field != "activationKey") return nullptr;
  if (HasLayoutCharacters(key)) {
    if (source == KLSourceKind::kManagedPreferences) {
      return "The key holds line breaks, tabs or spaces around it: the profile's ActivationKey "
             "value is used exactly as given. Write the key in it without them.";
    }
    if (!fromFile) {
      return "The key holds line breaks, tabs or spaces around it, and the pane uses a key "
             "exactly as given. Copy the key without them.";
    }
    return "The key holds line breaks, tabs or spaces around it: a key written on its own "
           "line inside <ActivationKey> carries the line breaks and indentation with it, and the "
           "pane uses a key exactly as given, so this file is always refused. Write the key on "
           "one line with its tags: <ActivationKey>KEY</ActivationKey>.";
  }
  if (source != KLSourceKind::kOptions && key.empty() &&
      ([[record customerId] length] == 0) != ([[record customerName] length] == 0)) {
    return std::string(fromFile ? "The file" : "The profile") +
           " gives a customer ID or a customer name but not both, so the pane keeps the key form "
           "and finds no key. Give both (or an activation key).";
  }
  return nullptr;
}

// One entry per server address of the checked record, in the order the validation tries them.
json ValidationRuns(KLTextDataProvider* checked, DoctorPlatform& platform) {
  json runs = json::array();
  [checked resetURLs];
  do {
    const kl::ValidationRequest request = KLValidationRequestFromRecord(checked);
    runs.push_back({{"server", request.serverURL},
                    {"resolves", Resolves(request.serverURL, platform)},
                    {"argv", kl::ValidationArguments(kResourcePlaceholder, request)}});
  } while ([checked nextURL]);
  return runs;
}

// The probe's targets: the validation runs' addresses, ports, protocols and proxy.
json Probe(KLTextDataProvider* checked, double seconds) {
  std::vector<ProbeTarget> targets;
  [checked resetURLs];
  do {
    const kl::ValidationRequest request = KLValidationRequestFromRecord(checked);
    targets.push_back(
        {request.serverURL, request.port, request.protocol == "https", request.proxy});
  } while ([checked nextURL]);
  const std::vector<ProbeResult> results = ProbeAll(targets, seconds);
  json list = json::array();
  for (size_t i = 0; i < targets.size(); ++i) {
    const ProbeTarget& t = targets[i];
    const ProbeResult& r = results[i];
    list.push_back({{"host", t.host},
                    {"port", t.port},
                    {"protocol", t.https ? "https" : "http"},
                    {"proxy", t.proxy.empty() ? json(nullptr) : json(t.proxy)},
                    {"connected", r.connected},
                    {"tls", r.tls ? json(*r.tls) : json(nullptr)},
                    {"reachable", r.reachable},
                    {"error", r.reachable ? json(nullptr) : json(r.error)},
                    {"milliseconds", r.milliseconds}});
  }
  return list;
}

}  // namespace kl::keytool
