// JSON requests to the management server over HTTP or HTTPS (libcurl).
#ifndef KELVORY_TOOLS_INITIALVALIDATE_SERVERCLIENT_H_
#define KELVORY_TOOLS_INITIALVALIDATE_SERVERCLIENT_H_

#include <curl/curl.h>

#include <memory>
#include <string>

#include "Options.h"

namespace kl::validate {

struct ServerAnswer {
  bool reached = false;  // false: no HTTP answer at all (see error)
  long status = 0;       // HTTP status when reached
  std::string body;
  std::string error;  // when not reached: what failed in plain words, then libcurl's reason
};

class ServerClient {
 public:
  /// Talks to protocol://server:port, through the -x proxy when there is one and through no
  /// proxy otherwise: proxy variables in the environment are ignored, since the user chose in
  /// the pane. HTTPS verifies the certificate and the host name against the system's store, to
  /// which KELVORY_CA_FILE adds a CA file.
  explicit ServerClient(const Options& options);

  /// POSTs `json` to `path` (e.g. "/api/v1/validate"): 10 s to connect, 30 s in all. The
  /// requests of one client share a connection (and over https one handshake) while the server
  /// keeps it open.
  ServerAnswer Post(const std::string& path, const std::string& json);

  const std::string& base() const { return base_; }

 private:
  std::string base_, proxy_, caBundle_;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl_{nullptr, curl_easy_cleanup};
};

}  // namespace kl::validate

#endif  // KELVORY_TOOLS_INITIALVALIDATE_SERVERCLIENT_H_
