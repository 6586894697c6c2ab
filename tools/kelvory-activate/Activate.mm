#import "Activate.h"

#import <Foundation/Foundation.h>

#include <algorithm>
#include <cstdio>
#include <random>

#import "CommandLineSources.h"
#include "KLConfigWriter.h"
#include "KLInstallLog.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"
#include "KLToolExitCodes.h"
#import "KLValidation.h"
#include "PriorActivation.h"
#include "Report.h"
#include "RetryPause.h"
#include "RunGuard.h"

namespace kl::activate {

namespace {

// A pause always leaves this much before the time limit for the round after it (a round cut
// off at once would end as "timed-out" and hide that no server could be reached): a drawn pause
// that does not fit is shortened, so the time left still holds a last round.
constexpr double kRoundAllowanceSeconds = 1;

// A refusal's message with why a profile value was not read, which explains it more often than
// not (a customer ID cut off by a NUL is missing, not wrong).
std::string WithNotes(std::string message, const KLSourceChoice& choice) {
  for (const std::string& note : choice.notes) message += " (" + note + ")";
  return message;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

}  // namespace

int Activate(const Options& o, HeadlessPlatform* platform) {
  Report report;
  // One activation at a time, checked and appended under the lock: two runs never leave two
  // blocks. A dry run writes nothing and needs none.
  std::string lockError;
  const LockResult lock = o.dryRun ? LockResult::kTaken : AcquireActivationLock(&lockError);
  if (lock == LockResult::kFailed) {
    // Nothing would be written safely without it, and waiting will not make it.
    report.outcome = "config-error";
    report.message = lockError;
    return Finish(report, o.json, ExitCode::kConfigError);
  }
  if (lock == LockResult::kStopped) {
    return Stopped(&report, o.json, StopRequested() != StopReason::kInterrupted, lockError);
  }
  if (!o.dryRun) report.configAtStart = ConfigFingerprint();
  std::string why;
  if (o.unlessActivated && SkipBecauseActivated(o.target, o.installerUid, &why)) {
    report.outcome = "already-activated";
    report.message = why;
    return Finish(report, o.json, ExitCode::kActivated);
  }
  const KLSourceChoice choice = ChooseSources(o);
  if (StopRequested() != StopReason::kNone) return Stopped(&report, o.json, false, "");
  report.sources = SourceFields(choice);
  report.sourceLine = SourceLine(choice);
  const std::string error = UnreadableNamedFile(o, choice);
  if (!error.empty()) {
    report.outcome = "refused";
    report.message = error;
    return Finish(report, o.json, ExitCode::kRefused);
  }
  if (choice.source == KLSourceKind::kNone) {
    report.outcome = "no-activation-data";
    report.message = WithNotes(NoActivationDataMessage(choice), choice);
    return Finish(report, o.json, ExitCode::kNoData);
  }
  const KLActivationInput& input = choice.input;
  // A destination the configuration cannot name is refused before any server is asked: a
  // validation would register this machine for nothing.
  std::string prefix;
  const kl::VolumePrefixResult volume =
      kl::FindVolumePrefix(o.target.c_str(), platform->ApplicationDirectories(), &prefix);
  if (volume != kl::VolumePrefixResult::kOk) {
    report.outcome = "refused";
    report.message = VolumePrefixMessage(volume);
    return Finish(report, o.json, ExitCode::kRefused);
  }
  KLActivationRefusal refusal;
  KLTextDataProvider* record = [KLCreateCheckedRecord(input, &refusal) autorelease];
  // Key decoding looks host names up: one that gave up at the deadline refused nothing.
  if (StopRequested() != StopReason::kNone) return Stopped(&report, o.json, false, "");
  if (record == nil) {
    report.outcome = "refused";
    report.message = WithNotes(refusal.message, choice);
    return Finish(report, o.json, ExitCode::kRefused);
  }

  NSString* resources = KLNSString(o.tool.substr(0, o.tool.rfind('/')));
  if (o.dryRun) {
    do {
      report.argv.push_back(
          kl::ValidationArguments(KLStdString(resources), KLValidationRequestFromRecord(record)));
    } while ([record nextURL]);
    report.outcome = "dry-run";
    report.message = "The checks pass; nothing was run";
    return Finish(report, o.json, ExitCode::kActivated);
  }

  std::mt19937_64 random(std::random_device{}());
  int round = 1;
  bool unreachable = true;  // every attempt of this round failed to connect
  for (;;) {
    if (StopRequested() != StopReason::kNone) return Stopped(&report, o.json, false, "");
    ValidationRequest request;
    const int32_t status = KLRunValidationAttempt(record, resources, &request);
    report.attempts.push_back(
        {request.serverURL, ShellStatus(status), kl::ValidationStatusMessage(status), round});
    unreachable =
        unreachable && ShellStatus(status) == static_cast<int>(ToolExitCode::kCannotConnect);
    // A tool ended by our stop proves nothing either way: no verdict, no configuration.
    if (StopRequested() != StopReason::kNone) return Stopped(&report, o.json, false, "");
    const AttemptOutcome outcome =
        KLConcludeValidationAttempt(record, status, KLNSString(o.target));
    if (outcome.verdict == kl::AttemptVerdict::kRetry) continue;
    if (outcome.verdict == kl::AttemptVerdict::kSucceeded) {
      report.outcome = "activated";
      report.message = "Validation Succeeded";
      report.configWritten = true;
      return Finish(report, o.json, ExitCode::kActivated);
    }
    // The round is over (the record is back at its first address). A network that is not up
    // yet fails every address to connect: with --retry, walk them again after a pause.
    if (o.retry && unreachable) {
      const std::string ended = "Validation round " + std::to_string(round) + " failed to connect";
      const double pause = std::min(PauseAfterRound(round, random),
                                    SecondsBeforeTimeLimit() - kRoundAllowanceSeconds);
      if (pause < 0) {
        LogInstallerMessage(ended, "no time left for another round before the time limit");
      } else {
        LogInstallerMessage(ended, "retrying in " + Seconds(pause));
        report.pauses.push_back(pause);
        if (!PauseUnlessStopped(pause)) return Stopped(&report, o.json, false, "");
        [record resetURLs];
        ++round;
        unreachable = true;
        continue;
      }
    }
    // Validated but the configuration could not be appended, or every address failed (in the
    // last round); either way the message is the alert the panes would have shown last.
    report.outcome = outcome.message.empty() ? "config-error" : "failed";
    report.message = platform->alerts.empty() ? outcome.message : platform->alerts.back();
    return Finish(report, o.json,
                  outcome.message.empty() ? ExitCode::kConfigError : ExitCode::kFailed);
  }
}

}  // namespace kl::activate
