#include "text/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace raziriz {
namespace {

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
// iconv_t is a pointer type; (iconv_t)-1 marks failure and is never owned.
using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

Iconv Open(const std::string& to, const std::string& from) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return Iconv{};
  return Iconv{cd};
}

bool IsUtf8Name(const std::string& name) {
  return name.size() == 5 && (name[0] | 0x20) == 'u' && (name[1] | 0x20) == 't' && (name[2] | 0x20) == 'f' &&
         name[3] == '-' && name[4] == '8';
}

// Converts all of `in`, growing `out`. A byte sequence that is invalid in the
// source charset, or a character the target cannot hold, becomes `replacement`
// and conversion goes on after it.
void ConvertAll(iconv_t cd, iconv_t probe, std::string_view in, const std::string& replacement, std::string& out) {
  // iconv is fed in slices: on an error glibc redoes the work of the whole call up
  // to the bad byte, so one call over a page with many bad bytes turns quadratic.
  constexpr std::size_t kSlice = 1024;
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  std::size_t used = out.size();
  out.resize(used + in.size() + in.size() / 2 + 16);
  while (inLeft > 0) {
    char* outPtr = out.data() + used;
    std::size_t outLeft = out.size() - used;
    const std::size_t slice = std::min(inLeft, kSlice);
    std::size_t sliceLeft = slice;
    const std::size_t rc = iconv(cd, &inPtr, &sliceLeft, &outPtr, &outLeft);
    const int error = errno;
    used = out.size() - outLeft;
    inLeft -= slice - sliceLeft;
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (error == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // A character cut by the end of a slice is completed by the next one.
    if (error == EINVAL && sliceLeft < inLeft && sliceLeft < slice) continue;
    // EILSEQ or EINVAL: find out whether the source holds a whole character here
    // that the target lacks (skip it) or bytes that are not valid (skip one).
    std::size_t skip = 1;
    if (probe != nullptr && error == EILSEQ) {
      iconv(probe, nullptr, nullptr, nullptr, nullptr);
      char* probeIn = inPtr;
      std::size_t probeLeft = std::min<std::size_t>(inLeft, 8);  // one character is never longer
      char32_t one[2];
      char* probeOut = reinterpret_cast<char*>(one);
      std::size_t probeOutLeft = sizeof(char32_t);  // room for exactly one character
      iconv(probe, &probeIn, &probeLeft, &probeOut, &probeOutLeft);
      if (probeOutLeft == 0) skip = static_cast<std::size_t>(probeIn - inPtr);
    }
    if (error == EINVAL) skip = inLeft;  // an incomplete character at the very end
    if (skip == 0 || skip > inLeft) skip = 1;
    if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
    out.replace(used, replacement.size(), replacement);
    used += replacement.size();
    inPtr += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Flush any shift state of stateful target charsets.
  char* outPtr = out.data() + used;
  std::size_t outLeft = out.size() - used;
  if (outLeft < 16) {
    out.resize(out.size() + 16);
    outPtr = out.data() + used;
    outLeft = out.size() - used;
  }
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  used = out.size() - outLeft;
  out.resize(used);
}


bool ConvertWithIconv(std::string_view data, const std::string& from, const std::string& to, Bytes& out) {
  Iconv cd = Open(to, from);
  if (!cd) return false;
  Iconv probe = Open("UTF-32LE", from);
  std::string replacement;
  if (Iconv ascii = Open(to, "ASCII")) ConvertAll(ascii.get(), nullptr, "?", "", replacement);
  if (replacement.empty()) replacement.push_back('?');
  ConvertAll(cd.get(), probe.get(), data, replacement, out);
  return true;
}

// UTF-8 <-> GBK is the conversion every page and every edge goes through, so it
// has a table-driven path: ASCII runs are copied as they are, other characters
// looked up. The tables are read off iconv itself once, so both paths give the
// same bytes, replacement rules included.
class GbkTables {
 public:
  static const GbkTables& Get() {
    static const GbkTables tables;
    return tables;
  }

  // GBK code of a BMP character: below 0x100 a one-byte code, 0 when GBK lacks it.
  std::uint16_t FromUnicode(char32_t cp) const { return fromUnicode_[cp]; }
  // The character of a two-byte code, 0 when the code is not valid.
  char32_t ToUnicode(unsigned char lead, unsigned char trail) const {
    if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE) return 0;
    return toUnicode_[(lead - 0x81) * 191 + (trail - 0x40)];
  }
  // The character of a one-byte code at or above 0x80, 0 when not valid.
  char32_t SingleByte(unsigned char byte) const { return single_[byte - 0x80]; }

 private:
  GbkTables() : fromUnicode_(0x10000), toUnicode_(126 * 191), single_(0x80) {
    Iconv toGbk = Open("GBK", "UTF-32LE");
    Iconv fromGbk = Open("UTF-32LE", "GBK");
    if (!toGbk || !fromGbk) return;
    for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF), 0, 0};
      char out[4];
      char* inPtr = in;
      char* outPtr = out;
      std::size_t inLeft = 4, outLeft = sizeof out;
      iconv(toGbk.get(), nullptr, nullptr, nullptr, nullptr);
      if (iconv(toGbk.get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) continue;
      const std::size_t length = sizeof out - outLeft;
      const auto b0 = static_cast<unsigned char>(out[0]);
      if (length == 1) fromUnicode_[cp] = b0;
      if (length == 2) fromUnicode_[cp] = static_cast<std::uint16_t>(b0 << 8 | static_cast<unsigned char>(out[1]));
    }
    auto decode = [&](const char* bytes, std::size_t size) -> char32_t {
      char* inPtr = const_cast<char*>(bytes);
      char32_t cp = 0;
      char* outPtr = reinterpret_cast<char*>(&cp);
      std::size_t inLeft = size, outLeft = sizeof cp;
      iconv(fromGbk.get(), nullptr, nullptr, nullptr, nullptr);
      if (iconv(fromGbk.get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return 0;
      return outLeft == 0 ? cp : 0;
    };
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        toUnicode_[(lead - 0x81) * 191 + (trail - 0x40)] = decode(bytes, 2);
      }
    }
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
      const char one = static_cast<char>(byte);
      single_[byte - 0x80] = decode(&one, 1);
    }
  }

  std::vector<std::uint16_t> fromUnicode_;
  std::vector<char32_t> toUnicode_;
  std::vector<char32_t> single_;
};

