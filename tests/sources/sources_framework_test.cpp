// What all nine sources share: page addresses, and what a failed fetch or a
// page without the slides does to a clearing and to an appending list.

#include <gtest/gtest.h>

#include <string>

#include "net/curl_easy.h"
#include "sources/source_kit.h"
#include "sources/sources.h"
#include "tests/sources/source_test_support.h"

namespace raziriz {
namespace {

using testing::FakeSite;
using testing::RecordingList;

const CurlGlobal gCurl;

TEST(PageAddressTest, BaseUrlReplacesSchemeAndHostOnly) {
  struct Case {
    std::string_view origin;
    std::string_view path;
    std::string base;
    std::string expected;
  };
  const Case cases[] = {
      {"https://www.pptv.com", "/", "", "https://www.pptv.com/"},
      {"https://www.youku.com", "", "", "https://www.youku.com"},
      {"https://www.360kan.com", "/dongman/index.html?from=dianshi_channel", "http://127.0.0.1:8080",
       "http://127.0.0.1:8080/dongman/index.html?from=dianshi_channel"},
      {"https://www.youku.com", "", "http://127.0.0.1:8080/", "http://127.0.0.1:8080"},
      {"http://www.le.com", "/", "https://mirror.example/le", "https://mirror.example/le/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PageAddress(c.origin, c.path, {.baseUrl = c.base}), c.expected) << c.origin << c.path;
  }
}

// A list holding one earlier row: clearing sources leave it empty, LeTV and
// Tencent Video leave it as it was.
void ExpectNothingAdded(const SourceInfo& source, const RecordingList& list) {
  const bool appends = source.cliName == "letv" || source.cliName == "qq";
  EXPECT_EQ(list.Rows().size(), appends ? 1u : 0u) << source.cliName;
  EXPECT_EQ(list.ClearCount(), appends ? 0 : 1) << source.cliName;
}

TEST(SourceFailureTest, UnreachableSiteAddsNoRow) {
  const std::string dead = testing::DeadBaseUrl();
  for (const SourceInfo& source : AllSources()) {
    RecordingList list;
    list.AppendRow();
    source.load(list, {.baseUrl = dead});
    ExpectNothingAdded(source, list);
  }
}

// Every page of every site is a page without its block or slides.
TEST(SourceFailureTest, PageWithoutTheSlidesAddsNoRow) {
  const std::string page = "=<html><head><meta charset=\"utf-8\"></head><body>nothing here</body></html>";
  FakeSite site({{"/", page},
                 {"/dianying/index.html", page},
                 {"/dongman/index.html?from=dianshi_channel", page},
                 {"/movie/", page},
                 {"/drama/", page},
                 {"/comic/", page}});
  for (const SourceInfo& source : AllSources()) {
    RecordingList list;
    list.AppendRow();
    source.load(list, {.baseUrl = site.BaseUrl()});
    ExpectNothingAdded(source, list);
  }
}

}  // namespace
}  // namespace raziriz
