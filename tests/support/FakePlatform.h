// A platform for tests: records alerts and console lines, answers host-name lookups from a
// table, and returns the package path, applications directories and clock it is given.
#ifndef KELVORY_TESTS_FAKEPLATFORM_H_
#define KELVORY_TESTS_FAKEPLATFORM_H_

#include <set>
#include <string>
#include <vector>

#include "KLPlatform.h"

namespace kl {

class FakePlatform : public Platform {
 public:
  void ShowCriticalAlert(const std::string& message) override { alerts.push_back(message); }
  void ConsoleLog(const std::string& line) override { console.push_back(line); }
  double AbsoluteTime() override { return now; }
  std::string PackagePath() override { return packagePath; }
  std::vector<std::string> ApplicationDirectories() override { return applicationDirectories; }
  bool ResolveHostName(const std::string& name) override;

  std::vector<std::string> alerts;
  std::vector<std::string> console;
  std::vector<std::string> lookups;       // every name asked, in order
  std::set<std::string> resolvableNames;  // names that resolve; all others fail
  std::string packagePath;
  std::vector<std::string> applicationDirectories{"/Applications"};
  double now = 0.0;
};

/// Installs a fresh FakePlatform for the lifetime of the object.
class ScopedFakePlatform {
 public:
  ScopedFakePlatform() : scope_(&fake_) {}
  FakePlatform* operator->() { return &fake_; }
  FakePlatform& get() { return fake_; }

 private:
  FakePlatform fake_;
  ScopedPlatform scope_;
};

}  // namespace kl

#endif  // KELVORY_TESTS_FAKEPLATFORM_H_
