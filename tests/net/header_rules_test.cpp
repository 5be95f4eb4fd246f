#include "net/header_rules.h"

#include <gtest/gtest.h>

namespace raziriz {
namespace {

TEST(SplitText, KeepsEmptyPiecesButNotATrailingOne) {
  EXPECT_EQ(SplitText("a; b", "; "), (TextArray{"a", "b"}));
  EXPECT_EQ(SplitText("; a; ; b; ", "; "), (TextArray{"", "a", "", "b"}));
  EXPECT_TRUE(SplitText("", "; ").empty());
  EXPECT_EQ(SplitText("\xD6\xD0\xCE\xC4", "\xD0\xCE"), (TextArray{"\xD6\xD0\xCE\xC4"}));
}

TEST(NormalizeHeaderLines, Cases) {
  struct Case {
    std::string_view input, expected;
  };
  const Case cases[] = {
      {"content-type: text/html", "Content-Type: text/html"},
      {"x-requested-with:XMLHttpRequest", "X-Requested-With:XMLHttpRequest"},
      {"content-TYPE: a", "Content-TYPE: a"},
      {"a--b: c", "A--B: c"},
      {"\r\naccept: a\r\n\r\nno colon\r\nuser-agent: b\r\n", "Accept: a\r\nUser-Agent: b"},
      {": empty name", ": empty name"},
      {"", ""},
      {"no colon at all", ""},
      {"x-\x81\x61: v", "X-\x81\x61: v"},  // the second byte of a character is not a letter
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeHeaderLines(c.input), c.expected) << c.input;
}

TEST(MergeCookies, Cases) {
  struct Case {
    std::string_view sent, received, expected;
  };
  const Case cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"a=1; b=2", "a=deleted", "b=2"},
      {"", "x=1", "x=1"},
      {"x=1", "", "x=1"},
      {"", "", ""},
      {"", "a=1; a=1", "a=1"},
      {"", "a=1; a=2", "a=1; a=2"},
      {" a=1 ;", "", "a=1 "},
      {"a=1;", "b=2;", "b=2; a=1"},
      {"flag", "x=1", "x=1; flag"},
      {"flag", "flag=on", "flag=on"},
      {"a=1; a=2", "", "a=1"},
  };
  for (const Case& c : cases) {
    Text sent(c.sent);
    const Text merged = MergeCookies(sent, c.received);
    EXPECT_EQ(merged, c.expected) << "sent '" << c.sent << "' received '" << c.received << "'";
    EXPECT_EQ(sent, merged) << "the caller's variable holds the result";
  }
}

TEST(CookieRules, NamesAndDistinctJoins) {
  EXPECT_EQ(CookieName(" a =1"), "a");
  EXPECT_EQ(CookieName("flag "), "flag");
  EXPECT_EQ(JoinDistinct("a; b; a; c; b", "; "), "a; b; c");
  EXPECT_EQ(JoinDistinct("", "; "), "");
}

TEST(HeaderLine, NameAndValueSplitAtTheFirstColon) {
  EXPECT_EQ(HeaderName(" Referer : http://x/ "), "Referer");
  EXPECT_EQ(HeaderValue(" Referer : http://x/ "), "http://x/");
  EXPECT_EQ(HeaderName("no colon"), "");
  EXPECT_EQ(HeaderValue("no colon"), "");
}

}  // namespace
}  // namespace raziriz
