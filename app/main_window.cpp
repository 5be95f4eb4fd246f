#include "app/main_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QProxyStyle>
#include <QShowEvent>
#include <QTabBar>
#include <QTimer>

#include <utility>

#include "net/web_request.h"
#include "text/event_hook.h"
#include "text/extract.h"

namespace raziriz::app {
namespace {

// The tab control places each page's controls relative to itself, not to the
// page area below the tab row, whose offset depends on the style: after every
// layout the controls are moved back to their designed places.
class SiteTabs final : public QTabWidget {
 public:
  using QTabWidget::QTabWidget;

  void Place(QWidget* control, QRect designed) {
    placed_.emplace_back(control, designed);
    Reposition();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QTabWidget::resizeEvent(event);
    Reposition();
  }
  void showEvent(QShowEvent* event) override {
    QTabWidget::showEvent(event);
    Reposition();
  }

 private:
  void Reposition() {
    for (const auto& [control, designed] : placed_) {
      const QPoint pageOrigin = control->parentWidget()->mapTo(this, QPoint(0, 0));
      control->setGeometry(designed.translated(-pageOrigin));
    }
  }
  std::vector<std::pair<QWidget*, QRect>> placed_;
};

// Narrower and lower tab padding, so that the nine captions fit side by side
// and the page controls, placed for a 22-pixel tab row, are not cut off.
class CompactTabStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_TabBarTabHSpace) return 10;
    if (metric == PM_TabBarTabVSpace) return 4;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

struct LabelStyle {
  QColor colour;
  Qt::Alignment alignment;
  int boldPixelSize = 0;  // 0: the default font
  bool wordWrap = false;
};

QLabel* MakeLabel(QWidget* parent, const QString& name, QRect geometry, const QString& caption,
                  const LabelStyle& style) {
  auto* label = MakeChild<QLabel>(caption, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setFrameShape(QFrame::NoFrame);
  label->setAutoFillBackground(false);
  label->setAlignment(style.alignment | Qt::AlignVCenter);
  label->setWordWrap(style.wordWrap);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, style.colour);
  label->setPalette(colours);
  if (style.boldPixelSize > 0) {
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(style.boldPixelSize);
    label->setFont(font);
  }
  return label;
}

QGroupBox* MakeGroup(QWidget* parent, const QString& name, QRect geometry, const QString& caption) {
  auto* group = MakeChild<QGroupBox>(caption, parent);
  group->setObjectName(name);
  group->setGeometry(geometry);
  return group;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, QRect geometry, const QString& caption) {
  auto* button = MakeChild<QPushButton>(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  return button;
}

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kOrange(192, 96, 0);
const QColor kBlue(0, 0, 255);

}  // namespace

MainWindow::BusyScope::BusyScope(MainWindow& window) : window_(window) { ++window_.busy_; }

MainWindow::BusyScope::~BusyScope() {
  if (--window_.busy_ == 0 && window_.closePending_) {
    QTimer::singleShot(0, &window_, &QWidget::close);
  }
}

MainWindow::MainWindow(WindowAddresses addresses, std::unique_ptr<DesktopServices> services)
    : addresses_(std::move(addresses)), services_(std::move(services)) {
  if (!services_) services_ = std::make_unique<QtDesktopServices>();
  SetThreadStopFlag(&windowStop_);
  setWindowTitle(QStringLiteral("Raziriz影视无水印海报"));
  move(50, 50);
  setFixedSize(kWindowOuterSize);
  BuildControls();
  BuildSitePages();
}

MainWindow::~MainWindow() {
  windowStop_.store(true);
  workers_.StopAll();
  SetThreadStopFlag(nullptr);
}

void MainWindow::BuildControls() {
  statusBar_ = MakeChild<PaneStatusBar>(QStringLiteral("状态条1"),
                                        std::vector<PaneStatusBar::Pane>{
                                            {90, QStringLiteral("今日打开次数：")},
                                            {60, QString()},
                                            {90, QStringLiteral("昨日打开次数：")},
                                            {60, QString()},
                                            {90, QStringLiteral("累计打开次数：")},
                                            {100, QString()},
                                            {60, QStringLiteral("Zorvi：")},
                                            {121, ToQString(addresses_.makerSite)},
                                            {30, QStringLiteral("By：")},
                                            {50, QStringLiteral("Zorvi")},
                                        },
                                        this);
  connect(statusBar_, &PaneStatusBar::leftPressed, this, &MainWindow::OpenStatusBarLink);

  // The search box and the refresh button.
  QGroupBox* searchGroup = MakeGroup(this, QStringLiteral("分组框3"), {0, -6, 288, 72}, QString());
  MakeLabel(searchGroup, QStringLiteral("透明标签1"), {6, 17, 88, 28}, QStringLiteral("关键词："),
            {kBlack, Qt::AlignRight, 21});
  searchEdit_ = MakeChild<QLineEdit>(searchGroup);
  searchEdit_->setObjectName(QStringLiteral("编辑框_搜索"));
  searchEdit_->setGeometry(83, 18, 128, 30);
  refreshButton_ = MakeButton(searchGroup, QStringLiteral("按钮_获取"), {216, 8, 64, 24}, QStringLiteral("获取"));
  searchButton_ = MakeButton(searchGroup, QStringLiteral("按钮_搜索"), {216, 32, 64, 24}, QStringLiteral("搜索"));
  MakeLabel(searchGroup, QStringLiteral("透明标签2"), {-15, 54, 264, 16},
            QStringLiteral("※ 关键词请搜索名称前两个字或者全名 ※"), {kRed, Qt::AlignHCenter});
  connect(refreshButton_, &QPushButton::clicked, this, &MainWindow::LoadHomeFeed);
  connect(searchButton_, &QPushButton::clicked, this, &MainWindow::SearchMainList);

  mainView_ = MakeChild<PosterListView>(QStringLiteral("超级列表框_幻灯列表"),
                                        std::vector<PosterListView::Column>{
                                            {QStringLiteral("ID"), 30, Qt::AlignLeft},
                                            {QStringLiteral("名称"), 100, Qt::AlignHCenter},
                                            {QStringLiteral("幻灯图or单击预览复制"), 150, Qt::AlignHCenter},
                                        },
                                        this);
  mainView_->setGeometry(0, 72, 288, 424);
  mainList_ = std::make_unique<QtPosterList>(mainView_);
  connect(mainView_, &PosterListView::leftClicked, this, [this] { PreviewAndCopy(*mainList_, 2); });

  // Versions, the update button and the announcement.
  QGroupBox* versionGroup = MakeGroup(this, QStringLiteral("分组框1"), {288, -6, 648, 72}, QString());
  MakeLabel(versionGroup, QStringLiteral("透明标签3"), {8, 20, 56, 16}, QStringLiteral("当前版本："),
            {kOrange, Qt::AlignLeft});
  currentVersion_ = MakeLabel(versionGroup, QStringLiteral("透明标签_当前版本"), {64, 20, 40, 16},
                              ToQString(kCurrentVersion), {kBlack, Qt::AlignLeft, 12});
  MakeLabel(versionGroup, QStringLiteral("透明标签4"), {8, 46, 56, 16}, QStringLiteral("最新版本："),
            {kBlue, Qt::AlignLeft});
  latestVersion_ = MakeLabel(versionGroup, QStringLiteral("透明标签_最新版本"), {64, 46, 40, 16}, QString(),
                             {kBlack, Qt::AlignLeft, 12});
  updateButton_ = MakeChild<WrappingButton>(QStringLiteral("更新下载"), versionGroup);
  updateButton_->setObjectName(QStringLiteral("按钮_更新"));
  updateButton_->setGeometry(95, 16, 64, 48);
  connect(updateButton_, &QPushButton::clicked, this, &MainWindow::OpenUpdateAddress);
  MakeLabel(versionGroup, QStringLiteral("透明标签5"), {163, 25, 24, 38}, QStringLiteral("公：\n※：\n告："),
            {kBlue, Qt::AlignLeft, 0, true});
  announcement_ = MakeLabel(versionGroup, QStringLiteral("透明标签_公告"), {187, 19, 453, 48},
                            QStringLiteral("正在读取公告……"), {kBlack, Qt::AlignLeft, 14});

  QGroupBox* previewGroup = MakeGroup(this, QStringLiteral("分组框2"), {288, 65, 648, 240}, QStringLiteral("预览区"));
  pictureBox_ = MakeChild<PictureBox>(QStringLiteral("图片框_首图"), previewGroup);
  pictureBox_->setGeometry(2, 17, 645, 220);
}

void MainWindow::BuildSitePages() {
  auto* tabs = MakeChild<SiteTabs>(this);
  tabs_ = tabs;
  tabs->setObjectName(QStringLiteral("高级选择夹1"));
  tabs->setGeometry(288, 304, 648, 188);
  QFont tabFont(QStringLiteral("SimSun"));
  tabFont.setPixelSize(12);
  tabs->tabBar()->setFont(tabFont);
  // The tab control owns its style: it goes with the control, not before it.
  auto* tabStyle = MakeChild<CompactTabStyle>();
  tabs->tabBar()->setStyle(tabStyle);
  tabStyle->setParent(tabs);

  const std::vector<PosterListView::Column> columns{
      {QStringLiteral("ID"), 30, Qt::AlignLeft},
      {QStringLiteral("平台"), 50, Qt::AlignHCenter},
      {QStringLiteral("名称"), 150, Qt::AlignHCenter},
      {QStringLiteral("幻灯图or单击预览复制"), 360, Qt::AlignHCenter},
  };
  for (const SourceInfo& info : AllSources()) {
    auto page = std::make_unique<SitePage>();
    page->info = &info;
    auto* pageWidget = MakeChild<QWidget>();
    tabs->addTab(pageWidget, QString::fromUtf8(info.tabCaption.data(), static_cast<qsizetype>(info.tabCaption.size())));
    page->view = MakeChild<PosterListView>(
        QString::fromUtf8(info.listName.data(), static_cast<qsizetype>(info.listName.size())), columns, pageWidget);
    tabs->Place(page->view, {48, 22, 600, 161});
    page->button = MakeButton(pageWidget,
                              QString::fromUtf8(info.buttonName.data(), static_cast<qsizetype>(info.buttonName.size())),
                              {5, 33, 40, 145}, QStringLiteral("\n获\n\n\n\n\n\n取"));
    tabs->Place(page->button, {5, 33, 40, 145});
    page->list = std::make_unique<QtPosterList>(page->view);

    const std::size_t index = pages_.size();
    QtPosterList* list = page->list.get();
    connect(page->view, &PosterListView::leftClicked, this, [this, list] { PreviewAndCopy(*list, 3); });
    connect(page->button, &QPushButton::clicked, this, [this, index] { RunSource(index); });
    pages_.push_back(std::move(page));
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Should no paint come (a platform that never exposes the window), the
  // handler still runs.
  if (!createdScheduled_) QTimer::singleShot(500, this, &MainWindow::ScheduleCreated);
}

void MainWindow::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  // After the first paint, so that the window is on screen while the feed loads.
  ScheduleCreated();
}

void MainWindow::ScheduleCreated() {
  if (createdScheduled_) return;
  createdScheduled_ = true;
  QTimer::singleShot(0, this, &MainWindow::OnCreated);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Docked to the bottom edge, full width.
  statusBar_->setGeometry(0, height() - 20, width(), 20);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A handler of this thread is still running further up the stack (it let
  // events in): closing now would pull the window from under it. Its transfers
  // are told to stop, and the close happens as soon as it returns.
  if (busy_ > 0) {
    windowStop_.store(true);
    closePending_ = true;
    event->ignore();
    return;
  }
  windowStop_.store(true);
  workers_.StopAll();
  event->accept();
}

void MainWindow::FitOuterSize() {
  // Where the platform draws a frame, the frame is part of the designed size.
  const QSize frame = frameGeometry().size() - geometry().size();
  if (frame.width() > 0 || frame.height() > 0) setFixedSize(kWindowOuterSize - frame);
}

void MainWindow::OnCreated() {
  FitOuterSize();
  LoadHomeFeed();
  ShowVisitCounts();
  emit createdHandled();
}

void MainWindow::LoadHomeFeed() {
  // Extraction lets events in; a second refresh then would interleave its rows
  // with this one's, so it is ignored instead.
  if (homeFeedRunning_) return;
  homeFeedRunning_ = true;
  BusyScope busy(*this);

  mainList_->Clear();
  const HomeFeed feed = FetchHomeFeed(addresses_.homeFeed);
  updateAddress_ = feed.updateAddress;
  announcement_->setText(ToQString(feed.announcement));
  latestVersion_->setText(ToQString(feed.latestVersion));
  LoadHomeFeedRows(*mainList_, feed);

  // Exact bytes: "1.0 " and "1.00" are other versions. The button is only ever
  // disabled here, never enabled again.
  if (FromQString(currentVersion_->text()) == feed.latestVersion) {
    updateButton_->setText(QStringLiteral("当前版本无更新！"));
    updateButton_->setEnabled(false);
  } else {
    updateButton_->setText(QStringLiteral("有新版本请更新！"));
  }
  homeFeedRunning_ = false;
}

void MainWindow::ShowVisitCounts() {
  BusyScope busy(*this);
  const VisitCounts counts = FetchVisitCounts(addresses_.visitCounter);
  statusBar_->SetPaneText(1, ToQString(counts.today));
  statusBar_->SetPaneText(3, ToQString(counts.yesterday));
  statusBar_->SetPaneText(5, ToQString(counts.total));
}

void MainWindow::PreviewAndCopy(QtPosterList& list, int addressColumn) {
  BusyScope busy(*this);
  const Text address = list.CellText(list.SelectedRow(), addressColumn);
  const Bytes image = WebRequest(address);
  pictureBox_->SetPicture(image);
  services_->SetClipboardText(list.CellText(list.SelectedRow(), addressColumn));
}

void MainWindow::OpenStatusBarLink() { services_->OpenAddress(FromQString(statusBar_->PaneText(7))); }

void MainWindow::OpenUpdateAddress() {
  // The address comes from a remote page: only web addresses go to the browser,
  // never a local file, a program or another scheme.
  if (IsWebAddress(updateAddress_)) services_->OpenAddress(updateAddress_);
}

void MainWindow::SearchMainList() {
  const int rows = mainList_->RowCount();
  int target = 0;
  for (int row = 0; row < rows; ++row) {
    const Text title = mainList_->CellText(row, 1);
    const Text keyword = FromQString(searchEdit_->text());
    if (FindText(title, keyword) > 0) {
      target = row;
      break;
    }
  }
  mainView_->setFocus();
  mainList_->SelectRow(target);
}

void MainWindow::RunSource(std::size_t index) {
  SitePage& page = *pages_.at(index);
  // A second press while the source runs is ignored: two runs would interleave
  // their rows in one list (and the window-thread ones share one matcher).
  if (page.running.exchange(true)) return;
  if (page.info->thread == SourceThread::Worker) {
    workers_.Start([&page, options = addresses_.sources] {
      page.info->load(*page.list, options);
      page.running.store(false);
    });
    return;
  }
  BusyScope busy(*this);
  page.info->load(*page.list, addresses_.sources);
  page.running.store(false);
}

}  // namespace raziriz::app
