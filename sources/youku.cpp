// Youku: a block cut from the home page, then two patterns over it. Runs on a
// worker thread with a matcher of its own; rows are numbered by their position,
// so the first is "0".

#include <string>

#include "net/direct_http.h"
#include "sources/source_kit.h"
#include "sources/sources.h"
#include "text/charset.h"
#include "text/event_hook.h"
#include "text/extract.h"
#include "text/regex_matcher.h"

namespace raziriz {

namespace {

// The first label of the host name of the server the carousel images come from.
constexpr std::string_view kImageHostPrefix = "liangcang-material";

}  // namespace

void LoadYoukuPosters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  static const Text kBlockStart = GbkFromUtf8("VIP登录，跳过广告看大片");
  static const Text kBlockEnd = GbkFromUtf8("中国大陆");
  // The lazy group ends at the first g or G after the prefix (case is ignored),
  // which is the end of ".jpg" and ".png" addresses.
  static const Text kImagePattern = "url\\(//" + std::string(kImageHostPrefix) + "(.*?)g";
  static const Text kTitlePattern = "title=\"(.*?)\"><div class";
  constexpr std::size_t kMaxTitleLength = 50;

  RegexMatcher matcher;
  list.Clear();
  PumpEvents();
  // No path at all: the address ends with the host name.
  const Text page = DirectHttpRequest(PageAddress("https://www.youku.com", "", options), DirectGetOptions());
  const Text block = TextBetween(page, kBlockStart, kBlockEnd);

  TextArray images;
  matcher.Execute(kImagePattern, block);
  for (int m = 1; m <= matcher.MatchCount(); ++m) {
    images.push_back("//" + std::string(kImageHostPrefix) + matcher.SubMatchText(m, 1) + "g");
  }

  TextArray titles;
  matcher.Execute(kTitlePattern, block);
  for (int m = 1; m <= matcher.MatchCount(); ++m) {
    Text title = matcher.SubMatchText(m, 1);
    if (title.size() < kMaxTitleLength) titles.push_back(std::move(title));
  }

  for (std::size_t k = 1; k <= images.size(); ++k) {
    const int row = list.AppendRow();
    const std::string number = std::to_string(row);
    const std::string address = "https:" + images[k - 1];
    WriteCells(list, row,
               {{kNumberColumn, number}, {kPlatformColumn, "youku"}, {kTitleColumn, ItemOrEmpty(titles, k)},
                {kImageColumn, address}});
  }
}

}  // namespace raziriz
