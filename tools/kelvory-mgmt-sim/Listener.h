// The server socket and each connection's requests, served under the simulator's limits.
#ifndef KELVORY_TOOLS_KELVORY_MGMT_SIM_LISTENER_H_
#define KELVORY_TOOLS_KELVORY_MGMT_SIM_LISTENER_H_

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>

#include "Connections.h"
#include "DeadlineStream.h"
#include "Limits.h"
#include "Log.h"

namespace kl::sim {

using TlsContext = std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>;

/// A server context for the certificate chain and key in PEM files; empty, with `why` set, when
/// they cannot be used (unreadable, not PEM, a key that does not match).
inline TlsContext MakeTlsContext(const std::string& cert, const std::string& key,
                                 std::string& why) {
  TlsContext ctx(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  if (ctx && SSL_CTX_use_certificate_chain_file(ctx.get(), cert.c_str()) == 1 &&
      SSL_CTX_use_PrivateKey_file(ctx.get(), key.c_str(), SSL_FILETYPE_PEM) == 1 &&
      SSL_CTX_check_private_key(ctx.get()) == 1) {
    return ctx;
  }
  char text[256] = "no TLS context";
  if (const unsigned long e = ERR_get_error()) ERR_error_string_n(e, text, sizeof text);
  why = text;
  return TlsContext(nullptr, SSL_CTX_free);
}

// httplib listens with a queue of 5, compiled into the library, so that under load connections
// wait for the client's SYN retry (a second or more). Listening again on the bound socket only
// lengthens the queue. Each connection is served here rather than by httplib, whose reads have a
// timeout each but no deadline for the whole request; so is TLS, when `tls` is given, for the
// same reason (httplib's TLS server would serve the connection its own way).
class Listener : public httplib::Server {
 public:
  explicit Listener(size_t maxConnections, SSL_CTX* tls = nullptr)
      : connections(maxConnections), tls_(tls) {}
  bool LengthenQueue(int length) { return ::listen(svr_sock_, length) == 0; }

 private:
  bool process_and_close_socket(socket_t sock) override {
    // Counted for the log, so that a client's reuse of one connection shows.
    Say("connection " + std::to_string(++accepted_) + " accepted");
    const Connections::Handle self = connections.Open(sock);
    std::unique_ptr<SSL, decltype(&SSL_free)> tls(nullptr, SSL_free);
    if (tls_ != nullptr && !(tls = Handshake(sock))) {
      connections.Close(self);
      ::close(sock);
      return true;
    }
    DeadlineStream stream(
        sock, [this, self] { connections.Answer(self); }, tls.get());
    bool goOn = true;
    for (size_t left = kRequestsPerConnection; goOn && left > 0 && svr_sock_ != INVALID_SOCKET;
         --left) {
      connections.Await(self);
      stream.Await();
      bool closed = false;
      goOn = process_request(stream, left == 1, closed, nullptr) && !closed && !stream.Failed();
    }
    if (tls) SSL_shutdown(tls.get());
    connections.Close(self);
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
  }

  // The server's side of the handshake, on the blocking socket: a record cut short or a silent
  // client costs at most the read timeout, here and in each read after it.
  std::unique_ptr<SSL, decltype(&SSL_free)> Handshake(socket_t sock) {
    const timeval readLimit{static_cast<time_t>(kReadTimeout.count()), 0};
    const timeval writeLimit{static_cast<time_t>(kWriteTimeout.count()), 0};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &readLimit, sizeof readLimit);
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &writeLimit, sizeof writeLimit);
    std::unique_ptr<SSL, decltype(&SSL_free)> tls(SSL_new(tls_), SSL_free);
    if (!tls || SSL_set_fd(tls.get(), sock) != 1) return {nullptr, SSL_free};
    if (SSL_accept(tls.get()) != 1) {
      const bool silent = errno == EAGAIN || errno == EWOULDBLOCK;  // the read timeout
      char text[256] = "";
      if (const unsigned long e = ERR_get_error()) ERR_error_string_n(e, text, sizeof text);
      ERR_clear_error();
      Say(std::string("TLS handshake failed: ") + (text[0] != '\0' ? text
                                                   : silent ? "the client said nothing in time"
                                                            : "the client left"));
      return {nullptr, SSL_free};
    }
    return tls;
  }

  Connections connections;
  SSL_CTX* const tls_;
  std::atomic<long> accepted_{0};
};

}  // namespace kl::sim

#endif  // KELVORY_TOOLS_KELVORY_MGMT_SIM_LISTENER_H_
