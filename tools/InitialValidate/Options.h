// InitialValidate's command line, as the validation pane passes it.
#ifndef KELVORY_TOOLS_INITIALVALIDATE_OPTIONS_H_
#define KELVORY_TOOLS_INITIALVALIDATE_OPTIONS_H_

#include <string>

#include "KLToolExitCodes.h"

namespace kl::validate {

struct Options {
  std::string server;                                 // host part of -s, trimmed of spaces
  std::string port;                                   // -n as given: decimal digits, 1 to 65536
  std::string protocol;                               // -p: "http" or "https"
  std::string proxy;                                  // -x; empty: no proxy
  std::string confPath;                               // -f
  std::string logPath;                                // -l
  std::string customerName, customerId, applianceId;  // -c, -i, -a; empty when not given
  bool help = false;                                  // --help
  bool version = false;                               // --version
};

/// Reads argv[1..argc-1]. An option's value is always the next argument, even one starting
/// with "-"; a repeated -x, -c, -i or -a keeps its last value. An empty -s (once trimmed), -f or
/// -l counts as missing; an empty -x, -c, -i or -a as not given. Returns kOk when the options are
/// usable, else the lowest exit code among the faults found (ToolExitCode::kMissingConnection to
/// ToolExitCode::kUnrecognizedOption). --help and --version are flags of their own.
ToolExitCode ParseOptions(int argc, char** argv, Options& out);

/// The host named by an -s value: spaces trimmed, and from a URL-like value
/// ("https://user@host:8443/path") only the host. Brackets of an IPv6 literal are dropped.
std::string ServerHost(const std::string& value);

}  // namespace kl::validate

#endif  // KELVORY_TOOLS_INITIALVALIDATE_OPTIONS_H_
