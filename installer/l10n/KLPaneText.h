// The texts the panes show, in the language the system chose for the plug-in's bundle (on a Mac
// the Installer's): captions, titles, verdicts and every alert the panes show. The install log,
// the console lines and the command-line tools stay English: they are for administrators.
#ifndef KELVORY_INSTALLER_L10N_KLPANETEXT_H_
#define KELVORY_INSTALLER_L10N_KLPANETEXT_H_

#import <Foundation/Foundation.h>

#include <string>
#include <vector>

#include "KLPlatform.h"

/// The text for `key` from `bundle`'s Localizable.strings in the bundle's chosen language;
/// `english` when there is no bundle or its table lacks the key (the English table holds
/// exactly these texts).
NSString* KLPaneText(NSBundle* bundle, NSString* key, NSString* english);

/// The alert `english`, as the shared checks and the validation word it, in the pane's language:
/// found by its English text among the alerts the panes can show, then read from the table. A
/// text not among them is returned as it is.
std::string KLPaneAlertText(NSBundle* bundle, const std::string& english);

/// One alert the panes can show: its key and its English text. "%@" in the text stands for a
/// number the message carries.
struct KLPaneAlert {
  std::string key;
  std::string english;
};

/// Every alert the panes can show, the tool's messages by exit code included.
const std::vector<KLPaneAlert>& KLPaneAlerts();

/// While it lives, alerts shown through the current platform are shown in the pane's language;
/// everything else passes through to the platform that was current. Only on the main thread,
/// and no thread of the plug-in may be running meanwhile: it is current for all of them.
class KLScopedPaneAlerts : public kl::Platform {
 public:
  explicit KLScopedPaneAlerts(NSBundle* bundle);
  ~KLScopedPaneAlerts() override;
  KLScopedPaneAlerts(const KLScopedPaneAlerts&) = delete;
  KLScopedPaneAlerts& operator=(const KLScopedPaneAlerts&) = delete;

  void ShowCriticalAlert(const std::string& message) override;
  void ConsoleLog(kl::ConsoleCategory category, const std::string& line) override;
  double AbsoluteTime() override;
  std::string PackagePath() override;
  std::vector<std::string> ApplicationDirectories() override;
  bool ResolveHostName(const std::string& name) override;
  std::string ManagedPreferences(const std::string& domain,
                                 const std::vector<std::string>& keys) override;
  void SetAccessibilityText(void* view, kl::AccessibilityText kind, const std::string& text,
                            void* caption) override;
  void AnnounceAccessibility(void* view, const std::string& text) override;

 private:
  NSBundle* bundle_;
  kl::Platform* inner_;     // where everything goes on to
  kl::Platform* previous_;  // what SetPlatform had: restored as it was (nullptr: the default)
};

#endif  // KELVORY_INSTALLER_L10N_KLPANETEXT_H_
