// InitialValidate: checks the activation data against the management server, registers this
// machine as an appliance and writes the agent's configuration file. The validation pane runs
// it from the plug-in's resources and turns its exit code into the message the user sees.
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <stdexcept>
#include <string>

#include "KLInstallLog.h"
#include "KLToolExitCodes.h"
#include "Options.h"
#include "ServerClient.h"
#include "ServerProtocol.h"

namespace {

using kl::protocol::JsonWithinLimits;
using nlohmann::json;

// Each exit code's meaning, from the exit-code table.
const char* Meaning(int code) { return kToolExitCodeTexts[code].meaning; }

void PrintHelp() {
  printf(
      "usage: InitialValidate -s server -n port -p http|https [-x proxy] -f conf-file\n"
      "                       [-c customer-name] [-i customer-id] [-a appliance-id] -l log-file\n"
      "\n"
      "Validates a customer (-c and/or -i) or an appliance (-a) with the management server at\n"
      "protocol://server:port, registers this machine and creates (replaces) the configuration\n"
      "file. Each option's value is the next argument, even one starting with '-'. -s may be a\n"
      "URL; only its host is used. -x is a libcurl proxy (host:port or http://host:port);\n"
      "without -x no proxy is used, whatever the environment says. A server host or proxy\n"
      "with white space or a control character is refused (code 1): both are written into\n"
      "the configuration file. HTTPS certificates are\n"
      "verified; KELVORY_CA_FILE names an extra CA file. --version prints the version; it and\n"
      "--help stand alone (with other arguments: code 9).\n"
      "\n"
      "Files. The configuration is written to a new file (mode 0600) beside -f and renamed over\n"
      "it, so a failure leaves the old file as it was. An -f that is not a regular file (a\n"
      "symbolic link included), belongs to another user or has more than one link is refused\n"
      "(code 16) before the server is asked. Progress is appended to the install log (-l, the\n"
      "same rules, code 17); until the configuration is in place, an entry that cannot be\n"
      "written ends the run with code 17. Control characters in logged values are escaped.\n"
      "\n"
      "Server requests (JSON bodies, answers with HTTP status 200; an answer larger than 64 KiB\n"
      "or nested deeper than 64 levels is not a management server's):\n"
      "  POST /api/v1/validate  {\"customerName\",\"customerId\"} or {\"applianceId\"}\n"
      "       -> {\"valid\": true} | {\"valid\": false, \"rejected\": \"customerName\"|\n"
      "          \"customerId\"|\"applianceId\", \"message\": ...}\n"
      "  POST /api/v1/register  the same fields plus {\"hostName\",\"osName\",\"osVersion\"}\n"
      "       -> {\"registered\": true, \"applianceId\": \"digits\"} |\n"
      "          {\"registered\": false, \"message\": ...}\n"
      "Fields the user did not give are left out; all values are strings.\n"
      "\n"
      "Configuration file (\\t is a tab):\n"
      "  [server]\n"
      "  \\tserver_0=<host>\n  \\tprotocol_0=<-p>\n  \\tport_0=<-n>\n"
      "  \\tproxy_0=<-x>           (only with -x)\n"
      "  \\tappliance_id=<-a, or the ID the server assigned to this machine>\n"
      "\n"
      "Exit codes (the lowest one wins among option faults):\n");
  for (int code = 0; code < kToolExitCodeCount; ++code) printf("  %2d  %s\n", code, Meaning(code));
}

// An install-log entry that could not be written. Until the configuration file is in place it
// ends the run with kToolLogFile: a run whose log is lost is not reported as a success.
class LogUnwritable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes entries through the plug-in's own install-log code, and closes the file at the end.
class InstallLog {
 public:
  explicit InstallLog(FILE* file) : file_(file) {}
  ~InstallLog() { fclose(file_); }
  InstallLog(const InstallLog&) = delete;
  InstallLog& operator=(const InstallLog&) = delete;

  // Throws LogUnwritable when the entry is not written whole.
  void Entry(const std::string& message, const std::string& detail) {
    if (!TryEntry(message, detail)) throw LogUnwritable(why_);
  }
  // Values from outside (server messages, paths, the server and proxy given) are escaped, so
  // that none can start a line of its own. After the first failure nothing more is written.
  bool TryEntry(const std::string& message, const std::string& detail) {
    if (!why_.empty()) return false;
    DumpLog(file_, EscapeControlCharacters(message), EscapeControlCharacters(detail));
    if (fflush(file_) != 0 || ferror(file_)) why_ = errno != 0 ? strerror(errno) : "write failed";
    return why_.empty();
  }
  const std::string& why() const { return why_; }

