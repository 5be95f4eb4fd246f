#pragma once
// Charset conversion through iconv.

#include <cstddef>
#include <optional>
#include <string_view>

#include "text/text.h"

namespace raziriz {

// `data` re-encoded from `fromCharset` (empty: "UTF-8") to `toCharset` (empty:
// "GBK"); with `skipBytes` the first that many bytes of the result are left out.
// A byte sequence that is invalid in the source charset, or a character the
// target lacks, becomes one replacement character ("?"); the rest still converts.
// An unknown charset name gives empty bytes.
[[nodiscard]] Bytes ConvertCharset(std::string_view data, std::string_view fromCharset = {},
                                   std::string_view toCharset = {},
                                   std::optional<std::size_t> skipBytes = std::nullopt);

// The character of the two-byte GBK code `lead` `trail`; 0 when GBK assigns
// none. Read off the same tables as the conversions above.
[[nodiscard]] char32_t GbkCharacter(unsigned char lead, unsigned char trail);

// UTF-8 to GBK and back, for the edges (literals, Qt, PCRE2).
[[nodiscard]] Text GbkFromUtf8(std::string_view utf8);
[[nodiscard]] std::string Utf8FromGbk(std::string_view gbk);

}  // namespace raziriz
