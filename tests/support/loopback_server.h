#pragma once
// An HTTP or HTTPS server on 127.0.0.1 for tests, started by its constructor on a
// free port and stopped and joined by its destructor. Handlers run on the
// server's threads; everything a test shares with them must be thread-safe.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace raziriz::testing {

// What the server received.
struct SeenRequest {
  std::string method;
  std::string path;    // without the query
  std::string target;  // the request target as sent, query included
  std::string body;
  // Header names as sent; lookups are case-insensitive through Header().
  std::vector<std::pair<std::string, std::string>> headers;
  [[nodiscard]] std::string Header(const std::string& name) const;  // "" when absent
  [[nodiscard]] bool HasHeader(const std::string& name) const;
};

struct Reply {
  int status = 200;
  std::string body;
  std::string contentType = "text/html";
  std::vector<std::pair<std::string, std::string>> headers;
};

class LoopbackServer {
 public:
  enum class Scheme { Http, Https };
  using Handler = std::function<Reply(const SeenRequest&)>;

  explicit LoopbackServer(Scheme scheme = Scheme::Http);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Routes: `pathPattern` is a regular expression over the path. Any method.
  void Handle(const std::string& pathPattern, Handler handler);
  // Shorthand: a fixed reply.
  void Serve(const std::string& pathPattern, Reply reply);

  [[nodiscard]] int port() const;
  // "http://127.0.0.1:PORT" (no trailing slash).
  [[nodiscard]] std::string BaseUrl() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The bytes of a test fixture file under tests/fixtures (path relative to it).
[[nodiscard]] std::string ReadFixture(const std::string& relativePath);

}  // namespace raziriz::testing
