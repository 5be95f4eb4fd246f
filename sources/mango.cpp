// Mango TV: the slides live in the page's script data, where addresses are
// written with \u escapes, so each image address is decoded (titles are not).

#include "sources/source_kit.h"
#include "sources/sources.h"

namespace raziriz {
namespace {

const MarkerPage& MangoHomePage() {
  static const MarkerPage page = MarkerPage::FromUtf8({
      .origin = "https://www.mgtv.com",
      .pathAndQuery = "/",
      .convertCharset = true,
      .blockStart = "导航浮层区域露出",
      .blockEnd = "首页导航-新版",
      .imageStart = "imgHUrl:\"",
      .imageEnd = "\",playerType",
      .titleStart = "a,autoPlayVideoId:a,name:\"",
      .titleEnd = "\",isShare:b",
      .maxTitleLength = 50,
      .platform = "mgtv",
      .completion = AddressCompletion::DecodeEscapes,
  });
  return page;
}

}  // namespace

void LoadMangoPosters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  list.Clear();
  ReadMarkerPage(list, MangoHomePage(), options);
}

}  // namespace raziriz
