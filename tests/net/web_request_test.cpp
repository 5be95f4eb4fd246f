#include "net/web_request.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_server.h"
#include "text/event_hook.h"

namespace raziriz {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;
using testing::Reply;
using testing::SeenRequest;

// One accepted connection of RawServer: what the test's answer is written to.
class RawConnection {
 public:
  explicit RawConnection(int fd) : fd_(fd) {}
  // False once the client has gone away.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

 private:
  int fd_;
};

// A server on 127.0.0.1 that takes one request per connection, records its exact
// bytes and lets the test write the answer byte for byte; the connection is
// closed after each answer. For checks where header names, order and spelling
// on the wire matter.
class RawServer {
 public:
  using Responder = std::function<void(const std::string& request, RawConnection& out)>;

  explicit RawServer(Responder responder) : responder_(std::move(responder)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listen_, 16);
    socklen_t length = sizeof address;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~RawServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  [[nodiscard]] int port() const { return port_; }
  [[nodiscard]] std::string Url(std::string_view path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  [[nodiscard]] std::vector<std::string> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  [[nodiscard]] std::string LastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? std::string() : requests_.back();
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd waiting{listen_, POLLIN, 0};
      if (::poll(&waiting, 1, 50) <= 0) continue;
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      const std::string request = ReadRequest(fd);
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      RawConnection connection(fd);
      responder_(request, connection);
      ::close(fd);
    }
  }

  // The head up to the blank line, then as many body bytes as Content-Length says.
  static std::string ReadRequest(int fd) {
    std::string data;
    char buffer[4096];
    std::size_t wanted = std::string::npos;
    while (data.size() < wanted) {
      pollfd readable{fd, POLLIN, 0};
      if (::poll(&readable, 1, 3000) <= 0) break;
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      data.append(buffer, static_cast<std::size_t>(got));
      const std::size_t headEnd = data.find("\r\n\r\n");
      if (headEnd != std::string::npos && wanted == std::string::npos) {
        std::size_t bodyLength = 0;
        std::string head = data.substr(0, headEnd);
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (const std::size_t at = head.find("\r\ncontent-length:"); at != std::string::npos) {
          bodyLength = std::stoul(head.substr(at + 17));
        }
        wanted = headEnd + 4 + bodyLength;
      }
    }
    return data;
  }

