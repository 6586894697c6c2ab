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
// front of the server. Each request is logged on standard output, proxied ones marked.
#include <httplib.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <list>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "PlainText.h"
#include "ServerProtocol.h"
#include "VersionOption.h"

namespace {

using kl::protocol::JsonWithinLimits;
using nlohmann::json;

using Clock = std::chrono::steady_clock;

constexpr int kListenQueue = 1024;  // the kernel may cap it (net.core.somaxconn)
// httplib (without poll) answers 500 on a descriptor past FD_SETSIZE: stay well below it.
constexpr int kMaxConnections = 512;
// Each read, and how long an idle kept-alive connection stays.
constexpr std::chrono::seconds kReadTimeout{2};
// A whole request, however steadily its bytes come: a client dribbling a byte a second would
// otherwise hold its worker for ever.
constexpr std::chrono::seconds kRequestTime{4};
constexpr std::chrono::seconds kWriteTimeout{5};
constexpr size_t kRequestsPerConnection = 1000;

const char kTooLarge[] = "the body is larger than 64 KiB or nested deeper than 64 levels";

struct Customer {
  std::string name, id;
};

struct Directory {
  std::vector<Customer> customers;
  std::set<std::string> appliances, refuseRegistration;
};

Directory DemoData() { return {{{"Demo Customer", "1001"}}, {"42"}, {}}; }

// Throws on a file that cannot be read or does not have the documented shape.
Directory Load(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  const json j = json::parse(in);
  Directory d;
  for (const json& c : j.at("customers")) {
    d.customers.push_back({c.at("name").get<std::string>(), c.at("id").get<std::string>()});
  }
  d.appliances = j.value("appliances", std::set<std::string>{});
  d.refuseRegistration = j.value("refuseRegistration", std::set<std::string>{});
  return d;
}

std::mutex outputLock;

// One line of the log; a request's target or a client's values in it are escaped, so they can
// neither start a forged line nor drive a terminal.
void Say(const std::string& line) {
  std::lock_guard<std::mutex> hold(outputLock);
  printf("%s\n", PlainValue(line).c_str());
  fflush(stdout);
}

struct Request {
  std::string name, id, appliance;
};

// Reads the identity fields; the reason for refusing anything but a JSON object whose fields
// are strings and which names either a customer or an appliance, else "".
std::string ReadRequest(const json& body, Request& r) {
  if (!body.is_object()) return "the body is not a JSON object";
  for (const auto& [key, field] :
       {std::pair{"customerName", &r.name}, {"customerId", &r.id}, {"applianceId", &r.appliance}}) {
    if (!body.contains(key)) continue;
    if (!body[key].is_string()) return std::string(key) + " is not a string";
    *field = body[key].get<std::string>();
  }
  const bool customer = !r.name.empty() || !r.id.empty();
  if (customer == !r.appliance.empty())
    return "give customerName and/or customerId, or applianceId";
  return "";
}

// The field the directory rejects ("" when none) and, for a customer, its ID.
std::string Judge(const Directory& d, const Request& r, std::string& customerId) {
  if (!r.appliance.empty()) return d.appliances.count(r.appliance) ? "" : "applianceId";
  bool nameFound = false;
  for (const Customer& c : d.customers) {
    if (!r.name.empty() && c.name != r.name) continue;
    nameFound = true;
    if (r.id.empty() || c.id == r.id) {
      customerId = c.id;
      return "";
    }
  }
  return nameFound || r.name.empty() ? "customerId" : "customerName";
}

class Simulator {
 public:
  explicit Simulator(Directory d) : directory_(std::move(d)) {}

  void Routes(httplib::Server& server) {
    // The optional scheme and authority admit absolute-form targets.
    const std::string absolute = R"((?:http://[^/]*)?)";
    server.Post(absolute + kl::protocol::kValidatePath,
                [this](const httplib::Request& q, httplib::Response& a) { Validate(q, a); });
    server.Post(absolute + kl::protocol::kRegisterPath,
                [this](const httplib::Request& q, httplib::Response& a) { Register(q, a); });
    // httplib refuses a longer body itself, with 413; to a client it is malformed like any other.
    server.set_payload_max_length(kl::protocol::kMaxJsonBytes);
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& a) {
          if (a.status != 413) return httplib::Server::HandlerResponse::Unhandled;
          Answer(a, 400, {{"error", kTooLarge}});
          return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_logger([](const httplib::Request& q, const httplib::Response& a) {
      const bool proxied = q.target.rfind("http://", 0) == 0;
      Say(q.method + " " + q.target + " " + std::to_string(a.status) +
          (proxied ? " (proxied)" : ""));
    });
  }

