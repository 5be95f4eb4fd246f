#pragma once
// The program's one window: its controls, its handlers and the nine site pages.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/picture_box.h"
#include "app/qt_layer.h"
#include "sources/home_feed.h"
#include "sources/sources.h"

namespace raziriz::app {

// Where the window fetches from. The defaults are the program's own; tests point
// them at loopback servers.
struct WindowAddresses {
  std::string homeFeed{kHomeFeedAddress};
  std::string visitCounter{kVisitCounterAddress};
  std::string makerSite{kMakerSiteAddress};  // shown in status-bar pane 7
  SourceOptions sources;
};

// The window's outer size, frame included where the platform draws one.
inline constexpr QSize kWindowOuterSize(943, 541);

class MainWindow final : public QWidget {
  Q_OBJECT
 public:
  // `services` defaults to the real browser and clipboard.
  explicit MainWindow(WindowAddresses addresses = {}, std::unique_ptr<DesktopServices> services = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The handlers, public so that tests and benchmarks can run them directly.
  // The "created" handler: the home feed, then the visit counts. Runs once,
  // right after the window is first painted.
  void OnCreated();
  void LoadHomeFeed();
  void ShowVisitCounts();
  void PreviewAndCopy(QtPosterList& list, int addressColumn);
  void OpenStatusBarLink();
  void OpenUpdateAddress();
  void SearchMainList();
  // The site button of tab page `index`: runs that page's source on this thread
  // or on a worker; ignored while the same source is still running.
  void RunSource(std::size_t index);

  [[nodiscard]] QtPosterList& mainList() { return *mainList_; }
  [[nodiscard]] QtPosterList& siteList(std::size_t index) { return *pages_.at(index)->list; }
  [[nodiscard]] std::size_t siteCount() const { return pages_.size(); }
  [[nodiscard]] PictureBox& pictureBox() { return *pictureBox_; }
  [[nodiscard]] PaneStatusBar& statusBar() { return *statusBar_; }
  [[nodiscard]] const Text& updateAddress() const { return updateAddress_; }
  [[nodiscard]] bool SourceRunning(std::size_t index) const { return pages_.at(index)->running.load(); }
  // Worker threads whose source has not returned yet.
  [[nodiscard]] int RunningWorkerCount() const { return workers_.RunningCount(); }

 signals:
  // Sent when the "created" handler has finished.
  void createdHandled();

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct SitePage {
    const SourceInfo* info = nullptr;
    PosterListView* view = nullptr;
    QPushButton* button = nullptr;
    std::unique_ptr<QtPosterList> list;
    std::atomic<bool> running{false};
  };

  // Counts the handlers running on the window's thread, which may process
  // events (and so a close) in the middle; the last one out performs a close
  // that arrived meanwhile.
  class BusyScope {
   public:
    explicit BusyScope(MainWindow& window);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    MainWindow& window_;
  };

  void ScheduleCreated();
  void BuildControls();
  void BuildSitePages();
  void FitOuterSize();

  WindowAddresses addresses_;
  std::unique_ptr<DesktopServices> services_;
  Text updateAddress_;
  // Set when the window closes: transfers of the window's thread end early.
  std::atomic<bool> windowStop_{false};
  int busy_ = 0;
  bool closePending_ = false;
  bool createdScheduled_ = false;
  bool homeFeedRunning_ = false;

  QLineEdit* searchEdit_ = nullptr;
  QPushButton* refreshButton_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QPushButton* updateButton_ = nullptr;
  QLabel* currentVersion_ = nullptr;
  QLabel* latestVersion_ = nullptr;
  QLabel* announcement_ = nullptr;
  PictureBox* pictureBox_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  PaneStatusBar* statusBar_ = nullptr;
  PosterListView* mainView_ = nullptr;
  std::unique_ptr<QtPosterList> mainList_;
  std::vector<std::unique_ptr<SitePage>> pages_;
  // Last member: destroyed (stopped and joined) first, while the lists the
  // workers write into still exist.
  WorkerRegistry workers_;
};

}  // namespace raziriz::app