 private:
  FILE* file_;
  std::string why_;  // why the log failed; empty while it works
};

class CurlGlobal {
 public:
  CurlGlobal() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("curl init");
  }
  ~CurlGlobal() { curl_global_cleanup(); }
};

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// The identity fields of both requests; only those the user gave.
json Identity(const Options& o) {
  json j = json::object();
  if (!o.customerName.empty()) j["customerName"] = o.customerName;
  if (!o.customerId.empty()) j["customerId"] = o.customerId;
  if (!o.applianceId.empty()) j["applianceId"] = o.applianceId;
  return j;
}

// A JSON object from a 200 answer, or null for anything a management server would not send.
// The limits are checked before the parser sees the text.
json Parse(const ServerAnswer& a) {
  if (!a.reached || a.status != 200 || !JsonWithinLimits(a.body)) return nullptr;
  json j = json::parse(a.body, nullptr, false);
  if (!j.is_object()) return nullptr;
  return j;
}

std::string Describe(const ServerAnswer& a) {
  if (!a.reached) return a.error;
  const std::string status = "HTTP " + std::to_string(a.status) + ": ";
  if (!JsonWithinLimits(a.body)) {
    return status + "an answer of " + std::to_string(a.body.size()) +
           " bytes, larger than allowed or nested too deeply";
  }
  return status + a.body.substr(0, 200);
}

std::string Text(const json& j, const char* key) {
  return j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : "";
}

int Validate(const ServerClient& server, const Options& o, InstallLog& log) {
  log.Entry("Validating with the management server", server.base() + kl::protocol::kValidatePath);
  const ServerAnswer a = server.Post(kl::protocol::kValidatePath, Dump(Identity(o)));
  const json j = Parse(a);
  if (j.is_null() || !j.contains("valid") || !j["valid"].is_boolean()) {
    log.Entry("Cannot reach the management server", Describe(a));
    return kToolCannotConnect;
  }
  if (j["valid"]) {
    log.Entry("Validation succeeded", "");
    return kToolOk;
  }
  const std::string rejected = Text(j, "rejected");
  log.Entry("Validation failed", "rejected " + rejected + ": " + Text(j, "message"));
  if (rejected == "customerId") return kToolCustomerIdRejected;
  if (rejected == "customerName") return kToolCustomerNameRejected;
  return o.applianceId.empty() ? kToolCustomerNameRejected : kToolApplianceIdRejected;
}

bool Discover(json& request, std::string& why) {
  char host[256] = {0};
  if (gethostname(host, sizeof host - 1) != 0) {
    why = std::string("gethostname: ") + strerror(errno);
    return false;
  }
  if (host[0] == '\0') {
    why = "this machine has no host name";
    return false;
  }
  utsname os{};
  if (uname(&os) != 0) {
    why = std::string("uname: ") + strerror(errno);
    return false;
  }
  request["hostName"] = host;
  request["osName"] = os.sysname;
  request["osVersion"] = os.release;
  return true;
}

bool IsApplianceId(const std::string& id) {
  return !id.empty() && id.size() <= 10 && id.find_first_not_of("0123456789") == std::string::npos;
}

int Register(const ServerClient& server, const Options& o, InstallLog& log, std::string& id) {
  json request = Identity(o);
  std::string why;
  if (!Discover(request, why)) {
    log.Entry("Local discovery failed", why);
    return kToolDiscoveryFailed;
  }
  log.Entry("Local discovery", Text(request, "hostName") + ", " + Text(request, "osName") + " " +
                                   Text(request, "osVersion"));
  const ServerAnswer a = server.Post(kl::protocol::kRegisterPath, Dump(request));
  if (!a.reached) {
    log.Entry("Cannot reach the management server", a.error);
    return kToolCannotConnect;
  }
  const json j = Parse(a);
  id = o.applianceId.empty() ? Text(j, "applianceId") : o.applianceId;
  const bool registered = j.contains("registered") && j["registered"] == true;
  if (!registered || !IsApplianceId(Text(j, "applianceId"))) {
    log.Entry("Registration refused", j.is_null() ? Describe(a) : Text(j, "message"));
    return kToolRegistrationRefused;
  }
  log.Entry("Registered as appliance", id);
  return kToolOk;
}

// Why `path` may not be replaced ("" when it may): what is there must be a regular file of
// ours with one link, or nothing. Another user's file, or a link to one, is never touched.
std::string NotReplaceable(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? "" : strerror(errno);
  if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (st.st_uid != geteuid()) return "another user owns it";
  if (st.st_nlink != 1) return "it has more than one link";
  return "";
}

