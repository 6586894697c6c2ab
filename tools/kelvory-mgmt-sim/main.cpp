// kelvory-mgmt-sim: a small management server on 127.0.0.1 for developing and testing
// InitialValidate. It validates customers and appliances from a JSON file (or built-in demo
// data) and registers appliances, handing customers appliance IDs counted up from 100000.
//
//   POST /api/v1/validate  {"customerName"?, "customerId"?} or {"applianceId"}
//     200 {"valid": true} | {"valid": false, "rejected": "customerName" | "customerId" |
//         "applianceId", "message": "..."}
//   POST /api/v1/register  the same fields plus {"hostName", "osName"?, "osVersion"?}
//     200 {"registered": true, "applianceId": "..."} | {"registered": false, "message": "..."}
//   400 {"error": "..."} for a body that is not such an object, or one larger than 64 KiB or
//       nested deeper than 64 levels (it is never parsed), and the next request is served.
//
// Under load: a listen queue of 1024 and a worker for each open connection (up to 512, or
// --max-connections), so a client that connects and says nothing holds only its own, and loses it
// after a 2-second read timeout. A whole request must arrive within 4 s of when it is awaited,
// however steadily its bytes come. Past that many connections a new one sheds the one that has
// waited longest for its request. Answers leave at once (TCP_NODELAY) instead of waiting on the
// client's delayed acknowledgement.
//
// Requests in absolute form ("POST http://host:port/api/v1/validate"), as an HTTP proxy
// receives them, are answered the same way, so the simulator can also stand in for a proxy in
// front of the server. Each request is logged on standard output, proxied ones marked, and so
// is each connection accepted. With --tls-cert and --tls-key the same is served over https.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "Directory.h"
#include "GrowingPool.h"
#include "Limits.h"
#include "Listener.h"
#include "Log.h"
#include "Options.h"
#include "Simulator.h"

int main(int argc, char** argv) {
  using namespace kl::sim;
  Options o;
  const int parsed = ParseOptions(argc, argv, o);
  if (parsed >= 0) return parsed;
  const int port = o.port, maxConnections = o.maxConnections;
  const std::string& customersFile = o.customersFile;

  Directory directory;
  try {
    directory = customersFile.empty() ? DemoData() : Load(customersFile);
  } catch (const std::exception& e) {
    fprintf(stderr, "kelvory-mgmt-sim: %s: %s\n", customersFile.c_str(), e.what());
    return 2;
  }

  // The signals are taken by one thread with sigwait, so stopping needs no signal handler; the
  // server's threads inherit the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string why;
  TlsContext tls(nullptr, SSL_CTX_free);
  if (!o.tlsCert.empty() && !(tls = MakeTlsContext(o.tlsCert, o.tlsKey, why))) {
    fprintf(stderr, "kelvory-mgmt-sim: %s, %s: %s\n", o.tlsCert.c_str(), o.tlsKey.c_str(),
            why.c_str());
    return 2;
  }
  Simulator simulator(std::move(directory));
  Listener server(static_cast<size_t>(maxConnections), tls.get());
  simulator.Routes(server);
  server.new_task_queue = [maxConnections] {
    return new GrowingPool(static_cast<size_t>(maxConnections) + 1);
  };
  server.set_tcp_nodelay(true);
  const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                              : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0 || !server.LengthenQueue(kListenQueue)) {
    fprintf(stderr, "kelvory-mgmt-sim: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  Say("listening on 127.0.0.1:" + std::to_string(bound));
  if (tls) Say("https, with the certificate " + o.tlsCert);

  // The stopper waits for a stop signal; when the server ends by itself it is woken with one of
  // its own (a blocked signal sent to the thread) and sees that it has nothing left to stop.
  std::atomic<bool> finished{false};
  std::thread stopper([&] {
    int taken = 0;
    sigwait(&stopSignals, &taken);
    // A signal that comes before the server loop runs must still stop it.
    while (!finished && !server.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!finished) server.stop();
  });
  const bool clean = server.listen_after_bind();
  finished = true;
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  Say("stopped");
  return clean ? 0 : 1;
}
