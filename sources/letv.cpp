// LeTV: one pattern over the home page gives each slide's image and title.
// Appends to its list; rows are numbered by their position.

#include <string>

#include "net/direct_http.h"
#include "sources/source_kit.h"
#include "sources/sources.h"
#include "text/event_hook.h"
#include "text/regex_matcher.h"

namespace raziriz {

void LoadLetvPosters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  static const Text kSlidePattern =
      "background-image:url\\((.*?)\\);background-color:.*?\"data-state-report=\".*?\"><a title=\"(.*?)\""
      "target=\"_blank\"href=";

  PumpEvents();
  const Text page = DirectHttpRequest(PageAddress("http://www.le.com", "/", options), DirectGetOptions());
  RegexMatcher& matcher = SharedMatcher();
  matcher.Execute(kSlidePattern, page);
  // Events run before every row, and a handler run there may use the shared
  // matcher itself: read this run's matches out before the first row.
  const std::vector<Slide> slides = CopySlides(matcher, /*imageGroup=*/1, /*titleGroup=*/2);

  for (const Slide& slide : slides) {
    PumpEvents();
    const int row = list.AppendRow();
    const std::string number = std::to_string(row + 1);
    WriteCells(list, row,
               {{kNumberColumn, number}, {kPlatformColumn, "letv"}, {kTitleColumn, slide.title},
                {kImageColumn, slide.image}});
  }
}

}  // namespace raziriz
