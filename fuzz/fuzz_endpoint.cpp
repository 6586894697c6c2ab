// Endpoint parsing of any text, host names answered from a table (no lookups).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FakePlatform.h"
#include "KLEndPoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kl::ScopedFakePlatform fake;
  fake->resolvableNames = {"mgmt.example.test"};
  const KLEndPoint endpoint(std::string(reinterpret_cast<const char*>(data), size));
  // A valid endpoint has no message, a known protocol and a positive port.
  if (endpoint.isValid && (!endpoint.errorMessage.empty() || endpoint.port <= 0 ||
                           (endpoint.protocol != "http" && endpoint.protocol != "https"))) {
    abort();
  }
  if (!endpoint.isValid && endpoint.errorMessage.empty()) abort();
  return 0;
}
