#include "Lookup.h"

#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace kl::keytool {

bool SystemResolves(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;  // gethostbyname's answer: IPv4 only
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const bool resolves = getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found != nullptr;
  if (found != nullptr) freeaddrinfo(found);
  return resolves;
}

std::map<std::string, LookupResult> LookUpAll(const std::vector<std::string>& names, double seconds,
                                              HostResolver resolve) {
  // Shared with the threads, which may outlive this call.
  struct Lookups {
    std::mutex mutex;
    std::condition_variable answered;
    std::map<std::string, LookupResult> results;
    size_t running = 0;
  };
  const auto lookups = std::make_shared<Lookups>();
  std::unique_lock<std::mutex> hold(lookups->mutex);
  for (const std::string& name : names) {
    if (!lookups->results.emplace(name, LookupResult::kNoAnswer).second) continue;
    try {
      std::thread([lookups, name, resolve] {
        const bool resolves = resolve(name);
        std::lock_guard<std::mutex> done(lookups->mutex);
        lookups->results[name] = resolves ? LookupResult::kResolves : LookupResult::kNotFound;
        --lookups->running;
        lookups->answered.notify_all();
      }).detach();
      ++lookups->running;
    } catch (const std::system_error&) {
      // No thread to be had: the name stays without an answer.
    }
  }
  lookups->answered.wait_for(hold, std::chrono::duration<double>(seconds),
                             [&lookups] { return lookups->running == 0; });
  return lookups->results;
}

}  // namespace kl::keytool
