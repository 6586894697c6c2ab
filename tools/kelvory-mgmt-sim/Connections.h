// Connection limiting: which open connection is shed when too many are open.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_CONNECTIONS_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_CONNECTIONS_H_

#include <sys/socket.h>

#include <list>
#include <mutex>

#include "Limits.h"

namespace kl::sim {

// The open connections, at most `cap` of them live: past it a new one sheds the connection that
// has waited longest for its request, by shutting its socket from here, which ends its worker's
// wait for bytes at once.
class Connections {
 public:
  struct Connection {
    int socket;
    Clock::time_point awaited;  // since when its current request has been awaited
    bool answering = false;     // its request is in
    bool shed = false;
  };
  using Handle = std::list<Connection>::iterator;

  explicit Connections(size_t cap) : cap_(cap) {}

  Handle Open(int socket) {
    std::lock_guard<std::mutex> hold(mutex_);
    const Handle self = open_.insert(open_.end(), Connection{socket, Clock::now()});
    if (++live_ > cap_) ShedOldest(self);
    return self;
  }
  void Await(Handle c) {
    std::lock_guard<std::mutex> hold(mutex_);
    c->awaited = Clock::now();
    c->answering = false;
  }
  void Answer(Handle c) {
    std::lock_guard<std::mutex> hold(mutex_);
    c->answering = true;
  }
  // Before the socket is closed, so that a number reused by a new connection is never shut.
  void Close(Handle c) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!c->shed) --live_;
    open_.erase(c);
  }

 private:
  // A slow or silent client, or an idle kept-alive one, rather than one whose request has only
  // just begun; none while every other is being answered.
  void ShedOldest(Handle self) {
    Handle oldest = open_.end();
    for (Handle c = open_.begin(); c != open_.end(); ++c) {
      if (c == self || c->answering || c->shed) continue;
      if (oldest == open_.end() || c->awaited < oldest->awaited) oldest = c;
    }
    if (oldest == open_.end()) return;
    oldest->shed = true;
    --live_;
    ::shutdown(oldest->socket, SHUT_RDWR);
  }

  const size_t cap_;
  std::mutex mutex_;
  std::list<Connection> open_;
  size_t live_ = 0;  // open and not shed
};

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_CONNECTIONS_H_
