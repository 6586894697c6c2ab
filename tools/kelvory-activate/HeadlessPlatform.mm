#include "HeadlessPlatform.h"

#include <fcntl.h>
#include <netdb.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "KLStringBridge.h"
#include "KLSystemDirectories.h"
#include "RunGuard.h"

namespace kl::activate {

std::vector<std::string> HeadlessPlatform::ApplicationDirectories() {
  return KLSystemApplicationDirectories();
}

// The resolver's own wait cannot be cut short: the lookup runs on a thread of its own, left
// behind when the time limit or a signal comes first, so that the run ends at its deadline.
bool HeadlessPlatform::ResolveHostName(const std::string& name) {
  if (StopRequested() != StopReason::kNone) return false;
  struct Lookup {
    int done[2] = {-1, -1};
    std::atomic<bool> found{false};
    ~Lookup() {
      for (const int fd : done) {
        if (fd >= 0) close(fd);
      }
    }
  };
  const auto lookup = std::make_shared<Lookup>();
  if (pipe(lookup->done) != 0) return kl::DefaultPlatform::ResolveHostName(name);
  for (const int fd : lookup->done) fcntl(fd, F_SETFD, FD_CLOEXEC);
  const auto resolve = [=]() {  // the lookup and the name, by value
    addrinfo hints{};
    hints.ai_family = AF_INET;  // what gethostbyname finds
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    lookup->found = getaddrinfo(name.c_str(), nullptr, &hints, &addresses) == 0;
    if (addresses != nullptr) freeaddrinfo(addresses);
    (void)!write(lookup->done[1], "", 1);
  };
  std::thread(resolve).detach();
  if (WaitUnlessStopped(lookup->done[0])) return lookup->found;
  abandonedLookup = true;
  return false;
}

}  // namespace kl::activate
