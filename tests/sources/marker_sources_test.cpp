// The marker-style sources (PPTV, iQiyi, Mango TV, 360, 2345) against their
// fixture pages: rows, numbering, completion, the title length filters, the
// column write order and the clearing of the list on every press.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/curl_easy.h"
#include "sources/sources.h"
#include "tests/sources/source_test_support.h"

namespace raziriz {
namespace {

using testing::FakeSite;
using testing::FixturePages;
using testing::RecordingList;
using testing::Row;

const CurlGlobal gCurl;

struct MarkerCase {
  const char* site;
  void (*load)(PosterList&, const SourceOptions&);
  std::vector<std::string> requests;  // method and target, in order
  std::vector<Row> rows;
};

const std::string kTooLong = "这是一个非常长的标题用来测试长度限制是否生效呀啊啊";  // 50 bytes in GBK
const std::string kTwentyBytes = "一二三四五六七八九十";
const std::string kNineteenBytes = "一二三四五六七八九X";

std::vector<MarkerCase> Cases() {
  return {
      // The 50-byte title is dropped, so slide 2 shows slide 3's title and the
      // last slide has none; addresses stay as found, without a scheme.
      {"pptv",
       &LoadPptvPosters,
       {"GET /"},
       {{"1", "pptv", "大江大河", "//img.pptv.example/slide1.jpg"},
        {"2", "pptv", "山海情", "//img.pptv.example/slide2.jpg"},
        {"3", "pptv", "", "//img.pptv.example/slide3.jpg"}}},
      // Ten Chinese characters (20 bytes) are too long, nine and a letter are not.
      {"iqiyi",
       &LoadIqiyiPosters,
       {"GET /"},
       {{"1", "iqy", "人世间", "//pic0.iqiyipic.example/image/a1.jpg"},
        {"2", "iqy", kNineteenBytes, "//pic1.iqiyipic.example/image/a2.jpg"},
        {"3", "iqy", "", "//pic2.iqiyipic.example/image/a3.jpg"}}},
      // Addresses are decoded from \u002F; titles are written as found.
      {"mgtv",
       &LoadMangoPosters,
       {"GET /"},
       {{"1", "mgtv", "乘风破浪", "https://1img.hitv.example/hitv/m1.jpg"},
        {"2", "mgtv", "快乐\\u0020大本营", "https://1img.hitv.example/hitv/m2.jpg"},
        {"3", "mgtv", "", "https://1img.hitv.example/hitv/m3.jpg"}}},
      // Two pages, each numbered from 1; a 20-byte title is dropped on the
      // first page (limit 20) and kept on the second (limit 50).
      {"360",
       &Load360Posters,
       {"GET /dianying/index.html", "GET /dongman/index.html?from=dianshi_channel"},
       {{"1", "360", "流浪地球", "https://p.ssl.qhimg.example/film1.jpg"},
        {"2", "360", "满江红", "https://p.ssl.qhimg.example/film2.jpg"},
        {"3", "360", "长津湖", "https://p.ssl.qhimg.example/film3.jpg"},
        {"4", "360", "", "https://p.ssl.qhimg.example/film4.jpg"},
        {"1", "360", "哪吒", "https://p.ssl.qhimg.example/anime1.jpg"},
        {"2", "360", kTwentyBytes, "https://p.ssl.qhimg.example/anime2.jpg"},
        {"3", "360", "大鱼海棠", "https://p.ssl.qhimg.example/anime3.jpg"}}},
      // A GBK page read as it comes; "https://" goes in front of whatever lies
      // between the markers, so an image tag not closed at once runs on.
      {"2345",
       &Load2345Posters,
       {"GET /"},
       {{"1", "2345", "少年派", "https://img.2345.example/s1.jpg"},
        {"2", "2345", "觉醒年代", "https://img.2345.example/s2.jpg\" alt=\"二"},
        {"3", "2345", "庆余年", "https://img.2345.example/s3.jpg"}}},
  };
}

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.site; }

class MarkerSourceTest : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(MarkerSourceTest, FillsRowsFromTheSitePage) {
  const MarkerCase& c = GetParam();
  FakeSite site(FixturePages(c.site));
  RecordingList list;
  list.AppendRow();  // a row from an earlier run

  c.load(list, {.baseUrl = site.BaseUrl()});

  EXPECT_EQ(list.Rows(), c.rows);
  EXPECT_EQ(site.Seen(), c.requests);
  EXPECT_EQ(list.ClearCount(), 1);
  EXPECT_EQ(list.BadWrites(), 0);
  const auto orders = list.ColumnOrders();
  ASSERT_EQ(orders.size(), c.rows.size() + 1);
  for (std::size_t i = 1; i < orders.size(); ++i) EXPECT_EQ(orders[i], (std::vector<int>{0, 1, 3, 2})) << i;
}

TEST_P(MarkerSourceTest, SecondPressReplacesTheRows) {
  const MarkerCase& c = GetParam();
  FakeSite site(FixturePages(c.site));
  RecordingList list;

  c.load(list, {.baseUrl = site.BaseUrl()});
  c.load(list, {.baseUrl = site.BaseUrl()});

  EXPECT_EQ(list.Rows(), c.rows);
  EXPECT_EQ(list.ClearCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Sites, MarkerSourceTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string("site_") + info.param.site; });

// Bytes that are not UTF-8 become "?" and take nothing with them: a block
// right after such bytes is still found, and a title holding them shows "?".
TEST(MarkerPageTest, InvalidUtf8AroundAndInsideTheBlock) {
  const std::string page =
      "=<html>\xE6\x88<!--标题和小图 s--><i data-source=\"//img/a.jpg\"></i>"
      "<span class=\"main\">A\xFF\xE6\x88" "B</span><span class=\"sub\"></span>\xF0\x9F<!--标题和小图 e-->";
  FakeSite site(FakeSite::Pages{{"/", page}});
  RecordingList list;

  LoadPptvPosters(list, {.baseUrl = site.BaseUrl()});

  EXPECT_EQ(list.Rows(), (std::vector<Row>{{"1", "pptv", "A???B", "//img/a.jpg"}}));
}

// Each 360 page fails on its own: without the film page the animation page's
// rows still come, numbered from 1.
TEST(Source360Test, MissingFirstPageStillReadsTheSecond) {
  FakeSite site(FakeSite::Pages{{"/dongman/index.html?from=dianshi_channel", "360/dongman.html"}});
  RecordingList list;

  Load360Posters(list, {.baseUrl = site.BaseUrl()});

  const auto rows = list.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[2][3], "https://p.ssl.qhimg.example/anime3.jpg");
}

}  // namespace
}  // namespace raziriz
