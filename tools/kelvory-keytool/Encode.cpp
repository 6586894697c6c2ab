// kelvory-keytool encode: makes a key, and refuses one the decoder would refuse.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "KLEndPoint.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#include "KeyDiagnostics.h"
#include "PlainText.h"
#include "WarningText.h"

namespace kl::keytool {

namespace {

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
  kl::KeyAnalysis analysis;
  {
    FormatOnlyPlatform formatOnly;
    kl::ScopedPlatform scope(&formatOnly);
    analysis = kl::AnalyzeKey(key.c_str());
  }
  if (analysis.status != kl::KeyDecodeStatus::kOk) {
    // What decode says of this key, word for word, but on standard error.
    std::cerr << "error: " << kl::KeyDecodeStatusMessage(analysis.status) << "\n";
    for (const std::string& line : Diagnostics(analysis)) std::cerr << PlainValue(line) << "\n";
    return kExitRefused;
  }
  // Warned as the doctor warns: the decoder takes the key, the connection will not.
  for (const std::string& text : KeyPortTexts(analysis.endpoints)) {
    std::cerr << "kelvory-keytool: warning: " << text << "\n";
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

Subcommand AddEncodeCommand(CLI::App& app) {
  struct Options {
    std::vector<std::string> endpoints;
    std::string applianceId;
    std::string type = "1";
    std::string token;
  };
  const auto o = std::make_shared<Options>();
  CLI::App* encode = app.add_subcommand(
      "encode",
      "Make an activation key: base64 of endpoints|id|type|token, endpoints joined "
      "with ','.");
  encode->add_option("--endpoint", o->endpoints, "An endpoint text (repeat for more, in order)")
      ->required()
      ->take_all()
      ->allow_extra_args(false);
  encode->add_option("--appliance-id", o->applianceId,
                     "Appliance ID, decimal digits (default empty)");
  encode->add_option("--type", o->type, "Appliance type (default 1)");
  encode->add_option("--token", o->token, "Checksum field (default empty)");
  return {encode, [o] { return RunEncode(o->endpoints, o->applianceId, o->type, o->token); }};
}

}  // namespace kl::keytool
