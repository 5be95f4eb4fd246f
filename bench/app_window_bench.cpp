// The window program's start: from starting the process to the window's first
// paint (offscreen), and the peak memory once the home feed and the counts are
// in. Each iteration starts this binary again as a child that brings the
// window up exactly as the program does, against a loopback poster page.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/main_window.h"
#include "app/qt_layer.h"
#include "net/curl_easy.h"
#include "tests/support/loopback_server.h"
#include "text/regex_matcher.h"

extern char** environ;

namespace {

constexpr const char* kChildFlag = "--window-child";
std::string gSelf;

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// Reports the first paint of `target` through the pipe.
class FirstPaint final : public QObject {
 public:
  FirstPaint(QObject* target, int fd) : fd_(fd) { target->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      WriteAll(fd_, "shown\n");
    }
    return false;
  }

 private:
  int fd_;
  bool seen_ = false;
};

// The child: what main.cpp does, with the addresses on the loopback server.
int RunChild(int fd, const std::string& base) {
  const raziriz::CurlGlobal curl;
  int argc = 1;
  char name[] = "raziriz-posters";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  raziriz::app::InstallQtEventHooks();
  (void)raziriz::SharedMatcher();
  raziriz::app::WindowAddresses addresses;
  addresses.homeFeed = base + "/haibao";
  addresses.visitCounter = base + "/counts8790.html";
  raziriz::app::MainWindow window(addresses);
  const FirstPaint paint(&window, fd);
  QObject::connect(&window, &raziriz::app::MainWindow::createdHandled, &application, [&] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    WriteAll(fd, "rss " + std::to_string(usage.ru_maxrss) + " rows " +
                     std::to_string(window.mainList().RowCount()) + "\n");
    QApplication::quit();
  });
  window.show();
  return QApplication::exec();
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

void BM_WindowStart(benchmark::State& state) {
  raziriz::testing::LoopbackServer server;
  std::string page = raziriz::testing::ReadFixture("home_feed.html");
  page = Replace(Replace(page, "{VERSION}", "1.0"), "{UPDATE}", "https://www.zorvi.example/download");
  server.Serve("/haibao", {.status = 200, .body = page, .contentType = "text/html; charset=utf-8",
                           .headers = {{"Connection", "close"}}});
  server.Serve("/counts8790.html",
               {.status = 200, .body = "昨日访问：12&#10;今日访问：3&#10;累计访问：4567&#10;点击申请计数器",
                .contentType = "text/html; charset=utf-8", .headers = {{"Connection", "close"}}});
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string base = server.BaseUrl();
  double rssKiB = 0;

  for (auto _ : state) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
      state.SkipWithError("pipe failed");
      break;
    }
    const std::string fdText = std::to_string(pipeFds[1]);
    char* argv[] = {gSelf.data(), const_cast<char*>(kChildFlag), const_cast<char*>(fdText.c_str()),
                    const_cast<char*>(base.c_str()), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, gSelf.c_str(), nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("spawn failed");
      break;
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[256];
    bool shown = false;
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      if (!shown) {
        shown = true;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      }
      report.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const std::size_t at = report.find("rss ");
    if (!shown || at == std::string::npos || report.find("rows 3") == std::string::npos) {
      state.SkipWithError(("the child did not report: " + report).c_str());
      break;
    }
    rssKiB = std::stod(report.substr(at + 4));
  }
  state.counters["peak_rss_MiB"] = rssKiB / 1024;
}

BENCHMARK(BM_WindowStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0) return RunChild(std::atoi(argv[2]), argv[3]);
  gSelf = "/proc/self/exe";
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
