#include "Log.h"

#include <cstdio>
#include <mutex>

#include "PlainText.h"

namespace kl::sim {

namespace {

std::mutex outputLock;

}  // namespace

void Say(const std::string& line) {
  std::lock_guard<std::mutex> hold(outputLock);
  printf("%s\n", PlainValue(line).c_str());
  fflush(stdout);
}

}  // namespace kl::sim
