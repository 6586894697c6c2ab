// JSON requests to the management server over HTTP or HTTPS (libcurl).
#ifndef KELVORY_TOOLS_INITIALVALIDATE_SERVERCLIENT_H_
#define KELVORY_TOOLS_INITIALVALIDATE_SERVERCLIENT_H_

#include <string>

#include "Options.h"

struct ServerAnswer {
  bool reached = false;  // false: no HTTP answer at all (see error)
  long status = 0;       // HTTP status when reached
  std::string body;
  std::string error;  // libcurl's reason when not reached
};

class ServerClient {
 public:
  /// Talks to protocol://server:port, through the -x proxy when there is one and through no
  /// proxy otherwise: proxy variables in the environment are ignored, since the user chose in
  /// the pane. KELVORY_CA_FILE names an extra CA file for HTTPS.
  explicit ServerClient(const Options& options);

  /// POSTs `json` to `path` (e.g. "/api/v1/validate"): 10 s to connect, 30 s in all.
  ServerAnswer Post(const std::string& path, const std::string& json) const;

  const std::string& base() const { return base_; }

 private:
  std::string base_, proxy_, caFile_;
};

#endif  // KELVORY_TOOLS_INITIALVALIDATE_SERVERCLIENT_H_
