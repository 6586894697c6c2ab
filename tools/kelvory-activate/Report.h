// What a run reports, as plain lines or one JSON object, and the exit code it ends with.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_REPORT_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_REPORT_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Options.h"

namespace kl::activate {

struct Attempt {
  std::string server;
  int status;
  std::string message;
  int round;
};

struct Report {
  std::string outcome, message;
  std::vector<Attempt> attempts;
  std::vector<double> pauses;  // the pauses before rounds 2, 3, ...
  std::vector<std::vector<std::string>> argv;
  bool configWritten = false;
  nlohmann::json sources;  // where the input came from, once known
  std::string sourceLine;
  std::string configAtStart = "not taken";  // ConfigFingerprint once the lock is held
};

// The shell's convention: the exit code, 128+N for signal N, -1 when nothing started.
int ShellStatus(int32_t status);

// Prints `r` (one JSON object with `json`) and returns `code`'s exit status.
int Finish(const Report& r, bool json, ExitCode code);

// The report of a run that had to stop early: `waitingForLock` when it never got the lock.
int Stopped(Report* report, bool json, bool waitingForLock, const std::string& why);

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_REPORT_H_
