// The window's handlers against loopback servers: the home feed with its
// version check, the visit counter, the keyword search and the hand-offs to
// the browser.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "tests/app/app_test_support.h"

using raziriz::app::MainWindow;
using raziriz::testing::DesktopCalls;
using raziriz::testing::LoopbackServer;
using raziriz::testing::Reply;
using raziriz::testing::SeenRequest;

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The maker's poster page and the counter page, with what the test sets.
class MakerSite {
 public:
  MakerSite() : server_(LoopbackServer::Scheme::Https) {
    server_.Handle("/haibao", [this](const SeenRequest& request) {
      std::lock_guard lock(mutex_);
      seen_.push_back(request.method + " " + request.path + " " + request.body);
      std::string page = ReplaceAll(raziriz::testing::ReadFixture("home_feed.html"), "{VERSION}", version_);
      return raziriz::testing::ClosingReply(ReplaceAll(page, "{UPDATE}", update_));
    });
    server_.Handle("/counts8790.html", [this](const SeenRequest& request) {
      std::lock_guard lock(mutex_);
      seen_.push_back(request.method + " " + request.path + " " + request.body);
      return raziriz::testing::ClosingReply(counter_);
    });
  }

  void SetVersion(std::string version) {
    std::lock_guard lock(mutex_);
    version_ = std::move(version);
  }
  void SetUpdateAddress(std::string address) {
    std::lock_guard lock(mutex_);
    update_ = std::move(address);
  }
  void SetCounter(std::string text) {
    std::lock_guard lock(mutex_);
    counter_ = std::move(text);
  }
  std::vector<std::string> Seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  std::string Base() const { return server_.BaseUrl(); }

 private:
  LoopbackServer server_;
  std::mutex mutex_;
  std::string version_ = "2.0";
  std::string update_ = "https://www.zorvi.example/download";
  std::string counter_;
  std::vector<std::string> seen_;
};

struct Window {
  std::shared_ptr<DesktopCalls> calls = std::make_shared<DesktopCalls>();
  std::unique_ptr<MainWindow> window;

  explicit Window(const std::string& base)
      : window(std::make_unique<MainWindow>(raziriz::testing::AddressesOn(base),
                                            std::make_unique<raziriz::testing::FakeDesktopServices>(calls))) {}

  template <typename T>
  T* Find(const char* name) const {
    return window->findChild<T*>(Q(name));
  }
  QString Caption(const char* name) const { return Find<QLabel>(name)->text(); }
  QPushButton* UpdateButton() const { return Find<QPushButton>("按钮_更新"); }
  void ClickRefresh() const { QTest::mouseClick(Find<QPushButton>("按钮_获取"), Qt::LeftButton); }

  // The main list's rows as "number|title|address" in UTF-8.
  QStringList Rows() const {
    QStringList rows;
    raziriz::app::QtPosterList& list = window->mainList();
    for (int row = 0; row < list.RowCount(); ++row) {
      QStringList cells;
      for (int column = 0; column < 3; ++column) cells << raziriz::app::ToQString(list.CellText(row, column));
      rows << cells.join('|');
    }
    return rows;
  }
};

const QStringList kFixtureRows{
    Q("1|春天故事|https://img.zorvi.example/2026/one.jpg"),
    Q("2|故事新编|https://img.zorvi.example/2026/two.jpg"),
    Q("3|夏日里的一首老歌呀x|https://img.zorvi.example/2026/three.jpg"),
};

}  // namespace

class WindowHandlersTest : public QObject {
  Q_OBJECT

 private slots:
  // Start-up: the home feed, then the counter, both POST without a body.
  void startUpLoadsFeedThenCounts() {
    MakerSite site;
    site.SetCounter("昨日访问：12&#10;今日访问：3&#10;累计访问：4567&#10;点击申请计数器");
    Window w(site.Base());
    QSignalSpy created(w.window.get(), &MainWindow::createdHandled);
    w.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(created.count(), 1, 10000);

    QCOMPARE(site.Seen(), (std::vector<std::string>{"POST /haibao ", "POST /counts8790.html "}));
    QCOMPARE(w.Rows(), kFixtureRows);
    QCOMPARE(w.Caption("透明标签_公告"), Q("新年快乐 &amp; 海报每周更新"));
    QCOMPARE(w.Caption("透明标签_最新版本"), Q("2.0"));
    QCOMPARE(w.window->updateAddress(), std::string("https://www.zorvi.example/download"));
    QCOMPARE(w.UpdateButton()->text(), Q("有新版本请更新！"));
    QVERIFY(w.UpdateButton()->isEnabled());

    raziriz::app::PaneStatusBar& bar = w.window->statusBar();
    QCOMPARE(bar.PaneText(1), Q("3"));
    QCOMPARE(bar.PaneText(3), Q("12"));
    QCOMPARE(bar.PaneText(5), Q("4567"));
  }

