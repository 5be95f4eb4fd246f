#pragma once
// The maker's poster page and the visit counter: fetching, cutting and filling
// the main poster list. No window code, so the command line can print them too.

#include <string>
#include <string_view>

#include "sources/poster_list.h"
#include "text/text.h"

namespace raziriz {

// The maker's web site (shown in the window's status bar and opened from it), its
// poster page, and the outside visit-counter page. The only place these live.
inline constexpr std::string_view kMakerSiteAddress = "https://www.zorvi.example";
inline constexpr std::string_view kHomeFeedAddress = "https://www.zorvi.example/haibao";
inline constexpr std::string_view kVisitCounterAddress = "http://counter.example.net/counts8790.html";

// The current version of the program, compared byte for byte with the feed's.
inline constexpr std::string_view kCurrentVersion = "1.0";

// What the maker's poster page announces. All texts GBK, cut exactly as found.
struct HomeFeed {
  TextArray posterAddresses;  // every data-srcset value, in page order
  TextArray titles;           // centred paragraphs shorter than 20 bytes, in page order
  Text updateAddress;
  Text announcement;
  Text latestVersion;
};

// Cuts the poster page (GBK text). A missing paragraph leaves only its value empty.
// Pending window events are pumped while the lists are collected.
[[nodiscard]] HomeFeed ParseHomeFeed(std::string_view pageText);

// Fetches `url` with POST and no body, converts the UTF-8 body to GBK and cuts
// it; an unreachable page gives an empty feed.
[[nodiscard]] HomeFeed FetchHomeFeed(std::string_view url = kHomeFeedAddress);

// Appends one row per poster address to the main poster list (3 columns: number,
// title, address): number i from 1, then address i, then title i. Titles pair
// with addresses by position; a row with no title left gets an empty title. The
// list is not cleared here: the caller clears it before fetching.
void LoadHomeFeedRows(PosterList& list, const HomeFeed& feed);

// The three counts as the counter page writes them (GBK text, not numbers); a
// count whose label or following line is missing is empty.
struct VisitCounts {
  Text today;
  Text yesterday;
  Text total;
};

[[nodiscard]] VisitCounts ParseVisitCounts(std::string_view counterText);

// Fetches the counter page with POST and no body and cuts the counts from it.
[[nodiscard]] VisitCounts FetchVisitCounts(std::string_view url = kVisitCounterAddress);

}  // namespace raziriz
