#include "Options.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "KLToolExitCodes.h"

namespace kl::validate {

namespace {

// White space and the control characters, NUL aside (no argument holds one).
const char kBlankOrControl[] =
    " \x01\x02\x03\x04\x05\x06\x07\x08\t\n\x0b\x0c\r\x0e\x0f\x10\x11\x12\x13\x14\x15\x16"
    "\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f\x7f";

std::string TrimSpaces(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool IsPort(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const long value = std::stol(text);
  return value >= 1 && value <= 65536;
}

}  // namespace

std::string ServerHost(const std::string& value) {
  std::string host = TrimSpaces(value);
  const size_t scheme = host.find("://");
  if (scheme != std::string::npos) host.erase(0, scheme + 3);
  host = host.substr(0, host.find_first_of("/?#"));
  const size_t at = host.rfind('@');
  if (at != std::string::npos) host.erase(0, at + 1);
  if (!host.empty() && host[0] == '[') {
    const size_t close = host.find(']');
    return close == std::string::npos ? "" : host.substr(1, close - 1);
  }
  // One colon separates a port; several make a bare IPv6 address.
  const size_t colon = host.find(':');
  if (colon != std::string::npos && host.find(':', colon + 1) == std::string::npos) {
    host.erase(colon);
  }
  return host;
}

ToolExitCode ParseOptions(int argc, char** argv, Options& out) {
  // A repeat of -x, -c, -i or -a is allowed (no duplicate code).
  static const struct {
    char letter;
    std::string Options::*field;
    ToolExitCode duplicateCode;
  } kOptions[] = {
      {'s', &Options::server, ToolExitCode::kDuplicateConnection},
      {'n', &Options::port, ToolExitCode::kDuplicateConnection},
      {'p', &Options::protocol, ToolExitCode::kDuplicateConnection},
      {'f', &Options::confPath, ToolExitCode::kDuplicateConfigPath},
      {'l', &Options::logPath, ToolExitCode::kDuplicateLogPath},
      {'x', &Options::proxy, ToolExitCode::kOk},
      {'c', &Options::customerName, ToolExitCode::kOk},
      {'i', &Options::customerId, ToolExitCode::kOk},
      {'a', &Options::applianceId, ToolExitCode::kOk},
  };
  ToolExitCode lowest = ToolExitCode::kOk;
  auto fault = [&lowest](ToolExitCode code) {
    if (lowest == ToolExitCode::kOk || code < lowest) lowest = code;
  };
  std::map<char, int> seen;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "--version") {
      // Alone only: next to other options it would hide a mistake behind a success.
      if (argc != 2) fault(ToolExitCode::kUnrecognizedOption);
      (arg == "--help" ? out.help : out.version) = true;
      continue;
    }
    const auto* option = std::find_if(std::begin(kOptions), std::end(kOptions), [&](auto& o) {
      return arg.size() == 2 && arg[0] == '-' && arg[1] == o.letter;
    });
    if (option == std::end(kOptions) || i + 1 >= argc) {
      fault(ToolExitCode::kUnrecognizedOption);
      continue;
    }
    out.*option->field = argv[++i];
    if (++seen[option->letter] > 1 && option->duplicateCode != ToolExitCode::kOk)
      fault(option->duplicateCode);
  }
  out.server = ServerHost(out.server);
  // The server and the proxy are written into the configuration file's [server] section: a
  // line break there would forge lines or sections of its own.
  if (out.server.find_first_of(kBlankOrControl) != std::string::npos ||
      out.proxy.find_first_of(kBlankOrControl) != std::string::npos) {
    fault(ToolExitCode::kMissingConnection);
  }
  if (out.server.empty() || !IsPort(out.port) ||
      (out.protocol != "http" && out.protocol != "https")) {
    fault(ToolExitCode::kMissingConnection);
  }
  if (out.confPath.empty()) fault(ToolExitCode::kMissingConfigPath);
  if (out.logPath.empty()) fault(ToolExitCode::kMissingLogPath);
  const bool customer = !out.customerName.empty() || !out.customerId.empty();
  if (!customer && out.applianceId.empty()) fault(ToolExitCode::kMissingIdentity);
  if (customer && !out.applianceId.empty()) fault(ToolExitCode::kConflictingIdentity);
  return lowest;
}

}  // namespace kl::validate
