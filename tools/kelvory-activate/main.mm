// kelvory-activate: the activation panes' logic without a window, for package scripts and
// command-line installs. It fills the same input as the activation pane (a pre-fill file and
// options typed as a person would), runs the pane's exit checks, validates with failover over
// the server addresses through the same tool launch, and appends the same configuration lines.
#import <Foundation/Foundation.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "../kelvory-keytool/JsonOutput.h"
#import "KLActivationInput.h"
#include "KLConfigWriter.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"
#import "KLValidation.h"
#include "RunGuard.h"

namespace {

enum ExitCode {
  kActivated = 0,
  kRefused = 1,
  kUsage = 2,
  kFailed = 3,
  kConfigError = 4,
  kStopped = 6,  // timed out, interrupted, or another activation holds the lock
};

// Long enough for several server addresses that each take their full connection time, short
// enough that a stuck install ends well before a device-management system gives up on it.
constexpr unsigned kDefaultTimeoutSeconds = 300;

// No window and no user: alerts are kept for the report, console lines go to standard error.
class HeadlessPlatform : public kl::DefaultPlatform {
 public:
  void ShowCriticalAlert(const std::string& message) override { alerts.push_back(message); }
  std::string PackagePath() override { return packagePath; }
  std::vector<std::string> ApplicationDirectories() override {
    std::vector<std::string> result;
    NSArray* list =
        NSSearchPathForDirectoriesInDomains(NSApplicationDirectory, NSSystemDomainMask, YES);
    for (NSUInteger i = 0; i < [list count]; ++i) {
      result.push_back(KLStdString([list objectAtIndex:i]));
    }
    return result;
  }
  std::vector<std::string> alerts;
  std::string packagePath;
};

struct Options {
  std::string package, data, target = "/", tool;
  bool text = false, json = false, dryRun = false, unlessActivated = false;
  unsigned timeout = kDefaultTimeoutSeconds;
  std::string key, customerName, customerId, server, protocol, port, proxy;
  bool hasKey = false, hasName = false, hasId = false, hasServer = false, hasProtocol = false,
       hasPort = false, hasProxy = false;
};

struct Attempt {
  std::string server;
  int status;
  std::string message;
};

struct Report {
  std::string outcome, message;
  std::vector<Attempt> attempts;
  std::vector<std::vector<std::string>> argv;
  bool configWritten = false;
};

std::string ProgramDirectory() {
  char path[4096] = {0};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  const std::string exe = n > 0 ? std::string(path, n) : std::string("./kelvory-activate");
  return exe.substr(0, exe.rfind('/'));
}

// The shell's convention: the exit code, 128+N for signal N, -1 when nothing started.
int ShellStatus(int32_t status) {
  if (status == -1) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return status;
}

int Finish(const Report& r, bool json, int code) {
  if (json) {
    nlohmann::json attempts = nlohmann::json::array();
    for (const Attempt& a : r.attempts) {
      attempts.push_back({{"server", a.server}, {"status", a.status}, {"message", a.message}});
    }
    nlohmann::json out = {{"outcome", r.outcome},
                          {"message", r.message},
                          {"attempts", attempts},
                          {"configWritten", r.configWritten}};
    if (r.outcome == "dry-run") out["argv"] = r.argv;
    PrintJson(out);
    return code;
  }
  for (size_t i = 0; i < r.attempts.size(); ++i) {
    const Attempt& a = r.attempts[i];
    std::printf("attempt %zu: %s: status %d: %s\n", i + 1, a.server.c_str(), a.status,
                a.message.empty() ? "validated" : a.message.c_str());
  }
  for (const std::vector<std::string>& argv : r.argv) {
    std::string line = "would run:";
    for (const std::string& arg : argv) line += " [" + arg + "]";
    std::printf("%s\n", line.c_str());
  }
  std::printf("%s: %s\n", r.outcome.c_str(), r.message.c_str());
  return code;
}

// /tmp/kelvor.conf is a regular file changed within the last hour that ends with the block the
// panes append for this target: a window install has already activated.
bool AlreadyActivated(const Options& o) {
  struct stat info {};
  if (lstat(ConfigFilePath().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (std::time(nullptr) - info.st_mtime > 3600) return false;
  std::string prefix;
  if (FindVolumePrefix(o.target.c_str(), kl::CurrentPlatform().ApplicationDirectories(), &prefix) !=
      VolumePrefixResult::kOk) {
    return false;
  }
  std::ifstream in(ConfigFilePath(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return EndsWithAppendedBlock(text.str(), prefix.c_str());
}

// The pane's input: the pre-fill as the pane takes it, then each option as a person would
// type or click it. Empty `error` unless the pre-fill file cannot be read.
KLActivationInput BuildInput(const Options& o, std::string* error) {
  KLActivationInput input;
  KLTextDataProvider* prefill = nil;
  if (!o.package.empty()) {
    prefill = KLReadPrefillBeside(KLNSString(o.package), o.dryRun ? NO : YES);
  } else if (!o.data.empty()) {
    if (access(o.data.c_str(), R_OK) != 0) {
      *error = "Cannot read the pre-fill file " + o.data;
      return input;
    }
    KLTextDataProvider* record = [KLTextDataProvider alloc];
    record = o.text ? [record initWithTextFile:KLNSString(o.data)]
                    : [record initWithXmlFile:KLNSString(o.data)];
    prefill = [record autorelease];
  }
  if (prefill != nil && [prefill containData]) KLApplyPrefill(prefill, &input);
  if (o.hasKey) {
    input.activationOption = 0;
    input.activationKey = KLNSString(o.key);
  }
  if (o.hasName || o.hasId || o.hasServer || o.hasProtocol || o.hasPort) {
    input.activationOption = 1;
  }
  if (o.hasName) input.customerName = KLNSString(o.customerName);
  if (o.hasId) input.customerId = KLNSString(o.customerId);
  if (o.hasServer) input.serverURL = KLNSString(o.server);
  if (o.hasProtocol) {  // a click on the protocol puts its default port in the field
    input.https = o.protocol == "https";
    input.port = input.https ? @"443" : @"80";
  }
  if (o.hasPort) input.port = KLNSString(o.port);
  if (o.hasProxy) {
    input.proxyOption = 1;
    input.proxy = KLNSString(o.proxy);
  }
  return input;
}

// The report of a run that had to stop early: `waitingForLock` when it never got the lock.
int Stopped(Report* report, bool json, bool waitingForLock, const std::string& why) {
  if (waitingForLock) {
    report->outcome = "busy";
    report->message = why;
  } else if (kl::StopRequested() == kl::StopReason::kTimedOut) {
    report->outcome = "timed-out";
    report->message = "The activation did not end within its time limit; nothing was written";
  } else {
    report->outcome = "interrupted";
    report->message = "The activation was interrupted; nothing was written";
  }
  return Finish(*report, json, kStopped);
}

int Activate(const Options& o, HeadlessPlatform* platform) {
  Report report;
  // One activation at a time, checked and appended under the lock: two runs never leave two
  // blocks. A dry run writes nothing and needs none.
  std::string lockError;
  if (!o.dryRun && !kl::AcquireActivationLock(&lockError)) {
    return Stopped(&report, o.json, kl::StopRequested() != kl::StopReason::kInterrupted, lockError);
  }
  if (o.unlessActivated && AlreadyActivated(o)) {
    report.outcome = "already-activated";
    report.message = ConfigFilePath() + " already ends with an activation from the last hour";
    return Finish(report, o.json, kActivated);
  }
  std::string error;
  const KLActivationInput input = BuildInput(o, &error);
  if (!error.empty()) {
    report.outcome = "refused";
    report.message = error;
    return Finish(report, o.json, kRefused);
  }
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

  for (;;) {
    if (kl::StopRequested() != kl::StopReason::kNone) return Stopped(&report, o.json, false, "");
    ValidationRequest request;
    const int32_t status = KLRunValidationAttempt(record, resources, &request);
    report.attempts.push_back(
        {request.serverURL, ShellStatus(status), ValidationStatusMessage(status)});
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
    // Validated but the configuration could not be appended, or every address failed; either
    // way the message is the alert the panes would have shown last.
    report.outcome = outcome.message.empty() ? "config-error" : "failed";
    report.message = platform->alerts.empty() ? outcome.message : platform->alerts.back();
    return Finish(report, o.json, outcome.message.empty() ? kConfigError : kFailed);
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "kelvory-activate: activates the Kelvory agent without the installer's window, with the "
      "activation panes' own checks, validation and configuration.\n"
      "Exit codes: 0 activated (or dry run, or already activated), 1 refused by the checks, "
      "2 usage error, 3 every validation attempt failed, 4 the configuration file could not be "
      "written, 6 timed out, interrupted, or another activation holds the lock."};
  Options o;
  app.add_option("--package", o.package, "The package file; its folder holds the pre-fill");
  app.add_option("--data", o.data, "A pre-fill file (InstallationData.xml form)");
  app.add_flag("--text", o.text, "--data is in the key=value text form");
  app.add_option("--target", o.target, "The destination volume (default /)");
  app.add_option("--tool", o.tool, "The validation tool (default: InitialValidate beside this)");
  app.add_flag("--json", o.json, "One JSON object on standard output");
  app.add_flag("--dry-run", o.dryRun, "Run the checks and show the tool runs; start nothing");
  app.add_flag("--unless-activated", o.unlessActivated,
               "Do nothing when /tmp/kelvor.conf already holds a recent activation");
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
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);  // prints the message and usage to standard error
    return kUsage;
  }

  o.hasKey = app.count("--key") > 0;
  o.hasName = app.count("--customer-name") > 0;
  o.hasId = app.count("--customer-id") > 0;
  o.hasServer = app.count("--server") > 0;
  o.hasProtocol = app.count("--protocol") > 0;
  o.hasPort = app.count("--port") > 0;
  o.hasProxy = app.count("--proxy") > 0;
  const bool customer = o.hasName || o.hasId || o.hasServer || o.hasProtocol || o.hasPort;
  std::string usage;
  if (!o.package.empty() && !o.data.empty()) usage = "--package and --data exclude each other";
  if (o.hasKey && customer) usage = "--key and the customer form's options exclude each other";
  if (o.package.empty() && o.data.empty() && !o.hasKey && !customer) {
    usage = "no input: give --package, --data, --key or the customer form's options";
  }
  if (o.tool.empty()) o.tool = ProgramDirectory() + "/InitialValidate";
  if (o.tool.size() < 16 || o.tool.compare(o.tool.size() - 16, 16, "/InitialValidate") != 0) {
    usage = "--tool must name a file called InitialValidate (the plug-in runs it by that name)";
  }
  if (!usage.empty()) {
    std::fprintf(stderr, "kelvory-activate: %s\nRun with --help for more information.\n",
                 usage.c_str());
    return kUsage;
  }

  kl::InstallStopHandlers(o.timeout);
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  HeadlessPlatform platform;
  platform.packagePath = o.package;
  kl::ScopedPlatform scope(&platform);
  const int code = Activate(o, &platform);
  [pool drain];
  return code;
}
