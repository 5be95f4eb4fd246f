// PPTV: the carousel of the home page, framed by a pair of HTML comments.

#include "sources/source_kit.h"
#include "sources/sources.h"

namespace raziriz {
namespace {

const MarkerPage& PptvHomePage() {
  static const MarkerPage page = MarkerPage::FromUtf8({
      .origin = "https://www.pptv.com",
      .pathAndQuery = "/",
      .method = 0,
      .convertCharset = true,
      .blockStart = "<!--标题和小图 s-->",
      .blockEnd = "<!--标题和小图 e-->",
      .imageStart = "data-source=\"",
      .imageEnd = "\"",
      .titleStart = "<span class=\"main\">",
      .titleEnd = "</span><span class=",
      .maxTitleLength = 50,
      .platform = "pptv",
      .completion = AddressCompletion::Unchanged,
  });
  return page;
}

}  // namespace

void LoadPptvPosters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  list.Clear();
  ReadMarkerPage(list, PptvHomePage(), options);
}

}  // namespace raziriz
