#include "ServerClient.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

// A management server answers in a few hundred bytes; anything far larger is not one.
constexpr size_t kMaxAnswer = 1 << 20;

size_t Collect(char* data, size_t size, size_t count, void* target) {
  auto* body = static_cast<std::string*>(target);
  if (body->size() + size * count > kMaxAnswer) return 0;  // ends the transfer with an error
  body->append(data, size * count);
  return size * count;
}

}  // namespace

ServerClient::ServerClient(const Options& options) : proxy_(options.proxy) {
  const bool ipv6 = options.server.find(':') != std::string::npos;
  base_ = options.protocol + "://" + (ipv6 ? "[" + options.server + "]" : options.server) + ":" +
          options.port;
  if (const char* ca = getenv("KELVORY_CA_FILE")) caFile_ = ca;
}

ServerAnswer ServerClient::Post(const std::string& path, const std::string& json) const {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) throw std::runtime_error("curl_easy_init failed");
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
      curl_slist_append(nullptr, "Content-Type: application/json"), curl_slist_free_all);
  if (!headers) throw std::runtime_error("curl_slist_append failed");
  ServerAnswer answer;
  char error[CURL_ERROR_SIZE] = {0};
  const std::string url = base_ + path;
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, 30L);
  // An empty proxy means "none" to libcurl, and an empty no-proxy list keeps no_proxy from
  // the environment from bypassing a proxy that was asked for.
  curl_easy_setopt(h, CURLOPT_PROXY, proxy_.c_str());
  curl_easy_setopt(h, CURLOPT_NOPROXY, "");
  if (!caFile_.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, caFile_.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, json.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(json.size()));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  const CURLcode result = curl_easy_perform(h);
  if (result != CURLE_OK) {
    answer.error = error[0] != '\0' ? error : curl_easy_strerror(result);
    return answer;
  }
  answer.reached = true;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}
