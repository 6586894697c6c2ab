#include "doctor.h"

#import <Foundation/Foundation.h>

#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "JsonOutput.h"
#import "KLActivationInput.h"
#import "KLActivationSource.h"
#include "KLEndPoint.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"
#import "KLValidation.h"
#include "KLValidationTool.h"
#include "PlainText.h"
#include "lookup.h"
#include "probe.h"
#import "warnings.h"

namespace {

using nlohmann::json;

// The report lists the argument vectors with this in place of the plug-in's resource folder.
const char kResourcePlaceholder[] = "<resources>";

// Without the console lines the record and the text reader write (the report already says what
// they read), and with every host-name lookup within the limit. The checks ask about one name
// after another, each of which could hold the doctor as long as the resolver takes; so the names
// are gathered first (each answered as found, which leads the checks down every path that asks),
// then looked up all at once, and the checks run again on those answers. A name only that second
// run asks is looked up alone, within the same limit.
class DoctorPlatform : public kl::DefaultPlatform {
 public:
  explicit DoctorPlatform(double seconds) : seconds_(seconds) {}
  void ConsoleLog(const std::string&) override {}
  bool ResolveHostName(const std::string& name) override {
    return Lookup(name) == LookupResult::kResolves;
  }

  LookupResult Lookup(const std::string& name) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (gathering_) {
      gathered_.push_back(name);
      return LookupResult::kResolves;
    }
    auto known = answers_.find(name);
    if (known == answers_.end()) {
      known = answers_.emplace(name, LookUpAll({name}, seconds_).at(name)).first;
    }
    return known->second;
  }
  void LookUpGathered() {
    std::lock_guard<std::mutex> hold(mutex_);
    gathering_ = false;
    answers_ = LookUpAll(gathered_, seconds_);
  }
  std::vector<std::string> Unanswered() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, result] : answers_) {
      if (result == LookupResult::kNoAnswer) names.push_back(name);
    }
    return names;
  }

 private:
  const double seconds_;
  std::mutex mutex_;
  bool gathering_ = true;
  std::vector<std::string> gathered_;
  std::map<std::string, LookupResult> answers_;
};

// The limit as the report words it: "5 s", "1.5 s".
std::string Seconds(double seconds) {
  std::ostringstream text;
  text << seconds << " s";
  return text.str();
}

std::string Quoted(const std::string& text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

json RecordValues(KLTextDataProvider* record) {
  return {{"containData", static_cast<bool>([record containData])},
          {"activationKey", KLStdString([record activationKey])},
          {"customerId", KLStdString([record customerId])},
          {"customerName", KLStdString([record customerName])},
          {"serverURL", KLStdString([record serverURL])},
          {"isHTTPS", static_cast<bool>([record isHTTPS])},
          {"serverPort", static_cast<int64_t>([record serverPort])},
          {"proxyServer", KLStdString([record proxyServer])}};
}

// Resolution of a host through the platform; null when there is no host to ask about, or when
// the resolver gave no answer within the limit.
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
  const KeyAnalysis analysis = AnalyzeKey(key.c_str());
  json report = {{"text", key},
                 {"decoded", analysis.decoded},
                 {"fieldCount", analysis.fields.size()},
                 {"applianceId", nullptr},
                 {"applianceType", nullptr},
                 {"decoderAlert", nullptr},
                 {"endpoints", json::array()}};
  if (analysis.status != kKeyDecodeOk) {
    report["decoderAlert"] = KeyDecodeStatusMessage(analysis.status);
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

bool HasLayoutCharacters(const std::string& key) {
  return key.find_first_of("\r\n\t") != std::string::npos ||
         (!key.empty() && (key.front() == ' ' || key.back() == ' '));
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
    const ValidationRequest request = KLValidationRequestFromRecord(checked);
    runs.push_back({{"server", request.serverURL},
                    {"resolves", Resolves(request.serverURL, platform)},
                    {"argv", ValidationArguments(kResourcePlaceholder, request)}});
  } while ([checked nextURL]);
  return runs;
}

std::string YesNo(const json& value, const json& host, const std::string& limit) {
  if (value.is_null()) {
    return host.get<std::string>().empty() ? "no host" : "no answer within " + limit;
  }
  return value.get<bool>() ? "yes" : "no";
}

// Endpoint messages end each fault with a line feed; on one line they read better joined.
std::string OneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
    text.replace(at, 1, "; ");
  }
  return text;
}

