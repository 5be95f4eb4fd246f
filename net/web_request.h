#pragma once
// WebRequest: one synchronous HTTP(S) exchange with default headers, header
// tidying, proxy, cookies sent, gathered and merged, and the body returned.

#include <string_view>

#include "net/curl_easy.h"
#include "text/text.h"

namespace raziriz {

// A reusable request object: a libcurl handle kept across calls so that its
// connection can be reused. A default-constructed one is usable; `Empty()` makes
// one that holds no handle, on which every step fails.
class RequestObject {
 public:
  RequestObject();
  [[nodiscard]] static RequestObject Empty();
  [[nodiscard]] CURL* handle() const { return handle_.get(); }

 private:
  explicit RequestObject(CurlEasy handle) : handle_(std::move(handle)) {}
  CurlEasy handle_;
};

struct WebRequestOptions {
  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; other values GET.
  int method = 0;
  std::string_view bodyText = {};
  // Supplied (non-null), even empty: sent as the Cookie header; every "Cookie:"
  // is removed from the caller's text before sending and the merged cookies are
  // written back after the exchange when mergeCookies is on.
  Text* cookies = nullptr;
  Text* returnedCookies = nullptr;  // out: Set-Cookie items joined by "; "
  std::string_view extraHeaders = {};    // CR LF separated header lines
  Text* responseHeaders = nullptr;  // out: "Name: value" lines joined by CR LF
  int* statusCode = nullptr;        // out: 0 when no response was read
  bool noRedirect = false;
  std::string_view bodyBytes = {};  // wins over bodyText when non-empty
  std::string_view proxy = {};      // empty: the call sets no proxy (libcurl's defaults apply)
  // -1 leaves libcurl's own; 1 and above that many seconds; anything else 15 s.
  int timeoutSeconds = 0;
  std::string_view proxyUser = {};
  std::string_view proxyPassword = {};
  int credentialTarget = 1;  // 1 proxy, 0 server
  RequestObject* requestObject = nullptr;
  bool mergeCookies = true;
  bool addDefaultHeaders = true;
  bool normalizeHeaders = true;
};

// The response body; empty when no response was read. Error statuses are not
// failures: a 404 returns its body.
[[nodiscard]] Bytes WebRequest(std::string_view url, const WebRequestOptions& options = {});

}  // namespace raziriz
