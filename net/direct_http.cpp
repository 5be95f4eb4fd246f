#include "net/direct_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "net/curl_easy.h"
#include "net/header_rules.h"
#include "text/charset.h"
#include "text/event_hook.h"
#include "text/extract.h"
#include "text/regex_matcher.h"

namespace raziriz {
namespace {

constexpr std::string_view kCrLf = "\r\n";
// As many redirects as the system's HTTP layer follows by default.
constexpr long kMaxRedirects = 10;
// Far beyond any real response's headers; a server that sends headers without
// end is cut off here instead of filling the memory.
constexpr std::size_t kMaxHeaderBytes = 1024 * 1024;

// The failure messages, in the program's encoding.
struct Messages {
  Text badUrl = GbkFromUtf8("701 解析URL地址失败!");
  Text noSession = GbkFromUtf8("702 创建WinHttp会话失败!");
  Text noConnection = GbkFromUtf8("703 创建WinHttp连接失败!");
  Text noRequest = GbkFromUtf8("704 创建WinHttp请求失败!");
  Text noTimeouts = GbkFromUtf8("705 设置超时时间失败!");
  Text noCredentials = GbkFromUtf8("707 设置代理凭证失败!");
  Text noCertificateFlags = GbkFromUtf8("忽略错误/证书错误  失败！");
  Text noCookieSetting = GbkFromUtf8("708 禁止自动设置Cookies失败!");
  Text noRedirectSetting = GbkFromUtf8("709 重定向设置失败!");
  Text noHeaders = GbkFromUtf8("710 设置协议头失败!");
  Text sendFailed = GbkFromUtf8("711 发送请求失败!");
  Text noResponse = GbkFromUtf8("712 服务器未响应!");
  Text readFailed = GbkFromUtf8("713 读取数据失败!");
};

const Messages& Message() {
  static const Messages messages;
  return messages;
}

struct CurlUrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};

// One part of a parsed address; nothing when the part is absent.
std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned int flags = 0) {
  char* raw = nullptr;
  if (curl_url_get(url, part, &raw, flags) != CURLUE_OK || raw == nullptr) return std::nullopt;
  const std::unique_ptr<char, CurlTextDeleter> owned(raw);
  return std::string(raw);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    char b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

// `text` without any "Set-Cookie:", matched regardless of case.
Text RemoveSetCookieMarkers(std::string_view text) {
  constexpr std::string_view kMarker = "Set-Cookie:";
  Text out;
  int from = 1;
  while (true) {
    const int found = FindText(text, kMarker, from, true);
    if (found < 0) break;
    out.append(text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(found - from)));
    from = found + static_cast<int>(kMarker.size());
  }
  if (static_cast<std::size_t>(from - 1) < text.size()) out.append(text.substr(static_cast<std::size_t>(from - 1)));
  return out;
}

// Pending window events are processed once for every stage the request entered,
// as the stages end, and once more at the common end.
class StagePumps {
 public:
  StagePumps() = default;
  StagePumps(const StagePumps&) = delete;
  StagePumps& operator=(const StagePumps&) = delete;
  ~StagePumps() {
    for (int i = 0; i <= stages_; ++i) PumpEvents();
  }
  void Enter() { ++stages_; }
  // The request leaves at once: nothing is pumped.
  void Cancel() { stages_ = -1; }

 private:
  int stages_ = 0;
};

// The raw headers of the latest response, CR LF line ends whatever the server
// used. A new status line (after a followed redirect, a "100 Continue" or a proxy
// tunnel's answer) starts them afresh, so only the final response remains; the
// trailers of a chunked body are not response headers and are left out.
struct HeaderCollector {
  Text raw;
  bool seenStatus = false;
  bool complete = false;

  static std::size_t Write(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* self = static_cast<HeaderCollector*>(userData);
    const std::size_t length = size * count;
    std::string_view line(data, length);
    if (line.starts_with("HTTP/")) {
      self->raw.clear();
      self->seenStatus = true;
      self->complete = false;
    } else if (self->complete) {
      return length;
    }
    if (self->raw.size() + line.size() > kMaxHeaderBytes) return 0;  // ends the transfer
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    self->raw.append(line);
    self->raw.append(kCrLf);
    if (line.empty()) self->complete = true;
    return length;
  }
};

