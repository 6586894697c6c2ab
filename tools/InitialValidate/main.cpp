// InitialValidate: checks the activation data against the management server, registers this
// machine as an appliance and writes the agent's configuration file. The validation pane runs
// it from the plug-in's resources and turns its exit code into the message the user sees.
#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "ConfFile.h"
#include "Help.h"
#include "InstallLogFile.h"
#include "KLInstallLog.h"
#include "KLToolExitCodes.h"
#include "Options.h"
#include "ServerClient.h"
#include "ServerSteps.h"

namespace kl::validate {
namespace {

class CurlGlobal {
 public:
  CurlGlobal() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("curl init");
  }
  ~CurlGlobal() { curl_global_cleanup(); }
};

ToolExitCode Steps(const Options& o, InstallLog& log) {
  // Refused before the server registers anything for a file that could not be written.
  std::string why = NotReplaceable(o.confPath);
  if (!why.empty()) {
    log.Entry("Cannot write the configuration file " + o.confPath, why);
    return ToolExitCode::kConfigFile;
  }
  CurlGlobal curl;
  ServerClient server(o);
  ToolExitCode code = Validate(server, o, log);
  std::string applianceId;
  if (code == ToolExitCode::kOk) code = Register(server, o, log, applianceId);
  if (code != ToolExitCode::kOk) return code;
  NewConfFile conf(o.confPath);
  if (!conf.Write(ConfText(o, applianceId), why) || !conf.Commit(why)) {
    log.Entry("Cannot write the configuration file " + o.confPath, why);
    return ToolExitCode::kConfigFile;
  }
  // The configuration is in place: from here a log that fails is reported, not a failure.
  log.TryEntry("Configuration file created", o.confPath);
  return ToolExitCode::kOk;
}

ToolExitCode Run(int argc, char** argv) {
  Options o;
  const ToolExitCode fault = ParseOptions(argc, argv, o);
  if ((o.help || o.version) && argc == 2) {
    o.help ? PrintHelp() : (void)printf("InitialValidate %s\n", KL_VERSION);
    return ToolExitCode::kOk;
  }
  if (fault != ToolExitCode::kOk) {
    fprintf(stderr, "InitialValidate: %s (try --help)\n", Meaning(fault));
    return fault;
  }
  std::string why;
  const int fd = kl::OpenOwnedForAppend(o.logPath.c_str(), &why);
  FILE* file = fd < 0 ? nullptr : fdopen(fd, "a");
  if (file == nullptr) {
    if (fd >= 0) {
      why = strerror(errno);
      close(fd);
    }
    fprintf(stderr, "InitialValidate: %s: %s: %s\n", Meaning(ToolExitCode::kLogFile),
            o.logPath.c_str(), why.c_str());
    return ToolExitCode::kLogFile;
  }
  InstallLog log(file);
  ToolExitCode code = ToolExitCode::kRuntime;
  try {
    log.Entry("InitialValidate started", o.protocol + "://" + o.server + ":" + o.port +
                                             (o.proxy.empty() ? "" : " through proxy " + o.proxy));
    code = Steps(o, log);
  } catch (const LogUnwritable&) {
    code = ToolExitCode::kLogFile;
  } catch (const std::exception& e) {
    log.TryEntry("Unexpected exception", e.what());
  }
  if (!log.TryEntry("InitialValidate finished",
                    "exit code " + std::to_string(static_cast<int>(code)) + ": " + Meaning(code))) {
    fprintf(stderr, "InitialValidate: install log %s: %s\n", o.logPath.c_str(), log.why().c_str());
    // Nothing was replaced unless the run succeeded; a success stands with its log cut short.
    if (code != ToolExitCode::kOk) code = ToolExitCode::kLogFile;
  }
  if (code != ToolExitCode::kOk) fprintf(stderr, "InitialValidate: %s\n", Meaning(code));
  return code;
}

}  // namespace
}  // namespace kl::validate

int main(int argc, char** argv) {
  try {
    return static_cast<int>(kl::validate::Run(argc, argv));
  } catch (...) {
    fprintf(stderr, "InitialValidate: %s\n", kl::validate::Meaning(kl::ToolExitCode::kRuntime));
    return static_cast<int>(kl::ToolExitCode::kRuntime);
  }
}