  // The version check compares exact bytes.
  void versionCheck_data() {
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("same") << "1.0" << Q("当前版本无更新！") << false;
    QTest::newRow("trailing blank") << "1.0 " << Q("有新版本请更新！") << true;
    QTest::newRow("leading blank") << " 1.0" << Q("有新版本请更新！") << true;
    QTest::newRow("trailing zero") << "1.00" << Q("有新版本请更新！") << true;
    QTest::newRow("lower") << "0.9" << Q("有新版本请更新！") << true;
  }
  void versionCheck() {
    QFETCH(QString, latest);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    MakerSite site;
    site.SetVersion(latest.toStdString());
    Window w(site.Base());
    w.window->LoadHomeFeed();
    QCOMPARE(w.Caption("透明标签_最新版本"), latest);
    QCOMPARE(w.UpdateButton()->text(), caption);
    QCOMPARE(w.UpdateButton()->isEnabled(), enabled);
  }

  void unreachablePageEmptiesEverything() {
    Window w(raziriz::testing::kClosedBase);
    w.window->mainList().AppendRow();  // an old row goes too
    w.window->LoadHomeFeed();
    QCOMPARE(w.Rows(), QStringList());
    QCOMPARE(w.Caption("透明标签_公告"), QString());
    QCOMPARE(w.Caption("透明标签_最新版本"), QString());
    QVERIFY(w.window->updateAddress().empty());
    QCOMPARE(w.UpdateButton()->text(), Q("有新版本请更新！"));
    QVERIFY(w.UpdateButton()->isEnabled());
    w.window->ShowVisitCounts();
    for (int pane : {1, 3, 5}) QCOMPARE(w.window->statusBar().PaneText(pane), QString());
  }

  // A refresh empties the list and numbers from 1 again; it never enables the
  // button once the versions matched.
  void refresh() {
    MakerSite site;
    site.SetVersion("1.0");
    Window w(site.Base());
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    QTRY_COMPARE_WITH_TIMEOUT(w.Rows(), kFixtureRows, 10000);
    QVERIFY(!w.UpdateButton()->isEnabled());

    site.SetVersion("2.0");
    w.ClickRefresh();
    QCOMPARE(w.Rows(), kFixtureRows);
    QCOMPARE(w.UpdateButton()->text(), Q("有新版本请更新！"));
    QVERIFY(!w.UpdateButton()->isEnabled());
  }

  // A click on the refresh button that arrives while the feed is being cut (the
  // cutting lets events in) is ignored rather than interleaving a second set
  // of rows with the first.
  void refreshDuringRefresh() {
    MakerSite site;
    Window w(site.Base());
    QTimer::singleShot(0, w.window.get(), [&w] { w.window->LoadHomeFeed(); });
    w.window->LoadHomeFeed();
    QCOMPARE(w.Rows(), kFixtureRows);
    QCOMPARE(site.Seen().size(), std::size_t{1});
  }

  void rowsWithoutTitles() {
    LoopbackServer server;
    server.Serve("/haibao", raziriz::testing::ClosingReply("<img data-srcset=\"a.png\"><img data-srcset=\"b.png\">"
                                                           "<p style=\"text-align: center;\">甲</p>"));
    Window w(server.BaseUrl());
    w.window->LoadHomeFeed();
    QCOMPARE(w.Rows(), (QStringList{Q("1|甲|a.png"), Q("2||b.png")}));
  }

  void counterWithoutTotalsEnd() {
    MakerSite site;
    site.SetCounter("昨日访问：12&#10;今日访问：3&#10;累计访问：4567");
    Window w(site.Base());
    w.window->ShowVisitCounts();
    QCOMPARE(w.window->statusBar().PaneText(1), Q("3"));
    QCOMPARE(w.window->statusBar().PaneText(3), Q("12"));
    QCOMPARE(w.window->statusBar().PaneText(5), QString());
  }

