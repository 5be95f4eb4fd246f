#include "net/header_rules.h"

#include <algorithm>

#include "text/extract.h"

namespace raziriz {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kCookieSeparator = "; ";

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Capitalises the first character and each character after a "-", stepping over
// double-byte characters so that their second bytes are never touched.
Text CapitaliseName(std::string_view name) {
  Text out(name);
  bool atWordStart = true;
  for (std::size_t i = 0; i < out.size();) {
    if (IsLead(out[i])) {
      atWordStart = false;
      i += 2;
      continue;
    }
    if (atWordStart) out[i] = UpperAscii(out[i]);
    atWordStart = out[i] == '-';
    ++i;
  }
  return out;
}

Text Join(const TextArray& pieces, std::string_view separator) {
  Text out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out.append(separator);
    out.append(pieces[i]);
  }
  return out;
}

// Trims and ends a cookie text that ends in ";" with "; ", so that a trailing
// separator written without its space still separates.
Text TidyCookieText(std::string_view cookies) {
  Text text = Trim(cookies);
  if (!text.empty() && text.back() == ';') text.push_back(' ');
  return text;
}

bool IsDeleted(std::string_view item) {
  constexpr std::string_view kDeleted = "=deleted";
  return item.size() >= kDeleted.size() && item.substr(item.size() - kDeleted.size()) == kDeleted;
}

}  // namespace

TextArray SplitText(std::string_view text, std::string_view separator) {
  TextArray pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t pos = 0;
  while (pos < text.size()) {
    const int found = FindText(text, separator, static_cast<int>(pos) + 1);
    if (found < 1) break;
    const std::size_t hit = static_cast<std::size_t>(found) - 1;
    pieces.emplace_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  if (pos < text.size()) pieces.emplace_back(text.substr(pos));
  return pieces;
}

Text NormalizeHeaderLines(std::string_view headerText) {
  TextArray lines;
  for (const Text& piece : SplitText(headerText, kCrLf)) {
    const int colon = FindText(piece, ":");
    if (colon < 1) continue;
    const std::size_t nameLength = static_cast<std::size_t>(colon) - 1;
    lines.push_back(CapitaliseName(std::string_view(piece).substr(0, nameLength)) + piece.substr(nameLength));
  }
  return Join(lines, kCrLf);
}

Text CookieName(std::string_view item) {
  const int equals = FindText(item, "=");
  if (equals < 1) return Trim(item);
  return Trim(item.substr(0, static_cast<std::size_t>(equals) - 1));
}

Text JoinDistinct(std::string_view text, std::string_view separator) {
  TextArray kept;
  for (Text& piece : SplitText(text, separator)) {
    if (std::find(kept.begin(), kept.end(), piece) == kept.end()) kept.push_back(std::move(piece));
  }
  return Join(kept, separator);
}

Text MergeCookies(Text& sentCookies, std::string_view receivedCookies) {
  const TextArray sent = SplitText(TidyCookieText(sentCookies), kCookieSeparator);
  TextArray combined = SplitText(TidyCookieText(receivedCookies), kCookieSeparator);

  // Received cookies replace sent ones of the same name; of several sent items
  // with one name only the first is carried over.
  std::vector<Text> names;
  names.reserve(combined.size() + sent.size());
  for (const Text& item : combined) names.push_back(CookieName(item));
  for (const Text& item : sent) {
    Text name = CookieName(item);
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    names.push_back(std::move(name));
    combined.push_back(item);
  }

  TextArray live;
  for (Text& item : combined) {
    if (!IsDeleted(item)) live.push_back(std::move(item));
  }
  sentCookies = JoinDistinct(Join(live, kCookieSeparator), kCookieSeparator);
  return sentCookies;
}

Text HeaderName(std::string_view line) {
  const int colon = FindText(line, ":");
  if (colon < 1) return {};
  return Trim(line.substr(0, static_cast<std::size_t>(colon) - 1));
}

Text HeaderValue(std::string_view line) {
  const int colon = FindText(line, ":");
  if (colon < 1) return {};
  return Trim(line.substr(static_cast<std::size_t>(colon)));
}

}  // namespace raziriz
