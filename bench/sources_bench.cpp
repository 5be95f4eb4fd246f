// Each poster source against a loopback copy of its site: pages of about 1 MB
// with 20 carousel slides each, timed from the call to the last row, beside a
// bare libcurl fetch of the same pages in the same run (and, for 360, the same
// fixed 600 ms pause between its two pages). The gap is the source's own work:
// conversion, block cut, extraction and rows.

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/curl_bench_main.h"
#include "net/curl_easy.h"
#include "sources/sources.h"
#include "tests/sources/source_test_support.h"
#include "text/charset.h"

namespace {

using raziriz::PosterList;
using raziriz::SourceOptions;
using raziriz::testing::LoopbackServer;
using raziriz::testing::Reply;

constexpr std::size_t kPageBytes = 1024 * 1024;
constexpr int kSlides = 20;

// Ordinary page markup around the carousel: links, pictures and Chinese text,
// none of it carrying a site's slide markers.
std::string Filler(std::size_t bytes, std::string_view lineEnd) {
  std::string filler;
  for (int row = 0; filler.size() < bytes; ++row) {
    const std::string n = std::to_string(row);
    filler += "<li class=\"list-item\"><a href=\"https://v.example.com/play/" + n + ".html\" target=\"_blank\">";
    filler += "<img class=\"cover\" src=\"https://img.example.com/cover/" + n + ".jpg\" alt=\"影片" + n + "\"></a>";
    filler += "<p class=\"desc\">这是第" + n + "部影片的简介，讲述了一段动人的故事。</p></li>";
    filler += lineEnd;
  }
  return filler;
}

std::string Title(int i) { return "海报标题" + std::to_string(i); }

// A page of about kPageBytes: head, a tenth of the filler, the carousel, the rest.
std::string Page(const std::string& carousel, std::string_view lineEnd = "\n") {
  std::string page = "<!DOCTYPE html>";
  page += lineEnd;
  page += "<html><head><meta charset=\"utf-8\"><title>首页</title></head><body>";
  page += lineEnd;
  page += Filler(kPageBytes / 10, lineEnd);
  page += carousel;
  page += Filler(kPageBytes > page.size() ? kPageBytes - page.size() : 0, lineEnd);
  page += "</body></html>";
  page += lineEnd;
  return page;
}

template <typename SlideText>
std::string Slides(SlideText slide) {
  std::string slides;
  for (int i = 1; i <= kSlides; ++i) slides += slide(i);
  return slides;
}

std::string SohuFilm(int i) {
  const std::string n = std::to_string(i);
  return "    <div class=\"item-info\">\r\n"
         "        <h2 class=\"item-info-title\">" + Title(i) + "</h2>\r\n"
         "        <p class=\"item-info-brief\">简介</p>\r\n"
         "        <a href=\"//tv.sohu.com/v/" + n + ".html\" target=\"_blank\" class=\"item-info-see\" pb-click "
         "data-pb-txid=\"focus_bigvideowatch\" data-pb-other=\"a\"></a>\r\n"
         "        <span class=\"item-info-voice item-info-voice-no hidden\" pb-click "
         "data-pb-txid=\"focus_bigvideomute\"></span>\r\n"
         "    </div>\r\n"
         "    <div class=\"item-video\" style=\"background-color:#101010;background-image:url(//photocdn.sohu.com/f" + n +
         ".jpg);\">\r\n    </div>\r\n";
}

std::string SohuSeries(int i) {
  const std::string n = std::to_string(i);
  return "                <li class=\"item\" data-back=\"#202020\" data-bgimage=\"//photocdn.sohu.com/s" + n + ".jpg\">\r\n"
         "                    <a href=\"//tv.sohu.com/s/" + n + ".html\" target=\"_blank\" data-pb-other=\"b\" class=\"item-link\">\r\n"
         "                <em class=\"item-name\">" + Title(i) + "</em>\r\n"
         "                    </a>\r\n                </li>\r\n";
}

// The pages of each site, by path and query, as the site would serve them.
std::map<std::string, std::string> SitePages(const std::string& site) {
  if (site == "pptv") {
    return {{"/", Page("<!--标题和小图 s--><ul>\n" + Slides([](int i) {
                         return "<li><img data-source=\"//img.pptv.com/s" + std::to_string(i) +
                                ".jpg\"><span class=\"main\">" + Title(i) + "</span><span class=\"sub\">x</span></li>\n";
                       }) + "</ul><!--标题和小图 e-->\n")}};
  }
  if (site == "iqiyi") {
    return {{"/", Page("<a>我要合作</a>\n" + Slides([](int i) {
                         return "<a style=\"background-image:url(//pic.iqiyipic.com/s" + std::to_string(i) +
                                ".jpg);\"><span class=\"b-topslidernew-tit\">" + Title(i) +
                                "</span><span class=\"colon\">&nbsp;</span></a>\n";
                       }) + "<p>充值钻石打怪掉</p>\n")}};
  }
  if (site == "mgtv") {
    return {{"/", Page("<!--导航浮层区域露出--><script>var d=[" + Slides([](int i) {
                         return "{imgHUrl:\"https:\\u002F\\u002F1img.hitv.com\\u002Fs" + std::to_string(i) +
                                ".jpg\",playerType:1,a,autoPlayVideoId:a,name:\"" + Title(i) + "\",isShare:b},";
                       }) + "];</script><!--首页导航-新版-->\n")}};
  }
  if (site == "360") {
    const auto slide = [](const char* titleClass, const char* colon) {
      return [=](int i) {
        return "<a style=\"background-image:url(https://p.ssl.qhimg.com/s" + std::to_string(i) + ".jpg);\"><span class=\"" +
               titleClass + "\">" + Title(i) + "</span><span class=\"colon\"" + colon + "</span></a>\n";
      };
    };
    return {{"/dianying/index.html",
             Page("<!-- 顶部轮播图 -->\n" + Slides(slide("b-topslidernew-tit", ">&nbsp;")) + "<div class=\"tj-顶部筛选\">\n")},
            {"/dongman/index.html?from=dianshi_channel",
             Page("<div monitor-desc=\"焦点图\" monitor-shortpv monitor-shortpv-b monitor-cid=\"1\">\n" +
                  Slides(slide("b-topslider-tit", ">")) + "<h3>热门标签</h3>\n")}};
  }
  if (site == "2345") {
    return {{"/", raziriz::GbkFromUtf8(Page("<!-- 浮层广告   end -->\n" + Slides([](int i) {
                                          return "<a><img src=\"//img.2345.com/s" + std::to_string(i) +
                                                 ".jpg\"></a><span class=\"sTit\">" + Title(i) +
                                                 "</span><span class=\"sDes\">x</span>\n";
                                        }) + "<script>//fn_slide</script>\n"))}};
  }
  if (site == "letv") {
    return {{"/", Page(Slides([](int i) {
               return "<div style=\"background-image:url(//i1.letvimg.com/s" + std::to_string(i) +
                      ".jpg);background-color:#000\"data-state-report=\"{}\"><a title=\"" + Title(i) +
                      "\"target=\"_blank\"href=\"//www.le.com/ptv/" + std::to_string(i) + ".html\"></a></div>\n";
             }))}};
  }
  if (site == "sohu") {
    return {{"/movie/", Page(Slides(SohuFilm), "\r\n")},
            {"/drama/", Page(Slides(SohuSeries), "\r\n")},
            {"/comic/", Page(Slides(SohuSeries), "\r\n")}};
  }
  if (site == "qq") {
    // One image more than titles: the first image goes unshown.
    return {{"/", Page("<div data-bgimage=\"//puui.qpic.cn/s0.jpg\"></div>\n" + Slides([](int i) {
                         return "<div data-bgimage=\"//puui.qpic.cn/s" + std::to_string(i) + ".jpg\" _stat=\"焦点图:标题:" +
                                Title(i) + "\"></div>\n";
                       }) + "<div _stat=\"焦点图:标题:end\"></div>\n")}};
  }
  if (site == "youku") {
    return {{"/", Page("<a>VIP登录，跳过广告看大片</a>\n" + Slides([](int i) {
                         return "<a style=\"background-image:url(//liangcang-material.alicdn.com/s" + std::to_string(i) +
                                ".jpg)\" title=\"" + Title(i) + "\"><div class=\"t\"></div></a>\n";
                       }) + "<span>中国大陆</span>\n")}};
  }
  return {};
}

// The order in which each source asks for its pages.
std::vector<std::string> FetchOrder(const std::string& site) {
  if (site == "360") return {"/dianying/index.html", "/dongman/index.html?from=dianshi_channel"};
  if (site == "sohu") return {"/movie/", "/drama/", "/comic/"};
  return {"/"};
}

// A loopback site per source, made once.
// Served as bytes rather than text/html: the loopback server would otherwise
// brotli-compress each 1 MB page at its highest quality for the sources (whose
// requests accept br), seconds of server work per request that no real site
// spends and that the bare fetch would not see.
struct Site {
  explicit Site(const std::string& name) : fake(Pages(name), "application/octet-stream") {}
  static std::map<std::string, std::string> Pages(const std::string& name) {
    std::map<std::string, std::string> pages;
    for (auto& [target, body] : SitePages(name)) pages[target] = "=" + body;
    return pages;
  }
  raziriz::testing::FakeSite fake;
};

Site& SiteFor(const std::string& name) {
  static std::map<std::string, std::unique_ptr<Site>> sites;
  auto& site = sites[name];
  if (!site) site = std::make_unique<Site>(name);
  return *site;
}

class CountingList final : public PosterList {
 public:
  void Clear() override { rows = 0; }
  int AppendRow() override { return rows++; }
  void SetCell(int, int, std::string_view text) override { cellBytes += text.size(); }
  int rows = 0;
  std::size_t cellBytes = 0;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

const raziriz::SourceInfo* Source(const std::string& name) {
  for (const auto& source : raziriz::AllSources()) {
    if (source.cliName == name) return &source;
  }
  return nullptr;
}

void BM_Source(benchmark::State& state, const std::string& name) {
  Site& site = SiteFor(name);
  const SourceOptions options{.baseUrl = site.fake.BaseUrl()};
  const auto* source = Source(name);
  int rows = 0;
  for (auto _ : state) {
    CountingList list;
    source->load(list, options);
    rows = list.rows;
    benchmark::DoNotOptimize(list.cellBytes);
  }
  state.counters["rows"] = rows;
}

void BM_BareFetch(benchmark::State& state, const std::string& name) {
  Site& site = SiteFor(name);
  const std::string base = site.fake.BaseUrl();
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    bool first = true;
    for (const std::string& target : FetchOrder(name)) {
      if (!first && name == "360") std::this_thread::sleep_for(std::chrono::milliseconds(600));
      first = false;
      raziriz::CurlEasy handle(curl_easy_init());
      std::string body;
      const std::string url = base + target;
      curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
      curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &Collect);
      curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
      curl_easy_perform(handle.get());
      bytes += body.size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

const char* const kSites[] = {"qq", "youku", "iqiyi", "mgtv", "letv", "sohu", "pptv", "360", "2345"};

const bool kRegistered = [] {
  for (const char* name : kSites) {
    auto* bare = benchmark::RegisterBenchmark((std::string("BareFetch/") + name).c_str(), BM_BareFetch, name);
    auto* source = benchmark::RegisterBenchmark((std::string("Source/") + name).c_str(), BM_Source, name);
    for (auto* b : {bare, source}) {
      b->Unit(benchmark::kMillisecond)->UseRealTime();
      if (std::string_view(name) == "360") b->Iterations(5);
    }
  }
  return true;
}();

}  // namespace

RAZIRIZ_CURL_BENCHMARK_MAIN()