// The configuration as a new file of our own beside the old one, renamed over it only when
// written whole: a full disk, a short write or a failed close leaves the old file as it was.
class NewConfFile {
 public:
  explicit NewConfFile(std::string path) : path_(std::move(path)) {}
  ~NewConfFile() {
    if (!temp_.empty()) unlink(temp_.c_str());
  }
  NewConfFile(const NewConfFile&) = delete;
  NewConfFile& operator=(const NewConfFile&) = delete;

  bool Write(const std::string& text, std::string& why) {
    const size_t slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::random_device rng;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      char suffix[20];
      snprintf(suffix, sizeof suffix, ".%08x%08x", rng(), rng());
      temp_ = dir + (slash == std::string::npos ? "/." : ".") + name + suffix;
      fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
      why = strerror(errno);
      temp_.clear();
      return false;
    }
    size_t done = 0;
    errno = 0;
    while (done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (done < text.size()) why = errno != 0 ? strerror(errno) : "short write";
    if (why.empty() && fsync(fd) != 0) why = strerror(errno);
    if (close(fd) != 0 && why.empty()) why = strerror(errno);
    return why.empty();
  }

  // Renames the written file over the path, if what is there now may still be replaced.
  bool Commit(std::string& why) {
    why = NotReplaceable(path_);
    if (why.empty() && rename(temp_.c_str(), path_.c_str()) != 0) why = strerror(errno);
    if (!why.empty()) return false;
    temp_.clear();
    return true;
  }

 private:
  std::string path_, temp_;  // temp_: the new file while it is ours to remove
};

std::string ConfText(const Options& o, const std::string& applianceId) {
  std::string text = "[server]\n\tserver_0=" + o.server + "\n\tprotocol_0=" + o.protocol +
                     "\n\tport_0=" + o.port + "\n";
  if (!o.proxy.empty()) text += "\tproxy_0=" + o.proxy + "\n";
  return text + "\tappliance_id=" + applianceId + "\n";
}

int Steps(const Options& o, InstallLog& log) {
  // Refused before the server registers anything for a file that could not be written.
  std::string why = NotReplaceable(o.confPath);
  if (!why.empty()) {
    log.Entry("Cannot write the configuration file " + o.confPath, why);
    return kToolConfigFile;
  }
  CurlGlobal curl;
  const ServerClient server(o);
  int code = Validate(server, o, log);
  std::string applianceId;
  if (code == kToolOk) code = Register(server, o, log, applianceId);
  if (code != kToolOk) return code;
  NewConfFile conf(o.confPath);
  if (!conf.Write(ConfText(o, applianceId), why) || !conf.Commit(why)) {
    log.Entry("Cannot write the configuration file " + o.confPath, why);
    return kToolConfigFile;
  }
  // The configuration is in place: from here a log that fails is reported, not a failure.
  log.TryEntry("Configuration file created", o.confPath);
  return kToolOk;
}

int Run(int argc, char** argv) {
  Options o;
  const int fault = ParseOptions(argc, argv, o);
  if ((o.help || o.version) && argc == 2) {
    o.help ? PrintHelp() : (void)printf("InitialValidate %s\n", KL_VERSION);
    return kToolOk;
  }
  if (fault != kToolOk) {
    fprintf(stderr, "InitialValidate: %s (try --help)\n", Meaning(fault));
    return fault;
  }
  std::string why;
  const int fd = OpenOwnedForAppend(o.logPath.c_str(), &why);
  FILE* file = fd < 0 ? nullptr : fdopen(fd, "a");
  if (file == nullptr) {
    if (fd >= 0) {
      why = strerror(errno);
      close(fd);
    }
    fprintf(stderr, "InitialValidate: %s: %s: %s\n", Meaning(kToolLogFile), o.logPath.c_str(),
            why.c_str());
    return kToolLogFile;
  }
  InstallLog log(file);
  int code = kToolRuntime;
  try {
    log.Entry("InitialValidate started", o.protocol + "://" + o.server + ":" + o.port +
                                             (o.proxy.empty() ? "" : " through proxy " + o.proxy));
    code = Steps(o, log);
  } catch (const LogUnwritable&) {
    code = kToolLogFile;
  } catch (const std::exception& e) {
    log.TryEntry("Unexpected exception", e.what());
  }
  if (!log.TryEntry("InitialValidate finished",
                    "exit code " + std::to_string(code) + ": " + Meaning(code))) {
    fprintf(stderr, "InitialValidate: install log %s: %s\n", o.logPath.c_str(), log.why().c_str());
    // Nothing was replaced unless the run succeeded; a success stands with its log cut short.
    if (code != kToolOk) code = kToolLogFile;
  }
  if (code != kToolOk) fprintf(stderr, "InitialValidate: %s\n", Meaning(code));
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    fprintf(stderr, "InitialValidate: %s\n", Meaning(kToolRuntime));
    return kToolRuntime;
  }
}
