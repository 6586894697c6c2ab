// kelvory-keytool decode: a key through the installer's decoder, with the alert and why.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "JsonOutput.h"
#include "KLEndPoint.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#include "KeyDiagnostics.h"
#include "PlainText.h"

namespace kl::keytool {

namespace {

// The system's resolver and clock, but alerts are kept for the report instead of shown.
class ToolPlatform : public kl::DefaultPlatform {
 public:
  void ShowCriticalAlert(const std::string& message) override { alerts.push_back(message); }
  std::vector<std::string> alerts;
};

nlohmann::json EndpointJson(const KLEndPoint& e) {
  return {{"protocol", e.protocol}, {"host", e.host}, {"port", e.port}};
}

int RunDecode(const std::string& key, bool json) {
  ToolPlatform platform;
  kl::ScopedPlatform scope(&platform);
  const kl::KeyAnalysis analysis = kl::AnalyzeKey(key.c_str());
  std::vector<KLEndPoint> endpoints;
  const int32_t id = kl::FinishKeyDecode(analysis, endpoints);
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

}  // namespace

Subcommand AddDecodeCommand(CLI::App& app) {
  struct Options {
    bool json = false;
    std::string key;
  };
  const auto o = std::make_shared<Options>();
  CLI::App* decode = app.add_subcommand(
      "decode",
      "Decode an activation key with the installer's decoder. Prints the appliance ID and the "
      "endpoints, or the installer's alert text with diagnostics that say why.");
  decode->add_flag("--json", o->json, "Print one JSON object");
  decode->add_option("KEY", o->key, "The activation key (base64), used as given")->required();
  return {decode, [o] { return RunDecode(o->key, o->json); }};
}

}  // namespace kl::keytool
