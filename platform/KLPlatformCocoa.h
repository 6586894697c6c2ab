// The platform as the installer and its toolkit answer: a real modal alert, the console log,
// the package of the installer's current window, the standard directory search. One face per
// platform implements it (platform/macos/, platform/gnustep/); the build picks one.
#ifndef KELVORY_PLATFORM_KLPLATFORMCOCOA_H_
#define KELVORY_PLATFORM_KLPLATFORMCOCOA_H_

#include <string>
#include <vector>

#include "KLPlatform.h"

namespace kl {

class CocoaPlatform : public DefaultPlatform {
 public:
  /// NSRunCriticalAlertPanel with no title and the message: one default "OK" button, which
  /// Return presses.
  void ShowCriticalAlert(const std::string& message) override;
  /// NSLog.
  void ConsoleLog(ConsoleCategory category, const std::string& line) override;
  /// CFAbsoluteTimeGetCurrent on macOS; the same epoch through NSDate elsewhere.
  double AbsoluteTime() override;
  /// On macOS the represented URL of the current event's window. GNUstep windows have no
  /// represented URL and a scripted host has no current event, so there the stand-in
  /// installer supplies it.
  std::string PackagePath() override;
  /// NSSearchPathForDirectoriesInDomains(applications, system domain, tilde expanded).
  std::vector<std::string> ApplicationDirectories() override;
  /// On macOS the values a configuration profile forces (CFPreferences); on GNUstep those of
  /// the property list the stand-in installer names (platform/gnustep/KLStandInChannel.h).
  std::string ManagedPreferences(const std::string& domain,
                                 const std::vector<std::string>& keys) override;
  /// On macOS AppKit's accessibility setters (a title tied to its caption, a label); GNUstep has
  /// none of them, so there nothing is set.
  void SetAccessibilityText(void* view, AccessibilityText kind, const std::string& text,
                            void* caption) override;
  /// On macOS an announcement request VoiceOver speaks; nothing on GNUstep.
  void AnnounceAccessibility(void* view, const std::string& text) override;
};

}  // namespace kl

#endif  // KELVORY_PLATFORM_KLPLATFORMCOCOA_H_