 private:
  static void Answer(httplib::Response& a, int status, const json& j) {
    a.status = status;
    a.set_content(j.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
  }

  static bool Read(const httplib::Request& q, httplib::Response& a, json& body, Request& r) {
    if (!JsonWithinLimits(q.body)) {
      Answer(a, 400, {{"error", kTooLarge}});
      return false;
    }
    body = json::parse(q.body, nullptr, false);
    const std::string error = ReadRequest(body, r);
    if (!error.empty()) Answer(a, 400, {{"error", error}});
    return error.empty();
  }

  void Validate(const httplib::Request& q, httplib::Response& a) const {
    json body;
    Request r;
    if (!Read(q, a, body, r)) return;
    std::string customerId;
    const std::string rejected = Judge(directory_, r, customerId);
    if (rejected.empty()) return Answer(a, 200, {{"valid", true}});
    Answer(a, 200, {{"valid", false}, {"rejected", rejected}, {"message", "unknown " + rejected}});
  }

  void Register(const httplib::Request& q, httplib::Response& a) {
    json body;
    Request r;
    if (!Read(q, a, body, r)) return;
    if (!body.contains("hostName") || !body["hostName"].is_string() ||
        body["hostName"].get<std::string>().empty()) {
      return Answer(a, 400, {{"error", "hostName is missing"}});
    }
    std::string customerId;
    const std::string rejected = Judge(directory_, r, customerId);
    if (!rejected.empty()) {
      return Answer(a, 200, {{"registered", false}, {"message", "unknown " + rejected}});
    }
    const std::string& key = r.appliance.empty() ? customerId : r.appliance;
    if (directory_.refuseRegistration.count(key)) {
      return Answer(a, 200,
                    {{"registered", false}, {"message", "registration refused for " + key}});
    }
    const std::string id = r.appliance.empty() ? std::to_string(nextId_++) : r.appliance;
    Say("registered appliance " + id + (customerId.empty() ? "" : " for customer " + customerId) +
        ": " + body.dump(-1, ' ', false, json::error_handler_t::replace));
    Answer(a, 200, {{"registered", true}, {"applianceId", id}});
  }

  const Directory directory_;
  std::atomic<long> nextId_{100000};
};

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

// One connection's socket as httplib reads and writes it. Each read waits at most the read
// timeout and never past the request's deadline; the buffer outlives a request, so a pipelined
// one after it is kept.
class DeadlineStream : public httplib::Stream {
 public:
  DeadlineStream(int socket, std::function<void()> answering)
      : socket_(socket), answering_(std::move(answering)) {}

  // A new request is awaited.
  void Await() {
    deadline_ = Clock::now() + kRequestTime;
    writing_ = false;
  }

  bool is_readable() const override { return begin_ < end_ || Ready(POLLIN, ReadLimit()); }
  bool is_writable() const override { return Ready(POLLOUT, kWriteTimeout); }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_) {
      ssize_t got = -1;
      if (Ready(POLLIN, ReadLimit())) {
        do {
          got = ::recv(socket_, buffer_, sizeof buffer_, 0);
        } while (got < 0 && errno == EINTR);
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
  Clock::time_point deadline_;
  bool writing_ = false, failed_ = false;
  char buffer_[4096];
  size_t begin_ = 0, end_ = 0;
};

// One worker per open connection, started when every worker is busy, up to a ceiling; then
// connections wait in the queue. httplib's own pool has a fixed size (8 here), so that a few
// clients that connect and say nothing hold every worker until their read timeout. One worker
// more than the connection cap, so that a new connection always gets one to shed another from.
class GrowingPool : public httplib::TaskQueue {
 public:
  explicit GrowingPool(size_t maxWorkers) : maxWorkers_(maxWorkers) {}
  ~GrowingPool() override { shutdown(); }

  void enqueue(std::function<void()> job) override {
    std::lock_guard<std::mutex> hold(mutex_);
    jobs_.push_back(std::move(job));
    if (jobs_.size() > idle_ && workers_.size() < maxWorkers_) {
      workers_.emplace_back([this] { Work(); });
    } else {
      ready_.notify_one();
    }
  }

  // Runs the jobs already queued, then ends every worker.
  void shutdown() override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& worker : workers_) {
      if (worker.joinable()) worker.join();
    }
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        ++idle_;
        ready_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  const size_t maxWorkers_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::list<std::function<void()>> jobs_;
  std::vector<std::thread> workers_;  // only grows, under mutex_; joined by shutdown
  size_t idle_ = 0;
  bool stopping_ = false;
};

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

}  // namespace

int main(int argc, char** argv) {
  const int version = HandleVersionOption(argc, argv, "kelvory-mgmt-sim");
  if (version >= 0) return version;
  CLI::App app{"kelvory-mgmt-sim: a management server simulator on 127.0.0.1"};
  int port = 0, maxConnections = kMaxConnections;
  std::string customersFile;
  app.add_option("--port", port, "Port to listen on; 0 picks a free one")
      ->check(CLI::Range(0, 65535));
  app.add_option("--max-connections", maxConnections,
                 "Connections served at once, a worker each (default 512); past them a new "
                 "connection sheds the one that has waited longest for its request")
      ->check(CLI::Range(1, kMaxConnections));
  app.add_option("--customers", customersFile,
                 "JSON file: {\"customers\": [{\"name\", \"id\"}], \"appliances\": [...], "
                 "\"refuseRegistration\": [customer or appliance IDs]}; default: the customer "
                 "\"Demo Customer\" (ID 1001) and the appliance 42");
  app.footer(
      "Serves POST /api/v1/validate and POST /api/v1/register (see InitialValidate --help), also "
      "in absolute form as a proxy receives them. Prints \"listening on 127.0.0.1:PORT\" first; "
      "stops on SIGINT or SIGTERM. Usage errors exit with 2.");
  app.add_flag("--version", "Print the name and version (alone on the command line)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help ends here too (exit 0, on standard output); errors go to standard error.
    return app.exit(e) == 0 ? 0 : 2;
  }

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

  Simulator simulator(std::move(directory));
  Listener server(static_cast<size_t>(maxConnections));
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

  std::atomic<bool> finished{false};
  std::thread stopper([&] {
    const timespec tick{0, 100 * 1000 * 1000};
    while (!finished) {
      if (sigtimedwait(&stopSignals, nullptr, &tick) < 0) continue;
      // A signal that comes before the server loop runs must still stop it.
      while (!finished && !server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      server.stop();
      return;
    }
  });
  const bool clean = server.listen_after_bind();
  finished = true;
  stopper.join();
  Say("stopped");
  return clean ? 0 : 1;
}
