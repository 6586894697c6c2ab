// The platform as the installer and its toolkit answer: a real modal alert, the console log,
// the package of the installer's current window, the standard directory search.
#ifndef KELVORY_COMMON_KLPLATFORMCOCOA_H_
#define KELVORY_COMMON_KLPLATFORMCOCOA_H_

#include <string>
#include <vector>

#include "KLPlatform.h"

namespace kl {

class CocoaPlatform : public DefaultPlatform {
 public:
  /// NSRunCriticalAlertPanel with no title, the message and no button names.
  void ShowCriticalAlert(const std::string& message) override;
  /// NSLog.
  void ConsoleLog(const std::string& line) override;
  /// CFAbsoluteTimeGetCurrent on macOS; the same epoch through NSDate elsewhere.
  double AbsoluteTime() override;
  /// On macOS the represented URL of the current event's window. GNUstep windows have no
  /// represented URL and a scripted host has no current event, so there the host supplies it
  /// with SetPackagePath.
  std::string PackagePath() override;
  /// NSSearchPathForDirectoriesInDomains(applications, system domain, tilde expanded), unless
  /// the host has set a list with SetApplicationDirectories.
  std::vector<std::string> ApplicationDirectories() override;

  void SetPackagePath(const std::string& path) { packagePath_ = path; }
  void SetApplicationDirectories(const std::vector<std::string>& directories) {
    applicationDirectories_ = directories;
    hasApplicationDirectories_ = true;
  }

 private:
  std::string packagePath_;
  std::vector<std::string> applicationDirectories_;
  bool hasApplicationDirectories_ = false;
};

}  // namespace kl

#endif  // KELVORY_COMMON_KLPLATFORMCOCOA_H_
