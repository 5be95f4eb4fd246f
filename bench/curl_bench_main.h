#pragma once
// The main() of benchmarks that fetch: libcurl's global set-up comes before any
// thread (the loopback servers start theirs), then Google Benchmark runs.

#include <benchmark/benchmark.h>

#include "net/curl_easy.h"

#define RAZIRIZ_CURL_BENCHMARK_MAIN()                                  \
  int main(int argc, char** argv) {                                    \
    const raziriz::CurlGlobal curl;                                    \
    benchmark::Initialize(&argc, argv);                                \
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;  \
    benchmark::RunSpecifiedBenchmarks();                               \
    benchmark::Shutdown();                                             \
    return 0;                                                          \
  }
