// raziriz-posters-cli end to end: the built program run against loopback sites
// through --base-url, its output formats and its exit codes.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sources/source_test_support.h"

#ifndef RAZIRIZ_POSTERS_CLI
#define RAZIRIZ_POSTERS_CLI ""
#endif

namespace raziriz {
namespace {

using testing::FakeSite;
using testing::FixturePages;

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ShellQuote(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// A directory of its own for one run's output, removed afterwards: the tests run
// in parallel processes, and shared file names would mix their output.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = ::testing::TempDir() + "/raziriz_cli_XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string path_;
};

CliResult RunCli(const std::vector<std::string>& arguments) {
  const ScratchDir dir;
  const std::string outPath = dir.path() + "/out.txt";
  const std::string errPath = dir.path() + "/err.txt";
  std::string command = ShellQuote(RAZIRIZ_POSTERS_CLI);
  for (const auto& argument : arguments) command += " " + ShellQuote(argument);
  command += " </dev/null >" + ShellQuote(outPath) + " 2>" + ShellQuote(errPath);
  const int status = std::system(command.c_str());
  CliResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string_view(RAZIRIZ_POSTERS_CLI).empty()) GTEST_SKIP() << "the command-line program is not built";
  }
};

TEST_F(CliTest, PrintsOneTabSeparatedLinePerRow) {
  FakeSite site(FixturePages("pptv"));

  const CliResult result = RunCli({"pptv", "--base-url", site.BaseUrl()});

  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out,
            "1\tpptv\t大江大河\t//img.pptv.example/slide1.jpg\n"
            "2\tpptv\t山海情\t//img.pptv.example/slide2.jpg\n"
            "3\tpptv\t\t//img.pptv.example/slide3.jpg\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(CliTest, EverySiteFillsFromItsFixtures) {
  const std::pair<const char*, std::size_t> sites[] = {{"qq", 5},   {"youku", 3}, {"iqiyi", 3},
                                                       {"mgtv", 3}, {"letv", 2},  {"sohu", 6},
                                                       {"pptv", 3}, {"360", 7},   {"2345", 3}};
  for (const auto& [name, rows] : sites) {
    FakeSite site(FixturePages(name));
    const CliResult result = RunCli({name, "--base-url", site.BaseUrl() + "/"});
    EXPECT_EQ(result.exitCode, 0) << name;
    EXPECT_EQ(static_cast<std::size_t>(std::count(result.out.begin(), result.out.end(), '\n')), rows) << name;
    EXPECT_TRUE(IsValidUtf8(result.out)) << name;
  }
}

// Tabs and line breaks inside a field become one space in the line format and
// escapes in JSON; quotes and backslashes are escaped in JSON.
TEST_F(CliTest, FieldsWithControlCharactersAndQuotes) {
  const std::string page =
      "=<!--标题和小图 s--><i data-source=\"//img/a.jpg\"></i>"
      "<span class=\"main\">A\tB\"C\\D\r\nE</span><span class=\"sub\"></span><!--标题和小图 e-->";
  FakeSite site(FakeSite::Pages{{"/", page}});

  const CliResult lines = RunCli({"pptv", "--base-url", site.BaseUrl()});
  const CliResult json = RunCli({"pptv", "--json", "--base-url", site.BaseUrl()});

  EXPECT_EQ(lines.out, "1\tpptv\tA B\"C\\D E\t//img/a.jpg\n");
  EXPECT_EQ(json.out,
            "[\n  {\"number\": \"1\", \"platform\": \"pptv\", \"title\": \"A\\tB\\\"C\\\\D\\r\\nE\", "
            "\"imageUrl\": \"//img/a.jpg\"}\n]\n");
}

// 2345 pages are taken as GBK without conversion: bytes that are not GBK must
// still leave valid UTF-8 (and so valid JSON).
TEST_F(CliTest, JsonStaysValidUtf8ForBytesThatAreNotGbk) {
  const std::string page =
      "=" + GbkFromUtf8("<!-- 浮层广告   end -->") +
      "<img src=\"//img/x.jpg\"></a><span class=\"sTit\">\xFF\x80 z</span><span class=\"sDes\">//fn_slide";
  FakeSite site(FakeSite::Pages{{"/", page}});

  const CliResult json = RunCli({"2345", "--json", "--base-url", site.BaseUrl()});

  EXPECT_EQ(json.exitCode, 0);
  EXPECT_TRUE(IsValidUtf8(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"imageUrl\": \"https://img/x.jpg\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("z\""), std::string::npos) << json.out;
}

TEST_F(CliTest, HomeReadsTheMakersFeed) {
  FakeSite site(FakeSite::Pages{
      {"/haibao",
       "=<html><img data-srcset=\"https://img.example/p1.jpg\"><p style=\"text-align: center;\">海报一</p></html>"}});

  const CliResult result = RunCli({"home", "--base-url", site.BaseUrl()});

  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "1\t\t海报一\thttps://img.example/p1.jpg\n");
  EXPECT_EQ(site.Seen(), (std::vector<std::string>{"POST /haibao"}));
}

TEST_F(CliTest, ExitCodes) {
  const std::string dead = testing::DeadBaseUrl();
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string out;  // expected stdout; "*" for any non-empty text
    bool errorText;
  };
  const Case cases[] = {
      {{}, 2, "", true},
      {{"nosuchsite"}, 2, "", true},
      {{"pptv", "--base-url"}, 2, "", true},
      {{"pptv", "--base-url", "ftp://127.0.0.1"}, 2, "", true},
      {{"pptv", "--frobnicate"}, 2, "", true},
      {{"pptv", "qq"}, 2, "", true},
      {{"--help"}, 0, "*", false},
      // A site that cannot be reached still ran: no rows, exit 0.
      {{"sohu", "--base-url", dead}, 0, "", false},
      {{"qq", "--json", "--base-url", dead}, 0, "[]\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const CliResult result = RunCli(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode);
    if (c.out == "*") {
      EXPECT_NE(result.out.find("raziriz-posters-cli SITE"), std::string::npos);
    } else {
      EXPECT_EQ(result.out, c.out);
    }
    EXPECT_EQ(!result.err.empty(), c.errorText) << result.err;
  }
}

}  // namespace
}  // namespace raziriz