// The status code of a raw header block ("HTTP/1.1 302 Found" gives 302), 0 when
// it has none.
long StatusCode(std::string_view rawHeaders) {
  const std::size_t space = rawHeaders.find(' ');
  if (space == std::string_view::npos || rawHeaders.size() < space + 4) return 0;
  long code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    const char c = rawHeaders[i];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code;
}

// Whether libcurl leaves a response behind to follow its Location.
bool IsFollowedRedirect(std::string_view rawHeaders, bool following) {
  if (!following) return false;
  const long code = StatusCode(rawHeaders);
  if (code < 300 || code > 399 || code == 304) return false;
  for (const Text& line : SplitText(rawHeaders, kCrLf)) {
    if (StartsWithIgnoringCase(line, "Location:")) return true;
  }
  return false;
}

// The message for a transfer that ended before a final response's headers were
// read: failing to reach the server or to hand it the request is a failed send;
// a server that took the request and did not answer it has not responded.
const Text& TransferFailure(CURL* handle, CURLcode code, bool anyResponse) {
  if (anyResponse) return Message().noResponse;  // a redirect hop answered, its target did not
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return Message().sendFailed;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK: {
      curl_off_t readyToSend = 0;
      curl_easy_getinfo(handle, CURLINFO_PRETRANSFER_TIME_T, &readyToSend);
      return readyToSend > 0 ? Message().noResponse : Message().sendFailed;
    }
    default:
      return Message().noResponse;
  }
}

// The header text as the separate lines libcurl sends, plus the blanks that keep
// libcurl from adding headers of its own that the text does not hold.
struct HeaderLines {
  CurlHeaderList list;
  bool hasAcceptEncoding = false;
  bool ok = true;
};

HeaderLines ToHeaderLines(std::string_view headerText, bool sendsBody) {
  HeaderLines result;
  bool hasAccept = false;
  bool hasContentType = false;
  bool hasExpect = false;
  auto append = [&result](const std::string& line) {
    curl_slist* grown = curl_slist_append(result.list.get(), line.c_str());
    if (grown == nullptr) {
      result.ok = false;
      return;
    }
    (void)result.list.release();
    result.list.reset(grown);
  };
  for (const Text& line : SplitText(headerText, kCrLf)) {
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    std::string sent = line;
    if (colon != std::string::npos) {
      const std::string_view name = std::string_view(line).substr(0, colon);
      hasAccept = hasAccept || EqualsIgnoringCase(name, "Accept");
      result.hasAcceptEncoding = result.hasAcceptEncoding || EqualsIgnoringCase(name, "Accept-Encoding");
      hasContentType = hasContentType || EqualsIgnoringCase(name, "Content-Type");
      hasExpect = hasExpect || EqualsIgnoringCase(name, "Expect");
      // libcurl reads "Name:" with nothing after it as "do not send Name"; the
      // line is meant to be sent with an empty value, which it writes "Name;".
      if (line.find_first_not_of(" \t", colon + 1) == std::string::npos) sent = Text(name) + ";";
    }
    append(sent);
  }
  if (!hasAccept) append("Accept:");
  if (sendsBody && !hasContentType) append("Content-Type:");
  if (!hasExpect) append("Expect:");
  return result;
}

// The body as text, decoded by the charset its first 1024 bytes declare. Takes
// the body over: a page that needs no decoding becomes the text without a copy.
Text DecodeBody(Bytes body) {
  const std::size_t zero = body.find('\0');
  const std::string_view text = std::string_view(body).substr(0, zero);
  RegexMatcher matcher;
  Text declared;
  if (matcher.Execute("<meta.+?charset=[^\\w]?([-\\w]+)", text.substr(0, 1024))) {
    declared = matcher.SubMatchText(1, 1);
  }
  if (!declared.empty() && declared != "gbk" && declared != "gb2312") {
    Bytes decoded = ConvertCharset(body, declared, "GBK");
    // A name iconv does not know leaves the page as it came.
    if (!decoded.empty()) {
      decoded.resize(std::min(decoded.size(), decoded.find('\0')));
      return decoded;
    }
  }
  if (zero != Bytes::npos) body.resize(zero);
  return body;
}

}  // namespace

