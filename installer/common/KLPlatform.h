// The platform seam: the few answers that differ between a real installer on macOS, the
// stand-in host on Linux, and tests. Every critical alert, console line, clock reading,
// package lookup and host-name lookup of the plug-in goes through here, so that a test can
// record alerts instead of blocking on a modal panel.
#ifndef KELVORY_INSTALLER_COMMON_KLPLATFORM_H_
#define KELVORY_INSTALLER_COMMON_KLPLATFORM_H_

#include <string>
#include <vector>

namespace kl {

/// The part of the plug-in a console line is about: on a Mac the unified log's category, under
/// the subsystem com.kelvory.activation, so an administrator can filter each pane's lines.
enum class ConsoleCategory {
  kActivation,  ///< the activation pane and its sources: "activation"
  kValidation,  ///< the validation pane, the tool's runs, the configuration: "validation"
  kPlugin,      ///< both panes' shared parts (the install log): "plug-in"
};

/// What assistive technology (VoiceOver on a Mac) is told of a control.
enum class AccessibilityText {
  kTitle,  ///< a field's title: the caption shown beside it, tied to it
  kLabel,  ///< what a group of choices or an indicator is about
};

class Platform {
 public:
  virtual ~Platform() = default;

  /// Shows a critical modal alert with no title, `message` as its text and only the default
  /// button; returns when the user has dismissed it. Recorders return at once.
  virtual void ShowCriticalAlert(const std::string& message) = 0;

  /// Writes one progress line to the system console log (no trailing line feed needed), under
  /// `category` where the system log has categories.
  virtual void ConsoleLog(ConsoleCategory category, const std::string& line) = 0;

  /// Seconds since 2001-01-01 00:00:00 UTC, as a double (the installer's absolute time).
  virtual double AbsoluteTime() = 0;

  /// The file-system path of the installer package being installed, or the empty text when it
  /// cannot be found (no current window, no represented URL).
  virtual std::string PackagePath() = 0;

  /// The system domain's standard applications directories, tilde expanded.
  virtual std::vector<std::string> ApplicationDirectories() = 0;

  /// True when the system resolver finds `name` with at least one address
  /// (`gethostbyname` on a real machine). Blocks while the resolver works.
  virtual bool ResolveHostName(const std::string& name) = 0;

  /// Tells assistive technology `text` of the control `view` (an NSView, passed untyped so that
  /// this seam stays plain C++); for a title, `caption` is the label that shows it (or nullptr).
  /// AppKit's accessibility setters on a Mac; GNUstep has none of them. By default nothing.
  virtual void SetAccessibilityText(void* view, AccessibilityText kind, const std::string& text,
                                    void* caption) {
    (void)view;
    (void)kind;
    (void)text;
    (void)caption;
  }

  /// Asks assistive technology to announce `text` now, as coming from `view` (a verdict that has
  /// just appeared). By default nothing.
  virtual void AnnounceAccessibility(void* view, const std::string& text) {
    (void)view;
    (void)text;
  }

  /// The values an administrator forced for `keys` of the preferences `domain` (a
  /// configuration profile of a device-management system), as property-list data holding one
  /// dictionary of the forced keys only (XML or binary); the empty text when none is forced.
  /// The activation pane and the command-line tools ask. By default none is forced.
  virtual std::string ManagedPreferences(const std::string& domain,
                                         const std::vector<std::string>& keys) {
    (void)domain;
    (void)keys;
    return std::string();
  }
};

/// The platform every part of the plug-in uses; safe to call from any thread. Until SetPlatform is
/// called this is the built-in default: alerts and console lines go to standard error, the clock
/// and the resolver are the system's, and there is no package and no applications directory.
Platform& CurrentPlatform();

/// Makes `platform` current (not owned; it must outlive its use, on every thread). nullptr restores
/// the default. Returns the platform that was current before.
Platform* SetPlatform(Platform* platform);

/// The built-in default, for implementations that only override some answers.
class DefaultPlatform : public Platform {
 public:
  void ShowCriticalAlert(const std::string& message) override;
  void ConsoleLog(ConsoleCategory category, const std::string& line) override;
  double AbsoluteTime() override;
  std::string PackagePath() override;
  std::vector<std::string> ApplicationDirectories() override;
  bool ResolveHostName(const std::string& name) override;
  /// SystemManagedPreferences.
  std::string ManagedPreferences(const std::string& domain,
                                 const std::vector<std::string>& keys) override;
};

/// The preferences the system itself reports as forced, in the form ManagedPreferences answers.
/// Defined by the platform's folder the build picks: platform/macos/ asks CFPreferences (the
/// configuration profiles); platform/gnustep/ has no such store and answers none.
std::string SystemManagedPreferences(const std::string& domain,
                                     const std::vector<std::string>& keys);

/// Installs `platform` for the lifetime of this object and restores the previous one after.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform* platform) : previous_(SetPlatform(platform)) {}
  ~ScopedPlatform() { SetPlatform(previous_); }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

}  // namespace kl

#endif  // KELVORY_INSTALLER_COMMON_KLPLATFORM_H_
