#include "net/web_request.h"

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "net/header_rules.h"
#include "text/extract.h"

namespace raziriz {
namespace {

constexpr std::array<const char*, 8> kMethodNames = {"GET",     "POST",   "HEAD",  "PUT",
                                                     "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int kPost = 1;
constexpr int kHead = 2;
constexpr long kDefaultTimeoutSeconds = 15;
// Redirects followed before the last answer is taken as it is: ends a loop.
constexpr long kMaxRedirects = 10;

constexpr std::string_view kCrLf = "\r\n";

// `text` with every occurrence of `needle` removed, letter case ignored, scanning
// left to right once.
Text RemoveIgnoringCase(std::string_view text, std::string_view needle) {
  Text out;
  int from = 1;
  for (;;) {
    const int found = FindText(text, needle, from, /*ignoreCase=*/true);
    if (found < 0) break;
    out.append(text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(found - from)));
    from = found + static_cast<int>(needle.size());
  }
  if (static_cast<std::size_t>(from - 1) < text.size()) out.append(text.substr(static_cast<std::size_t>(from - 1)));
  return out;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view needle) {
  return FindText(text, needle, 1, /*ignoreCase=*/true) > 0;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

Text Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Text out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// The request headers in the order they were set. Setting a name again (letter
// case ignored) replaces the value in its first place, as a request object does.
class RequestHeaders {
 public:
  void Set(std::string_view name, std::string_view value) {
    // A header the wire cannot carry (no name, or a line break or zero byte that
    // would smuggle in another header or cut the line) is refused.
    if (name.empty() || HasLineBreak(name) || HasLineBreak(value)) return;
    for (auto& [known, knownValue] : headers_) {
      if (EqualsIgnoringCase(known, name)) {
        knownValue = Text(value);
        return;
      }
    }
    headers_.emplace_back(Text(name), Text(value));
  }

  [[nodiscard]] bool Has(std::string_view name) const {
    for (const auto& entry : headers_) {
      if (EqualsIgnoringCase(entry.first, name)) return true;
    }
    return false;
  }

  // The libcurl lists: headers for the server, and those meant for a proxy only
  // (`Proxy-Authorization` when a proxy is set, so it never reaches the server
  // through a tunnel). libcurl's own defaults that the caller's side did not ask
  // for are switched off, so only the headers set here plus Host, Content-Length
  // and Accept-Encoding go on the wire.
  void Build(bool viaProxy, CurlHeaderList& server, CurlHeaderList& proxy) const {
    for (const auto& [name, value] : headers_) {
      const bool forProxy = viaProxy && EqualsIgnoringCase(name, "Proxy-Authorization");
      // libcurl drops a "Name:" line with nothing after the colon; "Name;" is its
      // way to send a header with an empty value.
      const bool blank = value.find_first_not_of(" \t") == Text::npos;
      const Text line = blank ? name + ";" : name + ": " + value;
      Append(forProxy ? proxy : server, line);
    }
    if (!Has("Accept")) Append(server, "Accept:");
    if (!Has("Content-Type")) Append(server, "Content-Type:");
    if (!Has("Expect")) Append(server, "Expect:");
  }

 private:
  static bool HasLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
  }

  static void Append(CurlHeaderList& list, const Text& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) return;
    (void)list.release();
    list.reset(grown);
  }

