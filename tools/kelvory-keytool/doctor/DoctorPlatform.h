// The doctor's platform: no console lines, and every host-name lookup within the time limit.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_DOCTORPLATFORM_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_DOCTORPLATFORM_H_

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "KLPlatform.h"
#include "Lookup.h"

namespace kl::keytool {

// Without the console lines the record and the text reader write (the report already says what
// they read), and with every host-name lookup within the limit. The checks ask about one name
// after another, each of which could hold the doctor as long as the resolver takes; so the names
// are gathered first (each answered as found, which leads the checks down every path that asks),
// then looked up all at once, and the checks run again on those answers. A name only that second
// run asks is looked up alone, within the same limit.
class DoctorPlatform : public kl::DefaultPlatform {
 public:
  explicit DoctorPlatform(double seconds) : seconds_(seconds) {}
  void ConsoleLog(kl::ConsoleCategory, const std::string&) override {}
  bool ResolveHostName(const std::string& name) override {
    return Lookup(name) == LookupResult::kResolves;
  }

  LookupResult Lookup(const std::string& name) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (gathering_) {
      gathered_.push_back(name);
      return LookupResult::kResolves;
    }
    auto known = answers_.find(name);
    if (known == answers_.end()) {
      known = answers_.emplace(name, LookUpAll({name}, seconds_).at(name)).first;
    }
    return known->second;
  }
  void LookUpGathered() {
    std::lock_guard<std::mutex> hold(mutex_);
    gathering_ = false;
    answers_ = LookUpAll(gathered_, seconds_);
  }
  std::vector<std::string> Unanswered() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, result] : answers_) {
      if (result == LookupResult::kNoAnswer) names.push_back(name);
    }
    return names;
  }

 private:
  const double seconds_;
  std::mutex mutex_;
  bool gathering_ = true;
  std::vector<std::string> gathered_;
  std::map<std::string, LookupResult> answers_;
};

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_DOCTORPLATFORM_H_
