// Tencent Video: two patterns over the home page, one for the slides' images
// and one for their titles. Runs on a worker thread with a matcher of its own
// and appends to its list.

#include <string>

#include "net/direct_http.h"
#include "sources/source_kit.h"
#include "sources/sources.h"
#include "text/charset.h"
#include "text/event_hook.h"
#include "text/regex_matcher.h"

namespace raziriz {

void LoadTencentPosters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  static const Text kImagePattern = "data-bgimage=\"(.*?)\"";
  static const Text kTitlePattern = GbkFromUtf8("_stat=\"焦点图:标题:(.*?)\"");

  RegexMatcher matcher;
  PumpEvents();
  const Text page = DirectHttpRequest(PageAddress("https://v.qq.com", "/", options));

  TextArray images;
  matcher.Execute(kImagePattern, page);
  for (int m = 1; m <= matcher.MatchCount(); ++m) {
    PumpEvents();
    images.push_back(matcher.SubMatchText(m, 1));
  }

  // Title j is read from match j - 1: the first read asks for match 0, which is
  // empty, and the last match is never read. Rows then pair title k with image
  // k + 1, so the first image found is never shown.
  TextArray titles;
  matcher.Execute(kTitlePattern, page);
  for (int j = 1; j <= matcher.MatchCount(); ++j) {
    PumpEvents();
    Text title = matcher.SubMatchText(j - 1, 1);
    if (!title.empty()) titles.push_back(std::move(title));
  }

  for (std::size_t k = 1; k <= titles.size(); ++k) {
    PumpEvents();
    const int row = list.AppendRow();
    const std::string number = std::to_string(k);
    // A page with no image k + 1 leaves the address empty rather than "https:".
    const std::string_view image = ItemOrEmpty(images, k + 1);
    const std::string address = image.empty() ? std::string() : "https:" + std::string(image);
    WriteCells(list, row,
               {{kNumberColumn, number}, {kPlatformColumn, "qq"}, {kTitleColumn, titles[k - 1]},
                {kImageColumn, address}});
  }
}

}  // namespace raziriz
