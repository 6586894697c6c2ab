// InitialValidate and kelvory-mgmt-sim as real processes on loopback only, and the two bits of
// plain HTTP the tests speak themselves: a server with one canned answer and a kept-alive client.
#ifndef KELVORY_TESTS_INITIALVALIDATE_TOOLFIXTURE_H_
#define KELVORY_TESTS_INITIALVALIDATE_TOOLFIXTURE_H_

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "ToolRun.h"

namespace kl {

// Sends `text`, then, when `head` is given, reads one HTTP message: its head and its
// Content-Length body. Each step gives up after 10 s.
inline bool Exchange(int fd, const std::string& text, std::string* head = nullptr,
                     std::string* body = nullptr) {
  const timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  std::string data;
  char buffer[65536];
  while (head != nullptr) {
    const size_t end = data.find("\r\n\r\n");
    if (end != std::string::npos) {
      *head = data.substr(0, end + 2);
      std::string lower = *head;
      std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
      const size_t field = lower.find("\r\ncontent-length:");
      const size_t length = field == std::string::npos ? 0 : std::stoul(lower.substr(field + 17));
      if (data.size() >= end + 4 + length) {
        *body = data.substr(end + 4);
        return body->size() == length;
      }
    }
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// A management server that is not one: every request on 127.0.0.1 gets `answer` with status
// 200, then the connection closes. Serves on its own thread until destroyed.
class CannedServer {
 public:
  explicit CannedServer(const std::string& answer) : fd_(ToolLoopbackSocket(&port_)) {
    if (fd_ < 0 || listen(fd_, 16) != 0) port_ = 0;
    if (port_ == 0) return;
    thread_ = std::thread([this, answer] {
      for (int client; (client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        std::string head, body;
        if (Exchange(client, "", &head, &body)) {
          ++requests_;
          Exchange(client, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                               std::to_string(answer.size()) + "\r\nConnection: close\r\n\r\n" +
                               answer);
        }
        close(client);
      }
    });
  }
  ~CannedServer() {
    shutdown(fd_, SHUT_RDWR);  // ends the accept
    if (thread_.joinable()) thread_.join();
    close(fd_);
  }

  int port() const { return port_; }  ///< 0 when it could not listen
  int requests() const { return requests_; }

 private:
  int port_ = 0, fd_;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// One kept-alive HTTP/1.1 connection to 127.0.0.1:port.
class HttpConnection {
 public:
  explicit HttpConnection(int port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~HttpConnection() { close(fd_); }

  /// POSTs `body` as JSON; the answer's status, or -1 when none came on this connection.
  int Post(const std::string& path, const std::string& body, std::string* answer = nullptr) {
    std::string head, content;
    if (!connected_ ||
        !Exchange(fd_,
                  "POST " + path +
                      " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                      "Content-Length: " +
                      std::to_string(body.size()) + "\r\n\r\n" + body,
                  &head, &content) ||
        head.compare(0, 9, "HTTP/1.1 ") != 0) {
      return -1;
    }
    if (answer != nullptr) *answer = content;
    return std::stoi(head.substr(9, 3));
  }

  /// Whether the other end has closed the connection (without waiting for it).
  bool ClosedByPeer() const {
    char byte;
    return recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
  }

 private:
  int fd_;
  bool connected_ = false;
};

class ToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Proxy settings from the environment must not matter: honoured, http_proxy would send the
    // requests to a refusing address and no_proxy would bypass the -x proxy to 127.0.0.2.
    setenv("http_proxy", "http://127.0.0.2:9", 1);
    setenv("all_proxy", "http://127.0.0.2:9", 1);
    setenv("no_proxy", "127.0.0.2", 1);
  }
  void TearDown() override {
    if (sim_ > 0) {
      kill(sim_, SIGTERM);
      ReapProcess(sim_, 10);
    }
  }

  void StartSimulator(const Args& options) {
    sim_ = ToolStartSimulator(options, simOut_, &port_);
    ASSERT_NE(port_, 0) << "simulator did not start: " << SimulatorOutput();
  }
  // What the simulator printed: one line per request, one per registration.
  std::string SimulatorOutput() const { return ReadWholeFile(simOut_); }

  // Runs the tool and returns its exit code; -f and -l get the test's files unless `args`
  // names them.
  int Tool(Args args, bool noHostName = false) {
    for (const auto& [option, file] : {std::pair{"-f", conf_}, std::pair{"-l", log_}}) {
      if (std::find(args.begin(), args.end(), option) == args.end())
        args = args + Args{option, file};
    }
    return ReapProcess(
        StartProcess(Args{INITIALVALIDATE_PATH} + args, toolOut_, toolOut_, noHostName), 60);
  }
  std::string ToolOutput() const { return ReadWholeFile(toolOut_); }
  std::string Log() const { return MaskStamps(ReadWholeFile(log_)); }

  std::string Conf(const std::string& id, const std::string& proxy = "",
                   const std::string& host = "127.0.0.1") const {
    return "[server]\n\tserver_0=" + host +
           "\n\tprotocol_0=http\n\tport_0=" + std::to_string(port_) + "\n" +
           (proxy.empty() ? "" : "\tproxy_0=" + proxy + "\n") + "\tappliance_id=" + id + "\n";
  }
  Args Server(const std::string& host = "127.0.0.1") const {
    return {"-s", host, "-n", std::to_string(port_), "-p", "http"};
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  TempDir tmp_;
  const std::string dir_ = tmp_.path, conf_ = dir_ + "/kelvor.conf", log_ = dir_ + "/install.log";
  const std::string simOut_ = dir_ + "/sim.out", toolOut_ = dir_ + "/tool.out";
  pid_t sim_ = -1;
  int port_ = 0;
};

}  // namespace kl

#endif  // KELVORY_TESTS_INITIALVALIDATE_TOOLFIXTURE_H_
