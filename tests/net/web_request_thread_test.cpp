// WebRequest from several threads at once: the process-wide connection, DNS and
// TLS cache is shared, cookies are not.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "net/web_request.h"
#include "tests/support/loopback_server.h"

namespace raziriz {
namespace {

using testing::LoopbackServer;
using testing::Reply;
using testing::SeenRequest;

TEST(WebRequestThreadTest, ParallelCallsShareConnectionsButNotCookies) {
  constexpr int kThreads = 4;
  constexpr int kCallsPerThread = 15;
  LoopbackServer http;
  LoopbackServer https(LoopbackServer::Scheme::Https);
  // Each answer echoes every cookie line it was sent, one per line, and sets a
  // cookie named after the path.
  auto echo = [](const SeenRequest& request) {
    std::string sent;
    for (const auto& [name, value] : request.headers) {
      if (name == "Cookie") sent += value + "\n";
    }
    return Reply{.body = sent, .headers = {{"Set-Cookie", "seen" + request.path.substr(1) + "=1"}}};
  };
  http.Handle("/.*", echo);
  https.Handle("/.*", echo);

  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      RequestObject object;
      for (int i = 0; i < kCallsPerThread; ++i) {
        const std::string base = (i % 2 == 0 ? http : https).BaseUrl();
        Text cookies = "thread=" + std::to_string(t);
        Text returned;
        int status = 0;
        // Half the calls run on the thread's own kept object.
        const Bytes body = WebRequest(base + "/" + std::to_string(t),
                                      {.cookies = &cookies,
                                       .returnedCookies = &returned,
                                       .statusCode = &status,
                                       .requestObject = i % 4 < 2 ? &object : nullptr,
                                       .mergeCookies = false});
        // A kept object may also send what it was set before: only its own.
        const std::string own = "thread=" + std::to_string(t) + "\n";
        const std::string kept = "seen" + std::to_string(t) + "=1";
        const bool bodyOk = body == own || body == kept + "\n" + own || body == own + kept + "\n";
        if (status != 200 || !bodyOk || returned != kept) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace raziriz