namespace direct_http {

long TimeoutMilliseconds(int timeoutSeconds) {
  return timeoutSeconds > 0 ? static_cast<long>(timeoutSeconds) * 1000 : 30000;
}

std::string MethodName(int method) {
  static constexpr std::array<const char*, 8> kNames = {"GET",     "POST",   "HEAD",  "PUT",
                                                        "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  if (method < 0 || method >= static_cast<int>(kNames.size())) return "GET";
  return kNames[static_cast<std::size_t>(method)];
}

std::optional<Target> SplitUrl(std::string_view url) {
  if (url.empty()) return std::nullopt;
  CurlUrl parsed(curl_url());
  if (!parsed) return std::nullopt;
  // The path is taken as written: "." and ".." segments go to the server as they are.
  if (curl_url_set(parsed.get(), CURLUPART_URL, std::string(url).c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    return std::nullopt;
  }
  const std::optional<std::string> scheme = UrlPart(parsed.get(), CURLUPART_SCHEME);
  const std::optional<std::string> host = UrlPart(parsed.get(), CURLUPART_HOST);
  const std::optional<std::string> port = UrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (!scheme || !host || !port || host->empty()) return std::nullopt;
  if (*scheme != "http" && *scheme != "https") return std::nullopt;

  Target target;
  target.https = *scheme == "https";
  target.host = *host;
  target.port = std::strtol(port->c_str(), nullptr, 10);
  target.objectName = UrlPart(parsed.get(), CURLUPART_PATH).value_or("");
  if (target.objectName.empty()) target.objectName = "/";
  // The query goes with the object name even when the path is empty.
  if (const std::optional<std::string> query = UrlPart(parsed.get(), CURLUPART_QUERY)) {
    target.objectName += "?" + *query;
  }
  // A port written in the address stays in it; a default one is left implied, so
  // that a proxy sees the address as the page gave it.
  const std::optional<std::string> givenPort = UrlPart(parsed.get(), CURLUPART_PORT);
  target.requestUrl = *scheme + "://" + target.host + (givenPort ? ":" + *givenPort : "") + target.objectName;
  return target;
}

Text FindHeaderValue(std::string_view headerText, std::string_view name) {
  for (const Text& line : SplitText(headerText, kCrLf)) {
    if (!std::string_view(line).starts_with(name)) continue;
    const std::string marker = std::string(name) + ": ";
    const std::size_t at = line.rfind(marker);
    if (at == std::string::npos) return {};
    return line.substr(at + marker.size());
  }
  return {};
}

Text BuildHeaderText(std::string_view extraHeaders, int method, std::string_view cookies, bool addDefaultHeaders,
                     bool normalize) {
  struct DefaultLine {
    std::string_view probe;
    std::string_view line;
    bool postOnly;
  };
  static constexpr std::array<DefaultLine, 6> kDefaults = {{
      {"User-Agent: ", "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n",
       false},
      {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
      {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312\r\n", false},
      {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
      {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
      {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
  }};

  Text header;
  if (!extraHeaders.empty()) {
    header.append(extraHeaders);
    header.append(kCrLf);
  }
  if (addDefaultHeaders) {
    for (const DefaultLine& row : kDefaults) {
      if (row.postOnly && method != 1) continue;
      if (FindText(header, row.probe, 1, true) < 0) header.append(row.line);
    }
  }
  if (normalize) header = NormalizeHeaderLines(header);
  if (header.find("Connection") != Text::npos && FindHeaderValue(header, "Connection") == "keep-alive") {
    header = ReplaceAll(header, "Connection: keep-alive\r\n", "");
  }
  if (FindText(header, "Cookie:", 1, true) < 0 && !cookies.empty()) {
    if (FindText(cookies, "Cookie:", 1, true) >= 0) {
      header.append(kCrLf);
    } else {
      header.append("\r\nCookie: ");
    }
    header.append(cookies);
    header.append(kCrLf);
  }
  return header;
}

void ReadResponseHeaders(std::string_view rawHeaders, Text& statusText, Text& returnedCookies, Text& location) {
  statusText.clear();
  if (rawHeaders.size() >= 10) {
    const std::size_t end = rawHeaders.find(kCrLf, 9);
    if (end != std::string_view::npos) statusText = Text(rawHeaders.substr(9, end - 9));
  }
  // Cookies held on entry that do not end in a separator get one, so that the
  // first new cookie does not run into the last old one.
  if (!returnedCookies.empty() && !returnedCookies.ends_with("; ")) {
    returnedCookies.append(returnedCookies.ends_with(';') ? " " : "; ");
  }
  for (const Text& line : SplitText(rawHeaders, kCrLf)) {
    if (TextLeftOf(line, ": ") == "Set-Cookie") {
      const Text cookie =
          line.find(';') != Text::npos ? TextBetween(line, "Set-Cookie:", ";") : RemoveSetCookieMarkers(line);
      returnedCookies.append(Trim(cookie));
      returnedCookies.append("; ");
    }
    if (StartsWithIgnoringCase(line, "Location: ")) location = line.substr(10);
    PumpEvents();
  }
  if (returnedCookies.ends_with("; ")) returnedCookies.resize(returnedCookies.size() - 2);
}

Text DecodeDeclaredCharset(std::string_view body) { return DecodeBody(Bytes(body)); }

}  // namespace direct_http

namespace {

// Basic credentials for the server or the proxy, set only when both the user and
// the password are given. False when libcurl refuses them.
bool SetBasicCredentials(CURL* curl, CURLoption userOption, CURLoption passwordOption, CURLoption authOption,
                         std::string_view user, std::string_view password) {
  if (user.empty() || password.empty()) return true;
  return curl_easy_setopt(curl, userOption, std::string(user).c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, passwordOption, std::string(password).c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, authOption, static_cast<long>(CURLAUTH_BASIC)) == CURLE_OK;
}

}  // namespace

Text DirectHttpRequest(std::string_view url, const DirectHttpOptions& options) {
  const Messages& message = Message();
  Text ignoredStatus;
  Text& statusText = options.statusText != nullptr ? *options.statusText : ignoredStatus;
  const std::string_view cookies =
      options.cookies != nullptr ? std::string_view(*options.cookies) : std::string_view();

  StagePumps pumps;

  pumps.Enter();
  const std::optional<direct_http::Target> target = direct_http::SplitUrl(url);
  if (!target) {
    statusText = message.badUrl;
    return {};
  }

  pumps.Enter();
  const CurlEasy handle(curl_easy_init());
  if (!handle) {
    statusText = message.noSession;
    return {};
  }
  CURL* curl = handle.get();
  ApplyCommonOptions(curl);
  // The status text is cut from the status line at a fixed place, which only an
  // HTTP/1.x status line fits.
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // The proxy is given as host and port and spoken to in plain HTTP; https
  // addresses go through it as a tunnel. Without one, no proxy from the
  // environment is used either.
  const std::string proxyUrl = options.proxy.empty() ? std::string() : "http://" + std::string(options.proxy);
  if (curl_easy_setopt(curl, CURLOPT_PROXY, proxyUrl.c_str()) != CURLE_OK) {
    statusText = message.noSession;
    return {};
  }

  // The time-out bounds resolving and connecting together, and each wait for the
  // next bytes: a transfer stalled that long ends, a slow but moving one does not.
  pumps.Enter();
  const long timeoutMs = direct_http::TimeoutMilliseconds(options.timeoutSeconds);
  if (curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, (timeoutMs + 999) / 1000) != CURLE_OK) {
    statusText = message.noTimeouts;
    return {};
  }

  pumps.Enter();
  if (curl_easy_setopt(curl, CURLOPT_URL, target->requestUrl.c_str()) != CURLE_OK) {
    statusText = message.noConnection;
    return {};
  }

  pumps.Enter();
  const int method = options.method;
  const std::string methodName = direct_http::MethodName(method);
  const std::string_view body = !options.bodyBytes.empty() ? options.bodyBytes : options.bodyText;
  const bool sendsBody = !body.empty() || methodName == "POST" || methodName == "PUT";
  bool requestOk = true;
  if (methodName == "HEAD") {
    requestOk = curl_easy_setopt(curl, CURLOPT_NOBODY, 1L) == CURLE_OK;
  } else if (sendsBody) {
    requestOk = curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) ==
                    CURLE_OK &&
                curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data()) == CURLE_OK;
    if (requestOk && methodName != "POST") {
      requestOk = curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, methodName.c_str()) == CURLE_OK;
    }
  } else if (methodName != "GET") {
    requestOk = curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, methodName.c_str()) == CURLE_OK;
  }
  if (!requestOk) {
    statusText = message.noRequest;
    return {};
  }

  // A failing setting from here to the header text leaves at once, without the
  // stage pumps.
  if (!SetBasicCredentials(curl, CURLOPT_USERNAME, CURLOPT_PASSWORD, CURLOPT_HTTPAUTH, options.userName,
                           options.password) ||
      !SetBasicCredentials(curl, CURLOPT_PROXYUSERNAME, CURLOPT_PROXYPASSWORD, CURLOPT_PROXYAUTH,
                           options.proxyUser, options.proxyPassword)) {
    statusText = message.noCredentials;
    pumps.Cancel();
    return {};
  }
  // Certificate problems are ignored on every request; the common options already
  // say so, this makes a refusal visible.
  if (curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L) != CURLE_OK) {
    statusText = message.noCertificateFlags;
    pumps.Cancel();
    return {};
  }
  // With cookies to send, cookies that a redirecting response sets are kept and
  // sent on to its target; without, libcurl neither keeps nor sends any.
  if (!cookies.empty() && curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "") != CURLE_OK) {
    statusText = message.noCookieSetting;
    pumps.Cancel();
    return {};
  }
  if (curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, options.noRedirect ? 0L : 1L) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) != CURLE_OK) {
    statusText = message.noRedirectSetting;
    pumps.Cancel();
    return {};
  }

  pumps.Enter();
  const Text headerText = direct_http::BuildHeaderText(options.extraHeaders, method, cookies,
                                                       options.addDefaultHeaders, options.normalizeHeaders);
  HeaderLines lines = ToHeaderLines(headerText, sendsBody);
  // The header text says which encodings are acceptable; libcurl offers none of
  // its own. When the text offers some, an answer compressed with gzip or deflate
  // is still decoded, so the page comes back as text.
  const bool headersOk =
      lines.ok && curl_easy_setopt(curl, CURLOPT_HTTPHEADER, lines.list.get()) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, lines.hasAcceptEncoding ? "" : nullptr) == CURLE_OK;
  if (!headersOk) {
    statusText = message.noHeaders;
    return {};
  }

  pumps.Enter();
  HeaderCollector headers;
  BodySink sink;
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HeaderCollector::Write);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &BodySink::Write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  const CURLcode result = curl_easy_perform(curl);
  const bool finalResponse = headers.complete && !IsFollowedRedirect(headers.raw, !options.noRedirect);
  if (result != CURLE_OK && !finalResponse) {
    statusText = TransferFailure(curl, result, headers.seenStatus);
    return {};
  }
  // The answer's headers arrived but its body did not come whole: what was read
  // is kept and the road goes on.
  if (result != CURLE_OK) statusText = message.readFailed;

  pumps.Enter();
  Text returnedCookies = options.returnedCookies != nullptr ? *options.returnedCookies : Text();
  Text location = options.location != nullptr ? *options.location : Text();
  direct_http::ReadResponseHeaders(headers.raw, statusText, returnedCookies, location);
  if (options.mergeCookies && options.cookies != nullptr && !options.cookies->empty()) {
    returnedCookies = MergeCookies(*options.cookies, returnedCookies);
  }
  if (options.responseHeaders != nullptr) *options.responseHeaders = headers.raw;
  if (options.returnedCookies != nullptr) *options.returnedCookies = returnedCookies;
  if (options.location != nullptr) *options.location = location;

  pumps.Enter();
  if (options.responseBody != nullptr) *options.responseBody = sink.body;
  return DecodeBody(std::move(sink.body));
}

}  // namespace raziriz
