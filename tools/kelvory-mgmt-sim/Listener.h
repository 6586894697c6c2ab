// The server socket and each connection's requests, served under the simulator's limits.
#ifndef KELVORY_TOOLS_MGMT_SIM_LISTENER_H_
#define KELVORY_TOOLS_MGMT_SIM_LISTENER_H_

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Connections.h"
#include "DeadlineStream.h"
#include "Limits.h"

namespace sim {

// httplib listens with a queue of 5, compiled into the library, so that under load connections
// wait for the client's SYN retry (a second or more). Listening again on the bound socket only
// lengthens the queue. Each connection is served here rather than by httplib, whose reads have a
// timeout each but no deadline for the whole request.
class Listener : public httplib::Server {
 public:
  explicit Listener(size_t maxConnections) : connections(maxConnections) {}
  bool LengthenQueue(int length) { return ::listen(svr_sock_, length) == 0; }

 private:
  bool process_and_close_socket(socket_t sock) override {
    const Connections::Handle self = connections.Open(sock);
    DeadlineStream stream(sock, [this, self] { connections.Answer(self); });
    bool goOn = true;
    for (size_t left = kRequestsPerConnection; goOn && left > 0 && svr_sock_ != INVALID_SOCKET;
         --left) {
      connections.Await(self);
      stream.Await();
      bool closed = false;
      goOn = process_request(stream, left == 1, closed, nullptr) && !closed && !stream.Failed();
    }
    connections.Close(self);
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
  }

  Connections connections;
};

}  // namespace sim

#endif  // KELVORY_TOOLS_MGMT_SIM_LISTENER_H_
