#import "CommandLineSources.h"

namespace kl::activate {

namespace {

std::string Describe(const KLSourceLook& look) {
  switch (look.kind) {
    case KLSourceKind::kManagedPreferences:
      return "the managed preferences " + look.location;
    case KLSourceKind::kPackageFolder:
      return "the file beside the package " + look.location;
    default:
      return "the pre-fill file " + look.location;
  }
}

}  // namespace

KLSourceChoice ChooseSources(const Options& o) {
  KLSourceRequest request;
  request.packagePath = o.package;
  request.dataPath = o.data;
  request.textFormat = o.text;
  request.managedPreferences = o.managed;
  request.managedPreferencesPath = o.managedPath;
  request.prefillLog = o.dryRun ? KLPrefillLog::kNone : KLPrefillLog::kHeadless;
  if (o.hasKey) request.typed.key = o.key;
  if (o.hasName) request.typed.customerName = o.customerName;
  if (o.hasId) request.typed.customerId = o.customerId;
  if (o.hasServer) request.typed.server = o.server;
  if (o.hasProtocol) request.typed.protocol = o.protocol;
  if (o.hasPort) request.typed.port = o.port;
  if (o.hasProxy) request.typed.proxy = o.proxy;
  return KLChooseActivationSource(request);
}

std::string UnreadableNamedFile(const Options& o, const KLSourceChoice& choice) {
  for (const KLSourceLook& look : choice.looked) {
    if (look.problem.empty()) continue;
    if (look.kind == KLSourceKind::kDataFile) {
      return "Cannot read the pre-fill file " + o.data + ": " + look.problem;
    }
    if (look.kind == KLSourceKind::kManagedPreferences && !o.managedPath.empty()) {
      return "Cannot read the managed preferences " + o.managedPath + ": " + look.problem;
    }
  }
  return std::string();
}

std::string NoActivationDataMessage(const KLSourceChoice& choice) {
  std::string message = "No activation data was found (an activation key, a customer ID or a "
                        "customer name)";
  if (choice.looked.empty()) return message + "; no option gave any";
  message += ". Looked at: ";
  for (size_t i = 0; i < choice.looked.size(); ++i) {
    const KLSourceLook& look = choice.looked[i];
    message += (i == 0 ? "" : "; ") + Describe(look) + ": " +
               (look.problem.empty() ? "holds none" : look.problem);
  }
  return message;
}

nlohmann::json SourceFields(const KLSourceChoice& choice) {
  nlohmann::json looked = nlohmann::json::array();
  nlohmann::json location = nullptr;
  for (const KLSourceLook& look : choice.looked) {
    looked.push_back({{"source", KLSourceName(look.kind)},
                      {"location", look.location},
                      {"found", look.found},
                      {"hasData", look.hasData},
                      {"problem", look.problem.empty() ? nlohmann::json(nullptr)
                                                       : nlohmann::json(look.problem)}});
    if (look.kind == choice.source) location = look.location;
  }
  return {{"source", KLSourceName(choice.source)},
          {"sourceLocation", location},
          {"overrides", choice.overrides},
          {"looked", looked}};
}

std::string SourceLine(const KLSourceChoice& choice) {
  std::string line = std::string("source: ") + KLSourceName(choice.source);
  for (const KLSourceLook& look : choice.looked) {
    if (look.kind == choice.source) line += " (" + look.location + ")";
  }
  if (!choice.overrides.empty() && choice.source != KLSourceKind::kOptions) {
    line += ", options over it:";
    for (const std::string& field : choice.overrides) line += " " + field;
  }
  return line;
}

}  // namespace kl::activate
