// Sohu: three channel pages (films, series, animation), each searched with a
// multi-line pattern that matches only the pages' own CR LF line ends and
// indentation. Rows are numbered by position, so numbers run on across pages.

#include <string>

#include "net/direct_http.h"
#include "sources/sohu_patterns.h"
#include "sources/source_kit.h"
#include "sources/sources.h"
#include "text/event_hook.h"
#include "text/regex_matcher.h"

namespace raziriz {

namespace {

struct SohuPage {
  std::string_view path;
  std::string_view pattern;
  int titleGroup;
  int imageGroup;
};

}  // namespace

void LoadSohuPosters(PosterList& list, const SourceOptions& options) {
  const ListRunGuard guard(list);
  if (!guard.acquired()) return;
  const SohuPage pages[] = {
      {"/movie/", kSohuFilmPattern, 1, 2},
      {"/drama/", kSohuSeriesPattern, 2, 1},
      {"/comic/", kSohuSeriesPattern, 2, 1},
  };

  list.Clear();
  for (const SohuPage& page : pages) {
    PumpEvents();
    const Text text = DirectHttpRequest(PageAddress("https://tv.sohu.com", page.path, options), DirectGetOptions());
    RegexMatcher& matcher = SharedMatcher();
    matcher.Execute(page.pattern, text);
    // Events run before every row and may run another source on the shared
    // matcher: take this page's matches out first.
    const std::vector<Slide> slides = CopySlides(matcher, page.imageGroup, page.titleGroup);

    for (const Slide& slide : slides) {
      PumpEvents();
      const int row = list.AppendRow();
      const std::string number = std::to_string(row + 1);
      const std::string address = "https:" + slide.image;
      WriteCells(list, row,
                 {{kNumberColumn, number}, {kPlatformColumn, "sohu"}, {kTitleColumn, slide.title},
                  {kImageColumn, address}});
    }
  }
}

}  // namespace raziriz