  Responder responder_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

// A complete answer with the given head lines and body; the connection closes.
RawServer::Responder Canned(std::string statusLine, std::vector<std::string> headers, std::string body) {
  return [=](const std::string&, RawConnection& out) {
    std::string reply = statusLine + "\r\n";
    for (const auto& line : headers) reply += line + "\r\n";
    reply += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    out.Send(reply);
  };
}

// The header lines of a recorded request, without the request line.
std::vector<std::string> HeaderLines(const std::string& request) {
  std::vector<std::string> lines;
  const std::size_t headEnd = request.find("\r\n\r\n");
  std::size_t at = request.find("\r\n");
  while (at != std::string::npos && at < headEnd) {
    const std::size_t next = request.find("\r\n", at + 2);
    lines.push_back(request.substr(at + 2, next - at - 2));
    at = next;
  }
  return lines;
}

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

std::string Body(const std::string& request) {
  const std::size_t headEnd = request.find("\r\n\r\n");
  return headEnd == std::string::npos ? std::string() : request.substr(headEnd + 4);
}

std::vector<std::string> LinesNamed(const std::string& request, std::string_view name) {
  std::vector<std::string> found;
  for (const auto& line : HeaderLines(request)) {
    const std::string lineName = line.substr(0, line.find(':'));
    if (lineName.size() == name.size() &&
        std::equal(name.begin(), name.end(), lineName.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      found.push_back(line);
    }
  }
  return found;
}

// The request's header lines without those the transport adds by itself.
std::vector<std::string> OurLines(const std::string& request) {
  std::vector<std::string> ours;
  for (const auto& line : HeaderLines(request)) {
    if (line.starts_with("Host:") || line.starts_with("Accept-Encoding:") || line.starts_with("Content-Length:")) {
      continue;
    }
    ours.push_back(line);
  }
  return ours;
}

constexpr std::string_view kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

TEST(WebRequestTest, DefaultHeadersGoOutOnceInTheirOrder) {
  RawServer server(Canned("HTTP/1.1 200 OK", {}, "ok"));
  const std::string url = server.Url("/page?q=1");
  EXPECT_EQ(WebRequest(url), "ok");

  const std::string request = server.LastRequest();
  EXPECT_EQ(RequestLine(request), "GET /page?q=1 HTTP/1.1");
  const std::vector<std::string> expected = {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn",
                                             std::string(kUserAgent)};
  EXPECT_EQ(OurLines(request), expected);
}

TEST(WebRequestTest, MethodTableAndItsBody) {
  struct Case {
    int method;
    std::string requestLine;
    bool formContentType;
  };
  const Case cases[] = {
      {0, "GET / HTTP/1.1", false},     {-1, "GET / HTTP/1.1", false},   {8, "GET / HTTP/1.1", false},
      {1, "POST / HTTP/1.1", true},     {3, "PUT / HTTP/1.1", false},    {4, "OPTIONS / HTTP/1.1", false},
      {5, "DELETE / HTTP/1.1", false},  {6, "TRACE / HTTP/1.1", false},    {7, "CONNECT / HTTP/1.1", false},
  };
  RawServer server(Canned("HTTP/1.1 200 OK", {}, "body"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    EXPECT_EQ(WebRequest(server.Url(), {.method = c.method}), "body");
    const std::string request = server.LastRequest();
    EXPECT_EQ(RequestLine(request), c.requestLine);
    const auto contentType = LinesNamed(request, "Content-Type");
    if (c.formContentType) {
      ASSERT_EQ(contentType.size(), 1u);
      EXPECT_EQ(contentType[0], "Content-Type: application/x-www-form-urlencoded");
      // The fifth of our lines, after the four defaults.
      EXPECT_EQ(OurLines(request).at(4), "Content-Type: application/x-www-form-urlencoded");
      EXPECT_EQ(LinesNamed(request, "Content-Length"), std::vector<std::string>{"Content-Length: 0"});
    } else {
      EXPECT_TRUE(contentType.empty());
    }
    EXPECT_TRUE(LinesNamed(request, "Expect").empty());
  }

  // Bytes win over text; the text goes when there are no bytes.
  EXPECT_EQ(WebRequest(server.Url(), {.method = 1, .bodyText = "text=1", .bodyBytes = std::string_view("b\0y", 3)}),
            "body");
  EXPECT_EQ(Body(server.LastRequest()), std::string("b\0y", 3));
  EXPECT_EQ(WebRequest(server.Url(), {.method = 3, .bodyText = "text=1"}), "body");
  EXPECT_EQ(RequestLine(server.LastRequest()), "PUT / HTTP/1.1");
  EXPECT_EQ(Body(server.LastRequest()), "text=1");
  EXPECT_TRUE(LinesNamed(server.LastRequest(), "Content-Type").empty());
}

TEST(WebRequestTest, HeaderTextRules) {
  struct Case {
    std::string name;
    std::string extraHeaders;
    bool normalize;
    std::vector<std::string> sent;     // lines that must be on the wire exactly once
    std::vector<std::string> notSent;  // header names that must be absent
  };
  const Case cases[] = {
      {"lower-case accept replaces the default", "accept: text/html", true, {"Accept: text/html"}, {}},
      {"exact keep-alive line skipped",
       "X-One: 1\r\nConnection: keep-alive\r\nX-Two: 2",
       true,
       {"X-One: 1", "X-Two: 2"},
       {"Connection"}},
      {"other connection values sent", "X-One: 1\r\nConnection: close", true, {"Connection: close"}, {}},
      {"Keep-Alive spelled otherwise sent", "X-One: 1\r\nconnection: Keep-Alive", true, {"Connection: Keep-Alive"}, {}},
      {"lines without colon dropped", "\r\nnot a header\r\n\r\nx-requested-with:XHR\r\n", true,
       {"X-Requested-With: XHR"}, {}},
      {"names kept as given without tidying", "x-lower: v\r\nAccept: a/b", false, {"x-lower: v", "Accept: a/b"}, {}},
      {"caller's user agent replaces the default", "User-Agent: test/1", true, {"User-Agent: test/1"}, {}},
      {"a bare line feed smuggles no header", "X-A: 1\nX-Evil: 2", false, {}, {"X-A", "X-Evil"}},
  };
  RawServer server(Canned("HTTP/1.1 200 OK", {}, ""));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (void)WebRequest(server.Url(), {.extraHeaders = c.extraHeaders, .normalizeHeaders = c.normalize});
    const std::string request = server.LastRequest();
    for (const auto& line : c.sent) {
      const auto named = LinesNamed(request, line.substr(0, line.find(':')));
      EXPECT_EQ(named, std::vector<std::string>{line});
    }
    for (const auto& name : c.notSent) EXPECT_TRUE(LinesNamed(request, name).empty()) << name;
  }

  // Without the defaults a one-line text makes no keep-alive check.
  (void)WebRequest(server.Url(), {.extraHeaders = "Connection: keep-alive", .addDefaultHeaders = false});
  EXPECT_EQ(LinesNamed(server.LastRequest(), "Connection"), std::vector<std::string>{"Connection: keep-alive"});
}

TEST(WebRequestTest, NoDefaultsAndNoTidyingSendNothingOfOurs) {
  RawServer server(Canned("HTTP/1.1 200 OK", {}, ""));
  (void)WebRequest(server.Url(), {.method = 1, .addDefaultHeaders = false, .normalizeHeaders = false});
  std::vector<std::string> names;
  for (const auto& line : HeaderLines(server.LastRequest())) names.push_back(line.substr(0, line.find(':')));
  // Only what the transport itself must say: the host, the body length and the
  // encodings it can decode.
  EXPECT_EQ(names, (std::vector<std::string>{"Host", "Accept-Encoding", "Content-Length"}));
}

TEST(WebRequestTest, CookiesSuppliedEmptyOrOmitted) {
  RawServer server(Canned("HTTP/1.1 200 OK", {"Set-Cookie: fresh=1; Path=/"}, ""));

  // Omitted: no header and no merge.
  Text returned = "stale";
  (void)WebRequest(server.Url(), {.returnedCookies = &returned});
  EXPECT_TRUE(LinesNamed(server.LastRequest(), "Cookie").empty());
  EXPECT_EQ(returned, "fresh=1");

  // Supplied empty: an empty header goes out and the merge still runs.
  Text cookies;
  (void)WebRequest(server.Url(), {.cookies = &cookies, .returnedCookies = &returned});
  EXPECT_EQ(LinesNamed(server.LastRequest(), "Cookie"), std::vector<std::string>{"Cookie:"});
  EXPECT_EQ(cookies, "fresh=1");
  EXPECT_EQ(returned, "fresh=1");

  // Every "Cookie:" in any case is cut out; nothing else is trimmed.
  cookies = "Cookie: a=1; COOKIE:b=2";
  (void)WebRequest(server.Url(), {.cookies = &cookies, .mergeCookies = false});
  EXPECT_EQ(cookies, " a=1; b=2");
  EXPECT_EQ(LinesNamed(server.LastRequest(), "Cookie"), std::vector<std::string>{"Cookie:  a=1; b=2"});

  // Merged: received first, then the sent ones the response did not replace.
  cookies = "a=1; fresh=0";
  (void)WebRequest(server.Url(), {.cookies = &cookies, .returnedCookies = &returned});
  EXPECT_EQ(cookies, "fresh=1; a=1");
  EXPECT_EQ(returned, "fresh=1; a=1");
}

TEST(WebRequestTest, ResponseHeadersAndSetCookieGathering) {
  RawServer server(Canned("HTTP/1.1 201 Created",
                          {"Set-Cookie: a=1; Path=/", "Set-Cookie: b=2", "set-cookie: c=3", "Set-Cookie:d=4",
                           "X-Note: Set-Cookie: e=5"},
                          "made"));
  Text returned;
  Text headers;
  int status = -7;
  EXPECT_EQ(WebRequest(server.Url(), {.returnedCookies = &returned, .responseHeaders = &headers, .statusCode = &status}),
            "made");
  EXPECT_EQ(status, 201);
  EXPECT_EQ(returned, "a=1; b=2");
  EXPECT_EQ(headers,
            "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\nset-cookie: c=3\r\nSet-Cookie:d=4\r\n"
            "X-Note: Set-Cookie: e=5\r\nContent-Length: 4\r\nConnection: close");

  RawServer plain(Canned("HTTP/1.1 200 OK", {}, ""));
  (void)WebRequest(plain.Url(), {.returnedCookies = &returned});
  EXPECT_EQ(returned, "");
}

TEST(WebRequestTest, HttpsWithSelfSignedCertificateHeadAndErrorStatus) {
  LoopbackServer server(LoopbackServer::Scheme::Https);
  server.Serve("/page", Reply{.body = "secure page", .headers = {}});
  server.Serve("/missing", Reply{.status = 404, .body = "not here", .headers = {}});
  const std::string base = server.BaseUrl();
  ASSERT_TRUE(base.starts_with("https://"));

  int status = 0;
  EXPECT_EQ(WebRequest(base + "/page", {.statusCode = &status}), "secure page");
  EXPECT_EQ(status, 200);

  EXPECT_EQ(WebRequest(base + "/missing", {.statusCode = &status}), "not here");
  EXPECT_EQ(status, 404);

  Text headers;
  status = 0;
  EXPECT_EQ(WebRequest(base + "/page", {.method = 2, .responseHeaders = &headers, .statusCode = &status}), "");
  EXPECT_EQ(status, 200);
  EXPECT_NE(headers.find("Content-Type: text/html"), Text::npos) << headers;
}

TEST(WebRequestTest, CompressedAnswersAreDecoded) {
  static const std::string kGzip(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xcb\x48\xcd\xc9\xc9\x57\x48\x2b\xca\xcf\x55\x48\xaf\xca\x2c\x50\xc8"
      "\x18\xe5\x93\xc4\x07\x00\x48\xee\x3d\x85\x40\x01\x00\x00",
      41);
  static const std::string kDeflate(
      "\x78\x9c\x4b\x49\x4d\xcb\x49\x2c\x49\x4d\x51\x28\x48\x4c\x4f\x55\x48\x19\x50\x1e\x00\x19\x06\x32\xdd", 25);
  std::string gzipPage;
  for (int i = 0; i < 20; ++i) gzipPage += "hello from gzip ";
  std::string deflatePage;
  for (int i = 0; i < 10; ++i) deflatePage += "deflated page ";

  RawServer gzip(Canned("HTTP/1.1 200 OK", {"Content-Encoding: gzip"}, kGzip));
  EXPECT_EQ(WebRequest(gzip.Url()), gzipPage);
  // The caller's own offer replaces libcurl's, and the answer is still decoded.
  EXPECT_EQ(WebRequest(gzip.Url(), {.extraHeaders = "Accept-Encoding: gzip"}), gzipPage);
  EXPECT_EQ(LinesNamed(gzip.LastRequest(), "Accept-Encoding"), std::vector<std::string>{"Accept-Encoding: gzip"});
  RawServer deflate(Canned("HTTP/1.1 200 OK", {"Content-Encoding: deflate"}, kDeflate));
  EXPECT_EQ(WebRequest(deflate.Url()), deflatePage);
}

// Every out-argument is written as "no response": empty headers, status 0, and
// the cookies merged over an empty received text.
void ExpectNoResponse(std::string_view url, RequestObject* object = nullptr) {
  SCOPED_TRACE(std::string(url));
  Text cookies = "a=1";
  Text returned = "old";
  Text headers = "old";
  int status = 99;
  EXPECT_EQ(WebRequest(url, {.cookies = &cookies,
                             .returnedCookies = &returned,
                             .responseHeaders = &headers,
                             .statusCode = &status,
                             .timeoutSeconds = 2,
                             .requestObject = object}),
            "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(headers, "");
  EXPECT_EQ(cookies, "a=1");
  EXPECT_EQ(returned, "a=1");
}

TEST(WebRequestTest, NothingReadGivesEmptyBytesAndStatusZero) {
  // Port 1: nothing listens there, whatever other tests run meanwhile.
  ExpectNoResponse("http://127.0.0.1:1/");
  ExpectNoResponse("");
  ExpectNoResponse("not a url at all");

  // A supplied object that holds nothing: every step fails, nothing is created.
  RawServer server(Canned("HTTP/1.1 200 OK", {}, "unreached"));
  RequestObject empty = RequestObject::Empty();
  ExpectNoResponse(server.Url(), &empty);
  EXPECT_TRUE(server.Requests().empty());
}

TEST(WebRequestTest, OnlyWebAddressesAreFetchedAlsoAfterARedirect) {
  RawServer toFile(Canned("HTTP/1.1 302 Found", {"Location: file:///etc/passwd"}, ""));
  RawServer toFtp(Canned("HTTP/1.1 301 Moved", {"Location: ftp://127.0.0.1/x"}, ""));
  for (const std::string& url : {std::string("file:///etc/passwd"), std::string("ftp://127.0.0.1/"),
                                std::string("FILE:///etc/hostname"), toFile.Url(), toFtp.Url()}) {
    ExpectNoResponse(url);
  }
}

TEST(WebRequestTest, RedirectsFollowedOrNot) {
  RawServer target(Canned("HTTP/1.1 200 OK", {"X-Final: yes"}, "final page"));
  RawServer moved(Canned("HTTP/1.1 302 Found", {"Location: " + target.Url("/there")}, "moved body"));

  Text headers;
  int status = 0;
  EXPECT_EQ(WebRequest(moved.Url(), {.responseHeaders = &headers, .statusCode = &status}), "final page");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(headers, "X-Final: yes\r\nContent-Length: 10\r\nConnection: close");

  EXPECT_EQ(WebRequest(moved.Url(), {.responseHeaders = &headers, .statusCode = &status, .noRedirect = true}),
            "moved body");
  EXPECT_EQ(status, 302);
  EXPECT_TRUE(headers.starts_with("Location: "));

  // A loop ends at the redirect limit with what the last answer said.
  LoopbackServer loop;
  loop.Handle("/loop", [](const SeenRequest&) {
    return Reply{.status = 302, .body = "", .headers = {{"Location", "/loop"}}};
  });
  status = 0;
  EXPECT_EQ(WebRequest(loop.BaseUrl() + "/loop", {.statusCode = &status}), "");
  EXPECT_EQ(status, 302);
}

TEST(WebRequestTest, TimeOutCutsAStallButNotASlowMovingBody) {
  // A server that answers after a 4 s pause: only the 1 s time-out gives up.
  // libcurl measures the transfer speed once per clock second, so a time-out
  // ends a stall somewhere between its own length and a second more.
  LoopbackServer stalled;
  stalled.Handle("/", [](const SeenRequest&) {
    std::this_thread::sleep_for(4000ms);
    return Reply{.body = "late", .headers = {}};
  });
  struct Case {
    int timeoutSeconds;
    std::string expected;
  } const cases[] = {{1, ""}, {6, "late"}, {-1, "late"}, {0, "late"}, {-5, "late"}};
  std::vector<std::thread> callers;
  std::vector<std::string> bodies(std::size(cases));
  std::vector<int> statuses(std::size(cases), -1);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    callers.emplace_back([&, i] {
      bodies[i] = WebRequest(stalled.BaseUrl() + "/", {.statusCode = &statuses[i],
                                                       .timeoutSeconds = cases[i].timeoutSeconds});
    });
  }
  for (auto& caller : callers) caller.join();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].timeoutSeconds);
    EXPECT_EQ(bodies[i], cases[i].expected);
    EXPECT_EQ(statuses[i], cases[i].expected.empty() ? 0 : 200);
  }

  int status = -1;
  // A body that trickles in for longer than the time-out, never pausing as long.
  RawServer trickle([](const std::string&, RawConnection& out) {
    out.Send("HTTP/1.1 200 OK\r\nContent-Length: 14\r\nConnection: close\r\n\r\n");
    for (int i = 0; i < 14; ++i) {
      std::this_thread::sleep_for(200ms);
      if (!out.Send("x")) return;
    }
  });
  EXPECT_EQ(WebRequest(trickle.Url(), {.statusCode = &status, .timeoutSeconds = 2}), std::string(14, 'x'));
  EXPECT_EQ(status, 200);
}