  std::vector<std::pair<Text, Text>> headers_;
};

// The header text to send: the caller's lines, the missing defaults, then tidied.
Text BuildHeaderText(std::string_view url, int methodIndex, const WebRequestOptions& options) {
  Text text(options.extraHeaders);
  if (options.addDefaultHeaders) {
    auto addIfMissing = [&text](std::string_view marker, std::string_view line) {
      if (ContainsIgnoringCase(text, marker)) return;
      text.append(kCrLf);
      text.append(line);
    };
    addIfMissing("Accept:", "Accept: */*");
    addIfMissing("Referer:", Text("Referer: ") + Text(url));
    addIfMissing("Accept-Language:", "Accept-Language: zh-cn");
    addIfMissing("User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
    if (methodIndex == kPost) addIfMissing("Content-Type:", "Content-Type: application/x-www-form-urlencoded");
  }
  if (options.normalizeHeaders) text = NormalizeHeaderLines(text);
  return text;
}

void SetHeaderLines(std::string_view text, RequestHeaders& headers) {
  if (text.find(kCrLf) == std::string_view::npos) {
    if (!text.empty()) headers.Set(HeaderName(text), HeaderValue(text));
    return;
  }
  for (const Text& piece : SplitText(text, kCrLf)) {
    if (piece.empty()) continue;
    const Text name = HeaderName(piece);
    const Text value = HeaderValue(piece);
    // The request object keeps its connection alive on its own; the caller's
    // exact "Connection: keep-alive" line is left out, any other spelling is sent.
    if (name == "Connection" && value == "keep-alive") continue;
    headers.Set(name, value);
  }
}

// The name=value items of the "Set-Cookie" lines, joined by "; ". The name must be
// exactly "Set-Cookie" followed by ": "; attributes after the first ";" are dropped.
Text GatherSetCookies(std::string_view responseHeaders) {
  Text gathered;
  for (const Text& line : SplitText(responseHeaders, kCrLf)) {
    if (TextLeftOf(line, ": ") != "Set-Cookie") continue;
    const Text item = line.find(';') != Text::npos ? TextBetween(line, "Set-Cookie:", ";")
                                                   : RemoveIgnoringCase(line, "Set-Cookie:");
    gathered += Trim(item);
    gathered += "; ";
  }
  if (gathered.ends_with("; ")) gathered.resize(gathered.size() - 2);
  return gathered;
}

// The header lines of the latest response: a new status line (after a redirect,
// a 100 Continue or a proxy's CONNECT answer) starts the collection again, and
// also drops any body bytes that belonged to an earlier response.
struct HeaderSink {
  Text lines;
  BodySink* body = nullptr;

  static std::size_t Write(char* data, std::size_t size, std::size_t count, void* sink) {
    auto* self = static_cast<HeaderSink*>(sink);
    const std::size_t length = size * count;
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      self->lines.clear();
      if (self->body != nullptr && !self->body->tooLarge) self->body->body.clear();
    } else if (!line.empty()) {
      if (!self->lines.empty()) self->lines.append(kCrLf);
      self->lines.append(line);
    }
    return length;
  }
};

struct Exchange {
  Bytes body;
  Text headers;
  int status = 0;
};

// A handle with its own cookie store switched on: cookies set during an exchange
// (on a redirect) go along with the next hop, and a kept request object keeps
// them for its next call. The store is switched on once per handle.
CurlEasy NewHandle() {
  CurlEasy handle(curl_easy_init());
  if (handle) curl_easy_setopt(handle.get(), CURLOPT_COOKIEFILE, "");
  return handle;
}

// Sets every option of one exchange on `handle`, each call all of them (a kept
// handle must not carry a setting over from its last call), and performs it. The
// lists and buffers the handle points to live in this frame and are unhooked
// before returning. (curl_easy_reset is avoided: it would also leak the cookie
// store's file list.)
Exchange Perform(CURL* handle, std::string_view url, int methodIndex, const RequestHeaders& headers,
                 const WebRequestOptions& options) {
  Exchange result;
  if (handle == nullptr) return result;

  ApplyCommonOptions(handle);
  // The response header lines are gathered by name with case, which the lower-case
  // names of HTTP/2 would defeat.
  curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));

  // Resolve and connect: a time-out for getting connected. Send and receive: a
  // stall of that long ends the exchange, while a slow transfer that keeps moving
  // runs to its end. -1 keeps libcurl's own (zeros).
  long seconds = 0;
  if (options.timeoutSeconds != -1) {
    seconds = options.timeoutSeconds >= 1 ? options.timeoutSeconds : kDefaultTimeoutSeconds;
  }
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, seconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, seconds > 0 ? 1L : 0L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, seconds);

  const Text urlText(url);
  curl_easy_setopt(handle, CURLOPT_URL, urlText.c_str());

  const Text proxyText(options.proxy);
  const bool viaProxy = !proxyText.empty();
  // No proxy given: libcurl's defaults (the proxy environment variables) apply.
  // A named proxy carries every address, loopback included, whatever no_proxy says.
  curl_easy_setopt(handle, CURLOPT_PROXY, viaProxy ? proxyText.c_str() : nullptr);
  curl_easy_setopt(handle, CURLOPT_NOPROXY, viaProxy ? "" : nullptr);

  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, options.noRedirect ? 0L : 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);

  // Credentials are answered to a challenge, in the scheme asked for.
  const Text user(options.proxyUser);
  const Text password(options.proxyPassword);
  const bool withCredentials = viaProxy && !user.empty();
  const bool forProxy = withCredentials && options.credentialTarget == 1;
  const bool forServer = withCredentials && options.credentialTarget == 0;
  curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, forProxy ? user.c_str() : nullptr);
  curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, forProxy ? password.c_str() : nullptr);
  curl_easy_setopt(handle, CURLOPT_PROXYAUTH, static_cast<long>(forProxy ? CURLAUTH_ANY : CURLAUTH_BASIC));
  curl_easy_setopt(handle, CURLOPT_USERNAME, forServer ? user.c_str() : nullptr);
  curl_easy_setopt(handle, CURLOPT_PASSWORD, forServer ? password.c_str() : nullptr);
  curl_easy_setopt(handle, CURLOPT_HTTPAUTH, static_cast<long>(forServer ? CURLAUTH_ANY : CURLAUTH_BASIC));

  CurlHeaderList serverHeaders;
  CurlHeaderList proxyHeaders;
  headers.Build(viaProxy, serverHeaders, proxyHeaders);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, serverHeaders.get());
  curl_easy_setopt(handle, CURLOPT_PROXYHEADER, proxyHeaders.get());
  curl_easy_setopt(handle, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));

  const std::string_view body = !options.bodyBytes.empty() ? options.bodyBytes : options.bodyText;
  // Back to a plain GET first, then the method's own settings.
  curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, nullptr);
  if (methodIndex == kHead) {
    curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  } else if (methodIndex == kPost || !body.empty()) {
    // An empty POST still says "Content-Length: 0".
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    if (methodIndex != kPost) curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, kMethodNames[methodIndex]);
  } else if (methodIndex != 0) {
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, kMethodNames[methodIndex]);
  }

  BodySink bodySink;
  bodySink.handle = handle;
  HeaderSink headerSink;
  headerSink.body = &bodySink;
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &BodySink::Write);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &bodySink);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &HeaderSink::Write);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &headerSink);

  const CURLcode code = curl_easy_perform(handle);
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(handle, CURLOPT_PROXYHEADER, nullptr);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, nullptr);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, nullptr);

  if (code == CURLE_OK) {
    result.body = std::move(bodySink.body);
  } else if (bodySink.tooLarge) {
    // Too large to hold: the body is dropped, what the response said is kept.
  } else if (code == CURLE_TOO_MANY_REDIRECTS) {
    // A redirect loop ends at libcurl's limit with what the last response gave.
    result.body = std::move(bodySink.body);
  } else {
    // No complete response: a refused or stalled connection, a forbidden scheme
    // (also as a redirect target), a stop request.
    return result;
  }
  result.headers = std::move(headerSink.lines);
  result.status = static_cast<int>(status);
  return result;
}

}  // namespace

