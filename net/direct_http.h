#pragma once
// DirectHttpRequest: the second HTTP client. Returns the body decoded by the
// charset the page declares, and reports a failing step with a numbered message.

#include <string_view>

#include "text/text.h"

namespace raziriz {

struct DirectHttpOptions {
  int method = 0;  // as WebRequest's table; other values GET
  std::string_view bodyText = {};
  Text* cookies = nullptr;          // in/out; sent when non-empty
  Text* returnedCookies = nullptr;  // in/out: new cookies are appended
  std::string_view extraHeaders = {};
  Text* responseHeaders = nullptr;  // out: raw headers, status line first
  bool noRedirect = false;
  std::string_view userName = {};
  std::string_view password = {};
  std::string_view proxy = {};  // host:port; empty: no proxy
  std::string_view proxyUser = {};
  std::string_view proxyPassword = {};
  int timeoutSeconds = 0;   // 0 or less: 30 s
  Text* location = nullptr;     // out: the Location header's value
  Text* statusText = nullptr;   // out: "200 OK" or the message of the failing step
  Bytes* responseBody = nullptr;  // out: the raw body
  bool mergeCookies = true;
  bool addDefaultHeaders = true;
  std::string_view bodyBytes = {};
  bool normalizeHeaders = true;
};

// The response body as GBK text (decoded from the charset its meta tag declares),
// or empty text when the request failed.
[[nodiscard]] Text DirectHttpRequest(std::string_view url, const DirectHttpOptions& options = {});

}  // namespace raziriz
