// A connection's reads and writes, each within its timeout and the request's deadline.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_DEADLINESTREAM_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_DEADLINESTREAM_H_

#include <httplib.h>
#include <netdb.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "Limits.h"

namespace kl::sim {

// One connection's socket as httplib reads and writes it, in the clear or through `tls` (a
// session whose handshake is done). Each read waits at most the read timeout and never past the
// request's deadline; the buffer outlives a request, so a pipelined one after it is kept.
class DeadlineStream : public httplib::Stream {
 public:
  DeadlineStream(int socket, std::function<void()> answering, SSL* tls = nullptr)
      : socket_(socket), answering_(std::move(answering)), tls_(tls) {}

  // A new request is awaited.
  void Await() {
    deadline_ = Clock::now() + kRequestTime;
    writing_ = false;
  }

  bool is_readable() const override {
    return begin_ < end_ || Decrypted() || Ready(POLLIN, ReadLimit());
  }
  bool is_writable() const override { return Ready(POLLOUT, kWriteTimeout); }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_) {
      ssize_t got = -1;
      if (Decrypted() || Ready(POLLIN, ReadLimit())) {
        do {
          got = tls_ != nullptr ? SSL_read(tls_, buffer_, sizeof buffer_)
                                : ::recv(socket_, buffer_, sizeof buffer_, 0);
        } while (got < 0 && errno == EINTR && tls_ == nullptr);
      }
      if (got <= 0) {
        failed_ = true;
        return got;
      }
      begin_ = 0;
      end_ = static_cast<size_t>(got);
    }
    const size_t n = std::min(size, end_ - begin_);
    memcpy(ptr, buffer_ + begin_, n);
    begin_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!writing_) {
      writing_ = true;
      answering_();
    }
    if (!Ready(POLLOUT, kWriteTimeout)) return -1;
    if (tls_ != nullptr)
      return SSL_write(tls_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 20)));
    return ::send(socket_, ptr, size, MSG_NOSIGNAL);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(::getsockname, ip, port);
  }
  socket_t socket() const override { return socket_; }

  // A read failed: past the deadline, or the client gone. httplib may still answer 400 to a
  // request cut off in its headers or body, but the connection must end then.
  bool Failed() const { return failed_; }

 private:
  // Bytes of a record already read off the socket, which poll would not see.
  bool Decrypted() const { return tls_ != nullptr && SSL_pending(tls_) > 0; }

  Clock::duration ReadLimit() const {
    return std::min<Clock::duration>(kReadTimeout, deadline_ - Clock::now());
  }

  bool Ready(short events, Clock::duration limit) const {
    const auto until = Clock::now() + limit;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{socket_, events, 0};
      const int n = ::poll(&p, 1, static_cast<int>(left.count()));
      if (n > 0) return true;  // an error or a hang-up too: the read or write then says which
      if (n == 0 || errno != EINTR) return false;
    }
  }

  void Address(int (*name)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    char host[NI_MAXHOST] = "", service[NI_MAXSERV] = "0";
    if (name(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service,
                  sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
    }
    ip = host;
    port = atoi(service);
  }

  const int socket_;
  const std::function<void()> answering_;
  SSL* const tls_;
  Clock::time_point deadline_;
  bool writing_ = false, failed_ = false;
  char buffer_[4096];
  size_t begin_ = 0, end_ = 0;
};

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_DEADLINESTREAM_H_
