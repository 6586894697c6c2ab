// Who the simulator knows: customers and appliances, from a JSON file or the demo data, and
// how a request's identity fields are read and judged against them.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_DIRECTORY_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_DIRECTORY_H_

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace kl::sim {

struct Customer {
  std::string name, id;
};

struct Directory {
  std::vector<Customer> customers;
  std::set<std::string> appliances, refuseRegistration;
};

Directory DemoData();

// Throws on a file that cannot be read or does not have the documented shape.
Directory Load(const std::string& path);

struct Request {
  std::string name, id, appliance;
};

// Reads the identity fields; the reason for refusing anything but a JSON object whose fields
// are strings and which names either a customer or an appliance, else "".
std::string ReadRequest(const nlohmann::json& body, Request& r);

// The field the directory rejects ("" when none) and, for a customer, its ID.
std::string Judge(const Directory& d, const Request& r, std::string& customerId);

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_DIRECTORY_H_
