#include "ServerClient.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kl::validate {

namespace {

// A management server answers in a few hundred bytes; anything far larger is not one.
constexpr size_t kMaxAnswer = 1 << 20;

// OpenSSL's verification results (X509_V_ERR_*), as CURLINFO_SSL_VERIFYRESULT gives them; the
// tool does not link OpenSSL itself.
enum : long {
  kVerifyOk = 0,
  kUnspecified = 1,
  kNoIssuer = 2,
  kNotYetValid = 9,
  kExpired = 10,
  kSelfSigned = 18,
  kSelfSignedInChain = 19,
  kNoLocalIssuer = 20,
  kCannotVerifyLeaf = 21,
  kUntrusted = 27,
};

size_t Collect(char* data, size_t size, size_t count, void* target) {
  auto* body = static_cast<std::string*>(target);
  if (body->size() + size * count > kMaxAnswer) return 0;  // ends the transfer with an error
  body->append(data, size * count);
  return size * count;
}

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What failed, in plain words, for a transfer that got no HTTP answer; empty when libcurl's own
// text says it all. With OpenSSL the host name is libcurl's own check, after a chain that
// verified, and it leaves "unspecified" as the verification result: a refused certificate whose
// chain was not faulted is one for another name.
std::string Explain(CURLcode result, long verify, long connectCode, bool proxy) {
  if (connectCode == 407) return "the proxy asks for credentials (407 to CONNECT)";
  if (connectCode != 0 && connectCode / 100 != 2) {
    return "the proxy refused the tunnel to the server (" + std::to_string(connectCode) +
           " to CONNECT)";
  }
  switch (result) {
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "the proxy's name does not resolve";
    case CURLE_COULDNT_CONNECT:
      return proxy ? "no connection to the proxy" : "";
    case CURLE_PEER_FAILED_VERIFICATION:
      switch (verify) {
        case kVerifyOk:
        case kUnspecified:
          return "TLS: the server's certificate is not for this host name";
        case kExpired:
          return "TLS: the server's certificate has expired";
        case kNotYetValid:
          return "TLS: the server's certificate is not valid yet";
        case kNoIssuer:
        case kSelfSigned:
        case kSelfSignedInChain:
        case kNoLocalIssuer:
        case kCannotVerifyLeaf:
        case kUntrusted:
          return "TLS: the server's certificate is not trusted (no certificate authority of "
                 "this machine or KELVORY_CA_FILE vouches for it)";
        default:
          return "TLS: the server's certificate was refused (verification result " +
                 std::to_string(verify) + ")";
      }
    case CURLE_SSL_CONNECT_ERROR:
      return "TLS: the handshake failed; the server may not speak TLS on this port, or it "
             "refused the handshake (libcurl reports both alike)";
    case CURLE_SSL_CACERT_BADFILE:
      return "TLS: the certificate authorities cannot be read";
    default:
      return "";
  }
}

}  // namespace

ServerClient::ServerClient(const Options& options) : proxy_(options.proxy) {
  const bool ipv6 = options.server.find(':') != std::string::npos;
  base_ = options.protocol + "://" + (ipv6 ? "[" + options.server + "]" : options.server) + ":" +
          options.port;
  curl_.reset(curl_easy_init());
  if (!curl_) throw std::runtime_error("curl_easy_init failed");
  // KELVORY_CA_FILE adds to the system's store rather than replacing it: the system's bundle
  // and the extra file as one, while libcurl's CA folder stays as it is.
  if (const char* extra = getenv("KELVORY_CA_FILE")) {
    char* system = nullptr;
    curl_easy_getinfo(curl_.get(), CURLINFO_CAINFO, &system);
    caBundle_ = (system != nullptr ? ReadFile(system) + "\n" : "") + ReadFile(extra);
  }
}

ServerAnswer ServerClient::Post(const std::string& path, const std::string& json) {
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
      curl_slist_append(nullptr, "Content-Type: application/json"), curl_slist_free_all);
  if (!headers) throw std::runtime_error("curl_slist_append failed");
  ServerAnswer answer;
  char error[CURL_ERROR_SIZE] = {0};
  const std::string url = base_ + path;
  // The same handle for each request, so that its connection is kept for the next.
  CURL* h = curl_.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, 30L);
  // An empty proxy means "none" to libcurl, and an empty no-proxy list keeps no_proxy from
  // the environment from bypassing a proxy that was asked for.
  curl_easy_setopt(h, CURLOPT_PROXY, proxy_.c_str());
  curl_easy_setopt(h, CURLOPT_NOPROXY, "");
  if (!caBundle_.empty()) {
    curl_blob blob{caBundle_.data(), caBundle_.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, json.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(json.size()));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  const CURLcode result = curl_easy_perform(h);
  // Neither may outlive this call: the handle does.
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  if (result != CURLE_OK) {
    long verify = 0, connectCode = 0, status = 0;
    curl_easy_getinfo(h, CURLINFO_SSL_VERIFYRESULT, &verify);
    curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    const std::string reason = error[0] != '\0' ? error : curl_easy_strerror(result);
    std::string what = Explain(result, verify, connectCode, !proxy_.empty());
    // A proxy that answers a request itself may close without reading its body, which resets
    // the connection under the rest of its answer: the status that came is what tells.
    if (what.empty() && status != 0) what = "HTTP " + std::to_string(status) + ", cut off";
    answer.error = what.empty() ? reason : what + ": " + reason;
    return answer;
  }
  answer.reached = true;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}

}  // namespace kl::validate
