// RegexMatcher::Execute with the Sohu film and Tencent image patterns over a
// 2 MB GBK page with 50 slides, beside PCRE2 run directly on the same page in
// UTF-8. Both sides read the groups of every match.

#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "text/charset.h"
#include "text/regex_matcher.h"

namespace {

using raziriz::Text;

constexpr int kSlides = 50;

std::string FilmPattern() {
  const std::string pad8(8, ' ');
  const std::string pad4(4, ' ');
  return pad8 + "<h2 class=\"item-info-title\">(.*?)</h2>\r\n" +
         pad8 + "<p class=\"item-info-brief\">.*?</p>\r\n" +
         pad8 + "<a href=\".*?\" target=\"_blank\" class=\"item-info-see\" pb-click "
                "data-pb-txid=\"focus_bigvideowatch\" data-pb-other=\".*?\"></a>\r\n" +
         pad8 + "<span class=\"item-info-voice item-info-voice-no hidden\" pb-click "
                "data-pb-txid=\"focus_bigvideomute\"></span>\r\n" +
         pad4 + "</div>\r\n" +
         pad4 + "<div class=\"item-video\" style=\"background-color:.*?;background-image:url\\((.*?)\\);\">\r";
}

const std::string kImagePattern = "data-bgimage=\"(.*?)\"";

// A page in UTF-8: indented markup with CR LF line ends and Chinese text, the
// slides spread evenly, each both as a film block and as an image attribute.
std::string MakeUtf8Page(std::size_t bytes) {
  const std::string filler =
      "        <li class=\"list-item\"><a href=\"//tv.example.com/v/123.html\" title=\"春天的故事\">"
      "春天的故事在这里开始，冬日的新编</a><span class=\"score\">9.1</span></li>\r\n"
      "    <div class=\"mod\" data-id=\"42\">今日热播 电视剧 电影 综艺 动漫</div>\r\n";
  std::string page;
  page.reserve(bytes + 8192);
  const std::size_t gap = bytes / (kSlides + 1);
  for (int i = 0; i < kSlides; ++i) {
    while (page.size() < gap * static_cast<std::size_t>(i + 1)) page += filler;
    const std::string n = std::to_string(i);
    page += "        <h2 class=\"item-info-title\">流浪地球·第" + n + "部</h2>\r\n"
            "        <p class=\"item-info-brief\">太阳即将毁灭，人类在地球表面建造出巨大的推进器。</p>\r\n"
            "        <a href=\"//tv.example.com/v/" + n + ".html\" target=\"_blank\" class=\"item-info-see\" pb-click "
            "data-pb-txid=\"focus_bigvideowatch\" data-pb-other=\"" + n + "\"></a>\r\n"
            "        <span class=\"item-info-voice item-info-voice-no hidden\" pb-click "
            "data-pb-txid=\"focus_bigvideomute\"></span>\r\n"
            "    </div>\r\n"
            "    <div class=\"item-video\" style=\"background-color:#1a2b3c;background-image:url(//img.example.com/"
            "film/" + n + ".jpg);\">\r\n"
            "    <div class=\"slide\" data-back=\"#000\" data-bgimage=\"//img.example.com/bg/" + n + ".jpg\"></div>\r\n";
  }
  while (page.size() < bytes) page += filler;
  return page;
}

struct Pages {
  Text gbk;
  std::string utf8;
};

const Pages& Page2MB() {
  static const Pages pages = [] {
    Pages p;
    p.gbk = raziriz::GbkFromUtf8(MakeUtf8Page(2 * 1024 * 1024));
    p.utf8 = raziriz::Utf8FromGbk(p.gbk);
    return p;
  }();
  return pages;
}

// A matcher keeps the converted subject for another pattern over the same page;
// `samePage` false alternates two pages that differ in their last byte, so every
// run pays the conversion as a new page would.
void RunMatcher(benchmark::State& state, const std::string& pattern, int groups, bool samePage = false) {
  const Pages& page = Page2MB();
  const Text other = page.gbk.substr(0, page.gbk.size() - 1) + " ";
  const Text gbkPattern = raziriz::GbkFromUtf8(pattern);
  raziriz::RegexMatcher matcher;
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    matcher.Execute(gbkPattern, samePage || flip ? page.gbk : other);
    for (int m = 1; m <= matcher.MatchCount(); ++m) {
      for (int g = 1; g <= groups; ++g) benchmark::DoNotOptimize(matcher.SubMatchText(m, g));
    }
  }
  if (matcher.MatchCount() != kSlides) state.SkipWithError("wrong match count");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.gbk.size()));
}

