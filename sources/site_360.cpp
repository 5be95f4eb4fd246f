// 360: the film channel, a pause that keeps the window alive, then the
// animation channel. Each page numbers its rows from 1.

#include "sources/source_kit.h"
#include "sources/sources.h"
#include "text/responsive_wait.h"

namespace raziriz {
namespace {

constexpr std::string_view kOrigin = "https://www.360kan.com";

const MarkerPage& FilmPage() {
  static const MarkerPage page = MarkerPage::FromUtf8({
      .origin = kOrigin,
      .pathAndQuery = "/dianying/index.html",
      .convertCharset = true,
      .blockStart = "顶部轮播图",
      .blockEnd = "tj-顶部筛选",
      .imageStart = "background-image:url(",
      .imageEnd = ");",
      .titleStart = "<span class=\"b-topslidernew-tit\">",
      .titleEnd = "</span><span class=\"colon\">&nbsp;",
      .maxTitleLength = 20,
      .platform = "360",
      .completion = AddressCompletion::Unchanged,
  });
  return page;
}

const MarkerPage& AnimationPage() {
  static const MarkerPage page = MarkerPage::FromUtf8({
      .origin = kOrigin,
      .pathAndQuery = "/dongman/index.html?from=dianshi_channel",
      .convertCharset = true,
      .blockStart = "monitor-desc=\"焦点图\" monitor-shortpv monitor-shortpv-b monitor-cid=",
      .blockEnd = "热门标签",
      .imageStart = "background-image:url(",
      .imageEnd = ");",
      .titleStart = "<span class=\"b-topslider-tit\">",
      .titleEnd = "</span><span class=\"colon\"",
      .maxTitleLength = 50,
      .platform = "360",
      .completion = AddressCompletion::Unchanged,
  });
  return page;
}

}  // namespace

void Load360Posters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  list.Clear();
  ReadMarkerPage(list, FilmPage(), options);
  ResponsiveWait(600, 0);
  ReadMarkerPage(list, AnimationPage(), options);
}

}  // namespace raziriz
