#include "text/charset.h"

#include <gtest/gtest.h>

#include "text/text.h"

namespace raziriz {
namespace {

TEST(ConvertCharset, Utf8ToGbkByDefault) {
  EXPECT_EQ(ConvertCharset("\xE5\x85\xAC\xE5\x91\x8A"), "\xB9\xAB\xB8\xE6");
  EXPECT_EQ(ConvertCharset("plain ascii"), "plain ascii");
  EXPECT_EQ(ConvertCharset(""), "");
  EXPECT_EQ(ConvertCharset("\xB9\xAB\xB8\xE6", "GBK", "UTF-8"), "\xE5\x85\xAC\xE5\x91\x8A");
}

TEST(ConvertCharset, BadInputBecomesOneReplacementAndTheRestStillConverts) {
  struct Case {
    std::string_view input, expected, why;
  };
  const Case cases[] = {
      {"a\xFF" "b\xE5\x85\xAC", "a?b\xB9\xAB", "invalid byte"},
      {"a\xF0\x9F\x98\x80" "b", "a?b", "a character GBK lacks is one replacement"},
      {"a\xE5\x85", "a?", "a character cut off at the end"},
      {"\xEF\xBB\xBF" "a", "a", "a byte-order mark is dropped"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertCharset(c.input), c.expected) << c.why;
}

TEST(ConvertCharset, SkipBytesAndUnknownCharsets) {
  EXPECT_EQ(ConvertCharset("abc", "", "", 1), "bc");
  EXPECT_EQ(ConvertCharset("abc", "", "", 5), "");
  EXPECT_EQ(ConvertCharset("abc", "no-such-charset"), "");
  EXPECT_EQ(ConvertCharset("abc", "utf-8", "gb2312"), "abc");
}

TEST(GbkText, TrimTakesOnlyBlanksAtTheEnds) {
  struct Case {
    std::string_view input, expected;
  };
  const Case cases[] = {
      {"  a b  ", "a b"},
      {"\xA1\xA1 a \xA1\xA1", "a"},
      {"\ta\r\n", "\ta\r\n"},
      {"   ", ""},
      {"", ""},
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1"},  // 啊 then a lone A1: no full-width blank here
  };
  for (const Case& c : cases) EXPECT_EQ(Trim(c.input), c.expected) << c.input;
}

TEST(GbkText, TakeAsTextStopsAtTheFirstZeroByte) {
  EXPECT_EQ(TakeAsText(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(TakeAsText("abc"), "abc");
}

}  // namespace
}  // namespace raziriz
