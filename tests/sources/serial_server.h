#pragma once
// A minimal HTTP server on 127.0.0.1 that answers one connection at a time on a
// single thread of its own. The thread tests use it instead of the loopback
// server: serving requests concurrently, that server's (uninstrumented) library
// trips ThreadSanitizer with reports about its own workers, which would hide
// what the tests are about, the sources' threads.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace raziriz::testing {

class SerialServer {
 public:
  // `pages` maps a request target (path and query, exactly) to its body; any
  // other target gets a 404. Every answer closes its connection.
  explicit SerialServer(std::map<std::string, std::string> pages) : pages_(std::move(pages)) {
    listener_ = Socket(::socket(AF_INET, SOCK_STREAM, 0));
    if (listener_.fd < 0) throw std::runtime_error("no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_.fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_.fd, 64) != 0 ||
        ::getsockname(listener_.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~SerialServer() {
    stop_.store(true);
    thread_.join();
  }

  SerialServer(const SerialServer&) = delete;
  SerialServer& operator=(const SerialServer&) = delete;

  [[nodiscard]] std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  struct Socket {
    explicit Socket(int descriptor = -1) : fd(descriptor) {}
    Socket(Socket&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Socket& operator=(Socket&& other) noexcept {
      if (this != &other) {
        if (fd >= 0) ::close(fd);
        fd = std::exchange(other.fd, -1);
      }
      return *this;
    }
    ~Socket() {
      if (fd >= 0) ::close(fd);
    }
    int fd;
  };

  void Serve() {
    while (!stop_.load()) {
      pollfd waiting{listener_.fd, POLLIN, 0};
      if (::poll(&waiting, 1, 50) <= 0) continue;
      Socket client(::accept(listener_.fd, nullptr, nullptr));
      if (client.fd >= 0) Answer(client.fd);
    }
  }

  void Answer(int fd) {
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    // "GET /target HTTP/1.1"
    const auto space = request.find(' ');
    const auto end = request.find(' ', space + 1);
    const std::string target =
        space == std::string::npos || end == std::string::npos ? "" : request.substr(space + 1, end - space - 1);
    const auto page = pages_.find(target);
    const std::string body = page == pages_.end() ? "not here" : page->second;
    std::string reply = page == pages_.end() ? "HTTP/1.1 404 Not Found\r\n" : "HTTP/1.1 200 OK\r\n";
    reply += "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\nConnection: close\r\n\r\n" + body;
    for (std::size_t sent = 0; sent < reply.size();) {
      const ssize_t wrote = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (wrote <= 0) return;
      sent += static_cast<std::size_t>(wrote);
    }
  }

  std::map<std::string, std::string> pages_;
  Socket listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace raziriz::testing
