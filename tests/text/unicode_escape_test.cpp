#include "text/unicode_escape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/charset.h"

namespace raziriz {
namespace {

struct Case {
  const char* name;
  std::string input;     // UTF-8 here, GBK when passed
  std::string expected;  // UTF-8 here, compared as GBK
};

TEST(DecodeUnicodeEscapesTest, DecodesWhatTheScriptLiteralAndUnescapeGive) {
  const std::vector<Case> cases = {
      {"escaped slashes", "https:\\u002F\\u002Fimg.cn\\u002Fp\\u002Fa.jpg?w=1", "https://img.cn/p/a.jpg?w=1"},
      {"plain text unchanged", "it's a \"poster\"\r\nline 2 中文", "it's a \"poster\"\r\nline 2 中文"},
      {"percent escapes", "a%20b%2Fc %zz 100% %u4E2D%u6587", "a b/c %zz 100% 中文"},
      {"json-style slash", "http:\\/\\/a.cn\\/x.png", "http://a.cn/x.png"},
      {"two backslashes give one", "a\\\\b", "a\\b"},
      {"placeholder quote comes back as apostrophe", "it’s", "it's"},
      {"placeholder line break comes back as CR LF", "a{$}b", "a\r\nb"},
      {"leading lone CR dropped", "\rabc", "abc"},
      {"leading CR LF kept", "\r\nabc", "\r\nabc"},
      {"empty", "", ""},
      {"literal escapes", "\\x41\\101\\7a\\tq\\8\\z\\v\\b", "AA\x07" "a\tq8z\v\b"},
      {"line continuation", "ab\\\ncd", "abcd"},
      {"an escaped backslash before u still becomes %u", "\\\\u0041", "A"},
      {"hex escape producing an escape for unescape", "\\x25u4E2D", "中"},
      {"character GBK lacks", "a%u0E01b%uD83D%uDE00c%uDC00d", "a?b?c?d"},
      {"double-byte character with a backslash byte", "昞u1", "昞u1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeUnicodeEscapes(GbkFromUtf8(c.input)), GbkFromUtf8(c.expected));
  }
}

// Where the literal cannot parse, the result is the prepared text's bytes read as
// UTF-16LE; that is not the input's meaning, but it is what callers got.
TEST(DecodeUnicodeEscapesTest, BrokenLiteralFallsBackToBytesAsUtf16) {
  const std::vector<Case> cases = {
      {"lone line feed; odd last byte left out", "ab\n", "扡"},
      {"lone CR inside", "ab\rc", "扡挍"},
      {"trailing backslash", "abc\\", "扡屣"},
      // The apostrophe was A1 AF before the bytes were read: U+A161 and U+0AAF,
      // neither of which GBK has.
      {"placeholders are part of the bytes", "a'\n", "??"},
      // \0 ends the script's string as text; an empty script result falls back.
      {"empty script result", "\\0ab", "ぜ扡"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeUnicodeEscapes(GbkFromUtf8(c.input)), GbkFromUtf8(c.expected));
  }
}

TEST(ReadBytesAsUtf16Test, ReadsLittleEndianUnitsIntoGbk) {
  EXPECT_EQ(ReadBytesAsUtf16(std::string("-N\x87\x65", 4)), GbkFromUtf8("中文"));
  EXPECT_EQ(ReadBytesAsUtf16(std::string("a\0b\0c", 5)), "ab");
  EXPECT_EQ(ReadBytesAsUtf16(std::string("\x00\xD8z\0", 4)), "?z");  // lone surrogate
  EXPECT_EQ(ReadBytesAsUtf16(""), "");
}

}  // namespace
}  // namespace raziriz
