#pragma once
// The program's text and byte types.
//
// Text is GBK (code page 936) bytes: lengths and positions count bytes, positions
// start at 1, a byte of 0x80 or more begins a two-byte character. Byte data is a
// length-counted byte sequence that may hold zero bytes (bodies, image bytes).
// Both are std::string so pages move between the layers without copies.

#include <string>
#include <string_view>
#include <vector>

namespace raziriz {

using Text = std::string;
using Bytes = std::string;
// An ordered list of texts; callers speak of its members as 1-based.
using TextArray = std::vector<Text>;

// The bytes up to (not including) the first zero byte: fetched data taken as text.
[[nodiscard]] Text TakeAsText(std::string_view bytes);

// Removes ASCII spaces and the full-width GBK blank A1 A1 at both ends; tabs and
// line breaks stay. Trim("\xA1\xA1 a b ") is "a b".
[[nodiscard]] Text Trim(std::string_view text);

// Replaces every occurrence of `from` (exact bytes, scanning left to right) by `to`.
[[nodiscard]] Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace raziriz
