// The system's forced preferences on Linux: there is no configuration-profile store, so none is
// forced (the stand-in installer's profile reaches the plug-in through its face instead,
// KLPlatformGNUstep.mm). The library klmanagedpreferences here.
#include "KLPlatform.h"

namespace kl {

std::string SystemManagedPreferences(const std::string&, const std::vector<std::string>&) {
  return std::string();
}

}  // namespace kl
