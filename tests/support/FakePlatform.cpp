#include "FakePlatform.h"

namespace kl {

bool FakePlatform::ResolveHostName(const std::string& name) {
  lookups.push_back(name);
  return resolvableNames.count(name) != 0;
}

}  // namespace kl
