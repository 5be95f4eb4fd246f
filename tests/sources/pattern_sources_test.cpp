// The pattern-style sources (LeTV, Sohu, Tencent Video, Youku): rows and their
// numbering, the Tencent title offset, Youku's image cut, Sohu's three pages,
// appending vs clearing, and runs nested from event processing.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "net/curl_easy.h"
#include "sources/sohu_patterns.h"
#include "sources/sources.h"
#include "tests/sources/source_test_support.h"
#include "text/event_hook.h"

namespace raziriz {
namespace {

using testing::FakeSite;
using testing::FixturePages;
using testing::RecordingList;
using testing::Row;

const CurlGlobal gCurl;

const std::string kMeta = "<html><head><meta charset=\"utf-8\"></head><body>\n";

std::vector<std::string> Column(const std::vector<Row>& rows, std::size_t column) {
  std::vector<std::string> values;
  for (const Row& row : rows) values.push_back(row[column]);
  return values;
}

// ---- LeTV -----------------------------------------------------------------

TEST(LetvSourceTest, FindsSlidesWrittenInTheSiteOrderOnly) {
  FakeSite site(FixturePages("letv"));
  RecordingList list;

  LoadLetvPosters(list, {.baseUrl = site.BaseUrl()});

  // The slide with a space before target is not found; addresses stay as found.
  const std::vector<Row> expected = {{"1", "letv", "老九门", "//i1.letvimg.example/lc01/a1.jpg"},
                                     {"2", "letv", "芈月传", "http://i1.letvimg.example/lc01/a3.jpg"}};
  EXPECT_EQ(list.Rows(), expected);
  EXPECT_EQ(site.Seen(), (std::vector<std::string>{"GET /"}));
  EXPECT_EQ(list.ClearCount(), 0);
  for (const auto& order : list.ColumnOrders()) EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(LetvSourceTest, SecondPressAppendsAndNumbersOn) {
  FakeSite site(FixturePages("letv"));
  RecordingList list;

  LoadLetvPosters(list, {.baseUrl = site.BaseUrl()});
  LoadLetvPosters(list, {.baseUrl = site.BaseUrl()});

  EXPECT_EQ(Column(list.Rows(), 0), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(list.Rows()[2][2], "老九门");
}

// ---- Sohu -----------------------------------------------------------------

TEST(SohuSourceTest, PatternsAreByteExact) {
  EXPECT_EQ(kSohuFilmPattern.size(), 439u);
  EXPECT_EQ(kSohuSeriesPattern.size(), 178u);
  EXPECT_TRUE(kSohuFilmPattern.ends_with("\\);\">\r"));
  EXPECT_TRUE(kSohuSeriesPattern.ends_with("</em>\r"));
}

TEST(SohuSourceTest, NumbersRowsAcrossItsThreePages) {
  struct Case {
    const char* name;
    std::string comicPage;  // fixture for /comic/, or "" for none
    std::vector<std::string> titles;
  };
  const std::vector<std::string> five = {"误杀", "唐探", "琅琊榜", "伪装者", "欢乐颂"};
  std::vector<std::string> six = five;
  six.push_back("秦时明月");
  const Case cases[] = {
      {"all three pages", "sohu/comic.html", six},
      {"animation page missing", "", five},
      // Bare LF line ends do not match the CR LF patterns.
      {"animation page with LF line ends", "sohu/comic_lf.html", five},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto pages = FixturePages("sohu");
    if (c.comicPage.empty()) {
      pages.erase("/comic/");
    } else {
      pages["/comic/"] = c.comicPage;
    }
    FakeSite site(pages);
    RecordingList list;
    list.AppendRow();  // an earlier run's row

    LoadSohuPosters(list, {.baseUrl = site.BaseUrl()});

    const auto rows = list.Rows();
    EXPECT_EQ(Column(rows, 2), c.titles);
    std::vector<std::string> numbers;
    for (std::size_t i = 1; i <= c.titles.size(); ++i) numbers.push_back(std::to_string(i));
    EXPECT_EQ(Column(rows, 0), numbers);
    EXPECT_EQ(list.ClearCount(), 1);
    EXPECT_EQ(site.Seen(), (std::vector<std::string>{"GET /movie/", "GET /drama/", "GET /comic/"}));
    ASSERT_GE(rows.size(), 3u);
    // Film pages give the url( ) text, series pages the data-bgimage value.
    EXPECT_EQ(rows[0][3], "https://photocdn.sohu.example/film1.jpg");
    EXPECT_EQ(rows[2][3], "https://photocdn.sohu.example/drama1.jpg");
    EXPECT_EQ(rows[2][1], "sohu");
  }
}

// ---- Tencent Video ----------------------------------------------------------

std::string TencentPage(const std::vector<std::string>& images, const std::vector<std::string>& titles) {
  std::string page = kMeta;
  for (const auto& image : images) page += "<div data-bgimage=\"" + image + "\"></div>\n";
  for (const auto& title : titles) page += "<a _stat=\"焦点图:标题:" + title + "\"></a>\n";
  return page;
}

TEST(TencentSourceTest, PairsTitleKWithImageKPlusOne) {
  FakeSite site(FixturePages("qq"));
  RecordingList list;

  LoadTencentPosters(list, {.baseUrl = site.BaseUrl()});

  const std::vector<Row> expected = {{"1", "qq", "庆余年", "https://puui.qpic.example/vcover/q2.jpg"},
                                     {"2", "qq", "繁花", "https://puui.qpic.example/vcover/q3.jpg"},
                                     {"3", "qq", "漫长的季节", "https://puui.qpic.example/vcover/q4.jpg"},
                                     {"4", "qq", "狂飙", "https://puui.qpic.example/vcover/q5.jpg"},
                                     {"5", "qq", "三体", "https://puui.qpic.example/vcover/q6.jpg"}};
  EXPECT_EQ(list.Rows(), expected);
  EXPECT_EQ(list.ClearCount(), 0);
  for (const auto& order : list.ColumnOrders()) EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(TencentSourceTest, TitleAndImageEdgeCases) {
  struct Case {
    const char* name;
    std::vector<std::string> images;
    std::vector<std::string> titles;
    std::vector<Row> rows;
  };
  const Case cases[] = {
      // An empty title is skipped, so later titles move one image earlier.
      {"empty title",
       {"//i/1", "//i/2", "//i/3"},
       {"A", "", "B", "C"},
       {{"1", "qq", "A", "https://i/2"}, {"2", "qq", "B", "https://i/3"}}},
      // No image k + 1: the row keeps its title and an empty address.
      {"image missing", {"//i/1", "//i/2"}, {"A", "B", "C"}, {{"1", "qq", "A", "https://i/2"}, {"2", "qq", "B", ""}}},
      {"one title only", {"//i/1", "//i/2"}, {"A"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSite site(FakeSite::Pages{{"/", "=" + TencentPage(c.images, c.titles)}});
    RecordingList list;
    LoadTencentPosters(list, {.baseUrl = site.BaseUrl()});
    EXPECT_EQ(list.Rows(), c.rows);
  }
}

TEST(TencentSourceTest, SecondPressAppendsANewSetFromOne) {
  FakeSite site(FixturePages("qq"));
  RecordingList list;

  LoadTencentPosters(list, {.baseUrl = site.BaseUrl()});
  LoadTencentPosters(list, {.baseUrl = site.BaseUrl()});

  EXPECT_EQ(Column(list.Rows(), 0), (std::vector<std::string>{"1", "2", "3", "4", "5", "1", "2", "3", "4", "5"}));
}

// ---- Youku ------------------------------------------------------------------

std::string YoukuPage(const std::vector<std::string>& images, const std::vector<std::string>& titles,
                      bool withEndMarker = true) {
  std::string page = kMeta + "<a>VIP登录，跳过广告看大片</a>\n";
  for (const auto& image : images) page += "<a style=\"background-image:url(//liangcang-material" + image + ")\"></a>\n";
  for (const auto& title : titles) page += "<a title=\"" + title + "\"><div class=\"t\"></div></a>\n";
  if (withEndMarker) page += "<span>中国大陆</span>\n";
  return page;
}

TEST(YoukuSourceTest, RowsNumberedFromZeroByPosition) {
  FakeSite site(FixturePages("youku"));
  RecordingList list;
  list.AppendRow();

  LoadYoukuPosters(list, {.baseUrl = site.BaseUrl()});

  const std::vector<Row> expected = {
      {"0", "youku", "长相思", "https://liangcang-material.alicdn.example/bao/y1.jpg"},
      {"1", "youku", "莲花楼", "https://liangcang-material.alicdn.example/bao/y2.png"},
      {"2", "youku", "漫长的季节", "https://liangcang-material.alicdn.example/bao/y3.jpg"}};
  EXPECT_EQ(list.Rows(), expected);
  EXPECT_EQ(list.ClearCount(), 1);
  // The home page address has no path at all.
  EXPECT_EQ(site.Seen(), (std::vector<std::string>{"GET /"}));
}

TEST(YoukuSourceTest, ImageCutAndTitleFilter) {
  const std::string tooLong(50, 'x');
  struct Case {
    const char* name;
    std::string page;
    std::vector<Row> rows;
  };
  const Case cases[] = {
      // The address ends at the first g after the prefix, whatever its case.
      {"gif and capital G",
       YoukuPage({".cdn.example/a.gif", ".cdn.example/BIG/b.jpg"}, {"A", "B"}),
       {{"0", "youku", "A", "https://liangcang-material.cdn.example/a.g"},
        {"1", "youku", "B", "https://liangcang-material.cdn.example/BIg"}}},
      // A title of 50 bytes is dropped and the next one moves up.
      {"long title",
       YoukuPage({".cdn.example/a.jpg", ".cdn.example/b.jpg"}, {tooLong, "B"}),
       {{"0", "youku", "B", "https://liangcang-material.cdn.example/a.jpg"},
        {"1", "youku", "", "https://liangcang-material.cdn.example/b.jpg"}}},
      {"no end marker", YoukuPage({".cdn.example/a.jpg"}, {"A"}, false), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSite site(FakeSite::Pages{{"/", "=" + c.page}});
    RecordingList list;
    list.AppendRow();
    LoadYoukuPosters(list, {.baseUrl = site.BaseUrl()});
    EXPECT_EQ(list.Rows(), c.rows);
  }
}

// ---- Runs nested from event processing --------------------------------------

// The event pump of these tests: runs `gNested` once, when `gOuter` has exactly
// one row, that is at the start of the outer run's second row.
std::function<void()> gNested;
const RecordingList* gOuter = nullptr;

void PumpOnce() {
  if (gNested && gOuter != nullptr && gOuter->Rows().size() == 1) {
    auto nested = std::move(gNested);
    gNested = nullptr;
    nested();
  }
}

class NestedRunTest : public ::testing::Test {
 protected:
  void SetUp() override { SetEventPump(&PumpOnce); }
  void TearDown() override {
    SetEventPump(nullptr);
    gNested = nullptr;
    gOuter = nullptr;
  }
};

// Sohu run from LeTV's event processing replaces the shared matcher's matches;
// LeTV's second row still comes from LeTV's own page.
TEST_F(NestedRunTest, LetvRowsSurviveASohuRunInside) {
  FakeSite letv(FixturePages("letv"));
  FakeSite sohu(FixturePages("sohu"));
  RecordingList letvList;
  RecordingList sohuList;
  gOuter = &letvList;
  gNested = [&] { LoadSohuPosters(sohuList, {.baseUrl = sohu.BaseUrl()}); };

  LoadLetvPosters(letvList, {.baseUrl = letv.BaseUrl()});

  EXPECT_EQ(Column(letvList.Rows(), 2), (std::vector<std::string>{"老九门", "芈月传"}));
  EXPECT_EQ(sohuList.Rows().size(), 6u);
}

TEST_F(NestedRunTest, SohuRowsSurviveALetvRunInside) {
  FakeSite letv(FixturePages("letv"));
  FakeSite sohu(FixturePages("sohu"));
  RecordingList letvList;
  RecordingList sohuList;
  gOuter = &sohuList;
  gNested = [&] { LoadLetvPosters(letvList, {.baseUrl = letv.BaseUrl()}); };

  LoadSohuPosters(sohuList, {.baseUrl = sohu.BaseUrl()});

  EXPECT_EQ(Column(sohuList.Rows(), 2),
            (std::vector<std::string>{"误杀", "唐探", "琅琊榜", "伪装者", "欢乐颂", "秦时明月"}));
  EXPECT_EQ(Column(letvList.Rows(), 2), (std::vector<std::string>{"老九门", "芈月传"}));
}

// A second press of the same button while its run is still going is ignored,
// so the rows of two runs never interleave in one list.
TEST_F(NestedRunTest, SecondRunOnTheSameListIsIgnored) {
  FakeSite letv(FixturePages("letv"));
  RecordingList list;
  gOuter = &list;
  gNested = [&] { LoadLetvPosters(list, {.baseUrl = letv.BaseUrl()}); };

  LoadLetvPosters(list, {.baseUrl = letv.BaseUrl()});

  EXPECT_EQ(Column(list.Rows(), 0), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(letv.Seen().size(), 1u);
}

}  // namespace
}  // namespace raziriz
