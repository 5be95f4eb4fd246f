// 2345: the home page is served in GBK, so its bytes are read as they come.

#include "sources/source_kit.h"
#include "sources/sources.h"

namespace raziriz {
namespace {

const MarkerPage& HomePage2345() {
  static const MarkerPage page = MarkerPage::FromUtf8({
      .origin = "https://v.2345.com",
      .pathAndQuery = "/",
      .convertCharset = false,
      .blockStart = "<!-- 浮层广告   end -->",
      .blockEnd = "//fn_slide",
      // The two slashes belong to the marker, so each address starts with its host.
      .imageStart = "src=\"//",
      .imageEnd = "\"></a>",
      .titleStart = "<span class=\"sTit\">",
      .titleEnd = "</span><span class=\"sDes\">",
      .maxTitleLength = 50,
      .platform = "2345",
      .completion = AddressCompletion::HttpsSlashes,
  });
  return page;
}

}  // namespace

void Load2345Posters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  list.Clear();
  ReadMarkerPage(list, HomePage2345(), options);
}

}  // namespace raziriz
