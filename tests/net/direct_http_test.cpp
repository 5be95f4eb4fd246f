#include "net/direct_http.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/curl_easy.h"
#include "tests/support/loopback_server.h"
#include "text/charset.h"
#include "text/event_hook.h"

namespace raziriz {
namespace {

const CurlGlobal kCurlGlobal;

using testing::LoopbackServer;
using testing::Reply;
using testing::SeenRequest;

// An HTTP server on 127.0.0.1 that serves one connection at a time, records the
// exact bytes of each request and answers with the bytes `respond` gives, then
// closes the connection. An empty answer closes without replying.
class RawServer {
 public:
  using Responder = std::function<std::string(const std::string& request)>;

  explicit RawServer(Responder respond) : respond_(std::move(respond)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "raw server could not listen";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~RawServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  [[nodiscard]] std::string Url(const std::string& rest = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + rest;
  }
  [[nodiscard]] std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  [[nodiscard]] std::vector<std::string> Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }
  [[nodiscard]] std::string LastRequest() const {
    const std::lock_guard lock(mutex_);
    return requests_.empty() ? std::string() : requests_.back();
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd ready{listener_, POLLIN, 0};
      if (poll(&ready, 1, 50) <= 0) continue;
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      timeval wait{5, 0};
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
      const std::string request = ReadRequest(client);
      {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      const std::string answer = respond_(request);
      for (std::size_t sent = 0; sent < answer.size();) {
        const ssize_t n = send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      shutdown(client, SHUT_RDWR);
      close(client);
    }
  }

  // The head up to the blank line and as many body bytes as Content-Length says.
  static std::string ReadRequest(int client) {
    std::string data;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    std::size_t wanted = 0;
    while (headEnd == std::string::npos || data.size() < headEnd + 4 + wanted) {
      const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
      if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
        const std::size_t at = data.find("\r\nContent-Length: ");
        if (at != std::string::npos && at < headEnd) wanted = std::stoul(data.substr(at + 18));
      }
    }
    return data;
  }