// What a program would do with PCRE2 alone on a UTF-8 page: compile (with JIT),
// collect every match, copy out the groups.
void RunBare(benchmark::State& state, const std::string& pattern, int groups, bool compileEachTime,
             bool checkUtf = true) {
  const Pages& page = Page2MB();
  auto compile = [&] {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_UTF | PCRE2_CASELESS | PCRE2_MULTILINE, &error, &offset, nullptr);
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    return std::unique_ptr<pcre2_code, decltype(&pcre2_code_free)>(code, &pcre2_code_free);
  };
  auto code = compile();
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(page.utf8.data());
  int found = 0;
  for (auto _ : state) {
    if (compileEachTime) code = compile();
    std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr), &pcre2_match_data_free);
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    std::vector<std::string> texts;
    found = 0;
    PCRE2_SIZE start = 0;
    // The subject is checked as UTF-8 once, on the first call, not on every call
    // (or never, like the matcher, which made the UTF-8 itself).
    std::uint32_t options = checkUtf ? 0 : PCRE2_NO_UTF_CHECK;
    while (pcre2_match(code.get(), subject, page.utf8.size(), start, options, data.get(), nullptr) > 0) {
      options = PCRE2_NO_UTF_CHECK;
      ++found;
      for (int g = 1; g <= groups; ++g) texts.emplace_back(page.utf8.substr(ov[2 * g], ov[2 * g + 1] - ov[2 * g]));
      start = ov[1] > ov[0] ? ov[1] : ov[1] + 1;
    }
    benchmark::DoNotOptimize(texts);
  }
  if (found != kSlides) state.SkipWithError("wrong match count");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.utf8.size()));
}

void BM_MatcherFilm(benchmark::State& state) { RunMatcher(state, FilmPattern(), 2); }
void BM_BareFilm(benchmark::State& state) { RunBare(state, FilmPattern(), 2, true); }
void BM_BareFilmPrecompiled(benchmark::State& state) { RunBare(state, FilmPattern(), 2, false); }
void BM_BareFilmUnchecked(benchmark::State& state) { RunBare(state, FilmPattern(), 2, true, false); }
void BM_MatcherImage(benchmark::State& state) { RunMatcher(state, kImagePattern, 1); }
void BM_MatcherImageSamePage(benchmark::State& state) { RunMatcher(state, kImagePattern, 1, true); }
void BM_BareImage(benchmark::State& state) { RunBare(state, kImagePattern, 1, true); }
void BM_BareImagePrecompiled(benchmark::State& state) { RunBare(state, kImagePattern, 1, false); }
void BM_BareImageUnchecked(benchmark::State& state) { RunBare(state, kImagePattern, 1, true, false); }

BENCHMARK(BM_MatcherFilm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareFilm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareFilmPrecompiled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareFilmUnchecked)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatcherImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatcherImageSamePage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareImagePrecompiled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareImageUnchecked)->Unit(benchmark::kMicrosecond);

// The page conversion on its own: the part of Execute that bare PCRE2 does not do.
void BM_GbkToUtf8Iconv(benchmark::State& state) {
  const Pages& page = Page2MB();
  for (auto _ : state) benchmark::DoNotOptimize(raziriz::Utf8FromGbk(page.gbk));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.gbk.size()));
}
BENCHMARK(BM_GbkToUtf8Iconv)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