RequestObject::RequestObject() : handle_(NewHandle()) {}

RequestObject RequestObject::Empty() { return RequestObject(CurlEasy()); }

Bytes WebRequest(std::string_view url, const WebRequestOptions& options) {
  int methodIndex = options.method;
  if (methodIndex < 0 || methodIndex > 7) methodIndex = 0;

  CurlEasy ownHandle;
  CURL* handle = nullptr;
  if (options.requestObject != nullptr) {
    handle = options.requestObject->handle();
  } else {
    ownHandle = NewHandle();
    // Nothing to send with: the caller's variables stay as they were.
    if (!ownHandle) return {};
    handle = ownHandle.get();
  }

  const Text headerText = BuildHeaderText(url, methodIndex, options);
  RequestHeaders headers;

  if (!options.proxy.empty() && !options.proxyUser.empty() && options.credentialTarget == 1) {
    headers.Set("Proxy-Authorization", "Basic " + Base64(Text(options.proxyUser) + ":" + Text(options.proxyPassword)));
  }

  if (options.cookies != nullptr) {
    Text& cookies = *options.cookies;
    if (!cookies.empty() && ContainsIgnoringCase(cookies, "Cookie:")) cookies = RemoveIgnoringCase(cookies, "Cookie:");
    headers.Set("Cookie", cookies);
  }

  SetHeaderLines(headerText, headers);

  Exchange exchange = Perform(handle, url, methodIndex, headers, options);

  Text returnedCookies = GatherSetCookies(exchange.headers);
  if (options.responseHeaders != nullptr) *options.responseHeaders = std::move(exchange.headers);
  if (options.statusCode != nullptr) *options.statusCode = exchange.status;
  if (options.mergeCookies && options.cookies != nullptr) returnedCookies = MergeCookies(*options.cookies, returnedCookies);
  if (options.returnedCookies != nullptr) *options.returnedCookies = std::move(returnedCookies);
  return std::move(exchange.body);
}

}  // namespace raziriz
