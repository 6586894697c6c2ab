// The simulator's command line.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_OPTIONS_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_OPTIONS_H_

#include <string>

#include "Limits.h"

namespace kl::sim {

struct Options {
  int port = 0;
  int maxConnections = kMaxConnections;
  std::string customersFile;
  std::string tlsCert, tlsKey;  // both or neither: https instead of http
};

/// Reads the command line into `o`: -1 to go on, else the exit code (--help and --version
/// included).
int ParseOptions(int argc, char** argv, Options& o);

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_OPTIONS_H_
