#include "text/extract.h"

#include <gtest/gtest.h>

#include "text/charset.h"
#include "text/event_hook.h"

namespace raziriz {
namespace {

Text G(std::string_view utf8) { return GbkFromUtf8(utf8); }

TEST(FindText, Positions) {
  struct Case {
    std::string_view source, needle;
    int start;
    bool ignoreCase;
    int expected;
  };
  const Case cases[] = {
      {"abcabc", "c", 1, false, 3},  {"abcabc", "c", 4, false, 6},  {"abcabc", "c", 0, false, 3},
      {"abcabc", "c", -7, false, 3}, {"abcabc", "c", 7, false, -1}, {"abc", "x", 1, false, -1},
      {"abc", "abcd", 1, false, -1}, {"abc", "", 1, false, 1},      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},     {"", "", 1, false, -1},        {"Hello", "LL", 1, true, 3},
      {"Hello", "LL", 1, false, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindText(c.source, c.needle, c.start, c.ignoreCase), c.expected)
        << c.source << " / " << c.needle << " from " << c.start;
  }
}

TEST(FindText, NeverMatchesOnTheSecondByteOfACharacter) {
  // 中 D6 D0, 文 CE C4; D0 CE would straddle them. 丂 is 81 40, whose second byte is '@'.
  EXPECT_EQ(FindText("\xD6\xD0\xCE\xC4", "\xD0\xCE"), -1);
  EXPECT_EQ(FindText("\xD6\xD0\xCE\xC4\xD0\xCE", "\xD0\xCE"), 5);
  EXPECT_EQ(FindText("\x81\x40", "@"), -1);
  EXPECT_EQ(FindText("\x81\x40@", "@"), 3);
  EXPECT_EQ(FindText("x\x81\x40", "@", 1, true), -1);
  // A long run of double-byte characters with straddling candidates everywhere.
  Text run;
  for (int i = 0; i < 5000; ++i) run += "\xD6\xD0";
  EXPECT_EQ(FindText(run + "\xD0\xD6", "\xD0\xD6"), 10001);
  EXPECT_EQ(FindText(run, "\xD0\xD6"), -1);
}

TEST(TextLeftOf, Cases) {
  EXPECT_EQ(TextLeftOf("name=value", "="), "name");
  EXPECT_EQ(TextLeftOf("=value", "="), "");
  EXPECT_EQ(TextLeftOf("value", "="), "");
  EXPECT_EQ(TextLeftOf("a=b=c", "=", 3), "a=b");
  EXPECT_EQ(TextLeftOf("a=b", "=", 0), "a");
}

TEST(TextBetween, Cases) {
  const Text version = G("<p>软件版本：");
  EXPECT_EQ(TextBetween(G("<p>软件版本：1.2</p>"), version, "</p>"), "1.2");
  EXPECT_EQ(TextBetween(G("<p>软件版本：1.2"), version, "</p>"), "");
  EXPECT_EQ(TextBetween(G("<p>软件版本：</p>"), version, "</p>"), "");
  EXPECT_EQ(TextBetween("no markers", version, "</p>"), "");
  EXPECT_EQ(TextBetween("a=1;", "a=", ";"), "1");
  EXPECT_EQ(TextBetween("a=1;a=2;", "a=", ";", 2), "2");
  EXPECT_EQ(TextBetween("A=1;", "a=", ";", 1, true), "1");
  EXPECT_EQ(TextBetween("a=1;", "a=", ""), "");
}

TEST(TextBetween, QuotePlaceholderStandsForADoubleQuote) {
  const Text start = "data-srcset=" + Text(kQuotePlaceholder);
  EXPECT_EQ(TextBetween("a data-srcset=\"v\" b", start, kQuotePlaceholder), "v");
  EXPECT_EQ(kQuotePlaceholder, G("#引号"));
}

TEST(TextBetweenAll, CollectsEveryPieceInOrder) {
  TextArray results{"stale"};
  EXPECT_EQ(TextBetweenAll("data-srcset=\"1\" data-srcset=\"2\"", "data-srcset=\"", "\"", results), 2);
  EXPECT_EQ(results, (TextArray{"1", "2"}));

  // Each search resumes just after the start marker, so one quote serves as both markers.
  EXPECT_EQ(TextBetweenAll("\"a\"b\"c\"", "\"", "\"", results), 3);
  EXPECT_EQ(results, (TextArray{"a", "b", "c"}));

  EXPECT_EQ(TextBetweenAll("nothing here", "<", ">", results), 0);
  EXPECT_TRUE(results.empty());

  EXPECT_EQ(TextBetweenAll("<a><b", "<", ">", results), 1);
  EXPECT_EQ(results, (TextArray{"a"}));

  EXPECT_EQ(TextBetweenAll("<a><b>", "", ">", results), 0) << "an empty start marker gives no pieces";
}

TEST(TextBetweenAll, MaxLengthCountsBytesAfterDecorations) {
  const Text ten = G("一二三四五六七八九十");  // 20 bytes
  const Text nineteen = G("一二三四五六七八九") + "x";
  ASSERT_EQ(ten.size(), 20u);
  const Text page = "<t>" + nineteen + "</t><t>" + ten + "</t><t>ok</t>";
  TextArray results;
  EXPECT_EQ(TextBetweenAll(page, "<t>", "</t>", results, {.maxLength = 20}), 2);
  EXPECT_EQ(results, (TextArray{nineteen, "ok"}));

  EXPECT_EQ(TextBetweenAll(page, "<t>", "</t>", results, {.maxLength = 20, .prefix = "p"}), 1);
  EXPECT_EQ(results, (TextArray{"pok"}));
}

TEST(TextBetweenAll, Options) {
  TextArray results;
  TextBetweenAll("<A>x</A><a>y</a>", "<a>", "</a>", results, {.ignoreCase = true});
  EXPECT_EQ(results, (TextArray{"x", "y"}));
  TextBetweenAll("<a>x</a><a>y</a>", "<a>", "</a>", results,
                 {.prefix = "[", .suffix = "]", .keepStartMarker = true, .keepEndMarker = true});
  EXPECT_EQ(results, (TextArray{"<a>[x]</a>", "<a>[y]</a>"}));
  TextBetweenAll("<a>x</a><a>y</a>", "<a>", "</a>", results, {.startPosition = 2});
  EXPECT_EQ(results, (TextArray{"y"}));
}

int gPumps = 0;

TEST(TextBetweenAll, PumpsEventsThreeTimesAfterEachPiece) {
  gPumps = 0;
  SetEventPump([] { ++gPumps; });
  TextArray results;
  TextBetweenAll("<1><22><333>", "<", ">", results, {.maxLength = 3});
  SetEventPump(nullptr);
  EXPECT_EQ(results, (TextArray{"1", "22"}));
  EXPECT_EQ(gPumps, 9) << "dropped pieces pump too";
}

TEST(TextBetweenAll, ManyStartMarkersBeforeOneEndMarkerStayBounded) {
  // Every start marker yields a piece reaching the one end marker; the pieces are
  // capped in total instead of growing with the square of the page.
  Text page(4 * 1024 * 1024, 'x');
  for (std::size_t i = 0; i < page.size(); i += 2) page[i] = '<';
  page += "</p>";
  TextArray results;
  const int count = TextBetweenAll(page, "<", "</p>", results);
  EXPECT_GT(count, 0);
  std::size_t total = 0;
  for (const Text& piece : results) total += piece.size();
  EXPECT_LE(total, 64u * 1024 * 1024);
}

}  // namespace
}  // namespace raziriz