  Responder respond_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A whole response with its body length and the connection closed after it.
std::string Response(const std::string& statusLine, const std::string& headers, const std::string& body) {
  return statusLine + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

RawServer::Responder Always(std::string answer) {
  return [answer = std::move(answer)](const std::string&) { return answer; };
}

const std::string kUserAgentLine =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n";
const std::string kAcceptLine = "Accept: text/html, application/xhtml+xml, */*\r\n";
const std::string kEncodingLine = "Accept-Encoding: gbk, GB2312\r\n";
const std::string kLanguageLine = "Accept-Language: zh-cn\r\n";
const std::string kFormLine = "Content-Type: application/x-www-form-urlencoded\r\n";
const std::string kCacheLine = "Cache-Control: no-cache";

TEST(DirectHttpSteps, TimeoutIsThirtySecondsUnlessPositive) {
  EXPECT_EQ(direct_http::TimeoutMilliseconds(0), 30000);
  EXPECT_EQ(direct_http::TimeoutMilliseconds(-5), 30000);
  EXPECT_EQ(direct_http::TimeoutMilliseconds(5), 5000);
}

TEST(DirectHttpSteps, SplitUrl) {
  struct Case {
    std::string url;
    bool https;
    long port;
    std::string objectName;
    std::string requestUrl;
  };
  const Case cases[] = {
      {"https://v.example.com", true, 443, "/", "https://v.example.com/"},
      {"http://tv.example.com/", false, 80, "/", "http://tv.example.com/"},
      {"https://h.example.com?a=1", true, 443, "/?a=1", "https://h.example.com/?a=1"},
      {"http://h.example.com:8080/movie/x.html?b=2#top", false, 8080, "/movie/x.html?b=2",
       "http://h.example.com:8080/movie/x.html?b=2"},
  };
  for (const Case& c : cases) {
    const auto target = direct_http::SplitUrl(c.url);
    ASSERT_TRUE(target.has_value()) << c.url;
    EXPECT_EQ(target->https, c.https) << c.url;
    EXPECT_EQ(target->port, c.port) << c.url;
    EXPECT_EQ(target->objectName, c.objectName) << c.url;
    EXPECT_EQ(target->requestUrl, c.requestUrl) << c.url;
  }
  for (const char* bad : {"", "not a url", "ftp://h.example.com/a", "file:///etc/passwd", "http://"}) {
    EXPECT_FALSE(direct_http::SplitUrl(bad).has_value()) << bad;
  }
}

TEST(DirectHttpSteps, HeaderText) {
  struct Case {
    const char* what;
    std::string extra;
    int method;
    std::string cookies;
    bool defaults;
    bool normalize;
    std::string expected;
  };
  const std::string defaults = kUserAgentLine + kAcceptLine + kEncodingLine + kLanguageLine + kCacheLine;
  const Case cases[] = {
      {"the six defaults for GET", "", 0, "", true, true, defaults},
      {"Content-Type only for POST", "", 1, "", true, true,
       kUserAgentLine + kAcceptLine + kEncodingLine + kLanguageLine + kFormLine + kCacheLine},
      {"a lower-case user agent is kept", "user-agent: Mine", 0, "", true, true,
       "User-Agent: Mine\r\n" + kAcceptLine + kEncodingLine + kLanguageLine + kCacheLine},
      {"an Accept-Encoding line suppresses only its default", "Accept-Encoding: gzip", 0, "", true, true,
       "Accept-Encoding: gzip\r\n" + kUserAgentLine + kAcceptLine + kLanguageLine + kCacheLine},
      {"a probe needs its space", "User-Agent:Mine", 0, "", true, true, "User-Agent:Mine\r\n" + defaults},
      {"keep-alive is removed", "connection: keep-alive", 0, "", true, true, defaults},
      {"another Connection value stays", "Connection: close", 0, "", true, true,
       "Connection: close\r\n" + defaults},
      {"cookie pairs get a Cookie line", "", 0, "a=1; b=2", true, true, defaults + "\r\nCookie: a=1; b=2\r\n"},
      {"a Cookie text is its own line", "", 0, "cookie: a=1", true, true, defaults + "\r\ncookie: a=1\r\n"},
      {"a Cookie line in the extra headers wins", "Cookie: x=9", 0, "a=1", true, true,
       "Cookie: x=9\r\n" + defaults},
      {"no defaults, no tidying", "x-a: 1", 0, "", false, false, "x-a: 1\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(direct_http::BuildHeaderText(c.extra, c.method, c.cookies, c.defaults, c.normalize), c.expected)
        << c.what;
  }
}

TEST(DirectHttpSteps, ResponseHeaders) {
  const std::string raw =
      "HTTP/1.1 302 Moved Temporarily\r\n"
      "Set-Cookie: a=1; Path=/; HttpOnly\r\n"
      "location: /first\r\n"
      "Set-Cookie: b=2\r\n"
      "Location: /second\r\n"
      "X-Set-Cookie: c=3\r\n"
      "\r\n";
  Text status;
  Text cookies;
  Text location = "before";
  direct_http::ReadResponseHeaders(raw, status, cookies, location);
  EXPECT_EQ(status, "302 Moved Temporarily");
  EXPECT_EQ(cookies, "a=1; b=2");
  EXPECT_EQ(location, "/second");

  // Cookies held on entry are kept in front, with a separator.
  for (const char* held : {"z=0", "z=0;", "z=0; "}) {
    Text more = held;
    direct_http::ReadResponseHeaders(raw, status, more, location);
    EXPECT_EQ(more, "z=0; a=1; b=2") << held;
  }
}

TEST(DirectHttpSteps, DeclaredCharset) {
  const std::string chinese = "\xe6\xb5\xb7\xe6\x8a\xa5";  // "海报" in UTF-8
  const Text chineseGbk = GbkFromUtf8(chinese);
  const std::string utf8Page = "<html><head><title>" + chinese +
                               "</title><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
                               "</head><body>" + chinese + "</body></html>";
  const std::string late = std::string(1100, ' ') + "<meta charset=\"utf-8\">" + chinese;
  struct Case {
    const char* what;
    std::string body;
    std::string expected;
  };
  const Case cases[] = {
      {"UTF-8 declared", utf8Page, GbkFromUtf8(utf8Page)},
      {"GBK in capitals goes through iconv", "<meta charset=GBK>\x81\x20", "<meta charset=GBK>? "},
      {"gbk as it is", "<meta charset=gbk>\x81\x20", "<meta charset=gbk>\x81\x20"},
      {"gb2312 as it is", "<meta charset='gb2312'>" + chineseGbk, "<meta charset='gb2312'>" + chineseGbk},
      {"nothing declared: cut at the zero byte", std::string("<p>ab\0cd</p>", 12), "<p>ab"},
      {"declared after 1024 bytes", late, late},
      {"unknown charset: as it came", "<meta charset=x-no-such-set>" + chinese,
       "<meta charset=x-no-such-set>" + chinese},
  };
  for (const Case& c : cases) EXPECT_EQ(direct_http::DecodeDeclaredCharset(c.body), c.expected) << c.what;
}

// The out-arguments of one call, each holding a marker value on entry.
struct Outs {
  Text cookies;
  Text returnedCookies = "untouched";
  Text responseHeaders = "untouched";
  Text location = "untouched";
  Text statusText = "untouched";
  Bytes responseBody = "untouched";

  DirectHttpOptions Options(DirectHttpOptions options = {}) {
    options.cookies = &cookies;
    options.returnedCookies = &returnedCookies;
    options.responseHeaders = &responseHeaders;
    options.location = &location;
    options.statusText = &statusText;
    options.responseBody = &responseBody;
    return options;
  }
  void ExpectUntouchedBesidesStatus() const {
    EXPECT_EQ(returnedCookies, "untouched");
    EXPECT_EQ(responseHeaders, "untouched");
    EXPECT_EQ(location, "untouched");
    EXPECT_EQ(responseBody, "untouched");
  }
};

TEST(DirectHttpRequest, DefaultRequestOnTheWire) {
  RawServer server(Always(Response("HTTP/1.1 200 OK", "", "hello")));
  Outs outs;
  EXPECT_EQ(DirectHttpRequest(server.Url(""), outs.Options()), "hello");
  EXPECT_EQ(server.LastRequest(), "GET / HTTP/1.1\r\nHost: " + server.Host() + "\r\n" + kUserAgentLine +
                                      kAcceptLine + kEncodingLine + kLanguageLine + kCacheLine + "\r\n\r\n");
  EXPECT_EQ(outs.statusText, "200 OK");
  EXPECT_EQ(outs.responseBody, "hello");
  EXPECT_EQ(outs.responseHeaders, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(outs.location, "untouched");  // no Location line
  EXPECT_EQ(outs.returnedCookies, "untouched");

  // Without the defaults nothing but the host goes out: libcurl adds no headers
  // of its own.
  (void)DirectHttpRequest(server.Url(), {.addDefaultHeaders = false});
  EXPECT_EQ(server.LastRequest(), "GET / HTTP/1.1\r\nHost: " + server.Host() + "\r\n\r\n");
}

TEST(DirectHttpRequest, PostOnTheWire) {
  RawServer server(Always(Response("HTTP/1.1 200 OK", "", "")));
  (void)DirectHttpRequest(server.Url("/form?x=1"), {.method = 1, .bodyText = "a=1&b=2"});
  EXPECT_EQ(server.LastRequest(), "POST /form?x=1 HTTP/1.1\r\nHost: " + server.Host() + "\r\n" + kUserAgentLine +
                                      kAcceptLine + kEncodingLine + kLanguageLine + kFormLine + kCacheLine +
                                      "\r\nContent-Length: 7\r\n\r\na=1&b=2");

  // Body bytes win over the body text and may hold zero bytes.
  const std::string bytes("x\0y", 3);
  (void)DirectHttpRequest(server.Url(), {.method = 3, .bodyText = "text", .bodyBytes = bytes});
  const std::string request = server.LastRequest();
  EXPECT_TRUE(request.starts_with("PUT / HTTP/1.1\r\n")) << request;
  EXPECT_TRUE(request.ends_with("\r\nContent-Length: 3\r\n\r\n" + bytes)) << request;
}

TEST(DirectHttpRequest, MethodAndObjectNameOnTheWire) {
  RawServer server(Always(Response("HTTP/1.1 200 OK", "", "")));
  struct Case {
    int method;
    std::string rest;
    std::string requestLine;
  };
  const Case cases[] = {
      {8, "", "GET / HTTP/1.1\r\n"},          {-1, "?a=1", "GET /?a=1 HTTP/1.1\r\n"},
      {2, "/p", "HEAD /p HTTP/1.1\r\n"},      {3, "/p", "PUT /p HTTP/1.1\r\n"},
      {5, "/p", "DELETE /p HTTP/1.1\r\n"},    {4, "/p", "OPTIONS /p HTTP/1.1\r\n"},
  };
  for (const Case& c : cases) {
    (void)DirectHttpRequest(server.Url(c.rest), {.method = c.method});
    EXPECT_TRUE(server.LastRequest().starts_with(c.requestLine)) << server.LastRequest();
  }
}

TEST(DirectHttpRequest, ExtraHeadersAndCookiesOnTheWire) {
  RawServer server(Always(Response("HTTP/1.1 200 OK", "", "")));
  Outs outs;
  outs.cookies = "a=1; b=2";
  (void)DirectHttpRequest(server.Url(),
                          outs.Options({.extraHeaders = "x-test: 1\r\nConnection: keep-alive\r\nX-Empty:"}));
  const std::string request = server.LastRequest();
  EXPECT_NE(request.find("\r\nX-Test: 1\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nX-Empty:"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nCookie: a=1; b=2\r\n"), std::string::npos) << request;
  EXPECT_EQ(request.find("Connection"), std::string::npos) << request;
}

TEST(DirectHttpRequest, NumberedMessagesBeforeAnyResponse) {
  // A port that nothing listens on (not a stopped server's: tests run in
  // parallel, and another server may be given that port meanwhile).
  const int refusedPort = 1;
  RawServer silent(Always(""));
  std::string endless = "HTTP/1.1 200 OK\r\n";
  while (endless.size() < 3 * 1024 * 1024) endless += "X-Filler: " + std::string(1000, 'x') + "\r\n";
  RawServer endlessHeaders(Always(endless));
  struct Case {
    std::string url;
    std::string message;
  };
  const Case cases[] = {
      {"", "701 解析URL地址失败!"},
      {"www.example.com/", "701 解析URL地址失败!"},
      {"file:///etc/passwd", "701 解析URL地址失败!"},
      {"http://127.0.0.1:" + std::to_string(refusedPort) + "/", "711 发送请求失败!"},
      {silent.Url(), "712 服务器未响应!"},
      {endlessHeaders.Url(), "712 服务器未响应!"},
  };
  for (const Case& c : cases) {
    Outs outs;
    outs.cookies = "a=1";
    EXPECT_EQ(DirectHttpRequest(c.url, outs.Options()), "") << c.url;
    EXPECT_EQ(outs.statusText, GbkFromUtf8(c.message)) << c.url;
    outs.ExpectUntouchedBesidesStatus();
    EXPECT_EQ(outs.cookies, "a=1");
  }
}

TEST(DirectHttpRequest, SilentServerEndsAtTheTimeout) {
  RawServer server([](const std::string&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    return std::string();
  });
  Outs outs;
  EXPECT_EQ(DirectHttpRequest(server.Url(), outs.Options({.timeoutSeconds = 1})), "");
  EXPECT_EQ(outs.statusText, GbkFromUtf8("712 服务器未响应!"));
}

TEST(DirectHttpRequest, Utf8PageComesBackAsGbk) {
  const std::string page = "<html><meta charset=\"UTF-8\"><p>\xe6\xb5\xb7\xe6\x8a\xa5</p></html>";
  RawServer server(Always(Response("HTTP/1.1 200 OK", "Content-Type: text/html\r\n", page)));
  Outs outs;
  EXPECT_EQ(DirectHttpRequest(server.Url(), outs.Options()), GbkFromUtf8(page));
  EXPECT_EQ(outs.responseBody, page);
}

TEST(DirectHttpRequest, CompressedAnswerIsDecoded) {
  // "<p>hello</p>" compressed with gzip.
  const std::string gzipped(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xb3\x29\xb0\xcb\x48\xcd\xc9\xc9\xb7\xd1\x2f\xb0\x03\x00\x44\xfb"
      "\xae\xd2\x0c\x00\x00\x00",
      32);
  RawServer server(Always(Response("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n", gzipped)));
  EXPECT_EQ(DirectHttpRequest(server.Url()), "<p>hello</p>");
}

TEST(DirectHttpRequest, NoRedirectGivesTheRedirectResponse) {
  RawServer server(Always(Response("HTTP/1.1 302 Found", "Location: http://elsewhere.example/x\r\n", "moved")));
  Outs outs;
  EXPECT_EQ(DirectHttpRequest(server.Url(), outs.Options({.noRedirect = true})), "moved");
  EXPECT_EQ(outs.statusText, "302 Found");
  EXPECT_EQ(outs.location, "http://elsewhere.example/x");
  EXPECT_TRUE(outs.responseHeaders.starts_with("HTTP/1.1 302 Found\r\n"));
  EXPECT_EQ(server.Requests().size(), 1u);
}

// "/start" redirects to "/end" and sets a cookie; "/end" reports the Cookie lines
// it received.
std::string RedirectingSite(const std::string& request) {
  if (request.starts_with("GET /start ")) {
    return Response("HTTP/1.1 302 Found", "Set-Cookie: hop=1; Path=/\r\nLocation: /end\r\n", "");
  }
  std::string seen;
  for (std::size_t at = request.find("\r\nCookie: "); at != std::string::npos;
       at = request.find("\r\nCookie: ", at + 2)) {
    seen += request.substr(at + 2, request.find("\r\n", at + 2) - at - 2) + "|";
  }
  return Response("HTTP/1.1 200 OK", "Set-Cookie: end=2\r\n", seen);
}

TEST(DirectHttpRequest, FollowedRedirectReportsTheFinalResponse) {
  RawServer server(RedirectingSite);
  Outs outs;
  outs.returnedCookies = "old=1";
  EXPECT_EQ(DirectHttpRequest(server.Url("/start"), outs.Options()), "");  // no cookies sent on
  EXPECT_EQ(outs.statusText, "200 OK");
  EXPECT_EQ(outs.returnedCookies, "old=1; end=2");
  EXPECT_EQ(outs.location, "untouched");
  EXPECT_TRUE(outs.responseHeaders.starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST(DirectHttpRequest, CookiesSetOnARedirectAreSentOnWhenCookiesAreGiven) {
  RawServer server(RedirectingSite);
  Outs outs;
  outs.cookies = "mine=0";
  outs.returnedCookies = "";
  const Text seen = DirectHttpRequest(server.Url("/start"), outs.Options());
  EXPECT_NE(seen.find("mine=0"), Text::npos) << seen;
  EXPECT_NE(seen.find("hop=1"), Text::npos) << seen;
  // Merged: received first, then the sent ones the response did not replace.
  EXPECT_EQ(outs.returnedCookies, "end=2; mine=0");
  EXPECT_EQ(outs.cookies, "end=2; mine=0");
}

TEST(DirectHttpRequest, SetCookiePairsAndMerge) {
  RawServer server(Always(Response("HTTP/1.1 200 OK",
                                   "Set-Cookie: a=1; Path=/; HttpOnly\r\nSet-Cookie: b=3\r\n", "")));
  Outs plain;
  plain.returnedCookies = "";
  (void)DirectHttpRequest(server.Url(), plain.Options());
  EXPECT_EQ(plain.returnedCookies, "a=1; b=3");

  Outs merged;
  merged.cookies = "b=2; c=4";
  merged.returnedCookies = "";
  (void)DirectHttpRequest(server.Url(), merged.Options());
  EXPECT_EQ(merged.returnedCookies, "a=1; b=3; c=4");
  EXPECT_EQ(merged.cookies, "a=1; b=3; c=4");

  Outs unmerged;
  unmerged.cookies = "b=2";
  unmerged.returnedCookies = "";
  (void)DirectHttpRequest(server.Url(), unmerged.Options({.mergeCookies = false}));
  EXPECT_EQ(unmerged.returnedCookies, "a=1; b=3");
  EXPECT_EQ(unmerged.cookies, "b=2");
}

TEST(DirectHttpRequest, ChunkTrailersAreNotResponseHeaders) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  RawServer server(Always(head + "5\r\nhello\r\n0\r\nSet-Cookie: late=1\r\n\r\n"));
  Outs outs;
  outs.returnedCookies = "";
  EXPECT_EQ(DirectHttpRequest(server.Url(), outs.Options()), "hello");
  EXPECT_EQ(outs.responseHeaders, head);
  EXPECT_EQ(outs.returnedCookies, "");
}

TEST(DirectHttpRequest, BrokenBodyKeepsWhatArrived) {
  RawServer server(Always("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n<meta charset=utf-8>\xe6\xb5\xb7"));
  Outs outs;
  EXPECT_EQ(DirectHttpRequest(server.Url(), outs.Options()), GbkFromUtf8("<meta charset=utf-8>\xe6\xb5\xb7"));
  EXPECT_EQ(outs.statusText, "200 OK");
  EXPECT_EQ(outs.responseBody, "<meta charset=utf-8>\xe6\xb5\xb7");
}

TEST(DirectHttpRequest, OversizedBodyIsNotHeld) {
  RawServer server([](const std::string&) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kMaxBodyBytes + 1) + "\r\n\r\n" +
           std::string(kMaxBodyBytes + 1, 'x');
  });
  Outs outs;
  EXPECT_EQ(DirectHttpRequest(server.Url(), outs.Options()), "");
  EXPECT_EQ(outs.statusText, "200 OK");
  EXPECT_EQ(outs.responseBody, "");
}

TEST(DirectHttpRequest, RedirectOnlyToWebAddresses) {
  RawServer server(Always(Response("HTTP/1.1 302 Found", "Location: file:///etc/passwd\r\n", "")));
  Outs outs;
  EXPECT_EQ(DirectHttpRequest(server.Url(), outs.Options()), "");
  EXPECT_EQ(outs.statusText, GbkFromUtf8("712 服务器未响应!"));
  outs.ExpectUntouchedBesidesStatus();
}

TEST(DirectHttpRequest, HttpsWithSelfSignedCertificateAndServerCredentials) {
  LoopbackServer server(LoopbackServer::Scheme::Https);
  server.Handle("/.*", [](const SeenRequest& request) {
    Reply reply;
    reply.body = "auth=" + request.Header("Authorization");
    // Closed after each answer, so that the server need not wait out an idle
    // kept-alive connection when it stops.
    reply.headers = {{"Connection", "close"}};
    return reply;
  });
  const std::string url = server.BaseUrl() + "/secure";
  EXPECT_EQ(DirectHttpRequest(url, {.userName = "user", .password = "pw"}), "auth=Basic dXNlcjpwdw==");
  EXPECT_EQ(DirectHttpRequest(url, {.userName = "user"}), "auth=");
}

TEST(DirectHttpRequest, ProxyWithCredentials) {
  RawServer proxy(Always(Response("HTTP/1.1 200 OK", "", "via proxy")));
  const std::string hostPort = proxy.Host();
  EXPECT_EQ(DirectHttpRequest("http://poster.example/a?b=1",
                              {.proxy = hostPort, .proxyUser = "pu", .proxyPassword = "pp"}),
            "via proxy");
  const std::string request = proxy.LastRequest();
  EXPECT_TRUE(request.starts_with("GET http://poster.example/a?b=1 HTTP/1.1\r\n")) << request;
  EXPECT_NE(request.find("\r\nProxy-Authorization: Basic cHU6cHA=\r\n"), std::string::npos) << request;
}

TEST(DirectHttpRequest, HttpsGoesThroughTheProxyAsATunnel) {
  // The proxy refuses the tunnel; its answer is the response the call reports.
  RawServer proxy(Always(Response("HTTP/1.1 403 Forbidden", "", "")));
  Outs outs;
  EXPECT_EQ(DirectHttpRequest("https://poster.example/a",
                              outs.Options({.proxy = proxy.Host(), .proxyUser = "pu", .proxyPassword = "pp"})),
            "");
  const std::string request = proxy.LastRequest();
  EXPECT_TRUE(request.starts_with("CONNECT poster.example:443 HTTP/1.1\r\n")) << request;
  EXPECT_NE(request.find("\r\nProxy-Authorization: Basic cHU6cHA=\r\n"), std::string::npos) << request;
  EXPECT_EQ(outs.statusText, "403 Forbidden");
}

std::atomic<int> gPumps{0};
void CountPump() { ++gPumps; }

TEST(DirectHttpRequest, PumpsEventsPerHeaderLineAndStage) {
  RawServer server(Always(Response("HTTP/1.1 200 OK", "A: 1\r\nB: 2\r\nC: 3\r\n", "")));
  gPumps = 0;
  SetEventPump(&CountPump);
  (void)DirectHttpRequest(server.Url());
  SetEventPump(nullptr);
  // Seven header lines (status, A, B, C, length, connection, blank), and the stages.
  EXPECT_GT(gPumps.load(), 7);

  gPumps = 0;
  SetEventPump(&CountPump);
  (void)DirectHttpRequest("");
  SetEventPump(nullptr);
  EXPECT_GE(gPumps.load(), 1);
}

}  // namespace
}  // namespace raziriz
