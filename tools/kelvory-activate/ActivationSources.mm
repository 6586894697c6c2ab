#import "ActivationSources.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "KLConfigWriter.h"
#include "KLPlatform.h"
#include "KLValidationTool.h"

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

bool SkipBecauseActivated(const std::string& target, std::string* why) {
  const char* commandLine = getenv("COMMAND_LINE_INSTALL");
  if (commandLine != nullptr && std::string(commandLine) == "1") return false;
  struct stat info {};
  if (lstat(ConfigFilePath().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string prefix;
  if (FindVolumePrefix(target.c_str(), kl::CurrentPlatform().ApplicationDirectories(), &prefix) !=
      VolumePrefixResult::kOk) {
    return false;
  }
  std::ifstream in(ConfigFilePath(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!EndsWithAppendedBlock(text.str(), prefix.c_str())) return false;
  *why = ConfigFilePath() +
         " already ends with a complete activation for this volume (the installer's panes ran)";
  return true;
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
