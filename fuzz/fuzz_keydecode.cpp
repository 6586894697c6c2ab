// Key decoding of any text, as the pane passes it (a C string), host names answered from a
// table (no lookups).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "KLKeyDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kl::ScopedFakePlatform fake;
  fake->resolvableNames = {"mgmt.example.test"};
  const std::string key(reinterpret_cast<const char*>(data), size);
  std::vector<KLEndPoint> endpoints;
  const int32_t id = keydecode(key.c_str(), endpoints);
  // Either an identifier and at least one endpoint, silently, or -1 and exactly one alert.
  if (id >= 0 && (endpoints.empty() || !fake->alerts.empty())) abort();
  if (id < 0 && (id != -1 || fake->alerts.size() != 1 || !endpoints.empty())) abort();
  return 0;
}
