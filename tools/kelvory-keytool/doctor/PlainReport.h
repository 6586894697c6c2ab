// The doctor's report as plain lines, for a person to read.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_PLAINREPORT_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_PLAINREPORT_H_

#include <nlohmann/json.hpp>
#include <string>

namespace kl::keytool {

/// Prints the report `r` (as RunDoctor makes it) to standard output, values escaped; `limit`
/// is the lookup time limit as the lines word it.
void PrintPlain(const nlohmann::json& r, const std::string& limit);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_PLAINREPORT_H_
