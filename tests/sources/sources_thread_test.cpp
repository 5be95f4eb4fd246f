// The worker-thread sources (Tencent Video, iQiyi, Youku) started on threads of
// their own, all at once, as the window's buttons start them.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "net/curl_easy.h"
#include "sources/sources.h"
#include "tests/sources/serial_server.h"
#include "tests/sources/source_test_support.h"

namespace raziriz {
namespace {

using testing::FixturePages;
using testing::RecordingList;
using testing::Row;
using testing::SerialServer;

const CurlGlobal gCurl;

struct WorkerSite {
  const char* name;
  void (*load)(PosterList&, const SourceOptions&);
  std::vector<std::string> numbers;  // of one run on an empty list
};

const WorkerSite kSites[] = {
    {"qq", &LoadTencentPosters, {"1", "2", "3", "4", "5"}},
    {"iqiyi", &LoadIqiyiPosters, {"1", "2", "3"}},
    {"youku", &LoadYoukuPosters, {"0", "1", "2"}},
};

std::vector<std::string> Numbers(const RecordingList& list) {
  std::vector<std::string> numbers;
  for (const Row& row : list.Rows()) numbers.push_back(row[0]);
  return numbers;
}

// One server stands in for the three sites, each under a path prefix of its own
// (a base address may carry a path: it replaces scheme and host only).
std::map<std::string, std::string> AllWorkerPages() {
  std::map<std::string, std::string> pages;
  for (const WorkerSite& site : kSites) {
    for (const auto& [target, fixture] : FixturePages(site.name)) {
      // Youku's home page address has no path: its prefix is asked for bare.
      const std::string path = target == "/" && std::string_view(site.name) == "youku" ? "" : target;
      pages["/" + std::string(site.name) + path] = testing::ReadFixture(fixture);
    }
  }
  return pages;
}

TEST(WorkerSourcesThreadTest, ThreeSourcesRunConcurrently) {
  constexpr int kRounds = 3;
  SerialServer server(AllWorkerPages());
  std::vector<std::unique_ptr<RecordingList>> lists;
  for (std::size_t i = 0; i < std::size(kSites) * kRounds; ++i) lists.push_back(std::make_unique<RecordingList>());

  std::vector<std::thread> threads;
  for (std::size_t s = 0; s < std::size(kSites); ++s) {
    for (int round = 0; round < kRounds; ++round) {
      RecordingList& list = *lists[s * kRounds + round];
      threads.emplace_back([&list, load = kSites[s].load, base = server.BaseUrl() + "/" + kSites[s].name] {
        load(list, {.baseUrl = base});
      });
    }
  }
  for (std::thread& thread : threads) thread.join();

  for (std::size_t s = 0; s < std::size(kSites); ++s) {
    for (int round = 0; round < kRounds; ++round) {
      const RecordingList& list = *lists[s * kRounds + round];
      EXPECT_EQ(Numbers(list), kSites[s].numbers) << kSites[s].name;
      EXPECT_EQ(list.BadWrites(), 0);
    }
  }
}

// Two presses on one list: the second run either finds the first still going and
// is ignored, or starts after it ended. Either way the rows are whole sets, never
// two runs interleaved.
TEST(WorkerSourcesThreadTest, TwoRunsOnOneListNeverInterleave) {
  SerialServer server(AllWorkerPages());
  for (const WorkerSite& site : kSites) {
    const std::string base = server.BaseUrl() + "/" + site.name;
    RecordingList list;
    std::thread first([&] { site.load(list, {.baseUrl = base}); });
    std::thread second([&] { site.load(list, {.baseUrl = base}); });
    first.join();
    second.join();

    std::vector<std::string> oneSet = site.numbers;
    std::vector<std::string> twoSets = oneSet;
    // Only Tencent Video appends; its second set is numbered from 1 again.
    if (std::string_view(site.name) == "qq") twoSets.insert(twoSets.end(), oneSet.begin(), oneSet.end());
    const auto numbers = Numbers(list);
    EXPECT_TRUE(numbers == oneSet || numbers == twoSets) << site.name << ": " << ::testing::PrintToString(numbers);
    EXPECT_EQ(list.BadWrites(), 0);
  }
}

}  // namespace
}  // namespace raziriz
