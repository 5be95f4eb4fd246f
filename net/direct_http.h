#pragma once
// DirectHttpRequest: the second HTTP client. Returns the body decoded by the
// charset the page declares, and reports a failing step with a numbered message.

#include <optional>
#include <string>
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
// or empty text when the request failed. Only http and https addresses are
// fetched, also as redirect targets. A body over kMaxBodyBytes is not held: the
// result and `responseBody` are then empty while `statusText` still gets the
// status line. Out-arguments other than `statusText` are written only once a
// response's headers were read; on earlier failures they keep their values.
[[nodiscard]] Text DirectHttpRequest(std::string_view url, const DirectHttpOptions& options = {});

// The steps of DirectHttpRequest that work on plain text, for its tests.
namespace direct_http {

// The time-out in milliseconds used for resolving, connecting, sending and
// receiving: seconds x 1000, or 30000 for 0 and below.
[[nodiscard]] long TimeoutMilliseconds(int timeoutSeconds);

// The method name for its number: 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS,
// 5 DELETE, 6 TRACE, 7 CONNECT; any other number GET.
[[nodiscard]] std::string MethodName(int method);

// Where a request goes: the address split into its parts and put together again
// from scheme, host, port and object name (path plus query; "/" for an empty
// path, so "https://host?a=1" requests "/?a=1"). The fragment is never sent.
struct Target {
  bool https = false;
  std::string host;
  long port = 0;
  std::string objectName;
  std::string requestUrl;
};
// Nothing for an empty or unparsable address, or one that is not http or https.
[[nodiscard]] std::optional<Target> SplitUrl(std::string_view url);

// The request header text: `extraHeaders`, then each default line whose probe
// (case ignored) the text lacks, capitalised names when `normalize`, any
// "Connection: keep-alive" line removed, and the cookies on a Cookie line unless
// the text holds one already.
[[nodiscard]] Text BuildHeaderText(std::string_view extraHeaders, int method, std::string_view cookies,
                                   bool addDefaultHeaders, bool normalize);

// The value of the first line of `headerText` that starts with `name` (exact
// case): the text after the last "name: " in that line; empty without one.
[[nodiscard]] Text FindHeaderValue(std::string_view headerText, std::string_view name);

// What the raw response headers ("HTTP/1.1 200 OK\r\nName: value\r\n...\r\n")
// tell: `statusText` is cut from the 10th byte to the line end; each Set-Cookie
// line's first name=value pair (its whole value without ";") is appended with
// "; " to `returnedCookies`, whose last "; " then goes; `location` takes the
// value of the last Location line. Cookies held on entry are kept in front, with
// a "; " between them and the new ones. Pending window events are pumped after
// each line.
void ReadResponseHeaders(std::string_view rawHeaders, Text& statusText, Text& returnedCookies, Text& location);

// The body as text: up to its first zero byte, or decoded to GBK from the charset
// a meta tag in its first 1024 bytes declares unless that is exactly "gbk" or
// "gb2312". A charset name iconv does not know leaves the body undecoded.
[[nodiscard]] Text DecodeDeclaredCharset(std::string_view body);

}  // namespace direct_http

}  // namespace raziriz
