// kelvory-keytool: decode and make activation keys, parse endpoints and read pre-fill files,
// with the plug-in's own code, for administrators and for our tests.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "JsonOutput.h"
#include "KLEndPoint.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#include "PlainText.h"
#include "VersionOption.h"
#include "doctor.h"
#include "prefill.h"

namespace {

// Exit codes: 0 success, 1 the input was refused, 2 usage error.
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

// The system's resolver and clock, but alerts are kept for the report instead of shown.
class ToolPlatform : public kl::DefaultPlatform {
 public:
  void ShowCriticalAlert(const std::string& message) override { alerts.push_back(message); }
  std::vector<std::string> alerts;
};

nlohmann::json EndpointJson(const KLEndPoint& e) {
  return {{"protocol", e.protocol}, {"host", e.host}, {"port", e.port}};
}

std::vector<std::string> Diagnostics(const KeyAnalysis& a) {
  std::vector<std::string> out;
  out.push_back("decoded text: " + a.decoded);
  out.push_back("field count: " + std::to_string(a.fields.size()) + " (4 expected)");
  switch (a.status) {
    case kKeyDecodeWrongType:
      out.push_back("appliance type: \"" + a.fields[2] + "\" (1, 8 or 9 expected)");
      break;
    case kKeyDecodeBadEndpoint:
      // The endpoint's message ends each fault with a line feed: one line here.
      out.push_back("rejected endpoint \"" + a.rejectedEndpointText + "\": " +
                    a.rejectedEndpointMessage.substr(
                        0, a.rejectedEndpointMessage.find_last_not_of('\n') + 1));
      break;
    case kKeyDecodeBadIdentifier:
      out.push_back("appliance identifier: \"" + a.fields[1] +
                    "\" (decimal digits up to 2147483647 expected)");
      break;
    default:
      break;
  }
  return out;
}

int RunDecode(const std::string& key, bool json) {
  ToolPlatform platform;
  kl::ScopedPlatform scope(&platform);
  const KeyAnalysis analysis = AnalyzeKey(key.c_str());
  std::vector<KLEndPoint> endpoints;
  const int32_t id = FinishKeyDecode(analysis, endpoints);
  if (id != -1) {
    if (json) {
      nlohmann::json list = nlohmann::json::array();
      for (const KLEndPoint& e : endpoints) list.push_back(EndpointJson(e));
      PrintJson({{"applianceId", id}, {"endpoints", list}});
    } else {
      std::printf("applianceId: %d\n", id);
      for (size_t i = 0; i < endpoints.size(); ++i) {
        std::printf("endpoint %zu: protocol=%s host=%s port=%d\n", i + 1,
                    PlainValue(endpoints[i].protocol).c_str(),
                    PlainValue(endpoints[i].host).c_str(), endpoints[i].port);
      }
    }
    return 0;
  }
  const std::string error = platform.alerts.empty() ? std::string() : platform.alerts.back();
  const std::vector<std::string> diagnostics = Diagnostics(analysis);
  if (json) {
    PrintJson({{"error", error}, {"diagnostics", diagnostics}});
  } else {
    // Each line escaped whole: a value in it can neither break it nor drive the terminal.
    std::cout << "error: " << PlainValue(error) << "\n";
    for (const std::string& line : diagnostics) std::cout << PlainValue(line) << "\n";
  }
  return kExitRefused;
}

int RunEndpoint(const std::string& text, bool json) {
  const KLEndPoint e(text);
  if (json) {
    PrintJson({{"isValid", e.isValid},
               {"protocol", e.protocol},
               {"host", e.host},
               {"port", e.port},
               {"errorMessage", e.errorMessage}});
  } else {
    std::cout << "isValid: " << (e.isValid ? "true" : "false")
              << "\nprotocol: " << PlainValue(e.protocol) << "\nhost: " << PlainValue(e.host)
              << "\nport: " << e.port << "\n";
    // One line: the message's own line feeds, between and after its faults, escaped too.
    if (!e.errorMessage.empty()) {
      std::cout << "errorMessage: "
                << PlainValue(e.errorMessage.substr(0, e.errorMessage.find_last_not_of('\n') + 1))
                << "\n";
    }
  }
  return e.isValid ? 0 : kExitRefused;
}

int UsageError(const std::string& message) {
  std::cerr << "kelvory-keytool: " << message << "\n";
  return kExitUsage;
}

// The decoder's rules without the machine's resolver: a key is made for the machines that
// install it, whose resolver may know hosts this one does not.
class FormatOnlyPlatform : public kl::DefaultPlatform {
 public:
  void ShowCriticalAlert(const std::string&) override {}
  bool ResolveHostName(const std::string&) override { return true; }
};

int RunEncode(const std::vector<std::string>& endpoints, const std::string& id,
              const std::string& type, const std::string& token) {
  if (endpoints.empty()) return UsageError("encode needs at least one --endpoint");
  std::string joined;
  for (const std::string& e : endpoints) {
    if (e.find('|') != std::string::npos) return UsageError("an endpoint may not hold '|': " + e);
    joined += (joined.empty() ? "" : ",") + e;
  }
  if (id.find('|') != std::string::npos) return UsageError("--appliance-id may not hold '|'");
  if (type.find('|') != std::string::npos) return UsageError("--type may not hold '|'");
  if (token.find('|') != std::string::npos) return UsageError("--token may not hold '|'");
  const std::string key = KLHelper::EncodeBase64(joined + "|" + id + "|" + type + "|" + token);
  KeyAnalysis analysis;
  {
    FormatOnlyPlatform formatOnly;
    kl::ScopedPlatform scope(&formatOnly);
    analysis = AnalyzeKey(key.c_str());
  }
  if (analysis.status != kKeyDecodeOk) {
    // What decode says of this key, word for word, but on standard error.
    std::cerr << "error: " << KeyDecodeStatusMessage(analysis.status) << "\n";
    for (const std::string& line : Diagnostics(analysis)) std::cerr << PlainValue(line) << "\n";
    return kExitRefused;
  }
  for (const KLEndPoint& e : analysis.endpoints) {
    if (!KLHelper::IsValidIP(e.host) && !kl::DefaultPlatform().ResolveHostName(e.host)) {
      std::cerr << "kelvory-keytool: warning: " << e.host
                << " does not resolve on this machine; decode here refuses the key, a machine "
                   "whose resolver knows it accepts it\n";
    }
  }
  std::cout << key << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int version = HandleVersionOption(argc, argv, "kelvory-keytool");
  if (version >= 0) return version;
  CLI::App app{
      "Kelvory activation key tool.\n"
      "Exit codes: 0 success, 1 the key, endpoint or file was refused, 2 usage error.\n"
      "A value that starts with '-' can be given after '--'. Values are used as given."};
  app.require_subcommand(1);
  app.add_flag("--version", "Print the name and version (alone on the command line)");

  bool json = false;
  std::string key;
  CLI::App* decode = app.add_subcommand(
      "decode",
      "Decode an activation key with the installer's decoder. Prints the appliance ID and the "
      "endpoints, or the installer's alert text with diagnostics that say why.");
  decode->add_flag("--json", json, "Print one JSON object");
  decode->add_option("KEY", key, "The activation key (base64), used as given")->required();

  std::string endpointText;
  CLI::App* endpoint = app.add_subcommand(
      "endpoint", "Parse one endpoint text protocol://host:port as the installer does.");
  endpoint->add_flag("--json", json, "Print one JSON object");
  endpoint->add_option("TEXT", endpointText, "The endpoint text, used as given")->required();

  std::vector<std::string> endpoints;
  std::string applianceId;
  std::string type = "1";
  std::string token;
  CLI::App* encode = app.add_subcommand(
      "encode",
      "Make an activation key: base64 of endpoints|id|type|token, endpoints joined "
      "with ','.");
  encode->add_option("--endpoint", endpoints, "An endpoint text (repeat for more, in order)")
      ->required()
      ->take_all()
      ->allow_extra_args(false);
  encode->add_option("--appliance-id", applianceId, "Appliance ID, decimal digits (default empty)");
  encode->add_option("--type", type, "Appliance type (default 1)");
  encode->add_option("--token", token, "Checksum field (default empty)");

  std::string file;
  bool textFormat = false;
  CLI::App* prefill = app.add_subcommand(
      "prefill",
      "Read a pre-fill file (InstallationData.xml, or key=value text with --text) and "
      "print the activation data it gives.");
  prefill->add_flag("--json", json, "Print one JSON object");
  prefill->add_flag("--text", textFormat, "Read the key=value text form instead of XML");
  prefill->add_option("FILE", file, "The file to read")->required();

  DoctorRequest doctorRequest;
  CLI::App* doctor = app.add_subcommand(
      "doctor",
      "Say what the activation pane (or kelvory-activate) would do with a pre-fill file, managed "
      "preferences or a key: where it looked and what it found (or why nothing), the values "
      "read, whether the pane passes by itself (or its alert, the field at fault and the likely "
      "cause), the key's fields and endpoints, whether the hosts resolve, the validation tool's "
      "argument vectors, and warnings about what the readers accept silently. Exit 0 when the "
      "pane would pass by itself (and, with --strict, nothing was warned about).");
  doctor->add_flag("--json", json, "Print one JSON object");
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

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help or --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // CLI11 checks what is required before what is unknown: a mistyped option would otherwise be
    // reported as a missing subcommand or KEY.
    const std::vector<std::string> unknown = app.remaining(true);
    if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && !unknown.empty()) {
      app.exit(CLI::ExtrasError(unknown));
    } else {
      app.exit(e);  // prints the message and usage to standard error
    }
    return kExitUsage;
  }

  if (decode->parsed()) return RunDecode(key, json);
  if (endpoint->parsed()) return RunEndpoint(endpointText, json);
  if (encode->parsed()) return RunEncode(endpoints, applianceId, type, token);
  if (prefill->parsed()) return RunPrefill(file, json, textFormat);
  if (doctor->parsed()) {
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
    doctorRequest.json = json;
    doctorRequest.hasKey = keyOption->count() != 0;
    doctorRequest.managedPreferences = managedOption->count() != 0;
    return RunDoctor(doctorRequest);
  }
  return kExitUsage;
}
