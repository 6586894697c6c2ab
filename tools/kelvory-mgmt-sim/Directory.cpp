#include "Directory.h"

#include <fstream>
#include <stdexcept>
#include <utility>

namespace kl::sim {

using nlohmann::json;

Directory DemoData() { return {{{"Demo Customer", "1001"}}, {"42"}, {}}; }

// Throws on a file that cannot be read or does not have the documented shape.
Directory Load(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  const json j = json::parse(in);
  Directory d;
  for (const json& c : j.at("customers")) {
    d.customers.push_back({c.at("name").get<std::string>(), c.at("id").get<std::string>()});
  }
  d.appliances = j.value("appliances", std::set<std::string>{});
  d.refuseRegistration = j.value("refuseRegistration", std::set<std::string>{});
  return d;
}

std::string ReadRequest(const json& body, Request& r) {
  if (!body.is_object()) return "the body is not a JSON object";
  for (const auto& [key, field] :
       {std::pair{"customerName", &r.name}, {"customerId", &r.id}, {"applianceId", &r.appliance}}) {
    if (!body.contains(key)) continue;
    if (!body[key].is_string()) return std::string(key) + " is not a string";
    *field = body[key].get<std::string>();
  }
  const bool customer = !r.name.empty() || !r.id.empty();
  if (customer == !r.appliance.empty())
    return "give customerName and/or customerId, or applianceId";
  return "";
}

// The field the directory rejects ("" when none) and, for a customer, its ID.
std::string Judge(const Directory& d, const Request& r, std::string& customerId) {
  if (!r.appliance.empty()) return d.appliances.count(r.appliance) ? "" : "applianceId";
  bool nameFound = false;
  for (const Customer& c : d.customers) {
    if (!r.name.empty() && c.name != r.name) continue;
    nameFound = true;
    if (r.id.empty() || c.id == r.id) {
      customerId = c.id;
      return "";
    }
  }
  return nameFound || r.name.empty() ? "customerId" : "customerName";
}

}  // namespace kl::sim
