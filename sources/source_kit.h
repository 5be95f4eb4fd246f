#pragma once
// What the site files share: page addresses, the marker-style routine and its
// per-site description, row writing helpers and the guard against a second run
// on a list that is still being filled.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/direct_http.h"
#include "sources/poster_list.h"
#include "sources/sources.h"
#include "text/regex_matcher.h"
#include "text/text.h"

namespace raziriz {

// The list columns, numbered as the list numbers them.
inline constexpr int kNumberColumn = 0;
inline constexpr int kPlatformColumn = 1;
inline constexpr int kTitleColumn = 2;
inline constexpr int kImageColumn = 3;

// `siteOrigin` ("https://www.pptv.com") followed by `pathAndQuery`; with a
// non-empty options.baseUrl that base (trailing slashes dropped) takes the place
// of the origin. PageAddress("https://a.com", "/x?y=1", {"http://127.0.0.1:9"})
// is "http://127.0.0.1:9/x?y=1".
[[nodiscard]] std::string PageAddress(std::string_view siteOrigin, std::string_view pathAndQuery,
                                      const SourceOptions& options);

// DirectHttpRequest's options with the method given as GET and everything else
// left at its default.
[[nodiscard]] DirectHttpOptions DirectGetOptions();

// How an extracted image address becomes the text of the address column.
enum class AddressCompletion {
  Unchanged,
  HttpsColon,      // "https:" + address, for addresses written as //host/path
  HttpsSlashes,    // "https://" + address, for addresses cut after their //
  DecodeEscapes,   // script escapes such as \u002F decoded
};

[[nodiscard]] Text CompleteAddress(AddressCompletion completion, std::string_view address);

// Member `oneBasedIndex` of `items`, or empty text past its end: a slide whose
// title (or image) the page did not give shows an empty cell.
[[nodiscard]] std::string_view ItemOrEmpty(const TextArray& items, std::size_t oneBasedIndex);

// One page of a marker-style site, as written in the site's file: the markers
// in UTF-8, turned into GBK once by MarkerPage::FromUtf8.
struct MarkerPageSource {
  std::string_view origin;        // scheme and host, "https://www.pptv.com"
  std::string_view pathAndQuery;  // "/", "/dongman/index.html?from=dianshi_channel"
  int method = 0;                 // GET, whether the site names it or leaves it out
  bool convertCharset = true;     // the page is UTF-8; false: its bytes are GBK already
  std::string_view blockStart;
  std::string_view blockEnd;
  std::string_view imageStart;
  std::string_view imageEnd;
  std::string_view titleStart;
  std::string_view titleEnd;
  std::size_t maxTitleLength = 0;  // titles of this many bytes or more are dropped
  std::string_view platform;
  AddressCompletion completion = AddressCompletion::Unchanged;
};

struct MarkerPage {
  std::string origin;
  std::string pathAndQuery;
  int method = 0;
  bool convertCharset = true;
  Text blockStart;
  Text blockEnd;
  std::string blockStartUtf8;
  std::string blockEndUtf8;
  Text imageStart;
  Text imageEnd;
  Text titleStart;
  Text titleEnd;
  std::size_t maxTitleLength = 0;
  Text platform;
  AddressCompletion completion = AddressCompletion::Unchanged;

  [[nodiscard]] static MarkerPage FromUtf8(const MarkerPageSource& site);
};

// Fetches the page, cuts its carousel block, collects image addresses and titles
// and appends one row per image address, numbered from 1 in this call, columns
// written in the order 0, 1, 3, 2. Does not clear the list. A failed fetch or a
// missing block adds nothing. Returns the number of rows added.
int ReadMarkerPage(PosterList& list, const MarkerPage& page, const SourceOptions& options);

// The image address and title of one slide found by a pattern.
struct Slide {
  Text image;
  Text title;
};

// Copies group `imageGroup` and `titleGroup` of every match of `matcher`'s last
// run, so that the caller may let events run (and another run replace the
// matcher's results) while it writes its rows.
[[nodiscard]] std::vector<Slide> CopySlides(const RegexMatcher& matcher, int imageGroup, int titleGroup);

// Writes the cells of row `row` in the order given (the order is part of what a
// list observes). A negative row, a list that refused the row, writes nothing.
struct Cell {
  int column;
  std::string_view text;
};
void WriteCells(PosterList& list, int row, std::initializer_list<Cell> cells);

// Marks `list` as being filled for the guard's lifetime. A second run on the same
// list while the first is still going (a nested press from event processing, or
// a second worker thread) gets acquired() == false and must return at once, so
// two runs never interleave their rows in one list.
class ListRunGuard {
 public:
  explicit ListRunGuard(const PosterList& list);
  ~ListRunGuard();
  ListRunGuard(const ListRunGuard&) = delete;
  ListRunGuard& operator=(const ListRunGuard&) = delete;
  [[nodiscard]] bool acquired() const { return acquired_; }

 private:
  const PosterList* list_;
  bool acquired_;
};

}  // namespace raziriz