  void search_data() {
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("selected");  // -1: nothing selected
    const QStringList titles{Q("春天故事"), Q("故事新编"), Q("夏日")};
    QTest::newRow("first match") << titles << Q("故事") << 0;
    QTest::newRow("later match") << titles << Q("新") << 1;
    QTest::newRow("no match selects row 0") << titles << Q("冬") << 0;
    QTest::newRow("empty keyword skips empty titles") << QStringList{QString(), Q("春天")} << QString() << 1;
    QTest::newRow("case counts") << QStringList{Q("夏日"), Q("PPTV精选")} << Q("pptv") << 0;
    QTest::newRow("exact case") << QStringList{Q("夏日"), Q("PPTV精选")} << Q("PPTV") << 1;
    QTest::newRow("empty list") << QStringList() << Q("故事") << -1;
  }
  void search() {
    QFETCH(QStringList, titles);
    QFETCH(QString, keyword);
    QFETCH(int, selected);
    Window w(raziriz::testing::kClosedBase);
    QSignalSpy created(w.window.get(), &MainWindow::createdHandled);
    w.window->show();
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
    QTRY_COMPARE_WITH_TIMEOUT(created.count(), 1, 10000);
    raziriz::app::QtPosterList& list = w.window->mainList();
    for (const QString& title : titles) {
      const int row = list.AppendRow();
      list.SetCell(row, 1, raziriz::app::FromQString(title));
    }
    // A previous selection is replaced.
    if (titles.size() > 2) list.SelectRow(2);
    w.Find<QLineEdit>("编辑框_搜索")->setText(keyword);
    QTest::mouseClick(w.Find<QPushButton>("按钮_搜索"), Qt::LeftButton);
    QCOMPARE(list.SelectedRow(), selected);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list.view()));
  }

  // A press anywhere on the status bar opens pane 7's address.
  void statusBarLink() {
    Window w(raziriz::testing::kClosedBase);
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    raziriz::app::PaneStatusBar& bar = w.window->statusBar();
    QTest::mousePress(bar.PaneWidget(0), Qt::LeftButton);
    QTest::mousePress(bar.PaneWidget(7), Qt::LeftButton);
    QCOMPARE(w.calls->opened, (std::vector<std::string>(2, "https://www.zorvi.example")));
  }

  // The update address comes from a remote page: only web addresses are opened.
  void updateButton_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("opened");
    QTest::newRow("https") << "https://www.zorvi.example/download?v=2" << true;
    QTest::newRow("http, any case") << "HTTP://pan.example/s/1" << true;
    QTest::newRow("local file") << "file:///etc/passwd" << false;
    QTest::newRow("program") << "C:\\Windows\\System32\\calc.exe" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("other scheme") << "ftp://files.example/a.zip" << false;
    QTest::newRow("empty") << "" << false;
  }
  void updateButton() {
    QFETCH(QString, address);
    QFETCH(bool, opened);
    MakerSite site;
    site.SetUpdateAddress(address.toStdString());
    Window w(site.Base());
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    QTRY_COMPARE_WITH_TIMEOUT(w.Rows().size(), 3, 10000);
    QVERIFY(w.UpdateButton()->isEnabled());
    QTest::mouseClick(w.UpdateButton(), Qt::LeftButton);
    const std::vector<std::string> expected = opened ? std::vector{address.toStdString()} : std::vector<std::string>{};
    QCOMPARE(w.calls->opened, expected);
  }

  // A close that arrives while a handler of the window's thread is processing
  // events waits for that handler to return, then happens.
  void closeDuringWindowThreadHandler() {
    LoopbackServer server;
    std::string page;
    for (int i = 0; i < 50; ++i) page += "<img data-srcset=\"p" + std::to_string(i) + ".jpg\">";
    server.Serve("/haibao", raziriz::testing::ClosingReply(page));
    Window w(server.BaseUrl());
    QSignalSpy created(w.window.get(), &MainWindow::createdHandled);
    w.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(created.count(), 1, 10000);
    QTimer::singleShot(0, w.window.get(), &QWidget::close);
    w.window->LoadHomeFeed();  // lets events in while it cuts the page
    QVERIFY(w.window->isVisible());
    QCOMPARE(w.Rows().size(), 50);
    QTRY_VERIFY(!w.window->isVisible());
  }
};

RAZIRIZ_APP_TEST_MAIN(WindowHandlersTest)
#include "window_handlers_test.moc"
