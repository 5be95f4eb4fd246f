// DirectHttpRequest beside one bare, reused libcurl handle fetching the same 1 MB
// loopback page, 200 sequential requests per run: a page that declares "gbk" (the
// body comes back as it is) and a page that declares UTF-8 (the body is decoded to
// GBK). The bare handle only collects the bytes, so the gap is the client's own
// cost: header text, per-call handle, header gathering, charset detection and
// decoding.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/curl_bench_main.h"
#include "net/curl_easy.h"
#include "net/direct_http.h"
#include "tests/support/loopback_server.h"

namespace {

using raziriz::testing::LoopbackServer;
using raziriz::testing::Reply;

constexpr int kRequests = 200;
constexpr std::size_t kPageBytes = 1024 * 1024;

// HTML of about kPageBytes: a head declaring `charset`, then rows of markup with
// `chinese` text in them.
std::string MakePage(const std::string& charset, const std::string& chinese) {
  std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset +
                     "\"><title>" + chinese + "</title></head><body>\r\n";
  for (int row = 0; page.size() < kPageBytes; ++row) {
    page += "<li class=\"item\"><a href=\"https://v.example.com/x/" + std::to_string(row) + ".html\">" + chinese +
            std::to_string(row) + "</a></li>\r\n";
  }
  page += "</body></html>";
  return page;
}

struct Pages {
  Pages() {
    const std::string chineseUtf8 = "\xe6\xb5\xb7\xe6\x8a\xa5\xe7\x94\xb5\xe5\xbd\xb1";  // four characters
    const std::string chineseGbk = "\xba\xa3\xb1\xa8\xb5\xe7\xd3\xb0";
    gbk = MakePage("gbk", chineseGbk);
    utf8 = MakePage("utf-8", chineseUtf8);
    // Closed after each answer on both sides alike; the server also need not wait
    // out idle connections when it stops.
    server.Serve("/gbk", Reply{.body = gbk, .contentType = "text/html", .headers = {{"Connection", "close"}}});
    server.Serve("/utf8", Reply{.body = utf8, .contentType = "text/html", .headers = {{"Connection", "close"}}});
  }
  std::string gbk;
  std::string utf8;
  LoopbackServer server;
};

Pages& ThePages() {
  static Pages pages;
  return pages;
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

void RunBare(benchmark::State& state, const std::string& url, std::size_t expected) {
  raziriz::CurlEasy handle(curl_easy_init());
  std::string received;
  curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &received);
  for (auto _ : state) {
    std::string().swap(received);
    if (curl_easy_perform(handle.get()) != CURLE_OK || received.size() != expected) {
      state.SkipWithError("bare fetch failed");
      break;
    }
  }
}

void RunDirect(benchmark::State& state, const std::string& url) {
  for (auto _ : state) {
    const raziriz::Text text = raziriz::DirectHttpRequest(url);
    if (text.size() < kPageBytes / 2) {
      state.SkipWithError("DirectHttpRequest fetch failed");
      break;
    }
    benchmark::DoNotOptimize(text.data());
  }
}

void BM_GbkPage_Bare(benchmark::State& state) {
  RunBare(state, ThePages().server.BaseUrl() + "/gbk", ThePages().gbk.size());
}
void BM_GbkPage_Direct(benchmark::State& state) { RunDirect(state, ThePages().server.BaseUrl() + "/gbk"); }
void BM_Utf8Page_Bare(benchmark::State& state) {
  RunBare(state, ThePages().server.BaseUrl() + "/utf8", ThePages().utf8.size());
}
void BM_Utf8Page_Direct(benchmark::State& state) { RunDirect(state, ThePages().server.BaseUrl() + "/utf8"); }

BENCHMARK(BM_GbkPage_Bare)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GbkPage_Direct)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Utf8Page_Bare)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Utf8Page_Direct)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);

}  // namespace

RAZIRIZ_CURL_BENCHMARK_MAIN()
