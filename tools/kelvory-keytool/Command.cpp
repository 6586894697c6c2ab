#include "Command.h"

#include <iostream>

namespace kl::keytool {

int UsageError(const std::string& message) {
  std::cerr << "kelvory-keytool: " << message << "\n";
  return kExitUsage;
}

}  // namespace kl::keytool
