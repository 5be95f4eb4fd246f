#include "sources/home_feed.h"

#include <string>

#include "net/web_request.h"
#include "text/charset.h"
#include "text/extract.h"

namespace raziriz {
namespace {

// The page text of a UTF-8 page fetched with POST and no body.
Text FetchPageText(std::string_view url) {
  const Bytes body = WebRequest(url, {.method = 1});
  return TakeAsText(ConvertCharset(body));
}

}  // namespace

HomeFeed ParseHomeFeed(std::string_view pageText) {
  static const Text kImageStart = "data-srcset=\"";
  static const Text kImageEnd = "\"";
  static const Text kTitleStart = "<p style=\"text-align: center;\">";
  static const Text kParagraphEnd = "</p>";
  static const Text kUpdateStart = GbkFromUtf8("<p>更新地址：");
  static const Text kAnnouncementStart = GbkFromUtf8("<p>软件公告：");
  static const Text kVersionStart = GbkFromUtf8("<p>软件版本：");

  HomeFeed feed;
  TextBetweenAll(pageText, kImageStart, kImageEnd, feed.posterAddresses);
  // Titles of 20 bytes or more are dropped without leaving a gap.
  TextBetweenAll(pageText, kTitleStart, kParagraphEnd, feed.titles, {.maxLength = 20});
  feed.updateAddress = TextBetween(pageText, kUpdateStart, kParagraphEnd);
  feed.announcement = TextBetween(pageText, kAnnouncementStart, kParagraphEnd);
  feed.latestVersion = TextBetween(pageText, kVersionStart, kParagraphEnd);
  return feed;
}

HomeFeed FetchHomeFeed(std::string_view url) { return ParseHomeFeed(FetchPageText(url)); }

void LoadHomeFeedRows(PosterList& list, const HomeFeed& feed) {
  for (std::size_t i = 0; i < feed.posterAddresses.size(); ++i) {
    const int row = list.AppendRow();
    list.SetCell(row, 0, std::to_string(i + 1));
    list.SetCell(row, 2, feed.posterAddresses[i]);
    list.SetCell(row, 1, i < feed.titles.size() ? std::string_view(feed.titles[i]) : std::string_view());
  }
}

VisitCounts ParseVisitCounts(std::string_view counterText) {
  static const Text kTodayStart = GbkFromUtf8("今日访问：");
  static const Text kTodayEnd = GbkFromUtf8("&#10;累计访问");
  static const Text kYesterdayStart = GbkFromUtf8("昨日访问：");
  static const Text kYesterdayEnd = GbkFromUtf8("&#10;今日访问");
  static const Text kTotalStart = GbkFromUtf8("累计访问：");
  static const Text kTotalEnd = GbkFromUtf8("&#10;点击申请计数器");

  VisitCounts counts;
  counts.today = TextBetween(counterText, kTodayStart, kTodayEnd);
  counts.yesterday = TextBetween(counterText, kYesterdayStart, kYesterdayEnd);
  counts.total = TextBetween(counterText, kTotalStart, kTotalEnd);
  return counts;
}

VisitCounts FetchVisitCounts(std::string_view url) { return ParseVisitCounts(FetchPageText(url)); }

}  // namespace raziriz
