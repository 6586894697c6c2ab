#import "Report.h"

#include <sys/wait.h>

#include <cstdio>

#import "CommandLineSources.h"
#include "JsonOutput.h"
#include "KLConfigWriter.h"
#include "KLPlatform.h"
#include "Options.h"
#include "PlainText.h"
#include "PriorActivation.h"
#include "RunGuard.h"

namespace kl::activate {

int ShellStatus(int32_t status) {
  if (status == -1) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return status;
}

int Finish(const Report& r, bool json, ExitCode code) {
  const int rounds = r.attempts.empty() ? 0 : r.attempts.back().round;
  if (json) {
    nlohmann::json attempts = nlohmann::json::array();
    for (const Attempt& a : r.attempts) {
      attempts.push_back({{"server", a.server}, {"status", a.status}, {"message", a.message}});
    }
    nlohmann::json out = {{"outcome", r.outcome},
                          {"message", r.message},
                          {"attempts", attempts},
                          {"configWritten", r.configWritten},
                          {"rounds", rounds}};
    if (r.outcome == "dry-run") out["argv"] = r.argv;
    // Every outcome has the same keys: one that ended before the sources were read has none.
    out.update(r.sources.is_object() ? r.sources : SourceFields(KLSourceChoice()));
    PrintJson(out);
    return Code(code);
  }
  // Each value escaped: a line break or an ESC in a server list, a profile or a message from
  // outside can neither forge a line (a script reads the last one) nor drive the terminal.
  if (!r.sourceLine.empty()) std::printf("%s\n", PlainValue(r.sourceLine).c_str());
  for (size_t i = 0; i < r.attempts.size(); ++i) {
    const Attempt& a = r.attempts[i];
    if (a.round > 1 && a.round != r.attempts[i - 1].round) {
      std::printf("round %d, after a pause of %.1f s\n", a.round, r.pauses[a.round - 2]);
    }
    std::printf("attempt %zu: %s: status %d: %s\n", i + 1, PlainValue(a.server).c_str(), a.status,
                a.message.empty() ? "validated" : PlainValue(a.message).c_str());
  }
  for (const std::vector<std::string>& argv : r.argv) {
    std::string line = "would run:";
    for (const std::string& arg : argv) line += " [" + PlainValue(arg) + "]";
    std::printf("%s\n", line.c_str());
  }
  std::printf("%s: %s\n", r.outcome.c_str(), PlainValue(r.message).c_str());
  return Code(code);
}

int Stopped(Report* report, bool json, bool waitingForLock, const std::string& why) {
  if (waitingForLock) {
    report->outcome = "busy";
    report->message = why;
    return Finish(*report, json, ExitCode::kStopped);
  }
  // What the validation tool may have done before it was stopped is said as it is.
  const bool changed =
      report->configAtStart != "not taken" && ConfigFingerprint() != report->configAtStart;
  const std::string written =
      changed ? "; " + kl::ConfigFilePath() +
                    " changed during the run (the validation tool writes it); no activation "
                    "block was appended"
              : "; nothing was written";
  if (StopRequested() == StopReason::kTimedOut) {
    report->outcome = "timed-out";
    report->message = "The activation did not end within its time limit" + written;
  } else {
    report->outcome = "interrupted";
    report->message = "The activation was interrupted" + written;
  }
  return Finish(*report, json, ExitCode::kStopped);
}

}  // namespace kl::activate
