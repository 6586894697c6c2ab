// The simulator's routes: validate and register, also in absolute form as a proxy receives them.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_SIMULATOR_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_SIMULATOR_H_

#include <httplib.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <string>

#include "Directory.h"
#include "Log.h"
#include "ServerProtocol.h"

namespace kl::sim {

using nlohmann::json;

const char kTooLarge[] = "the body is larger than 64 KiB or nested deeper than 64 levels";

class Simulator {
 public:
  explicit Simulator(Directory d) : directory_(std::move(d)) {}

  void Routes(httplib::Server& server) {
    // The optional scheme and authority admit absolute-form targets.
    const std::string absolute = R"((?:http://[^/]*)?)";
    server.Post(absolute + kl::protocol::kValidatePath,
                [this](const httplib::Request& q, httplib::Response& a) { Validate(q, a); });
    server.Post(absolute + kl::protocol::kRegisterPath,
                [this](const httplib::Request& q, httplib::Response& a) { Register(q, a); });
    // httplib refuses a longer body itself, with 413; to a client it is malformed like any other.
    server.set_payload_max_length(kl::protocol::kMaxJsonBytes);
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& a) {
          if (a.status != 413) return httplib::Server::HandlerResponse::Unhandled;
          Answer(a, 400, {{"error", kTooLarge}});
          return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_logger([](const httplib::Request& q, const httplib::Response& a) {
      const bool proxied = q.target.rfind("http://", 0) == 0;
      Say(q.method + " " + q.target + " " + std::to_string(a.status) +
          (proxied ? " (proxied)" : ""));
    });
  }

 private:
  static void Answer(httplib::Response& a, int status, const nlohmann::json& j) {
    a.status = status;
    a.set_content(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                  "application/json");
  }

  static bool Read(const httplib::Request& q, httplib::Response& a, nlohmann::json& body,
                   Request& r) {
    if (!kl::protocol::JsonWithinLimits(q.body)) {
      Answer(a, 400, {{"error", kTooLarge}});
      return false;
    }
    body = json::parse(q.body, nullptr, false);
    const std::string error = ReadRequest(body, r);
    if (!error.empty()) Answer(a, 400, {{"error", error}});
    return error.empty();
  }

  void Validate(const httplib::Request& q, httplib::Response& a) const {
    nlohmann::json body;
    Request r;
    if (!Read(q, a, body, r)) return;
    std::string customerId;
    const std::string rejected = Judge(directory_, r, customerId);
    if (rejected.empty()) return Answer(a, 200, {{"valid", true}});
    Answer(a, 200, {{"valid", false}, {"rejected", rejected}, {"message", "unknown " + rejected}});
  }

  void Register(const httplib::Request& q, httplib::Response& a) {
    nlohmann::json body;
    Request r;
    if (!Read(q, a, body, r)) return;
    if (!body.contains("hostName") || !body["hostName"].is_string() ||
        body["hostName"].get<std::string>().empty()) {
      return Answer(a, 400, {{"error", "hostName is missing"}});
    }
    std::string customerId;
    const std::string rejected = Judge(directory_, r, customerId);
    if (!rejected.empty()) {
      return Answer(a, 200, {{"registered", false}, {"message", "unknown " + rejected}});
    }
    const std::string& key = r.appliance.empty() ? customerId : r.appliance;
    if (directory_.refuseRegistration.count(key)) {
      return Answer(a, 200,
                    {{"registered", false}, {"message", "registration refused for " + key}});
    }
    const std::string id = r.appliance.empty() ? std::to_string(nextId_++) : r.appliance;
    Say("registered appliance " + id + (customerId.empty() ? "" : " for customer " + customerId) +
        ": " + body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    Answer(a, 200, {{"registered", true}, {"applianceId", id}});
  }

  const Directory directory_;
  std::atomic<long> nextId_{100000};
};

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_SIMULATOR_H_
