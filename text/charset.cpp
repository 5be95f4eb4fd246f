#include "text/charset.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>

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
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  std::size_t used = out.size();
  out.resize(used + in.size() + in.size() / 2 + 16);
  while (true) {
    char* outPtr = out.data() + used;
    std::size_t outLeft = out.size() - used;
    const std::size_t rc = iconv(cd, inLeft ? &inPtr : nullptr, &inLeft, &outPtr, &outLeft);
    used = out.size() - outLeft;
    if (rc != static_cast<std::size_t>(-1)) {
      if (inLeft == 0) break;
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL: find out whether the source holds a whole character here
    // that the target lacks (skip it) or bytes that are not valid (skip one).
    std::size_t skip = 1;
    if (probe != nullptr && errno == EILSEQ) {
      iconv(probe, nullptr, nullptr, nullptr, nullptr);
      char* probeIn = inPtr;
      std::size_t probeLeft = inLeft;
      char32_t one[2];
      char* probeOut = reinterpret_cast<char*>(one);
      std::size_t probeOutLeft = sizeof(char32_t);  // room for exactly one character
      iconv(probe, &probeIn, &probeLeft, &probeOut, &probeOutLeft);
      if (probeOutLeft == 0) skip = static_cast<std::size_t>(probeIn - inPtr);
    }
    if (errno == EINVAL) skip = inLeft;  // an incomplete character at the very end
    if (skip == 0 || skip > inLeft) skip = 1;
    if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
    out.replace(used, replacement.size(), replacement);
    used += replacement.size();
    inPtr += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (inLeft == 0) break;
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

}  // namespace

Bytes ConvertCharset(std::string_view data, std::string_view fromCharset, std::string_view toCharset,
                     std::optional<std::size_t> skipBytes) {
  const std::string from = fromCharset.empty() ? std::string("UTF-8") : std::string(fromCharset);
  const std::string to = toCharset.empty() ? std::string("GBK") : std::string(toCharset);
  Iconv cd = Open(to, from);
  if (!cd) return {};
  Iconv probe = Open("UTF-32LE", from);

  // Reading text in UTF-8 drops a leading byte-order mark, as text readers do.
  if (IsUtf8Name(from) && data.starts_with("\xEF\xBB\xBF")) data.remove_prefix(3);

  std::string replacement;
  if (Iconv ascii = Open(to, "ASCII")) {
    ConvertAll(ascii.get(), nullptr, "?", "", replacement);
  }
  if (replacement.empty()) replacement.push_back('?');

  Bytes out;
  ConvertAll(cd.get(), probe.get(), data, replacement, out);
  if (skipBytes) {
    if (*skipBytes >= out.size()) return {};
    out.erase(0, *skipBytes);
  }
  return out;
}

Text GbkFromUtf8(std::string_view utf8) { return ConvertCharset(utf8, "UTF-8", "GBK"); }

std::string Utf8FromGbk(std::string_view gbk) { return ConvertCharset(gbk, "GBK", "UTF-8"); }

}  // namespace raziriz