TEST(WebRequestTest, StopFlagEndsTheTransfer) {
  RawServer stalled([](const std::string&, RawConnection&) { std::this_thread::sleep_for(1500ms); });
  std::atomic<bool> stop{true};
  SetThreadStopFlag(&stop);
  int status = -1;
  EXPECT_EQ(WebRequest(stalled.Url(), {.statusCode = &status, .timeoutSeconds = 10}), "");
  SetThreadStopFlag(nullptr);
  EXPECT_EQ(status, 0);
}

TEST(WebRequestTest, OversizedBodyIsDropped) {
  RawServer huge([](const std::string&, RawConnection& out) {
    const std::size_t total = kMaxBodyBytes + 1;
    out.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\nConnection: close\r\n\r\n");
    const std::string chunk(1 << 16, 'z');
    for (std::size_t sent = 0; sent < total;) {
      const std::size_t n = std::min(chunk.size(), total - sent);
      if (!out.Send(std::string_view(chunk).substr(0, n))) return;
      sent += n;
    }
  });
  int status = 0;
  EXPECT_EQ(WebRequest(huge.Url(), {.statusCode = &status}), "");
  EXPECT_EQ(status, 200);
}

// A loopback HTTP proxy: answers every request itself and records it.
TEST(WebRequestTest, ProxyAndCredentials) {
  RawServer proxy(Canned("HTTP/1.1 200 OK", {}, "from proxy"));
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());
  const std::string origin = "http://origin.invalid:8080/page";

  EXPECT_EQ(WebRequest(origin, {.proxy = proxyAddress, .proxyUser = "user", .proxyPassword = "pa:ss"}), "from proxy");
  std::string request = proxy.LastRequest();
  EXPECT_EQ(RequestLine(request), "GET " + origin + " HTTP/1.1");
  // Base64 of "user:pa:ss".
  EXPECT_EQ(LinesNamed(request, "Proxy-Authorization"),
            std::vector<std::string>{"Proxy-Authorization: Basic dXNlcjpwYTpzcw=="});
  EXPECT_TRUE(LinesNamed(request, "Authorization").empty());

  struct Case {
    std::string name;
    WebRequestOptions options;
  };
  const Case withoutHeader[] = {
      {"no user", {.proxy = proxyAddress, .proxyPassword = "pw"}},
      {"credentials for the server", {.proxy = proxyAddress, .proxyUser = "user", .credentialTarget = 0}},
  };
  for (const Case& c : withoutHeader) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WebRequest(origin, c.options), "from proxy");
    request = proxy.LastRequest();
    EXPECT_EQ(RequestLine(request), "GET " + origin + " HTTP/1.1");
    EXPECT_TRUE(LinesNamed(request, "Proxy-Authorization").empty());
    EXPECT_TRUE(LinesNamed(request, "Authorization").empty());
  }

  // Credentials for the server answer its challenge.
  RawServer challenging([](const std::string& request, RawConnection& out) {
    const bool authorised = request.find("\r\nAuthorization: Basic dXNlcjpwdw==\r\n") != std::string::npos;
    out.Send(authorised ? "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nin"
                        : "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
                          "Content-Length: 0\r\nConnection: close\r\n\r\n");
  });
  int status = 0;
  EXPECT_EQ(WebRequest(origin, {.statusCode = &status,
                                .proxy = "127.0.0.1:" + std::to_string(challenging.port()),
                                .proxyUser = "user",
                                .proxyPassword = "pw",
                                .credentialTarget = 0}),
            "in");
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(LinesNamed(challenging.LastRequest(), "Proxy-Authorization").empty());

  // Through a tunnel the proxy's credentials go to the proxy only.
  RawServer refusingProxy(Canned("HTTP/1.1 407 Proxy Authentication Required", {}, ""));
  (void)WebRequest("https://origin.invalid/", {.proxy = "127.0.0.1:" + std::to_string(refusingProxy.port()),
                                               .timeoutSeconds = 2,
                                               .proxyUser = "u",
                                               .proxyPassword = ""});
  request = refusingProxy.LastRequest();
  EXPECT_TRUE(RequestLine(request).starts_with("CONNECT origin.invalid:443 ")) << request;
  EXPECT_EQ(LinesNamed(request, "Proxy-Authorization"), std::vector<std::string>{"Proxy-Authorization: Basic dTo="});
}