bool NameIs(std::string_view name, std::string_view lower) {
  if (name.size() != lower.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

bool IsGbkName(std::string_view name) { return NameIs(name, "gbk"); }

std::size_t AsciiRun(std::string_view in, std::size_t i) {
  std::size_t j = i;
  // Eight bytes at a time while none has its high bit set.
  while (in.size() - j >= 8) {
    std::uint64_t word;
    std::memcpy(&word, in.data() + j, 8);
    if (word & 0x8080808080808080ULL) break;
    j += 8;
  }
  while (j < in.size() && static_cast<unsigned char>(in[j]) < 0x80) ++j;
  return j - i;
}

// Length of the well-formed UTF-8 sequence at `i` and its character; 0 when the
// bytes there are not one, -1 when they are the valid start of a sequence cut off
// by the end of the input.
int DecodeUtf8(std::string_view in, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(in[k]); };
  const unsigned char c = byte(i);
  int length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    cp = c & 0x0F;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    cp = c & 0x07;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (int k = 1; k < length; ++k) {
    if (i + k >= in.size()) return -1;
    const unsigned char b = byte(i + k);
    if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  return length;
}

// Copies the ASCII run at `i` (the same bytes in UTF-8 and GBK) and moves both
// positions past it; false when the byte at `i` is not ASCII.
bool CopyAsciiRun(std::string_view in, std::size_t& i, char*& o) {
  const std::size_t run = AsciiRun(in, i);
  if (run == 0) return false;
  std::memcpy(o, in.data() + i, run);
  o += run;
  i += run;
  return true;
}

Bytes Utf8ToGbkFast(std::string_view in) {
  const GbkTables& tables = GbkTables::Get();
  // GBK never needs more bytes than UTF-8 for the same text, so one allocation does.
  Bytes out(in.size(), '\0');
  char* o = out.data();
  for (std::size_t i = 0; i < in.size();) {
    if (CopyAsciiRun(in, i, o)) continue;
    char32_t cp = 0;
    const int length = DecodeUtf8(in, i, cp);
    if (length < 0) {  // a character cut off at the end
      *o++ = '?';
      break;
    }
    if (length == 0) {
      *o++ = '?';
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(length);
    const std::uint16_t code = cp < 0x10000 ? tables.FromUnicode(cp) : 0;
    if (code == 0) {
      *o++ = '?';
    } else if (code < 0x100) {
      *o++ = static_cast<char>(code);
    } else {
      *o++ = static_cast<char>(code >> 8);
      *o++ = static_cast<char>(code & 0xFF);
    }
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

char* AppendUtf8(char* o, char32_t cp) {
  if (cp < 0x800) {
    *o++ = static_cast<char>(0xC0 | (cp >> 6));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *o++ = static_cast<char>(0xE0 | (cp >> 12));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return o;
}

std::string GbkToUtf8Fast(std::string_view in) {
  const GbkTables& tables = GbkTables::Get();
  // A GBK character of one or two bytes becomes at most three bytes of UTF-8.
  std::string out(in.size() * 3, '\0');
  char* o = out.data();
  for (std::size_t i = 0; i < in.size();) {
    if (CopyAsciiRun(in, i, o)) continue;
    const auto lead = static_cast<unsigned char>(in[i]);
    if (const char32_t single = tables.SingleByte(lead)) {
      o = AppendUtf8(o, single);
      ++i;
      continue;
    }
    if (i + 1 >= in.size()) {  // a lead byte cut off at the end
      *o++ = '?';
      break;
    }
    const char32_t cp = tables.ToUnicode(lead, static_cast<unsigned char>(in[i + 1]));
    if (cp == 0) {
      *o++ = '?';
      ++i;
      continue;
    }
    o = AppendUtf8(o, cp);
    i += 2;
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

}  // namespace

Bytes ConvertCharset(std::string_view data, std::string_view fromCharset, std::string_view toCharset,
                     std::optional<std::size_t> skipBytes) {
  const std::string from = fromCharset.empty() ? std::string("UTF-8") : std::string(fromCharset);
  const std::string to = toCharset.empty() ? std::string("GBK") : std::string(toCharset);
  // Reading text in UTF-8 drops a leading byte-order mark, as text readers do.
  if (IsUtf8Name(from) && data.starts_with("\xEF\xBB\xBF")) data.remove_prefix(3);

  Bytes out;
  if (IsUtf8Name(from) && IsGbkName(to)) {
    out = Utf8ToGbkFast(data);
  } else if (IsGbkName(from) && IsUtf8Name(to)) {
    out = GbkToUtf8Fast(data);
  } else if (!ConvertWithIconv(data, from, to, out)) {
    return {};
  }
  if (skipBytes) {
    if (*skipBytes >= out.size()) return {};
    out.erase(0, *skipBytes);
  }
  return out;
}

char32_t GbkCharacter(unsigned char lead, unsigned char trail) {
  return GbkTables::Get().ToUnicode(lead, trail);
}

Text GbkFromUtf8(std::string_view utf8) { return ConvertCharset(utf8, "UTF-8", "GBK"); }

std::string Utf8FromGbk(std::string_view gbk) { return ConvertCharset(gbk, "GBK", "UTF-8"); }

}  // namespace raziriz
