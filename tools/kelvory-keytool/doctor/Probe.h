// The doctor's reachability probe: a TCP connection to each server address and, for https, a
// TLS handshake with certificate verification, all at once and within one time limit. No
// request is sent, so no appliance is registered.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_PROBE_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_PROBE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kl::keytool {

struct ProbeTarget {
  std::string host;
  int32_t port = 0;
  bool https = false;
  std::string proxy;  ///< host[:port] as the validation tool takes it; empty: direct
};

struct ProbeResult {
  bool connected = false;   ///< the TCP connection (to the proxy, when there is one) was made
  std::optional<bool> tls;  ///< https only, once connected: the handshake (through the proxy's
                            ///< tunnel when there is one) and the verification passed
  bool reachable = false;   ///< everything asked for passed
  std::string error;        ///< why not, in libcurl's words; empty when reachable
  int64_t milliseconds = 0;
};

/// Probes every target concurrently; each gets at most `seconds`. Through a proxy an https
/// address is reached with a CONNECT tunnel and its own handshake, as the validation does; for
/// http only the proxy is connected to, since the request would go to it. Certificates are
/// verified against the system store plus the file named by KELVORY_CA_FILE, as the
/// validation tool does.
std::vector<ProbeResult> ProbeAll(const std::vector<ProbeTarget>& targets, double seconds);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_DOCTOR_PROBE_H_
