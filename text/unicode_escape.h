#pragma once
// Decoding of script-style escapes in page data.

#include <string_view>

#include "text/text.h"

namespace raziriz {

// Decodes a GBK text as the body of a single-quoted script string literal
// followed by the standard unescape(): "\u002F" and "\/" give "/", "%20" a space,
// "%u4E2D" the character; the result is GBK. When the text cannot be such a
// literal (a lone line feed, a trailing backslash) the result is the text's bytes
// read as UTF-16LE, as the original script engine fell back to.
[[nodiscard]] Text DecodeUnicodeEscapes(std::string_view escapedText);

// `bytes` read as UTF-16 little-endian text and converted to GBK.
[[nodiscard]] Text ReadBytesAsUtf16(std::string_view bytes);

}  // namespace raziriz
