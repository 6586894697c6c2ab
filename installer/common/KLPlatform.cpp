#include "KLPlatform.h"

#include <netdb.h>
#include <sys/time.h>

#include <atomic>
#include <cstdio>

namespace kl {
namespace {

// Seconds between the Unix epoch and the installer clock's reference date (2001-01-01 UTC).
constexpr double kReferenceDateOffset = 978307200.0;

// Read from the validation thread too (console lines, clock), so the switch is atomic.
std::atomic<Platform*> g_current{nullptr};

}  // namespace

void DefaultPlatform::ShowCriticalAlert(const std::string& message) {
  std::fprintf(stderr, "Kelvory alert: %s\n", message.c_str());
}

void DefaultPlatform::ConsoleLog(ConsoleCategory, const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
}

double DefaultPlatform::AbsoluteTime() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return static_cast<double>(now.tv_sec) - kReferenceDateOffset +
         static_cast<double>(now.tv_usec) / 1e6;
}

std::string DefaultPlatform::PackagePath() { return std::string(); }

std::vector<std::string> DefaultPlatform::ApplicationDirectories() { return {}; }

std::string DefaultPlatform::ManagedPreferences(const std::string& domain,
                                                const std::vector<std::string>& keys) {
  return SystemManagedPreferences(domain, keys);
}

bool DefaultPlatform::ResolveHostName(const std::string& name) {
  // Only ever called on the main thread, so the non-reentrant resolver call is safe.
  const hostent* entry = gethostbyname(name.c_str());
  return entry != nullptr && entry->h_addr_list != nullptr && entry->h_addr_list[0] != nullptr;
}

Platform& CurrentPlatform() {
  static DefaultPlatform fallback;
  Platform* current = g_current.load();
  return current != nullptr ? *current : fallback;
}

Platform* SetPlatform(Platform* platform) { return g_current.exchange(platform); }

}  // namespace kl
