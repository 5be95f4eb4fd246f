#include "text/regex_matcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "text/charset.h"

namespace raziriz {
namespace {

struct MatchCase {
  const char* name;
  std::string pattern;
  std::string subject;
  std::vector<std::string> matches;  // match texts in order
};

TEST(RegexMatcherTest, FindsTheMatchesTheDialectPromises) {
  const std::vector<MatchCase> cases = {
      {"no match is not a failure", "xyz", "abc", {}},
      {"case ignored by default", "background-image:url\\(", "a BACKGROUND-IMAGE:url(x)", {"BACKGROUND-IMAGE:url("}},
      {"dot takes a carriage return", "a.c", "a\rc", {"a\rc"}},
      {"dot stops at a line feed", "a.c", "a\nc", {}},
      {"literal CR LF", "x\r\n {2}y", "x\r\n  y", {"x\r\n  y"}},
      {"lazy quantifiers", "<b>.*?</b>", "<b>1</b><b>2</b>", {"<b>1</b>", "<b>2</b>"}},
      {"lazy plus", "a.+?b", "a1b a22b", {"a1b", "a22b"}},
      {"optional", "colou?r", "color colour", {"color", "colour"}},
      {"word class is ASCII", "[-\\w]+", "gb-2312;\xD6\xD0", {"gb-2312"}},
      {"negated word class", "=[^\\w]?x", "=\"x =x", {"=\"x", "=x"}},
      {"anchors at line breaks", "^\\d+$", "1\n22\n333", {"1", "22", "333"}},
      {"empty matches advance", "x*", "axxb", {"", "xx", "", ""}},
      {"a dot never takes half a character", "\xD6.", "\xD6\xD0\xCE\xC4", {}},
      {"script-style escapes", "\\u0041\\x42", "xABx", {"AB"}},
      {"Chinese literal", "\xD6\xD0\xCE\xC4", "a\xD6\xD0\xCE\xC4z", {"\xD6\xD0\xCE\xC4"}},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Execute(c.pattern, c.subject));
    ASSERT_EQ(matcher.MatchCount(), static_cast<int>(c.matches.size()));
    for (std::size_t i = 0; i < c.matches.size(); ++i) {
      EXPECT_EQ(matcher.MatchText(static_cast<int>(i) + 1), c.matches[i]) << "match " << i + 1;
    }
  }
}

TEST(RegexMatcherTest, OptionsChangeCaseLinesAndCount) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("ab", "AB ab", /*caseSensitive=*/true));
  EXPECT_EQ(matcher.MatchCount(), 1);
  ASSERT_TRUE(matcher.Execute("^b", "a\nb", false, /*multiline=*/false));
  EXPECT_EQ(matcher.MatchCount(), 0);
  ASSERT_TRUE(matcher.Execute("a", "aaa", false, true, /*global=*/false));
  EXPECT_EQ(matcher.MatchCount(), 1);
}

TEST(RegexMatcherTest, InvalidPatternFailsAndLeavesNoMatches) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("a", "a"));
  EXPECT_FALSE(matcher.Execute("(abc", "abc"));
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.MatchText(1), "");
  EXPECT_EQ(matcher.SubMatchCount(), 0);
}

TEST(RegexMatcherTest, QuoteEscapesOnlyWhenAsked) {
  const Text pattern = GbkFromUtf8("title=#引号(.*?)#引号");
  const std::string subject = "<a title=\"one\">";
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute(pattern, subject, false, true, true, /*quoteEscapes=*/true));
  EXPECT_EQ(matcher.Pattern(), "title=\"(.*?)\"");
  EXPECT_EQ(matcher.SubMatchText(1, 1), "one");
  ASSERT_TRUE(matcher.Execute(pattern, subject));
  EXPECT_EQ(matcher.Pattern(), pattern);
  EXPECT_EQ(matcher.MatchCount(), 0);
}

TEST(RegexMatcherTest, GroupsOutOfRangeOrUnusedAreEmpty) {
  RegexMatcher matcher;
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.Pattern(), "");
  EXPECT_EQ(matcher.SubMatchText(1, 1), "");
  EXPECT_EQ(matcher.Replace("x"), "");

  ASSERT_TRUE(matcher.Execute("(a)(b)?(c)?", "ac ab"));
  ASSERT_EQ(matcher.MatchCount(), 2);
  EXPECT_EQ(matcher.SubMatchCount(), 3);
  EXPECT_EQ(matcher.SubMatchText(1, 1), "a");
  EXPECT_EQ(matcher.SubMatchText(1, 2), "");  // took no part
  EXPECT_EQ(matcher.SubMatchText(1, 3), "c");
  EXPECT_EQ(matcher.SubMatchText(2, 2), "b");
  EXPECT_EQ(matcher.SubMatchText(1, 4), "");
  EXPECT_EQ(matcher.SubMatchText(1, 0), "");
  EXPECT_EQ(matcher.SubMatchText(0, 1), "");
  EXPECT_EQ(matcher.SubMatchText(3, 1), "");
  EXPECT_EQ(matcher.MatchText(0), "");
  EXPECT_EQ(matcher.MatchText(3), "");
}

