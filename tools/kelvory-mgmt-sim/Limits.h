// The simulator's limits under load: connections, queue and the time a request may take.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_LIMITS_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_LIMITS_H_

#include <chrono>
#include <cstddef>

namespace kl::sim {

using Clock = std::chrono::steady_clock;

constexpr int kListenQueue = 1024;  // the kernel may cap it (net.core.somaxconn)
// httplib (without poll) answers 500 on a descriptor past FD_SETSIZE: stay well below it.
constexpr int kMaxConnections = 512;
// Each read, and how long an idle kept-alive connection stays.
constexpr std::chrono::seconds kReadTimeout{2};
// A whole request, however steadily its bytes come: a client dribbling a byte a second would
// otherwise hold its worker for ever.
constexpr std::chrono::seconds kRequestTime{4};
constexpr std::chrono::seconds kWriteTimeout{5};
constexpr size_t kRequestsPerConnection = 1000;

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_LIMITS_H_
