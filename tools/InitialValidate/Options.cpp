#include "Options.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace {

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

int ParseOptions(int argc, char** argv, Options& out) {
  // A repeat of -x, -c, -i or -a is allowed (duplicate code 0).
  static const struct {
    char letter;
    std::string Options::*field;
    int duplicateCode;
  } kOptions[] = {
      {'s', &Options::server, 2},       {'n', &Options::port, 2},
      {'p', &Options::protocol, 2},     {'f', &Options::confPath, 4},
      {'l', &Options::logPath, 8},      {'x', &Options::proxy, 0},
      {'c', &Options::customerName, 0}, {'i', &Options::customerId, 0},
      {'a', &Options::applianceId, 0},
  };
  int lowest = 0;
  auto fault = [&lowest](int code) {
    if (lowest == 0 || code < lowest) lowest = code;
  };
  std::map<char, int> seen;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      out.help = true;
      continue;
    }
    const auto* option = std::find_if(std::begin(kOptions), std::end(kOptions), [&](auto& o) {
      return arg.size() == 2 && arg[0] == '-' && arg[1] == o.letter;
    });
    if (option == std::end(kOptions) || i + 1 >= argc) {
      fault(9);
      continue;
    }
    out.*option->field = argv[++i];
    if (++seen[option->letter] > 1 && option->duplicateCode != 0) fault(option->duplicateCode);
  }
  out.server = ServerHost(out.server);
  if (out.server.empty() || !IsPort(out.port) ||
      (out.protocol != "http" && out.protocol != "https")) {
    fault(1);
  }
  if (out.confPath.empty()) fault(3);
  if (out.logPath.empty()) fault(7);
  const bool customer = !out.customerName.empty() || !out.customerId.empty();
  if (!customer && out.applianceId.empty()) fault(5);
  if (customer && !out.applianceId.empty()) fault(6);
  return lowest;
}
