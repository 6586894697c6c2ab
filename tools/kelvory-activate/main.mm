// kelvory-activate: the activation panes' logic without a window, for package scripts and
// command-line installs. It fills the same input as the activation pane (managed preferences or
// a pre-fill file, and options typed as a person would), runs the pane's exit checks, validates
// with failover over the server addresses through the same tool launch, and appends the same
// configuration lines.
#import <Foundation/Foundation.h>
#include <fcntl.h>
#include <netdb.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#import "ActivationSources.h"
#include "JsonOutput.h"
#import "KLActivationInput.h"
#include "KLConfigWriter.h"
#include "KLInstallLog.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#include "KLSystemDirectories.h"
#import "KLTextDataProvider.h"
#include "KLToolExitCodes.h"
#import "KLValidation.h"
#include "PlainText.h"
#include "ProgramDirectory.h"
#include "RunGuard.h"
#include "VersionOption.h"

namespace {

enum ExitCode {
  kActivated = 0,
  kRefused = 1,
  kUsage = 2,
  kFailed = 3,
  kConfigError = 4,  // the configuration, or the lock it is written under, could not be made
  kNoData = 5,       // no source gave any activation data
  kStopped = 6,      // timed out, interrupted, or another activation holds the lock
};

// Long enough for several server addresses that each take their full connection time, short
// enough that a stuck install ends well before a device-management system gives up on it.
constexpr unsigned kDefaultTimeoutSeconds = 300;

// --retry's pauses between rounds: short at first for a network that is nearly up, doubling to
// at most a minute so that a fleet waiting for one server does not keep hammering it.
constexpr double kFirstRoundPauseSeconds = 2;
constexpr double kLongestRoundPauseSeconds = 60;
// Each pause is drawn at random below its cap ("full jitter"), so that machines that lost the
// server together do not all come back in the same second. bench/fleet-retry.sh builds a copy
// without it, only to measure the difference.
#ifdef KL_RETRY_WITHOUT_JITTER
constexpr bool kJitter = false;
#else
constexpr bool kJitter = true;
#endif
// A pause is taken only when it leaves this much before the time limit for the round after it:
// a round cut off at once would end as "timed-out" and hide that no server could be reached.
constexpr double kRoundAllowanceSeconds = 1;

// No window and no user: alerts are kept for the report, console lines go to standard error.
class HeadlessPlatform : public kl::DefaultPlatform {
 public:
  void ShowCriticalAlert(const std::string& message) override { alerts.push_back(message); }
  std::string PackagePath() override { return packagePath; }
  std::vector<std::string> ApplicationDirectories() override {
    return KLSystemApplicationDirectories();
  }
  // The resolver's own wait cannot be cut short: the lookup runs on a thread of its own, left
  // behind when the time limit or a signal comes first, so that the run ends at its deadline.
  bool ResolveHostName(const std::string& name) override {
    if (kl::StopRequested() != kl::StopReason::kNone) return false;
    struct Lookup {
      int done[2] = {-1, -1};
      std::atomic<bool> found{false};
      ~Lookup() {
        for (const int fd : done) {
          if (fd >= 0) close(fd);
        }
      }
    };
    const auto lookup = std::make_shared<Lookup>();
    if (pipe(lookup->done) != 0) return kl::DefaultPlatform::ResolveHostName(name);
    for (const int fd : lookup->done) fcntl(fd, F_SETFD, FD_CLOEXEC);
    const auto resolve = [=]() {  // the lookup and the name, by value
      addrinfo hints{};
      hints.ai_family = AF_INET;  // what gethostbyname finds
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* addresses = nullptr;
      lookup->found = getaddrinfo(name.c_str(), nullptr, &hints, &addresses) == 0;
      if (addresses != nullptr) freeaddrinfo(addresses);
      (void)!write(lookup->done[1], "", 1);
    };
    std::thread(resolve).detach();
    if (kl::WaitUnlessStopped(lookup->done[0])) return lookup->found;
    abandonedLookup = true;
    return false;
  }
  std::vector<std::string> alerts;
  std::string packagePath;
  bool abandonedLookup = false;  // a lookup thread may still run: leave without cleaning up
};

struct Options {
  std::string package, data, target = "/", tool;
  bool text = false, json = false, dryRun = false, unlessActivated = false;
  bool managed = false;
  bool retry = false;
  std::string managedPath;  // empty: the platform's forced preferences
  std::string installerUser;
  uid_t installerUid = 0;  // root's when no installer user is named
  unsigned timeout = kDefaultTimeoutSeconds;
  std::string key, customerName, customerId, server, protocol, port, proxy;
  bool hasKey = false, hasName = false, hasId = false, hasServer = false, hasProtocol = false,
       hasPort = false, hasProxy = false;
};

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
int ShellStatus(int32_t status) {
  if (status == -1) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return status;
}

int Finish(const Report& r, bool json, int code) {
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
    return code;
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
  return code;
}

// The sources the options name, in the one order every tool uses.
KLSourceChoice ChooseSources(const Options& o) {
  KLSourceRequest request;
  request.packagePath = o.package;
  request.dataPath = o.data;
  request.textFormat = o.text;
  request.managedPreferences = o.managed;
  request.managedPreferencesPath = o.managedPath;
  request.prefillLog = o.dryRun ? KLPrefillLog::kNone : KLPrefillLog::kHeadless;
  if (o.hasKey) request.typed.key = o.key;
  if (o.hasName) request.typed.customerName = o.customerName;
  if (o.hasId) request.typed.customerId = o.customerId;
  if (o.hasServer) request.typed.server = o.server;
  if (o.hasProtocol) request.typed.protocol = o.protocol;
  if (o.hasPort) request.typed.port = o.port;
  if (o.hasProxy) request.typed.proxy = o.proxy;
  return KLChooseActivationSource(request);
}

// A file named on the command line that cannot be read is the caller's mistake, not an absence
// of data; empty when every named file could be read.
std::string UnreadableNamedFile(const Options& o, const KLSourceChoice& choice) {
  for (const KLSourceLook& look : choice.looked) {
    if (look.problem.empty()) continue;
    if (look.kind == KLSourceKind::kDataFile) {
      return "Cannot read the pre-fill file " + o.data + ": " + look.problem;
    }
    if (look.kind == KLSourceKind::kManagedPreferences && !o.managedPath.empty()) {
      return "Cannot read the managed preferences " + o.managedPath + ": " + look.problem;
    }
  }
  return std::string();
}

// The pause after round `round` (from 1): drawn below a cap that starts at
// kFirstRoundPauseSeconds and doubles each round, up to kLongestRoundPauseSeconds.
double PauseAfterRound(int round, std::mt19937_64& random) {
  const double cap = std::min(kLongestRoundPauseSeconds,
                              std::ldexp(kFirstRoundPauseSeconds, std::min(round - 1, 16)));
  return kJitter ? std::uniform_real_distribution<double>(0, cap)(random) : cap;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

// The report of a run that had to stop early: `waitingForLock` when it never got the lock.
int Stopped(Report* report, bool json, bool waitingForLock, const std::string& why) {
  if (waitingForLock) {
    report->outcome = "busy";
    report->message = why;
    return Finish(*report, json, kStopped);
  }
  // What the validation tool may have done before it was stopped is said as it is.
  const bool changed =
      report->configAtStart != "not taken" && ConfigFingerprint() != report->configAtStart;
  const std::string written =
      changed ? "; " + ConfigFilePath() +
                    " changed during the run (the validation tool writes it); no activation "
                    "block was appended"
              : "; nothing was written";
  if (kl::StopRequested() == kl::StopReason::kTimedOut) {
    report->outcome = "timed-out";
    report->message = "The activation did not end within its time limit" + written;
  } else {
    report->outcome = "interrupted";
    report->message = "The activation was interrupted" + written;
  }
  return Finish(*report, json, kStopped);
}

int Activate(const Options& o, HeadlessPlatform* platform) {
  Report report;
  // One activation at a time, checked and appended under the lock: two runs never leave two
  // blocks. A dry run writes nothing and needs none.
  std::string lockError;
  const kl::LockResult lock =
      o.dryRun ? kl::LockResult::kTaken : kl::AcquireActivationLock(&lockError);
  if (lock == kl::LockResult::kFailed) {
    // Nothing would be written safely without it, and waiting will not make it.
    report.outcome = "config-error";
    report.message = lockError;
    return Finish(report, o.json, kConfigError);
  }
  if (lock == kl::LockResult::kStopped) {
    return Stopped(&report, o.json, kl::StopRequested() != kl::StopReason::kInterrupted, lockError);
  }
  if (!o.dryRun) report.configAtStart = ConfigFingerprint();
  std::string why;
  if (o.unlessActivated && SkipBecauseActivated(o.target, o.installerUid, &why)) {
    report.outcome = "already-activated";
    report.message = why;
    return Finish(report, o.json, kActivated);
  }
  const KLSourceChoice choice = ChooseSources(o);
  if (kl::StopRequested() != kl::StopReason::kNone) return Stopped(&report, o.json, false, "");
  report.sources = SourceFields(choice);
  report.sourceLine = SourceLine(choice);
  const std::string error = UnreadableNamedFile(o, choice);
  if (!error.empty()) {
    report.outcome = "refused";
    report.message = error;
    return Finish(report, o.json, kRefused);
  }
  if (choice.source == KLSourceKind::kNone) {
    report.outcome = "no-activation-data";
    report.message = NoActivationDataMessage(choice);
    return Finish(report, o.json, kNoData);
  }
  const KLActivationInput& input = choice.input;
  // A destination the configuration cannot name is refused before any server is asked: a
  // validation would register this machine for nothing.
  std::string prefix;
  const VolumePrefixResult volume =
      FindVolumePrefix(o.target.c_str(), platform->ApplicationDirectories(), &prefix);
  if (volume != VolumePrefixResult::kOk) {
    report.outcome = "refused";
    report.message = VolumePrefixMessage(volume);
    return Finish(report, o.json, kRefused);
  }
  KLActivationRefusal refusal;
  KLTextDataProvider* record = [KLCreateCheckedRecord(input, &refusal) autorelease];
  // Key decoding looks host names up: one that gave up at the deadline refused nothing.
  if (kl::StopRequested() != kl::StopReason::kNone) return Stopped(&report, o.json, false, "");
  if (record == nil) {
    report.outcome = "refused";
    report.message = refusal.message;
    return Finish(report, o.json, kRefused);
  }

  NSString* resources = KLNSString(o.tool.substr(0, o.tool.rfind('/')));
  if (o.dryRun) {
    do {
      report.argv.push_back(
          ValidationArguments(KLStdString(resources), KLValidationRequestFromRecord(record)));
    } while ([record nextURL]);
    report.outcome = "dry-run";
    report.message = "The checks pass; nothing was run";
    return Finish(report, o.json, kActivated);
  }

  std::mt19937_64 random(std::random_device{}());
  int round = 1;
  bool unreachable = true;  // every attempt of this round failed to connect
  for (;;) {
    if (kl::StopRequested() != kl::StopReason::kNone) return Stopped(&report, o.json, false, "");
    ValidationRequest request;
    const int32_t status = KLRunValidationAttempt(record, resources, &request);
    report.attempts.push_back(
        {request.serverURL, ShellStatus(status), ValidationStatusMessage(status), round});
    unreachable = unreachable && ShellStatus(status) == kToolCannotConnect;
    // A tool ended by our stop proves nothing either way: no verdict, no configuration.
    if (kl::StopRequested() != kl::StopReason::kNone) return Stopped(&report, o.json, false, "");
    const AttemptOutcome outcome =
        KLConcludeValidationAttempt(record, status, KLNSString(o.target));
    if (outcome.verdict == AttemptVerdict::kRetry) continue;
    if (outcome.verdict == AttemptVerdict::kSucceeded) {
      report.outcome = "activated";
      report.message = "Validation Succeeded";
      report.configWritten = true;
      return Finish(report, o.json, kActivated);
    }
    // The round is over (the record is back at its first address). A network that is not up
    // yet fails every address to connect: with --retry, walk them again after a pause.
    if (o.retry && unreachable) {
      const std::string ended = "Validation round " + std::to_string(round) + " failed to connect";
      const double pause = PauseAfterRound(round, random);
      if (pause + kRoundAllowanceSeconds > kl::SecondsBeforeTimeLimit()) {
        LogInstallerMessage(ended, "no time left for another round before the time limit");
      } else {
        LogInstallerMessage(ended, "retrying in " + Seconds(pause));
        report.pauses.push_back(pause);
        if (!kl::PauseUnlessStopped(pause)) return Stopped(&report, o.json, false, "");
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
    return Finish(report, o.json, outcome.message.empty() ? kConfigError : kFailed);
  }
}

// The stop handlers go in before the libraries initialize (the Objective-C runtime and its
// frameworks take tens of milliseconds): a signal meanwhile would end the run by its default
// action instead of as "interrupted". ELF runs .preinit_array before any library initializer.
void InstallStopHandlersEarly(int, char**, char**) { kl::InstallStopHandlers(); }
#if defined(__ELF__)
__attribute__((section(".preinit_array"),
               used)) void (*const kEarly)(int, char**, char**) = InstallStopHandlersEarly;
#else
__attribute__((constructor(101))) void InstallStopHandlersFirst() {
  InstallStopHandlersEarly(0, nullptr, nullptr);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  kl::InstallStopHandlers();  // done already (see above): a second call does nothing
  const int version = HandleVersionOption(argc, argv, "kelvory-activate");
  if (version >= 0) return version;
  CLI::App app{
      "kelvory-activate: activates the Kelvory agent without the installer's window, with the "
      "activation panes' own checks, validation and configuration.\n"
      "Exit codes: 0 activated (or dry run, or already activated), 1 refused by the checks, "
      "2 usage error, 3 every validation attempt failed (with --retry: of the last round), 4 the "
      "configuration file, or the lock it is written under, could not be made, 5 no source gave "
      "any activation data, 6 timed out, interrupted, or another activation holds the lock.\n"
      "Sources, first to last: options, then managed preferences, then the pre-fill file. The "
      "first of the preferences and the file that holds activation data gives the values; "
      "options override them one by one."};
  app.add_flag("--version", "Print the name and version (alone on the command line)");
  Options o;
  app.add_option("--package", o.package, "The package file; its folder holds the pre-fill");
  app.add_option("--data", o.data, "A pre-fill file (InstallationData.xml form)");
  app.add_flag("--text", o.text, "--data is in the key=value text form");
  app.add_option("--target", o.target, "The destination volume (default /)");
  app.add_option("--tool", o.tool, "The validation tool (default: InitialValidate beside this)");
  app.add_flag("--json", o.json, "One JSON object on standard output");
  app.add_flag("--dry-run", o.dryRun, "Run the checks and show the tool runs; start nothing");
  app.add_flag("--unless-activated", o.unlessActivated,
               "Do nothing when /tmp/kelvor.conf ends with a complete activation (the panes ran): "
               "a regular file with one link, owned by root, by this run's user or by "
               "--installer-user, of which only the last 64 KiB are read; never in a "
               "command-line install (COMMAND_LINE_INSTALL=1)");
  app.add_option("--installer-user", o.installerUser,
                 "The user who ran the Installer (NAME or UID; empty: none known), whose "
                 "/tmp/kelvor.conf --unless-activated trusts");
  app.add_option("--managed-preferences", o.managedPath,
                 "Read managed preferences (before the pre-fill file): from this property list "
                 "(XML or binary; the flat dictionary or a whole unsigned configuration profile), "
                 "or without PLIST the forced preferences of the domain "
                 "com.kelvory.activation (a configuration profile, on macOS)")
      ->expected(0, 1)
      ->type_name("[PLIST]");
  app.add_flag("--retry", o.retry,
               "When every server address of a round failed to connect (the tool's code 10), "
               "walk them again after a pause: below 2 s at first, the bound doubling up to 60 s, "
               "each drawn at random. Any other failure ends the run at once; when the next pause "
               "would leave less than 1 s before --timeout, the run ends as failed (3). With "
               "--timeout 0 it retries until a server answers or the run is stopped");
  app.add_option("--timeout", o.timeout,
                 "Time limit in seconds for the whole run, the wait for another activation "
                 "included (default 300; 0 for none)");
  app.add_option("--key", o.key, "Activation key (the key form)");
  app.add_option("--customer-name", o.customerName, "Customer name (the customer form)");
  app.add_option("--customer-id", o.customerId, "Customer ID (the customer form)");
  app.add_option("--server", o.server, "Server address(es), comma-separated");
  app.add_option("--protocol", o.protocol, "http or https")
      ->check(CLI::IsMember({"http", "https"}));
  app.add_option("--port", o.port, "Server port, as typed");
  app.add_option("--proxy", o.proxy, "Proxy host[:port]");
  const auto interrupted = [&o] {
    Report report;
    return Stopped(&report, o.json, false, "");
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (kl::StopRequested() != kl::StopReason::kNone) return interrupted();
    app.exit(e);  // prints the message and usage to standard error
    return kUsage;
  }
  if (kl::StopRequested() != kl::StopReason::kNone) return interrupted();
  kl::ArmTimeLimit(o.timeout);

  o.hasKey = app.count("--key") > 0;
  o.hasName = app.count("--customer-name") > 0;
  o.hasId = app.count("--customer-id") > 0;
  o.hasServer = app.count("--server") > 0;
  o.hasProtocol = app.count("--protocol") > 0;
  o.hasPort = app.count("--port") > 0;
  o.hasProxy = app.count("--proxy") > 0;
  o.managed = app.count("--managed-preferences") > 0;
  const bool customer = o.hasName || o.hasId || o.hasServer || o.hasProtocol || o.hasPort;
  std::string usage;
  if (!o.package.empty() && !o.data.empty()) usage = "--package and --data exclude each other";
  if (o.hasKey && customer) usage = "--key and the customer form's options exclude each other";
  if (o.package.empty() && o.data.empty() && !o.managed && !o.hasKey && !customer && !o.hasProxy) {
    usage = "no input: give --package, --data, --managed-preferences, --key or the customer form's "
            "options";
  }
  if (o.tool.empty()) o.tool = ProgramDirectory() + "/InitialValidate";
  if (o.tool.size() < 16 || o.tool.compare(o.tool.size() - 16, 16, "/InitialValidate") != 0) {
    usage = "--tool must name a file called InitialValidate (the plug-in runs it by that name)";
  }
  if (!o.installerUser.empty()) {
    const passwd* user = getpwnam(o.installerUser.c_str());
    if (user != nullptr) {
      o.installerUid = user->pw_uid;
    } else if (o.installerUser.find_first_not_of("0123456789") == std::string::npos &&
               o.installerUser.size() < 10) {
      o.installerUid = static_cast<uid_t>(std::stoul(o.installerUser));
    } else {
      usage = "--installer-user: no such user: " + o.installerUser;
    }
  }
  if (!usage.empty()) {
    std::fprintf(stderr, "kelvory-activate: %s\nRun with --help for more information.\n",
                 usage.c_str());
    return kUsage;
  }

  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  HeadlessPlatform platform;
  platform.packagePath = o.package;
  kl::ScopedPlatform scope(&platform);
  const int code = Activate(o, &platform);
  if (platform.abandonedLookup) {
    std::fflush(nullptr);
    _exit(code);
  }
  [pool drain];
  return code;
}
