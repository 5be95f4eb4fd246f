#define CPPHTTPLIB_OPENSSL_SUPPORT
#include "tests/support/loopback_server.h"

#include <httplib.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <strings.h>
#include <thread>

namespace raziriz::testing {

std::string SeenRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  }
  return {};
}

bool SeenRequest::HasHeader(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return true;
  }
  return false;
}

struct LoopbackServer::Impl {
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  int port = 0;
  std::string scheme;
};

namespace {

SeenRequest Seen(const httplib::Request& request) {
  SeenRequest seen;
  seen.method = request.method;
  seen.path = request.path;
  seen.target = request.target;
  seen.body = request.body;
  for (const auto& [key, value] : request.headers) seen.headers.emplace_back(key, value);
  return seen;
}

}  // namespace

LoopbackServer::LoopbackServer(Scheme scheme) : impl_(std::make_unique<Impl>()) {
  if (scheme == Scheme::Https) {
    impl_->server = std::make_unique<httplib::SSLServer>(RAZIRIZ_TEST_CERT, RAZIRIZ_TEST_KEY);
    impl_->scheme = "https";
  } else {
    impl_->server = std::make_unique<httplib::Server>();
    impl_->scheme = "http";
  }
  if (!impl_->server->is_valid()) throw std::runtime_error("test server could not be set up");
  // Without it small replies wait for delayed acknowledgements (about 40 ms each).
  impl_->server->set_tcp_nodelay(true);
  // A kept-alive connection holds the server's stop for this long.
  impl_->server->set_keep_alive_timeout(1);
  impl_->port = impl_->server->bind_to_any_port("127.0.0.1");
  if (impl_->port <= 0) throw std::runtime_error("test server could not bind");
  impl_->thread = std::thread([server = impl_->server.get()] { server->listen_after_bind(); });
  while (!impl_->server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer() {
  impl_->server->stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

void LoopbackServer::Handle(const std::string& pathPattern, Handler handler) {
  auto adapter = [handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
    Reply reply = handler(Seen(request));
    response.status = reply.status;
    for (const auto& [key, value] : reply.headers) response.headers.emplace(key, value);
    response.set_content(reply.body, reply.contentType.c_str());
  };
  impl_->server->Get(pathPattern, adapter);
  impl_->server->Post(pathPattern, adapter);
  impl_->server->Put(pathPattern, adapter);
  impl_->server->Delete(pathPattern, adapter);
  impl_->server->Options(pathPattern, adapter);
  impl_->server->Patch(pathPattern, adapter);
}

void LoopbackServer::Serve(const std::string& pathPattern, Reply reply) {
  Handle(pathPattern, [reply = std::move(reply)](const SeenRequest&) { return reply; });
}

int LoopbackServer::port() const { return impl_->port; }

std::string LoopbackServer::BaseUrl() const {
  return impl_->scheme + "://127.0.0.1:" + std::to_string(impl_->port);
}

std::string ReadFixture(const std::string& relativePath) {
  std::ifstream in(std::string(RAZIRIZ_FIXTURE_DIR) + "/" + relativePath, std::ios::binary);
  if (!in) throw std::runtime_error("missing fixture " + relativePath);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace raziriz::testing
