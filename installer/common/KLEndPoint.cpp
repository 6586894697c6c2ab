#include "KLEndPoint.h"

#include "KLHelper.h"

const char DEFAULT_ENDPOINT_PROTOCOL[] = "http";

KLEndPoint::KLEndPoint(const std::string& text)
    : protocol(DEFAULT_ENDPOINT_PROTOCOL), port(80), isValid(false) {
  ParseEndPoint(text);
}

KLEndPoint::KLEndPoint(const KLEndPoint& other)
    : port(0), errorMessage(other.errorMessage), isValid(other.isValid) {
  if (other.isValid) {
    protocol = other.protocol;
    host = other.host;
    port = other.port;
  }
}

KLEndPoint& KLEndPoint::operator=(const KLEndPoint& other) {
  isValid = other.isValid;
  if (other.isValid) {
    protocol = other.protocol;
    host = other.host;
    port = other.port;
  }
  errorMessage = other.errorMessage;
  return *this;
}

KLEndPoint::~KLEndPoint() = default;

bool KLEndPoint::operator==(const KLEndPoint& other) const {
  return host == other.host && protocol == other.protocol && port == other.port;
}

void KLEndPoint::ParseEndPoint(const std::string& text) {
  if (text.empty()) {
    isValid = true;
    return;
  }
  std::string rest = text;
  const size_t slashes = rest.find("//");
  if (slashes == std::string::npos) {
    protocol = DEFAULT_ENDPOINT_PROTOCOL;
  } else {
    // The one character before "//" (normally ':') is dropped unseen.
    protocol = slashes == 0 ? rest : rest.substr(0, slashes - 1);
    rest.erase(0, slashes + 2);
  }
  KLHelper::TrimSpace(protocol);
  KLHelper::ToLowerCase(protocol);
  if (protocol != "http" && protocol != "https") {
    errorMessage += "Error: invalid protocol: " + protocol + " found in endpoint: " + text + "\n";
    return;
  }

  std::string portText;
  const size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
  } else {
    host = rest;
    portText = protocol == "http" ? "80" : "443";
  }

  bool faulty = false;
  // Blanks and control characters fail whatever the address parsers make of them: the host is
  // written into the agent's configuration file.
  std::string bare = host;  // spaces around a host are no part of it; inside they are
  KLHelper::TrimSpace(bare);
  if (KLHelper::HasSpaceOrControl(bare) ||
      (!KLHelper::IsValidIP(host) && !KLHelper::IsValidFQDN(host))) {
    errorMessage += " Error: hostname: " + host + " found in endpoint " + text +
                    " is not valid IP address or can't be resolved to an IP address\n";
    faulty = true;
  }
  // An empty port text passes the character test but its value 0 fails.
  const bool digitsOnly = portText.find_first_not_of("0123456789") == std::string::npos;
  const int32_t value = KLHelper::Atoi32(portText);
  if (digitsOnly && value != 0) {
    port = value;
  } else {
    errorMessage += "Error: invalid port: " + portText + " found in endpoint " + text + "\n";
    faulty = true;
  }
  if (!faulty) isValid = true;
}
