#include "text/text.h"

#include <cstring>

namespace raziriz {

Text TakeAsText(std::string_view bytes) {
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  if (zero == nullptr) return Text(bytes);
  return Text(bytes.data(), static_cast<const char*>(zero) - bytes.data());
}

Text Trim(std::string_view text) {
  // Walk whole characters so that "A1 A1" is only taken as the full-width blank
  // where it really is one character, not the tail of another character.
  std::size_t begin = 0;
  std::size_t end = 0;  // end of the last character that is not a blank
  bool seenOther = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t width = (byte >= 0x80 && i + 1 < text.size()) ? 2 : 1;
    const bool blank = (width == 1 && byte == ' ') ||
                       (width == 2 && byte == 0xA1 && static_cast<unsigned char>(text[i + 1]) == 0xA1);
    if (!blank) {
      if (!seenOther) begin = i;
      seenOther = true;
      end = i + width;
    }
    i += width;
  }
  if (!seenOther) return {};
  return Text(text.substr(begin, end - begin));
}

Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
    out.append(text.substr(pos, hit - pos));
    out.append(to);
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace raziriz
