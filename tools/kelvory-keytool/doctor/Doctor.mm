// kelvory-keytool doctor: what an administrator asks before a rollout. It runs the activation
// pane's own pre-fill, checks and validation arguments on a pre-fill file, managed preferences
// or a key and says what the pane (or kelvory-activate) would do with them, and why; it warns
// about what the readers accept silently, and can probe the servers.
#import <Foundation/Foundation.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#import "DoctorChecks.h"
#include "DoctorPlatform.h"
#include "JsonOutput.h"
#import "KLActivationInput.h"
#import "KLActivationSource.h"
#include "KLPlatform.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"
#include "PlainReport.h"
#import "Warnings.h"

namespace kl::keytool {

namespace {

using nlohmann::json;

struct DoctorRequest {
  std::string packagePath;  ///< the pre-fill file is looked for beside this package
  std::string dataPath;     ///< a pre-fill file (XML, or key=value text with `textFormat`)
  bool hasKey = false;      ///< `key` is an activation key typed into the key form
  std::string key;
  bool managedPreferences = false;     ///< read managed preferences first
  std::string managedPreferencesPath;  ///< from this property list; empty: the platform's
  bool textFormat = false;
  bool json = false;
  bool strict = false;  ///< warnings fail the run
  bool probe = false;   ///< connect to each server address
  double probeSeconds = 5;
};

// The limit as the report words it: "5 s", "1.5 s".
std::string Seconds(double seconds) {
  std::ostringstream text;
  text << seconds << " s";
  return text.str();
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
  const std::string noData =
      "holds no activation data (no activation key, customer ID or customer name), so ";
  for (const KLSourceLook& look : choice.looked) {
    if (look.kind == KLSourceKind::kManagedPreferences) {
      std::string problem = look.problem;
      if (problem.empty() && look.found && !look.hasData) {
        problem = noData + "the file beside the package is looked for, or the user is asked";
      }
      report["profile"] = {{"location", look.location},
                           {"found", look.found},
                           {"hasData", look.hasData},
                           {"problem", problem.empty() ? json(nullptr) : json(problem)}};
      if (choice.managedValues != nil)
        AddWarnings(ManagedWarnings(choice.managedValues), &warnings);
      continue;
    }
    const bool found = choice.fileRecord != nil;
    std::string problem = look.problem;
    if (problem.empty() && !look.hasData) {
      problem = noData + "the pane does not fill itself and asks the user";
    }
    report["file"] = {{"path", look.location},
                      {"found", found},
                      {"problem", problem.empty() ? json(nullptr) : json(problem)}};
    if (found) {
      AddWarnings(FileWarnings(look.report, request.textFormat), &warnings);
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

// Prints the report to stdout (one JSON object with `json`) and returns the exit code: 0 when
// the pane would pass by itself (and, with `strict`, nothing was warned about), 1 otherwise.
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

}  // namespace

Subcommand AddDoctorCommand(CLI::App& app) {
  struct Options {
    bool json = false;
    DoctorRequest request;
  };
  const auto o = std::make_shared<Options>();
  DoctorRequest& doctorRequest = o->request;
  CLI::App* doctor = app.add_subcommand(
      "doctor",
      "Say what the activation pane (or kelvory-activate) would do with a pre-fill file, managed "
      "preferences or a key: where it looked and what it found (or why nothing), the values "
      "read, whether the pane passes by itself (or its alert, the field at fault and the likely "
      "cause), the key's fields and endpoints, whether the hosts resolve, the validation tool's "
      "argument vectors, and warnings about what the readers accept silently. Exit 0 when the "
      "pane would pass by itself (and, with --strict, nothing was warned about).");
  doctor->add_flag("--json", o->json, "Print one JSON object");
  CLI::Option* packageOption =
      doctor->add_option("--package", doctorRequest.packagePath,
                         "The installer package; InstallationData.xml is looked for beside it");
  CLI::Option* dataOption = doctor->add_option("--data", doctorRequest.dataPath, "A pre-fill file");
  CLI::Option* doctorTextOption =
      doctor->add_flag("--text", doctorRequest.textFormat, "With --data: the key=value text form");
  CLI::Option* keyOption = doctor->add_option("--key", doctorRequest.key,
                                              "An activation key, as typed into the key form");
  CLI::Option* managedOption =
      doctor
          ->add_option("--managed-preferences", doctorRequest.managedPreferencesPath,
                       "Managed preferences first (before the file): from this property list "
                       "(XML or binary; the flat dictionary or a whole unsigned configuration "
                       "profile), or without PLIST the forced preferences of the domain "
                       "com.kelvory.activation (macOS)")
          ->expected(0, 1)
          ->type_name("[PLIST]");
  doctor->add_flag("--strict", doctorRequest.strict, "Warnings fail the run (exit 1)");
  doctor->add_flag("--probe", doctorRequest.probe,
                   "Connect to each server address (through the proxy when set; for https a TLS "
                   "handshake with certificate verification), all at once; sends no request");
  CLI::Option* probeTimeoutOption = doctor
                                        ->add_option("--probe-timeout", doctorRequest.probeSeconds,
                                                     "Seconds each probe may take, and the "
                                                     "host-name lookups (default 5, for the "
                                                     "lookups also without --probe)")
                                        ->check(CLI::Range(0.1, 600.0));

  return {doctor, [=] {
            DoctorRequest& doctorRequest = o->request;
            if (packageOption->count() != 0 && dataOption->count() != 0) {
              return UsageError("--package and --data exclude each other");
            }
            if (keyOption->count() != 0 &&
                packageOption->count() + dataOption->count() + managedOption->count() != 0) {
              return UsageError("--key checks a key alone; it goes with no other input");
            }
            if (packageOption->count() + dataOption->count() + keyOption->count() +
                    managedOption->count() ==
                0) {
              return UsageError("doctor needs --package, --data, --managed-preferences or --key");
            }
            if (doctorTextOption->count() != 0 && dataOption->count() == 0) {
              return UsageError("--text goes with --data");
            }
            if (probeTimeoutOption->count() != 0 && !doctorRequest.probe) {
              return UsageError("--probe-timeout goes with --probe");
            }
            doctorRequest.json = o->json;
            doctorRequest.hasKey = keyOption->count() != 0;
            doctorRequest.managedPreferences = managedOption->count() != 0;
            return RunDoctor(doctorRequest);
          }};
}

}  // namespace kl::keytool
