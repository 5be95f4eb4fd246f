#pragma once
// Header and cookie text rules shared by both HTTP clients.

#include <string_view>

#include "text/text.h"

namespace raziriz {

// Splits `text` at every `separator`: empty pieces are kept, except a trailing one;
// an empty text gives no pieces. The search steps over double-byte characters.
[[nodiscard]] TextArray SplitText(std::string_view text, std::string_view separator);

// Drops lines without a colon and capitalises header names (first letter and each
// letter after "-"); lines are joined by CR LF with none at either end.
// "content-type: a" gives "Content-Type: a".
[[nodiscard]] Text NormalizeHeaderLines(std::string_view headerText);

// The name of a cookie item: the text before its first "=", trimmed.
[[nodiscard]] Text CookieName(std::string_view item);

// The pieces of `text` split at `separator`, each kept at its first appearance.
[[nodiscard]] Text JoinDistinct(std::string_view text, std::string_view separator);

// The cookie text to send next: received items first, sent items the response did
// not replace after them, deleted ones ("=deleted") left out. Also stored in
// `sentCookies`. Sent "a=1; b=2", received "b=3; c=4" gives "b=3; c=4; a=1".
Text MergeCookies(Text& sentCookies, std::string_view receivedCookies);

// A header line split at its first colon, each side trimmed; empty without a colon.
[[nodiscard]] Text HeaderName(std::string_view line);
[[nodiscard]] Text HeaderValue(std::string_view line);

}  // namespace raziriz
