// iQiyi: the carousel of the home page. Runs on a worker thread.

#include "sources/source_kit.h"
#include "sources/sources.h"

namespace raziriz {
namespace {

const MarkerPage& IqiyiHomePage() {
  static const MarkerPage page = MarkerPage::FromUtf8({
      .origin = "https://www.iqiyi.com",
      .pathAndQuery = "/",
      .convertCharset = true,
      .blockStart = "我要合作",
      .blockEnd = "充值钻石打怪掉",
      .imageStart = "background-image:url(",
      .imageEnd = ");",
      .titleStart = "<span class=\"b-topslidernew-tit\">",
      .titleEnd = "</span><span class=\"colon\">&nbsp;",
      .maxTitleLength = 20,
      .platform = "iqy",
      .completion = AddressCompletion::Unchanged,
  });
  return page;
}

}  // namespace

void LoadIqiyiPosters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  list.Clear();
  ReadMarkerPage(list, IqiyiHomePage(), options);
}

}  // namespace raziriz
