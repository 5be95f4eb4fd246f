#include "text/unicode_escape.h"

#include <optional>
#include <string>

#include "text/charset.h"

namespace raziriz {
namespace {

// The texts that stand in for what a single-quoted script literal cannot carry:
// "{$}" for CR LF and the GBK right single quotation mark for an apostrophe.
constexpr std::string_view kLineBreakHolder = "{$}";
constexpr std::string_view kApostropheHolder = "\xA1\xAF";

bool IsGbkLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Replaces `from` by `to` at character boundaries only, so that a double-byte
// character whose second byte happens to be "\" or "}" is never split.
Text ReplaceWhole(std::string_view text, std::string_view from, std::string_view to) {
  Text out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.substr(i).starts_with(from)) {
      out += to;
      i += from.size();
      continue;
    }
    const std::size_t length = IsGbkLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

bool IsHex(char16_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexValue(char16_t c) {
  if (c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// The value of `digits` hexadecimal digits at `at`, or nothing.
std::optional<char16_t> HexAt(const std::u16string& s, std::size_t at, std::size_t digits) {
  if (at + digits > s.size()) return std::nullopt;
  unsigned value = 0;
  for (std::size_t k = 0; k < digits; ++k) {
    if (!IsHex(s[at + k])) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(HexValue(s[at + k]));
  }
  return static_cast<char16_t>(value);
}

bool IsLineTerminator(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029; }
bool IsOctal(char16_t c) { return c >= '0' && c <= '7'; }

// The value of a single-quoted script string literal whose body is `body`, or
// nothing when such a literal does not parse (the statement then fails).
std::optional<std::u16string> StringLiteralValue(const std::u16string& body) {
  std::u16string out;
  out.reserve(body.size());
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char16_t c = body[i];
    if (IsLineTerminator(c)) return std::nullopt;
    if (c != u'\\') {
      out += c;
      continue;
    }
    // A backslash at the very end escapes the closing quote: unterminated.
    if (++i == body.size()) return std::nullopt;
    const char16_t e = body[i];
    switch (e) {
      case u'b': out += u'\b'; continue;
      case u'f': out += u'\f'; continue;
      case u'n': out += u'\n'; continue;
      case u'r': out += u'\r'; continue;
      case u't': out += u'\t'; continue;
      case u'v': out += u'\v'; continue;
      default: break;
    }
    if (IsLineTerminator(e)) {  // line continuation
      if (e == u'\r' && i + 1 < body.size() && body[i + 1] == u'\n') ++i;
      continue;
    }
    if (e == u'x' || e == u'u') {
      const std::size_t digits = e == u'x' ? 2 : 4;
      if (const auto value = HexAt(body, i + 1, digits)) {
        out += *value;
        i += digits;
      } else {
        out += e;
      }
      continue;
    }
    if (IsOctal(e)) {
      // Legacy octal: up to three digits from 0-3, up to two from 4-7.
      unsigned value = static_cast<unsigned>(e - '0');
      const std::size_t maxDigits = e <= '3' ? 3 : 2;
      std::size_t used = 1;
      while (used < maxDigits && i + 1 < body.size() && IsOctal(body[i + 1])) {
        value = value * 8 + static_cast<unsigned>(body[++i] - '0');
        ++used;
      }
      out += static_cast<char16_t>(value);
      continue;
    }
    out += e;  // "\\" and any other escaped character stand for themselves
  }
  return out;
}

// The script language's unescape(): "%uXXXX" and "%XX" decoded, any other "%"
// left as it is.
std::u16string Unescape(const std::u16string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'%') {
      if (i + 1 < s.size() && s[i + 1] == u'u') {
        if (const auto value = HexAt(s, i + 2, 4)) {
          out += *value;
          i += 5;
          continue;
        }
      }
      if (const auto value = HexAt(s, i + 1, 2)) {
        out += *value;
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

void PutUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 code units to GBK, taken as text up to the first zero. A surrogate
// pair is one character; it and a lone surrogate become one replacement
// character, as does anything else GBK lacks.
Text GbkFromUtf16(const std::u16string& units) {
  std::string utf8;
  utf8.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u == 0) break;
    char32_t c = u;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      c = 0xFFFD;
    }
    PutUtf8(c, utf8);
  }
  return GbkFromUtf8(utf8);
}

std::u16string Utf16FromGbk(std::string_view gbk) {
  // Through the table-driven GBK to UTF-8 path; the UTF-8 it gives is well formed.
  const std::string utf8 = Utf8FromGbk(gbk);
  std::u16string units;
  units.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    char32_t cp = c;
    std::size_t length = 1;
    if (c >= 0xF0) {
      cp = c & 0x07;
      length = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0F;
      length = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1F;
      length = 2;
    }
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += length;
    if (cp >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(cp));
    }
  }
  return units;
}

}  // namespace

Text ReadBytesAsUtf16(std::string_view bytes) {
  // An odd last byte is not a whole code unit and is left out.
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t k = 0; k < units.size(); ++k) {
    units[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  }
  return GbkFromUtf16(units);
}

Text DecodeUnicodeEscapes(std::string_view escapedText) {
  Text prepared = ReplaceWhole(escapedText, "\r\n", kLineBreakHolder);
  if (!prepared.empty() && prepared.front() == '\r') prepared.erase(0, 1);
  prepared = ReplaceWhole(prepared, "\\u", "%u");
  prepared = ReplaceWhole(prepared, "'", kApostropheHolder);

  // The prepared text was the body of a script literal, '...', whose value went
  // through unescape(); the script saw the text as UTF-16.
  Text result;
  if (const auto literal = StringLiteralValue(Utf16FromGbk(prepared))) result = GbkFromUtf16(Unescape(*literal));
  if (result.empty()) result = ReadBytesAsUtf16(prepared);

  result = ReplaceWhole(result, kApostropheHolder, "'");
  return ReplaceWhole(result, kLineBreakHolder, "\r\n");
}

}  // namespace raziriz
