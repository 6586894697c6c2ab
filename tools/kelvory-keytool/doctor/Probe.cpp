#include "Probe.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>

namespace kl::keytool {

namespace {

// One connection of a probe. Every target gets a plain TCP connection (to the proxy when there
// is one); an https target also a second one that does the handshake, so that "connected" does
// not have to be guessed from how a handshake failed.
struct Leg {
  size_t target = 0;
  bool handshake = false;
  CURL* handle = nullptr;
  char error[CURL_ERROR_SIZE] = {0};
  std::string url;
};

std::string UrlOf(const ProbeTarget& t, bool https) {
  const bool ipv6 = t.host.find(':') != std::string::npos;
  return (https ? "https://" : "http://") + (ipv6 ? "[" + t.host + "]" : t.host) + ":" +
         std::to_string(t.port) + "/";
}

void Configure(Leg* leg, const ProbeTarget& t, long limit, const char* caFile) {
  CURL* h = leg->handle;
  leg->url = UrlOf(t, leg->handshake);
  curl_easy_setopt(h, CURLOPT_URL, leg->url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);  // connect (and handshake); send nothing
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
  // A name lookup past the limit is left to its thread: libcurl otherwise waits for the
  // resolver to give up, however long that takes.
  curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
#endif
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limit);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limit);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, leg->error);
  // As the validation tool: an empty proxy is none, and no environment proxy applies.
  curl_easy_setopt(h, CURLOPT_PROXY, t.proxy.c_str());
  curl_easy_setopt(h, CURLOPT_NOPROXY, "");
  if (caFile != nullptr) curl_easy_setopt(h, CURLOPT_CAINFO, caFile);
}

}  // namespace

std::vector<ProbeResult> ProbeAll(const std::vector<ProbeTarget>& targets, double seconds) {
  std::vector<ProbeResult> results(targets.size());
  if (targets.empty()) return results;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const char* caFile = getenv("KELVORY_CA_FILE");
  const long limit = static_cast<long>(seconds * 1000);

  std::vector<Leg> legs;
  for (size_t i = 0; i < targets.size(); ++i) {
    for (const bool handshake : {false, true}) {
      if (handshake && !targets[i].https) continue;
      legs.emplace_back();
      legs.back().target = i;
      legs.back().handshake = handshake;
    }
  }
  CURLM* multi = curl_multi_init();
  for (Leg& leg : legs) {
    leg.handle = curl_easy_init();
    if (leg.handle == nullptr) continue;
    Configure(&leg, targets[leg.target], limit, caFile);
    curl_multi_add_handle(multi, leg.handle);
  }
  int running = 0;
  do {
    curl_multi_perform(multi, &running);
    if (running > 0) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  } while (running > 0);

  std::vector<CURLcode> codes(legs.size(), CURLE_FAILED_INIT);
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    for (size_t i = 0; i < legs.size(); ++i) {
      if (legs[i].handle == message->easy_handle) codes[i] = message->data.result;
    }
  }
  for (size_t i = 0; i < legs.size(); ++i) {
    const Leg& leg = legs[i];
    ProbeResult& r = results[leg.target];
    const bool ok = codes[i] == CURLE_OK;
    curl_off_t total = 0;
    if (leg.handle != nullptr) curl_easy_getinfo(leg.handle, CURLINFO_TOTAL_TIME_T, &total);
    r.milliseconds = std::max(r.milliseconds, static_cast<int64_t>(total / 1000));
    if (leg.handshake) {
      r.tls = ok;
    } else {
      r.connected = ok;
    }
    // The connection's own failure says more than the handshake's, so it comes first.
    if (!ok && (r.error.empty() || !leg.handshake)) {
      r.error = leg.error[0] != '\0' ? leg.error : curl_easy_strerror(codes[i]);
    }
  }
  for (size_t i = 0; i < targets.size(); ++i) {
    ProbeResult& r = results[i];
    r.reachable = r.connected && r.tls.value_or(true);
    if (!r.connected) r.tls.reset();  // no handshake is meaningful without a connection
    if (r.reachable) r.error.clear();
  }
  for (Leg& leg : legs) {
    if (leg.handle == nullptr) continue;
    curl_multi_remove_handle(multi, leg.handle);
    curl_easy_cleanup(leg.handle);
  }
  curl_multi_cleanup(multi);
  return results;
}

}  // namespace kl::keytool
