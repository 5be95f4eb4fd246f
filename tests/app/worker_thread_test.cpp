// The window's worker threads: list operations made on other threads land on
// the window's thread in order with the positions handed out, a running source
// is not started twice, and closing the window stops and joins its workers.

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>

#include <condition_variable>
#include <thread>

#include "tests/app/app_test_support.h"

using raziriz::app::MainWindow;
using raziriz::testing::LoopbackServer;
using raziriz::testing::SeenRequest;

namespace {

// A site whose home page "/" answers only once released (or after 30 s); its
// other pages answer at once.
class StallingSite {
 public:
  StallingSite() {
    server_.Serve("/.+", raziriz::testing::ClosingReply(""));
    server_.Handle("/", [this](const SeenRequest&) {
      std::unique_lock lock(mutex_);
      ++requests_;
      changed_.notify_all();
      changed_.wait_for(lock, std::chrono::seconds(30), [this] { return released_; });
      return raziriz::testing::ClosingReply("<html></html>");
    });
  }
  ~StallingSite() { Release(); }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool WaitForRequests(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return requests_ >= count; });
  }
  int Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::string Base() const { return server_.BaseUrl(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int requests_ = 0;
  bool released_ = false;
  LoopbackServer server_;  // last: stopped first, while the state above exists
};

// The window is never shown here: painting would start Qt's own image threads,
// whose locks ThreadSanitizer cannot see (Qt is not built with it). Without a
// show the "created" handler does not run either.
std::unique_ptr<MainWindow> MakeWindow(const std::string& base) {
  return std::make_unique<MainWindow>(
      raziriz::testing::AddressesOn(base),
      std::make_unique<raziriz::testing::FakeDesktopServices>(std::make_shared<raziriz::testing::DesktopCalls>()));
}

}  // namespace

class WorkerThreadTest : public QObject {
  Q_OBJECT

 private slots:
  // Four threads append and fill rows at once, one clears first: every row
  // ends up where AppendRow said, holding what its writer wrote.
  void listFromManyThreads() {
    auto window = MakeWindow(raziriz::testing::kClosedBase);
    raziriz::app::QtPosterList& list = window->siteList(0);
    list.AppendRow();  // cleared below
    constexpr int kThreads = 4;
    constexpr int kRows = 300;
    std::vector<std::vector<int>> positions(kThreads);
    {
      std::jthread clearer([&] { list.Clear(); });
    }
    {
      std::vector<std::jthread> writers;
      for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&list, &positions, t] {
          for (int i = 0; i < kRows; ++i) {
            const int row = list.AppendRow();
            positions[t].push_back(row);
            list.SetCell(row, 0, std::to_string(t));
            list.SetCell(row, 3, std::to_string(i));
          }
        });
      }
    }
    QCOMPARE(list.RowCount(), kThreads * kRows);
    std::vector<bool> taken(kThreads * kRows, false);
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kRows; ++i) {
        const int row = positions[t][i];
        QVERIFY(row >= 0 && row < kThreads * kRows && !taken[row]);
        taken[row] = true;
        QCOMPARE(list.CellText(row, 0), std::to_string(t));
        QCOMPARE(list.CellText(row, 3), std::to_string(i));
      }
    }
  }

  // Operations of a worker take effect through the window's event loop.
  void workerOperationsNeedTheEventLoop() {
    auto window = MakeWindow(raziriz::testing::kClosedBase);
    raziriz::app::QtPosterList& list = window->siteList(1);
    std::jthread([&list] {
      const int row = list.AppendRow();
      list.SetCell(row, 2, "title");
    }).join();
    QCOMPARE(list.view()->rowCount(), 0);  // queued, not yet applied
    QTRY_COMPARE(list.view()->rowCount(), 1);
    QCOMPARE(list.view()->item(0, 2)->text(), QStringLiteral("title"));
  }

  // A second press while the worker still waits is ignored; closing the window
  // aborts the transfer and joins the worker long before the page would answer.
  void closeStopsWorkers() {
    StallingSite site;
    auto window = MakeWindow(site.Base());
    auto* button = window->findChild<QPushButton*>(QStringLiteral("按钮_腾讯幻灯"));
    button->click();
    QVERIFY(site.WaitForRequests(1));
    QVERIFY(window->SourceRunning(0));
    button->click();
    QCOMPARE(window->RunningWorkerCount(), 1);

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(window->close());
    window.reset();
    QVERIFY2(elapsed.elapsed() < 5000, "the worker was not stopped");
    QCOMPARE(site.Requests(), 1);
  }

  // A worker that finishes has written its rows and can be started again.
  void workerRunsToTheEnd() {
    LoopbackServer server;
    server.Serve("/.*", raziriz::testing::ClosingReply(
                            raziriz::GbkFromUtf8("<a data-bgimage=\"//i/1.jpg\" _stat=\"焦点图:标题:甲\">"
                                                 "<a data-bgimage=\"//i/2.jpg\" _stat=\"焦点图:标题:乙\">"
                                                 "<a data-bgimage=\"//i/3.jpg\" _stat=\"焦点图:标题:丙\">"),
                            "text/html; charset=gbk"));
    auto window = MakeWindow(server.BaseUrl());
    window->RunSource(0);
    QTRY_VERIFY_WITH_TIMEOUT(!window->SourceRunning(0), 10000);
    raziriz::app::QtPosterList& list = window->siteList(0);
    const int firstRun = list.RowCount();
    QVERIFY(firstRun > 0);
    QCOMPARE(list.CellText(0, 1), std::string("qq"));
    window->RunSource(0);
    QTRY_VERIFY_WITH_TIMEOUT(!window->SourceRunning(0), 10000);
    QTRY_COMPARE(list.RowCount(), 2 * firstRun);  // this source appends
  }
};

RAZIRIZ_APP_TEST_MAIN(WorkerThreadTest)
#include "worker_thread_test.moc"
