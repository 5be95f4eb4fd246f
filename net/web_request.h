#pragma once
// WebRequest: one synchronous HTTP(S) exchange with default headers, header
// tidying, proxy, cookies sent, gathered and merged, and the body returned.

#include <string_view>

#include "net/curl_easy.h"
#include "text/text.h"

namespace raziriz {

// A reusable request object: a libcurl handle kept across calls, with its own
// cookie store, so that cookies one call received go out again on the next call
// through the same object. Nothing else carries over between calls. A
// default-constructed one is usable; `Empty()` makes one that holds no handle, on
// which every step fails. One object is used by one thread at a time.
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

// The response body, decoded when it came compressed; empty when no complete
// response was read, and then `responseHeaders` is empty and `statusCode` 0.
// Error statuses are not failures: a 404 returns its body. Only http and https
// are fetched, also as redirect targets (anything else: empty, status 0); up to
// 10 redirects are followed, then the last answer is taken as it is; a body over
// kMaxBodyBytes is dropped (empty, status and headers as received). The time-out
// bounds getting connected and any stall of the transfer, not its whole length.
// Only when no handle can be created are the out-arguments left untouched.
[[nodiscard]] Bytes WebRequest(std::string_view url, const WebRequestOptions& options = {});

}  // namespace raziriz
