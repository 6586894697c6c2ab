#include "Command.h"

#include <iostream>

int UsageError(const std::string& message) {
  std::cerr << "kelvory-keytool: " << message << "\n";
  return kExitUsage;
}
