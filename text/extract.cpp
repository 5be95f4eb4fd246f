#include "text/extract.h"

#include <cstring>

#include "text/event_hook.h"

namespace raziriz {
namespace {

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Tracks which byte positions begin a character, walking forward from a start
// that is taken to begin one. After a byte below 0x80 the next byte always begins
// a character (it either follows a one-byte character or ends a two-byte one), so
// a check only looks back to the nearest such byte; candidates come in increasing
// order, so the look-backs add up to one pass over the text.
class CharStarts {
 public:
  CharStarts(std::string_view text, std::size_t start) : text_(text), known_(start) {}

  bool Begins(std::size_t pos) {
    std::size_t k = pos;
    while (k > known_ && IsLead(text_[k - 1])) --k;
    const bool begins = (pos - k) % 2 == 0;
    // pos is either a character start, or the second byte of the character that
    // began at pos - 1, in which case pos + 1 begins the next one.
    known_ = begins ? pos : pos + 1;
    return begins;
  }

 private:
  std::string_view text_;
  std::size_t known_;
};

std::size_t StartIndex(int startPosition) {
  return startPosition <= 1 ? 0 : static_cast<std::size_t>(startPosition) - 1;
}

bool EqualsIgnoringCase(const char* a, std::string_view b) {
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// 0-based position of `needle` at or after `start`, beginning on a character; npos if none.
std::size_t Find(std::string_view source, std::string_view needle, std::size_t start, bool ignoreCase) {
  constexpr auto npos = std::string_view::npos;
  if (start >= source.size()) return npos;
  if (needle.empty()) return 0;
  if (needle.size() > source.size() - start) return npos;
  CharStarts starts(source, start);
  const std::size_t last = source.size() - needle.size();
  if (!ignoreCase) {
    for (std::size_t from = start; from <= last;) {
      const void* hit = memmem(source.data() + from, source.size() - from, needle.data(), needle.size());
      if (hit == nullptr) return npos;
      const std::size_t pos = static_cast<const char*>(hit) - source.data();
      if (starts.Begins(pos)) return pos;
      from = pos + 1;
    }
    return npos;
  }
  for (std::size_t pos = start; pos <= last; pos += IsLead(source[pos]) ? 2 : 1) {
    if (EqualsIgnoringCase(source.data() + pos, needle)) return pos;
  }
  return npos;
}

int ToPosition(std::size_t index) {
  return index == std::string_view::npos ? -1 : static_cast<int>(index) + 1;
}

}  // namespace

int FindText(std::string_view source, std::string_view needle, int startPosition, bool ignoreCase) {
  const std::size_t start = StartIndex(startPosition);
  // An empty needle is reported at 1 whatever the start, as long as the range holds a byte.
  if (needle.empty()) return start < source.size() ? 1 : -1;
  return ToPosition(Find(source, needle, start, ignoreCase));
}

Text TextLeftOf(std::string_view source, std::string_view marker, int startPosition, bool ignoreCase) {
  const int found = FindText(source, marker, startPosition, ignoreCase);
  if (found < 1) return {};
  return Text(source.substr(0, static_cast<std::size_t>(found) - 1));
}

Text TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                 int startPosition, bool ignoreCase) {
  const Text start = ReplaceAll(startMarker, kQuotePlaceholder, "\"");
  const Text end = ReplaceAll(endMarker, kQuotePlaceholder, "\"");
  const int s = FindText(source, start, startPosition, ignoreCase);
  if (s < 1) return {};
  const int p = s + static_cast<int>(start.size());
  const int e = FindText(source, end, p, ignoreCase);
  // An empty end marker reports position 1, before the piece: nothing lies between.
  if (e < p) return {};
  return Text(source.substr(static_cast<std::size_t>(p) - 1, static_cast<std::size_t>(e - p)));
}

namespace {

// Pieces may overlap (every start marker before one distant end marker yields a
// piece reaching to it), so a hostile page could make the pieces add up to far
// more than the page. Collection stops once they hold this much.
constexpr std::size_t kMaxCollectedBytes = 64u * 1024 * 1024;

}  // namespace

int TextBetweenAll(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                   TextArray& results, const BetweenAllOptions& options) {
  results.clear();
  // An empty start marker would be found at the same place forever.
  if (startMarker.empty()) return 0;
  constexpr auto npos = std::string_view::npos;
  std::size_t pos = StartIndex(options.startPosition);
  std::size_t lastEnd = npos;  // the end marker found by the previous pass
  std::size_t collected = 0;
  while (true) {
    const std::size_t s = Find(source, startMarker, pos, options.ignoreCase);
    if (s == npos) break;
    pos = s + startMarker.size();
    // The previous pass found no end marker between its own start and lastEnd, so
    // none lies between pos and lastEnd either; reuse it when it still begins a
    // character counted from pos. This keeps runs of start markers before one end
    // marker linear.
    std::size_t e = npos;
    if (lastEnd != npos && pos <= lastEnd && CharStarts(source, pos).Begins(lastEnd)) {
      e = lastEnd;
    } else {
      e = endMarker.empty() ? npos : Find(source, endMarker, pos, options.ignoreCase);
    }
    if (e == npos) break;
    lastEnd = e;

    const std::size_t length = options.prefix.size() + (e - pos) + options.suffix.size() +
                               (options.keepStartMarker ? startMarker.size() : 0) +
                               (options.keepEndMarker ? endMarker.size() : 0);
    if (options.maxLength == 0 || length < options.maxLength) {
      if (collected + length > kMaxCollectedBytes) break;
      collected += length;
      Text piece;
      piece.reserve(length);
      if (options.keepStartMarker) piece.append(startMarker);
      piece.append(options.prefix);
      piece.append(source.substr(pos, e - pos));
      piece.append(options.suffix);
      if (options.keepEndMarker) piece.append(endMarker);
      results.push_back(std::move(piece));
    }
    for (int pass = 0; pass < 3; ++pass) PumpEvents();
  }
  return static_cast<int>(results.size());
}

}  // namespace raziriz
