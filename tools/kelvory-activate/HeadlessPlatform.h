// The platform of a run without a window: alerts kept, host-name lookups cut short by a stop.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_HEADLESSPLATFORM_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_HEADLESSPLATFORM_H_

#include <string>
#include <vector>

#include "KLPlatform.h"

namespace kl::activate {

// No window and no user: alerts are kept for the report, console lines go to standard error.
class HeadlessPlatform : public kl::DefaultPlatform {
 public:
  void ShowCriticalAlert(const std::string& message) override { alerts.push_back(message); }
  std::string PackagePath() override { return packagePath; }
  std::vector<std::string> ApplicationDirectories() override;
  bool ResolveHostName(const std::string& name) override;
  std::vector<std::string> alerts;
  std::string packagePath;
  bool abandonedLookup = false;  // a lookup thread may still run: leave without cleaning up
};

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_HEADLESSPLATFORM_H_
