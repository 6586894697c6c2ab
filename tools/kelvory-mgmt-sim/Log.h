// The simulator's log on standard output, one line per request or registration.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_LOG_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_LOG_H_

#include <string>

namespace kl::sim {

// One line of the log; a request's target or a client's values in it are escaped, so they can
// neither start a forged line nor drive a terminal.
void Say(const std::string& line);

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_LOG_H_
