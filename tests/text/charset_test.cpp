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

// The UTF-8/GBK pair has a table-driven path of its own; it must give exactly
// what iconv gives ("ISO-10646/UTF8/" is a UTF-8 alias that goes through iconv).
TEST(ConvertCharset, TablePathAgreesWithIconvOnEveryCharacter) {
  std::string everyBmpCharacter;
  for (char32_t cp = 1; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp < 0x80) {
      everyBmpCharacter.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      everyBmpCharacter.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      everyBmpCharacter.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      everyBmpCharacter.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      everyBmpCharacter.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      everyBmpCharacter.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  EXPECT_EQ(ConvertCharset(everyBmpCharacter), ConvertCharset(everyBmpCharacter, "ISO-10646/UTF8/", "GBK"));

  std::string everyGbkCode = "\x80";
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      everyGbkCode.push_back(static_cast<char>(lead));
      everyGbkCode.push_back(static_cast<char>(trail));
    }
  }
  EXPECT_EQ(Utf8FromGbk(everyGbkCode), ConvertCharset(everyGbkCode, "GBK", "ISO-10646/UTF8/"));

  for (std::string_view bad : {"a\xED\xA0\x80z", "\xC0\xAF", "\xF4\x90\x80\x80", "x\xE5\x85"}) {
    EXPECT_EQ(ConvertCharset(bad), ConvertCharset(bad, "ISO-10646/UTF8/", "GBK")) << "malformed UTF-8";
  }
  for (std::string_view bad : {"a\xFFz", "\x81\x7F", "\xB0"}) {
    EXPECT_EQ(Utf8FromGbk(bad), ConvertCharset(bad, "GBK", "ISO-10646/UTF8/")) << "malformed GBK";
  }
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