TEST(RegexMatcherTest, ChineseGroupsComeBackAsTheSameGbk) {
  // Double-byte text around and inside the group, including characters whose
  // UTF-8 form is two bytes long (the middle dot) and bytes that are not GBK.
  const Text title = GbkFromUtf8("流浪地球·第二部：终极预告");
  const Text subject = GbkFromUtf8("前言 <i>") + "\x80" + GbkFromUtf8("</i> 图片 _stat=\"焦点图:标题:") + title +
                       "\" data-bgimage=\"//p.cn/" + GbkFromUtf8("图") + ".jpg\"";
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute(GbkFromUtf8("_stat=\"焦点图:标题:(.*?)\""), subject));
  ASSERT_EQ(matcher.MatchCount(), 1);
  EXPECT_EQ(matcher.SubMatchText(1, 1), title);
  ASSERT_TRUE(matcher.Execute("data-bgimage=\"(.*?)\"", subject));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "//p.cn/" + GbkFromUtf8("图") + ".jpg");
  ASSERT_TRUE(matcher.Execute("<i>(.)</i>", subject));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "\x80");
}

TEST(RegexMatcherTest, CopiesShareTheResult) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("(\\d)", "1 2"));
  RegexMatcher copy(matcher);
  ASSERT_TRUE(matcher.Execute("x", "y"));
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.SubMatchText(2, 1), "2");
  copy = matcher;
  EXPECT_EQ(copy.MatchCount(), 0);
  EXPECT_EQ(&SharedMatcher(), &SharedMatcher());
}

TEST(RegexMatcherTest, EachRunMatchesItsOwnSubject) {
  // A second pattern over the same page reuses its conversion; a new page of the
  // same length, or a failed run in between, must not.
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("a(.)", "a1 a2"));
  ASSERT_TRUE(matcher.Execute("(\\d)", "a1 a2"));
  EXPECT_EQ(matcher.MatchCount(), 2);
  ASSERT_TRUE(matcher.Execute("a(.)", "a3 a4"));
  EXPECT_EQ(matcher.SubMatchText(2, 1), "4");
  EXPECT_FALSE(matcher.Execute("(", "a5 a6"));
  ASSERT_TRUE(matcher.Execute("a(.)", "a5 a6"));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "5");
  ASSERT_TRUE(matcher.Execute("a(.)", "a3 a4"));
  EXPECT_EQ(matcher.SubMatchText(1, 1), "3");
}

TEST(RegexMatcherTest, ReplaceUsesTheStoredSubject) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("(\\w+)=(\\d)", GbkFromUtf8("a=1，b=2")));
  EXPECT_EQ(matcher.Replace("$2:$1"), GbkFromUtf8("1:a，2:b"));
  ASSERT_TRUE(matcher.Execute("o", "foo", false, true, /*global=*/false));
  EXPECT_EQ(matcher.Replace("0"), "f0o");
}

// The search runs over a long page in pieces; nothing may fall between them.
TEST(RegexMatcherTest, FindsEveryMatchOfALongPage) {
  const Text filler = GbkFromUtf8("    <li class=\"item\">春天的故事 spring</li>\r\n");
  Text page;
  std::vector<Text> expected;
  for (int slide = 0; slide < 40; ++slide) {
    while (page.size() < static_cast<std::size_t>(slide) * 25'000) page += filler;
    expected.push_back("//img.cn/" + GbkFromUtf8("海报") + std::to_string(slide) + ".jpg");
    page += "<div data-bgimage=\"" + expected.back() + "\">";
  }
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("data-bgimage=\"(.*?)\"", page));
  ASSERT_EQ(matcher.MatchCount(), 40);
  for (int m = 1; m <= 40; ++m) EXPECT_EQ(matcher.SubMatchText(m, 1), expected[m - 1]);

  // A pattern that can only start a line, after a long line it cannot match.
  ASSERT_TRUE(matcher.Execute("(.*?)x", std::string(300'000, 'a') + "\nax\n"));
  ASSERT_EQ(matcher.MatchCount(), 1);
  EXPECT_EQ(matcher.MatchText(1), "ax");
}

// A hostile page must not hang the caller: the run ends early and reports what
// it found. Each case would take minutes (or longer) without the bounds.
TEST(RegexMatcherTest, CatastrophicPatternsEndWithTheMatchesFoundSoFar) {
  struct HostileCase {
    const char* name;
    std::string pattern;
    std::string subject;
  };
  const std::string filmLine1 = "        <h2 class=\"item-info-title\">(.*?)</h2>\r\n        <p class=\"item-info-brief\">.*?</p>";
  std::string openTags;
  while (openTags.size() < 1'000'000) openTags += "        <h2 class=\"item-info-title\">";
  std::string quotes;
  while (quotes.size() < 1'000'000) quotes += "data-bgimage=\"(";
  const std::vector<HostileCase> cases = {
      {"nested quantifier", "(a+)+b", std::string(30'000, 'a') + "cb"},
      {"many starts on one long line", filmLine1, "ok b " + openTags},
      {"lazy group on one long line", "data-bgimage=\"(.*?)\"x", "ok b " + quotes},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegexMatcher matcher;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(matcher.Execute(c.pattern, c.subject));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(5)) << "bounded run took too long";
    EXPECT_GE(matcher.MatchCount(), 0);
  }
  // Matches before the hostile part are kept.
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("(a+)+b|ok", "ok ok " + std::string(30'000, 'a')));
  EXPECT_EQ(matcher.MatchCount(), 2);
}

}  // namespace
}  // namespace raziriz
