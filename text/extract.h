#pragma once
// Marker search and extraction over GBK text.

#include <cstddef>
#include <string_view>

#include "text/text.h"

namespace raziriz {

// The 1-based position of the first `needle` in `source` at or after
// `startPosition` (values below 1 start at the first byte), or -1. Never reports a
// match that begins on the second byte of a double-byte character. An empty
// needle is found at 1 whenever the search range is non-empty.
[[nodiscard]] int FindText(std::string_view source, std::string_view needle, int startPosition = 1,
                           bool ignoreCase = false);

// The bytes of `source` before the first `marker` found from `startPosition`;
// empty when not found. TextLeftOf("name=value", "=") is "name".
[[nodiscard]] Text TextLeftOf(std::string_view source, std::string_view marker, int startPosition = 1,
                              bool ignoreCase = false);

// The quote placeholder: in markers it stands for one double quote.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";  // "#引号" in GBK

// The bytes between the first `startMarker` from `startPosition` and the next
// `endMarker` after it; empty when either is missing. "#引号" in a marker stands
// for a double quote. TextBetween("a=1;", "a=", ";") is "1".
[[nodiscard]] Text TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                               int startPosition = 1, bool ignoreCase = false);

struct BetweenAllOptions {
  bool ignoreCase = false;
  // 0: no limit; otherwise a piece is kept only when shorter than this many bytes
  // (counted with prefix, suffix and kept markers).
  std::size_t maxLength = 0;
  std::string_view prefix = {};
  std::string_view suffix = {};
  bool keepStartMarker = false;
  bool keepEndMarker = false;
  int startPosition = 1;
};

// Empties `results`, then appends every piece between `startMarker` and the next
// `endMarker`; each new search resumes just after the start marker used, so
// TextBetweenAll("\"a\"b\"c\"", "\"", "\"") gives a, b, c. Pending window events
// are pumped after each piece. Returns the number of members. An empty start
// marker gives no pieces.
int TextBetweenAll(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                   TextArray& results, const BetweenAllOptions& options = {});

}  // namespace raziriz
