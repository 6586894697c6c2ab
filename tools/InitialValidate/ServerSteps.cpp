#include "ServerSteps.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "KLToolExitCodes.h"
#include "ServerProtocol.h"

namespace kl::validate {

namespace {

using kl::protocol::JsonWithinLimits;
using nlohmann::json;

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

}  // namespace

ToolExitCode Validate(ServerClient& server, const Options& o, InstallLog& log) {
  log.Entry("Validating with the management server", server.base() + kl::protocol::kValidatePath);
  const ServerAnswer a = server.Post(kl::protocol::kValidatePath, Dump(Identity(o)));
  const json j = Parse(a);
  if (j.is_null() || !j.contains("valid") || !j["valid"].is_boolean()) {
    log.Entry("Cannot reach the management server", Describe(a));
    return ToolExitCode::kCannotConnect;
  }
  if (j["valid"]) {
    log.Entry("Validation succeeded", "");
    return ToolExitCode::kOk;
  }
  const std::string rejected = Text(j, "rejected");
  log.Entry("Validation failed", "rejected " + rejected + ": " + Text(j, "message"));
  if (rejected == "customerId") return ToolExitCode::kCustomerIdRejected;
  if (rejected == "customerName") return ToolExitCode::kCustomerNameRejected;
  return o.applianceId.empty() ? ToolExitCode::kCustomerNameRejected
                               : ToolExitCode::kApplianceIdRejected;
}

ToolExitCode Register(ServerClient& server, const Options& o, InstallLog& log, std::string& id) {
  json request = Identity(o);
  std::string why;
  if (!Discover(request, why)) {
    log.Entry("Local discovery failed", why);
    return ToolExitCode::kDiscoveryFailed;
  }
  log.Entry("Local discovery", Text(request, "hostName") + ", " + Text(request, "osName") + " " +
                                   Text(request, "osVersion"));
  const ServerAnswer a = server.Post(kl::protocol::kRegisterPath, Dump(request));
  if (!a.reached) {
    log.Entry("Cannot reach the management server", a.error);
    return ToolExitCode::kCannotConnect;
  }
  const json j = Parse(a);
  id = o.applianceId.empty() ? Text(j, "applianceId") : o.applianceId;
  const bool registered = j.contains("registered") && j["registered"] == true;
  if (!registered || !IsApplianceId(Text(j, "applianceId"))) {
    log.Entry("Registration refused", j.is_null() ? Describe(a) : Text(j, "message"));
    return ToolExitCode::kRegistrationRefused;
  }
  log.Entry("Registered as appliance", id);
  return ToolExitCode::kOk;
}

}  // namespace kl::validate
