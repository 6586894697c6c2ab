// A platform for tests: records alerts and console lines, answers host-name lookups from a
// table, and returns the package path, applications directories and clock it is given.
#ifndef KELVORY_TESTS_FAKEPLATFORM_H_
#define KELVORY_TESTS_FAKEPLATFORM_H_

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "KLPlatform.h"

namespace kl {

class FakePlatform : public Platform {
 public:
  void ShowCriticalAlert(const std::string& message) override { alerts.push_back(message); }
  // Console and clock are also used from the validation thread.
  void ConsoleLog(ConsoleCategory, const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    console.push_back(line);
  }
  /// Answers `now`, then moves it on by `clockStep`.
  double AbsoluteTime() override {
    std::lock_guard<std::mutex> lock(mutex_);
    const double reading = now;
    now += clockStep;
    return reading;
  }
  /// A copy of the console lines, safe while another thread may still log.
  std::vector<std::string> ConsoleLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return console;
  }
  std::string PackagePath() override { return packagePath; }
  std::vector<std::string> ApplicationDirectories() override { return applicationDirectories; }
  bool ResolveHostName(const std::string& name) override {
    lookups.push_back(name);
    return resolvableNames.count(name) != 0;
  }
  std::string ManagedPreferences(const std::string&, const std::vector<std::string>&) override {
    return managedPreferences;
  }

  /// What a pane told assistive technology of one control.
  struct Accessibility {
    void* view;
    AccessibilityText kind;
    std::string text;
    void* caption;
  };
  void SetAccessibilityText(void* view, AccessibilityText kind, const std::string& text,
                            void* caption) override {
    accessibility.push_back({view, kind, text, caption});
  }
  void AnnounceAccessibility(void* view, const std::string& text) override {
    announcements.push_back({view, AccessibilityText::kLabel, text, nullptr});
  }

  std::vector<Accessibility> accessibility;  // in the order set
  std::vector<Accessibility> announcements;  // view and text of each
  std::vector<std::string> alerts;
  std::vector<std::string> console;
  std::vector<std::string> lookups;       // every name asked, in order
  std::set<std::string> resolvableNames;  // names that resolve; all others fail
  std::string packagePath;
  std::string managedPreferences;  // a property list's bytes; empty: none forced
  std::vector<std::string> applicationDirectories{"/Applications"};
  double now = 0.0;
  double clockStep = 0.0;

 private:
  std::mutex mutex_;
};

/// Installs a fresh FakePlatform for the lifetime of the object.
class ScopedFakePlatform : public FakePlatform {
 public:
  ScopedFakePlatform() : scope_(this) {}
  FakePlatform* operator->() { return this; }

 private:
  ScopedPlatform scope_;
};

}  // namespace kl

#endif  // KELVORY_TESTS_FAKEPLATFORM_H_
