// Marker search and extraction over a GBK page, beside memmem on the same bytes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "text/charset.h"
#include "text/extract.h"

namespace {

using raziriz::Text;

// A page of mostly ASCII markup with Chinese text, `pieces` slides spread evenly,
// about `bytes` long, ending with a marker that occurs nowhere else.
Text MakePage(std::size_t bytes, int pieces) {
  const Text chinese = raziriz::GbkFromUtf8("春天的故事在这里开始，冬日的新编");
  const Text filler = "<div class=\"item\"><span>" + chinese + "</span><a href=\"/x/y\">link</a></div>\n";
  Text page;
  page.reserve(bytes + 4096);
  const std::size_t gap = bytes / static_cast<std::size_t>(pieces + 1);
  for (int i = 0; i < pieces; ++i) {
    while (page.size() < gap * static_cast<std::size_t>(i + 1)) page += filler;
    page += "<img data-srcset=\"https://img.example/" + std::to_string(i) + ".jpg\">";
  }
  while (page.size() < bytes) page += filler;
  page += "<!--the end-->";
  return page;
}

const Text& Page2MB() {
  static const Text page = MakePage(2 * 1024 * 1024, 1000);
  return page;
}

void BM_FindText(benchmark::State& state) {
  const Text& page = Page2MB();
  for (auto _ : state) benchmark::DoNotOptimize(raziriz::FindText(page, "<!--the end-->"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_FindText);

void BM_Memmem(benchmark::State& state) {
  const Text& page = Page2MB();
  static constexpr char kNeedle[] = "<!--the end-->";
  for (auto _ : state) {
    benchmark::DoNotOptimize(memmem(page.data(), page.size(), kNeedle, sizeof kNeedle - 1));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Memmem);

void BM_FindTextChineseNeedle(benchmark::State& state) {
  const Text& page = Page2MB();
  const Text needle = raziriz::GbkFromUtf8("不在页面里");
  for (auto _ : state) benchmark::DoNotOptimize(raziriz::FindText(page, needle));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_FindTextChineseNeedle);

// 1,000 pieces over pages of growing size: the time should grow with the size.
void BM_TextBetweenAll(benchmark::State& state) {
  const Text page = MakePage(static_cast<std::size_t>(state.range(0)) * 1024, 1000);
  raziriz::TextArray results;
  for (auto _ : state) {
    benchmark::DoNotOptimize(raziriz::TextBetweenAll(page, "data-srcset=\"", "\"", results));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TextBetweenAll)->RangeMultiplier(2)->Range(256, 4096)->Complexity(benchmark::oN);

void BM_ConvertCharset(benchmark::State& state) {
  static const std::string utf8 = raziriz::Utf8FromGbk(Page2MB());
  for (auto _ : state) benchmark::DoNotOptimize(raziriz::ConvertCharset(utf8));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * utf8.size()));
}
BENCHMARK(BM_ConvertCharset);

// The same conversion through plain iconv (a UTF-8 alias the table path does not take).
void BM_ConvertCharsetIconv(benchmark::State& state) {
  static const std::string utf8 = raziriz::Utf8FromGbk(Page2MB());
  for (auto _ : state) benchmark::DoNotOptimize(raziriz::ConvertCharset(utf8, "ISO-10646/UTF8/", "GBK"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * utf8.size()));
}
BENCHMARK(BM_ConvertCharsetIconv);

}  // namespace

BENCHMARK_MAIN();