TEST(WebRequestTest, RequestObjectKeepsItsCookiesOthersDoNot) {
  RawServer server([](const std::string& request, RawConnection& out) {
    const bool first = request.starts_with("GET /login ");
    out.Send(std::string("HTTP/1.1 200 OK\r\n") + (first ? "Set-Cookie: session=42\r\n" : "") +
             "Content-Length: 0\r\nConnection: close\r\n\r\n");
  });
  RequestObject object;
  (void)WebRequest(server.Url("/login"), {.requestObject = &object});
  (void)WebRequest(server.Url("/next"), {.requestObject = &object});
  EXPECT_EQ(LinesNamed(server.LastRequest(), "Cookie"), std::vector<std::string>{"Cookie: session=42"});

  // Nothing else of one call carries over to the next on the same object.
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(server.port());
  (void)WebRequest("http://elsewhere.invalid/p", {.method = 2,
                                                  .extraHeaders = "X-Once: 1",
                                                  .proxy = proxyAddress,
                                                  .proxyUser = "u",
                                                  .requestObject = &object});
  EXPECT_EQ(RequestLine(server.LastRequest()), "HEAD http://elsewhere.invalid/p HTTP/1.1");
  (void)WebRequest(server.Url("/post"), {.method = 1, .bodyText = "a=1", .requestObject = &object});
  EXPECT_EQ(RequestLine(server.LastRequest()), "POST /post HTTP/1.1");
  (void)WebRequest(server.Url("/plain"), {.requestObject = &object});
  const std::string plain = server.LastRequest();
  EXPECT_EQ(RequestLine(plain), "GET /plain HTTP/1.1");
  EXPECT_EQ(Body(plain), "");
  for (const char* name : {"X-Once", "Proxy-Authorization", "Content-Type", "Content-Length"}) {
    EXPECT_TRUE(LinesNamed(plain, name).empty()) << name;
  }

  (void)WebRequest(server.Url("/login"));
  (void)WebRequest(server.Url("/next"));
  EXPECT_TRUE(LinesNamed(server.LastRequest(), "Cookie").empty());
}

}  // namespace
}  // namespace raziriz
