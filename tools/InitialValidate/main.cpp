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
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "KLInstallLog.h"
#include "Options.h"
#include "ServerClient.h"

namespace {

using nlohmann::json;

enum ExitCode {
  kSuccess = 0,
  kCannotConnect = 10,
  kNameRejected = 11,
  kIdRejected = 12,
  kApplianceRejected = 13,
  kDiscoveryFailed = 14,
  kRegistrationRefused = 15,
  kConfFile = 16,
  kInstallLog = 17,
  kException = 18,
};

const char* const kMeanings[] = {
    "success: validated, registered, configuration file written",
    "missing or invalid server (-s), port (-n, 1 to 65536) or protocol (-p, http or https)",
    "-s, -n or -p given more than once",
    "missing configuration file path (-f)",
    "-f given more than once",
    "none of customer name (-c), customer ID (-i) or appliance ID (-a)",
    "appliance ID (-a) together with a customer name (-c) or ID (-i)",
    "missing install log path (-l)",
    "-l given more than once",
    "unrecognized option, or an option without its value",
    "cannot connect to the server, or it does not answer as a management server",
    "the server rejected the customer name",
    "the server rejected the customer ID",
    "the server rejected the appliance ID",
    "local discovery (host name, OS name and version) failed",
    "the server refused to register the appliance",
    "cannot create or write the configuration file",
    "cannot create or open the install log",
    "unexpected exception",
};

void PrintHelp() {
  printf(
      "usage: InitialValidate -s server -n port -p http|https [-x proxy] -f conf-file\n"
      "                       [-c customer-name] [-i customer-id] [-a appliance-id] -l log-file\n"
      "\n"
      "Validates a customer (-c and/or -i) or an appliance (-a) with the management server at\n"
      "protocol://server:port, registers this machine and creates (replaces) the configuration\n"
      "file. Each option's value is the next argument, even one starting with '-'. -s may be a\n"
      "URL; only its host is used. -x is a libcurl proxy (host:port or http://host:port);\n"
      "without -x no proxy is used, whatever the environment says. HTTPS certificates are\n"
      "verified; KELVORY_CA_FILE names an extra CA file. Progress is appended to the install\n"
      "log. Symbolic links are never followed as the last component of either path.\n"
      "\n"
      "Server requests (JSON bodies, answers with HTTP status 200):\n"
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
  for (int code = 0; code <= kException; ++code) printf("  %2d  %s\n", code, kMeanings[code]);
}

// Writes entries through the plug-in's own install-log code, and closes the file at the end.
class InstallLog {
 public:
  explicit InstallLog(FILE* file) : file_(file) {}
  ~InstallLog() { fclose(file_); }
  InstallLog(const InstallLog&) = delete;
  InstallLog& operator=(const InstallLog&) = delete;
  void Entry(const std::string& message, const std::string& detail) {
    DumpLog(file_, message, detail);
    fflush(file_);
  }

 private:
  FILE* file_;
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
json Parse(const ServerAnswer& a) {
  if (!a.reached || a.status != 200) return nullptr;
  json j = json::parse(a.body, nullptr, false);
  return j.is_object() ? j : json(nullptr);
}

std::string Describe(const ServerAnswer& a) {
  return a.reached ? "HTTP " + std::to_string(a.status) + ": " + a.body.substr(0, 200) : a.error;
}

std::string Text(const json& j, const char* key) {
  return j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : "";
}

int Validate(const ServerClient& server, const Options& o, InstallLog& log) {
  log.Entry("Validating with the management server", server.base() + "/api/v1/validate");
  const ServerAnswer a = server.Post("/api/v1/validate", Dump(Identity(o)));
  const json j = Parse(a);
  if (j.is_null() || !j.contains("valid") || !j["valid"].is_boolean()) {
    log.Entry("Cannot reach the management server", Describe(a));
    return kCannotConnect;
  }
  if (j["valid"]) {
    log.Entry("Validation succeeded", "");
    return kSuccess;
  }
  const std::string rejected = Text(j, "rejected");
  log.Entry("Validation failed", "rejected " + rejected + ": " + Text(j, "message"));
  if (rejected == "customerId") return kIdRejected;
  if (rejected == "customerName") return kNameRejected;
  return o.applianceId.empty() ? kNameRejected : kApplianceRejected;
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
    return kDiscoveryFailed;
  }
  log.Entry("Local discovery", Text(request, "hostName") + ", " + Text(request, "osName") + " " +
                                   Text(request, "osVersion"));
  const ServerAnswer a = server.Post("/api/v1/register", Dump(request));
  if (!a.reached) {
    log.Entry("Cannot reach the management server", a.error);
    return kCannotConnect;
  }
  const json j = Parse(a);
  id = o.applianceId.empty() ? Text(j, "applianceId") : o.applianceId;
  const bool registered = j.contains("registered") && j["registered"] == true;
  if (!registered || !IsApplianceId(Text(j, "applianceId"))) {
    log.Entry("Registration refused", j.is_null() ? Describe(a) : Text(j, "message"));
    return kRegistrationRefused;
  }
  log.Entry("Registered as appliance", id);
  return kSuccess;
}

// Creates or replaces the file; a symbolic link, a FIFO or anything but a regular file there
// is refused.
bool WriteConf(const Options& o, const std::string& applianceId, std::string& why) {
  const int fd = open(o.confPath.c_str(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = fd < 0 ? strerror(errno) : "not a regular file";
    if (fd >= 0) close(fd);
    return false;
  }
  std::string text = "[server]\n\tserver_0=" + o.server + "\n\tprotocol_0=" + o.protocol +
                     "\n\tport_0=" + o.port + "\n";
  if (!o.proxy.empty()) text += "\tproxy_0=" + o.proxy + "\n";
  text += "\tappliance_id=" + applianceId + "\n";
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool closed = close(fd) == 0;
  if (done < text.size() || !closed) why = strerror(errno);
  return done == text.size() && closed;
}

int Steps(const Options& o, InstallLog& log) {
  CurlGlobal curl;
  const ServerClient server(o);
  int code = Validate(server, o, log);
  std::string applianceId;
  if (code == kSuccess) code = Register(server, o, log, applianceId);
  if (code != kSuccess) return code;
  std::string why;
  if (!WriteConf(o, applianceId, why)) {
    log.Entry("Cannot write the configuration file " + o.confPath, why);
    return kConfFile;
  }
  log.Entry("Configuration file created", o.confPath);
  return kSuccess;
}

int Run(int argc, char** argv) {
  Options o;
  const int fault = ParseOptions(argc, argv, o);
  if (o.help) {
    PrintHelp();
    return kSuccess;
  }
  if (fault != 0) {
    fprintf(stderr, "InitialValidate: %s (try --help)\n", kMeanings[fault]);
    return fault;
  }
  FILE* file = OpenForAppendNoFollow(o.logPath.c_str());
  if (file == nullptr) {
    fprintf(stderr, "InitialValidate: %s: %s: %s\n", kMeanings[kInstallLog], o.logPath.c_str(),
            strerror(errno));
    return kInstallLog;
  }
  InstallLog log(file);
  log.Entry("InitialValidate started", o.protocol + "://" + o.server + ":" + o.port +
                                           (o.proxy.empty() ? "" : " through proxy " + o.proxy));
  int code = kException;
  try {
    code = Steps(o, log);
  } catch (const std::exception& e) {
    log.Entry("Unexpected exception", e.what());
  }
  log.Entry("InitialValidate finished",
            "exit code " + std::to_string(code) + ": " + kMeanings[code]);
  if (code != kSuccess) fprintf(stderr, "InitialValidate: %s\n", kMeanings[code]);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    fprintf(stderr, "InitialValidate: %s\n", kMeanings[kException]);
    return kException;
  }
}