// A value for the plain output, escaped (see PlainValue); JSON for what is not a text.
std::string Text(const json& value) {
  return value.is_string() ? PlainValue(value.get<std::string>())
                           : value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void PrintPlain(const json& r, const std::string& limit) {
  std::ostream& out = std::cout;
  if (!r["file"].is_null()) {
    const json& file = r["file"];
    out << "pre-fill file: " << Quoted(file["path"]) << "\n"
        << "found: " << (file["found"].get<bool>() ? "yes" : "no") << "\n";
    if (!file["problem"].is_null()) out << "problem: " << Text(file["problem"]) << "\n";
  }
  if (!r["profile"].is_null()) {
    const json& profile = r["profile"];
    out << "managed preferences: " << Quoted(profile["location"]) << "\n"
        << "  found: " << (profile["found"].get<bool>() ? "yes" : "no") << "\n";
    if (!profile["problem"].is_null()) out << "  problem: " << Text(profile["problem"]) << "\n";
  }
  if (r["source"] != "none") out << "source: " << Text(r["source"]) << "\n";
  if (!r["read"].is_null()) {
    out << "read:\n";
    static const char* const kNames[] = {"containData",  "activationKey", "customerId",
                                         "customerName", "serverURL",     "isHTTPS",
                                         "serverPort",   "proxyServer"};
    for (const char* name : kNames) {
      const json& value = r["read"][name];
      out << "  " << name << ": " << (value.is_string() ? Quoted(value) : Text(value)) << "\n";
    }
  }
  if (!r["form"].is_null()) out << "form: " << Text(r["form"]) << "\n";
  out << "passes by itself: " << (r["passes"].get<bool>() ? "yes" : "no") << "\n";
  if (!r["alert"].is_null()) {
    out << "alert: " << Text(r["alert"]) << "\nfield at fault: " << Text(r["field"]) << "\n";
  }
  if (!r["likelyCause"].is_null()) out << "likely cause: " << Text(r["likelyCause"]) << "\n";
  if (!r["key"].is_null()) {
    const json& key = r["key"];
    out << "key: " << Quoted(key["text"]) << "\n"
        << "  decoded text: " << Quoted(key["decoded"]) << "\n"
        << "  field count: " << key["fieldCount"].get<size_t>() << " (4 expected)\n";
    if (!key["applianceId"].is_null()) {
      out << "  appliance identifier: " << Quoted(key["applianceId"]) << "\n"
          << "  appliance type: " << Quoted(key["applianceType"]) << "\n";
    }
    out << "  decoder: "
        << (key["decoderAlert"].is_null() ? "accepted" : "refused: " + Text(key["decoderAlert"]))
        << "\n";
    size_t number = 0;
    for (const json& e : key["endpoints"]) {
      out << "  endpoint " << ++number << ": " << Quoted(e["text"]) << ": ";
      if (e["valid"].get<bool>()) {
        out << "valid, protocol=" << Text(e["protocol"]) << " host=" << Text(e["host"])
            << " port=" << e["port"].get<int32_t>();
      } else {
        out << "invalid: " << PlainValue(OneLine(e["message"].get<std::string>()));
      }
      out << "; resolves: " << YesNo(e["resolves"], e["host"], limit) << "\n";
    }
  }
  if (!r["validation"].empty()) out << "validation runs:\n";
  size_t number = 0;
  for (const json& run : r["validation"]) {
    out << "  server " << ++number << ": " << Quoted(run["server"])
        << "; resolves: " << YesNo(run["resolves"], run["server"], limit) << "\n"
        << "    argv: " << Text(run["argv"]) << "\n";
  }
  number = 0;
  for (const json& p : r["probe"]) {
    out << "probe " << ++number << ": " << Text(p["protocol"]) << "://" << Text(p["host"]) << ":"
        << p["port"].get<int32_t>();
    if (!p["proxy"].is_null()) out << " via " << Text(p["proxy"]);
    if (p["reachable"].get<bool>()) {
      out << ": reachable";
    } else {
      out << ": unreachable: " << Text(p["error"]);
    }
    out << " (" << p["milliseconds"].get<int64_t>() << " ms)\n";
  }
  for (const json& w : r["warnings"]) out << "warning: " << Text(w["message"]) << "\n";
  out.flush();
}

// The probe's targets: the validation runs' addresses, ports, protocols and proxy.
json Probe(KLTextDataProvider* checked, double seconds) {
  std::vector<ProbeTarget> targets;
  [checked resetURLs];
  do {
    const ValidationRequest request = KLValidationRequestFromRecord(checked);
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

void AddWarnings(const std::vector<DoctorWarning>& found, json* list) {
  for (const DoctorWarning& w : found) list->push_back({{"code", w.code}, {"message", w.message}});
}

// The report, with the probe when `probe`.
json Examine(const DoctorRequest& request, DoctorPlatform& platform, bool probe) {
  json report = {{"input", nullptr},          {"source", "none"}, {"file", nullptr},
                 {"profile", nullptr},        {"read", nullptr},  {"form", nullptr},
                 {"passes", false},           {"alert", nullptr}, {"field", nullptr},
                 {"likelyCause", nullptr},    {"key", nullptr},   {"validation", json::array()},
                 {"warnings", json::array()}, {"probe", nullptr}};
  KLSourceRequest sources;
  sources.packagePath = request.packagePath;
  sources.dataPath = request.dataPath;
  sources.textFormat = request.textFormat;
  sources.managedPreferences = request.managedPreferences;
  sources.managedPreferencesPath = request.managedPreferencesPath;
  if (request.hasKey) sources.typed.key = request.key;
  const KLSourceChoice choice = KLChooseActivationSource(sources);

  report["input"] = request.hasKey                 ? "key"
                    : !request.packagePath.empty() ? "package"
                    : !request.dataPath.empty()    ? "data"
                                                   : "managed-preferences";
  report["source"] = KLSourceName(choice.source);
  json& warnings = report["warnings"];
  for (const KLSourceLook& look : choice.looked) {
    if (look.kind == KLSourceKind::kManagedPreferences) {
      report["profile"] = {{"location", look.location},
                           {"found", look.found},
                           {"hasData", look.hasData},
                           {"problem", look.problem.empty() ? json(nullptr) : json(look.problem)}};
      if (choice.managedValues != nil)
        AddWarnings(ManagedWarnings(choice.managedValues), &warnings);
      continue;
    }
    const bool found = choice.fileRecord != nil;
    std::string problem = look.problem;
    if (problem.empty() && !look.hasData) {
      problem = "holds no activation data (no activation key, customer ID or customer name), so "
                "the pane does not fill itself and asks the user";
    }
    report["file"] = {{"path", look.location},
                      {"found", found},
                      {"problem", problem.empty() ? json(nullptr) : json(problem)}};
    if (found) {
      AddWarnings(
          request.textFormat ? TextFileWarnings(look.location) : XmlFileWarnings(look.location),
          &warnings);
    }
  }
  KLTextDataProvider* shown = choice.record != nil ? choice.record : choice.fileRecord;
  if (shown == nil && choice.managedValues != nil) {
    shown = KLRecordFromManagedValues(choice.managedValues);
  }
  if (shown != nil && !request.hasKey) report["read"] = RecordValues(shown);

  if (choice.source != KLSourceKind::kNone) {
    const KLActivationInput& input = choice.input;
    report["form"] = input.activationOption == 0 ? "key" : "customer";
    // A typed key is reported byte for byte, even where it is not text.
    const std::string key = request.hasKey ? request.key : KLStdString(input.activationKey);
    KLActivationRefusal refusal;
    KLTextDataProvider* checked = KLCreateCheckedRecord(input, &refusal);
    if (input.activationOption == 0 && !key.empty()) report["key"] = KeyReport(key, platform);
    AddWarnings(InputWarnings(input), &warnings);
    if (checked != nil) {
      report["passes"] = true;
      report["validation"] = ValidationRuns(checked, platform);
      if (probe) report["probe"] = Probe(checked, request.probeSeconds);
      [checked release];
    } else {
      report["alert"] = refusal.message;
      report["field"] = refusal.field;
      report["likelyCause"] = LikelyCause(refusal, key, choice.source, choice.record);
    }
  }
  for (const std::string& name : platform.Unanswered()) {
    warnings.push_back({{"code", "no-answer"},
                        {"message", "the resolver gave no answer for " + name + " within " +
                                        Seconds(request.probeSeconds) +
                                        ", so it counts as not resolving here; the pane waits "
                                        "for the resolver as long as it takes"}});
  }
  if (probe && report["probe"].is_null()) report["probe"] = json::array();
  for (const json& p : report["probe"]) {
    if (p["reachable"].get<bool>()) continue;
    warnings.push_back(
        {{"code", "unreachable"},
         {"message", p["protocol"].get<std::string>() + "://" + p["host"].get<std::string>() + ":" +
                         std::to_string(p["port"].get<int32_t>()) +
                         " cannot be reached: " + p["error"].get<std::string>()}});
  }
  return report;
}

}  // namespace

int RunDoctor(const DoctorRequest& request) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  DoctorPlatform platform(request.probeSeconds);
  kl::ScopedPlatform scope(&platform);
  Examine(request, platform, false);  // gathers the names the checks ask about
  platform.LookUpGathered();
  const json report = Examine(request, platform, request.probe);
  if (request.json) {
    PrintJson(report);
  } else {
    PrintPlain(report, Seconds(request.probeSeconds));
  }
  const bool passes =
      report["passes"].get<bool>() && !(request.strict && !report["warnings"].empty());
  [pool drain];
  return passes ? 0 : 1;
}
