// WebRequest beside one bare, reused libcurl handle fetching the same loopback
// resources: a 1 MB page over HTTP and a 100 KB image over HTTPS, 200 sequential
// requests per run. The bodies are served uncompressed (binary content types) so
// both clients move the same bytes and the figures show the client's own cost.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/curl_bench_main.h"
#include "net/curl_easy.h"
#include "net/web_request.h"
#include "tests/support/loopback_server.h"

namespace {

using raziriz::testing::LoopbackServer;
using raziriz::testing::Reply;

constexpr int kRequests = 200;

std::string Filler(std::size_t size) {
  std::string bytes(size, '\0');
  unsigned state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

struct Servers {
  Servers() : http(LoopbackServer::Scheme::Http), https(LoopbackServer::Scheme::Https) {
    http.Serve("/page", Reply{.body = Filler(1024 * 1024), .contentType = "application/octet-stream", .headers = {}});
    https.Serve("/image.jpg", Reply{.body = Filler(100 * 1024), .contentType = "image/jpeg", .headers = {}});
  }
  LoopbackServer http;
  LoopbackServer https;
};

Servers& TheServers() {
  static Servers servers;
  return servers;
}

// The bare client keeps the body too, in a fresh string per request as a caller
// would receive it.
std::size_t Collect(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

// `reserve`: the bare client knows the size beforehand and takes the room once,
// its best case; without it the body grows as it arrives.
void RunBare(benchmark::State& state, const std::string& url, std::size_t expected, bool reserve = false) {
  raziriz::CurlEasy handle(curl_easy_init());
  std::string received;
  curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle.get(), CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(handle.get(), CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &received);
  for (auto _ : state) {
    std::string().swap(received);
    if (reserve) received.reserve(expected);
    if (curl_easy_perform(handle.get()) != CURLE_OK || received.size() != expected) {
      state.SkipWithError("bare fetch failed");
      break;
    }
  }
}

void RunWebRequest(benchmark::State& state, const std::string& url, std::size_t expected) {
  for (auto _ : state) {
    const raziriz::Bytes body = raziriz::WebRequest(url);
    if (body.size() != expected) {
      state.SkipWithError("WebRequest fetch failed");
      break;
    }
    benchmark::DoNotOptimize(body.data());
  }
}

void BM_HttpPage_Bare(benchmark::State& state) {
  RunBare(state, TheServers().http.BaseUrl() + "/page", 1024 * 1024);
}
void BM_HttpPage_BareReserved(benchmark::State& state) {
  RunBare(state, TheServers().http.BaseUrl() + "/page", 1024 * 1024, true);
}
void BM_HttpPage_WebRequest(benchmark::State& state) {
  RunWebRequest(state, TheServers().http.BaseUrl() + "/page", 1024 * 1024);
}
void BM_HttpsImage_Bare(benchmark::State& state) {
  RunBare(state, TheServers().https.BaseUrl() + "/image.jpg", 100 * 1024);
}
void BM_HttpsImage_BareReserved(benchmark::State& state) {
  RunBare(state, TheServers().https.BaseUrl() + "/image.jpg", 100 * 1024, true);
}
void BM_HttpsImage_WebRequest(benchmark::State& state) {
  RunWebRequest(state, TheServers().https.BaseUrl() + "/image.jpg", 100 * 1024);
}

BENCHMARK(BM_HttpPage_Bare)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HttpPage_BareReserved)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HttpPage_WebRequest)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HttpsImage_Bare)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HttpsImage_BareReserved)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HttpsImage_WebRequest)->Iterations(kRequests)->Repetitions(5)->Unit(benchmark::kMicrosecond);

}  // namespace

RAZIRIZ_CURL_BENCHMARK_MAIN()
