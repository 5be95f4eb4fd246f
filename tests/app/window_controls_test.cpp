// The window's control tree against its design: names, parents, places, sizes,
// captions, label styles, list columns and style, tab pages and status panes.

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>

#include "tests/app/app_test_support.h"

using raziriz::app::MainWindow;

namespace {

struct ControlRow {
  const char* name;
  const char* parent;  // objectName of the parent, "" for the window
  QRect geometry;
  const char* caption;  // group title, label, button or edit text
};

// Everything outside the tab control, as designed.
const ControlRow kControls[] = {
    {"分组框3", "", {0, -6, 288, 72}, ""},
    {"透明标签1", "分组框3", {6, 17, 88, 28}, "关键词："},
    {"编辑框_搜索", "分组框3", {83, 18, 128, 30}, ""},
    {"按钮_获取", "分组框3", {216, 8, 64, 24}, "获取"},
    {"按钮_搜索", "分组框3", {216, 32, 64, 24}, "搜索"},
    {"透明标签2", "分组框3", {-15, 54, 264, 16}, "※ 关键词请搜索名称前两个字或者全名 ※"},
    {"超级列表框_幻灯列表", "", {0, 72, 288, 424}, nullptr},
    {"分组框1", "", {288, -6, 648, 72}, ""},
    {"透明标签3", "分组框1", {8, 20, 56, 16}, "当前版本："},
    {"透明标签_当前版本", "分组框1", {64, 20, 40, 16}, "1.0"},
    {"透明标签4", "分组框1", {8, 46, 56, 16}, "最新版本："},
    {"透明标签_最新版本", "分组框1", {64, 46, 40, 16}, ""},
    {"按钮_更新", "分组框1", {95, 16, 64, 48}, nullptr},  // its caption at creation: initTestCase
    {"透明标签5", "分组框1", {163, 25, 24, 38}, "公：\n※：\n告："},
    {"透明标签_公告", "分组框1", {187, 19, 453, 48}, nullptr},
    {"分组框2", "", {288, 65, 648, 240}, "预览区"},
    {"图片框_首图", "分组框2", {2, 17, 645, 220}, nullptr},
    {"高级选择夹1", "", {288, 304, 648, 188}, nullptr},
};

struct LabelRow {
  const char* name;
  QColor colour;
  Qt::Alignment horizontal;
  int boldPixelSize;  // 0: not bold, default size
};

const LabelRow kLabels[] = {
    {"透明标签1", QColor(0, 0, 0), Qt::AlignRight, 21},
    {"透明标签2", QColor(255, 0, 0), Qt::AlignHCenter, 0},
    {"透明标签3", QColor(192, 96, 0), Qt::AlignLeft, 0},
    {"透明标签4", QColor(0, 0, 255), Qt::AlignLeft, 0},
    {"透明标签5", QColor(0, 0, 255), Qt::AlignLeft, 0},
    {"透明标签_当前版本", QColor(0, 0, 0), Qt::AlignLeft, 12},
    {"透明标签_最新版本", QColor(0, 0, 0), Qt::AlignLeft, 12},
    {"透明标签_公告", QColor(0, 0, 0), Qt::AlignLeft, 14},
};

struct PageRow {
  const char* caption;
  const char* list;
  const char* button;
};

const PageRow kPages[] = {
    {"腾讯视频", "超级列表框_腾讯幻灯", "按钮_腾讯幻灯"},     {"优酷视频", "超级列表框_优酷幻灯", "按钮_优酷幻灯"},
    {"爱奇艺", "超级列表框_爱奇艺幻灯", "按钮_爱奇艺幻灯"}, {"芒果视频", "超级列表框_芒果幻灯", "按钮_芒果幻灯"},
    {"乐视视频", "超级列表框_乐视幻灯", "按钮_乐视幻灯"},     {"搜狐视频", "超级列表框_搜狐幻灯", "按钮_搜狐幻灯"},
    {"PPTV视频", "超级列表框_PPTV幻灯", "按钮_PPTV幻灯"},     {"360电影", "超级列表框_360幻灯", "按钮_360幻灯"},
    {"2345影视", "超级列表框_2345幻灯", "按钮_2345幻灯"},
};

struct ColumnRow {
  const char* header;
  int width;
  Qt::Alignment horizontal;
};

const ColumnRow kMainColumns[] = {
    {"ID", 30, Qt::AlignLeft}, {"名称", 100, Qt::AlignHCenter}, {"幻灯图or单击预览复制", 150, Qt::AlignHCenter}};
const ColumnRow kSiteColumns[] = {{"ID", 30, Qt::AlignLeft},
                                  {"平台", 50, Qt::AlignHCenter},
                                  {"名称", 150, Qt::AlignHCenter},
                                  {"幻灯图or单击预览复制", 360, Qt::AlignHCenter}};

struct PaneRow {
  int width;
  const char* text;
};

const PaneRow kPanes[] = {{90, "今日打开次数："}, {60, ""}, {90, "昨日打开次数："}, {60, ""},
                          {90, "累计打开次数："}, {100, ""}, {60, "Zorvi："}, {121, "https://www.zorvi.example"},
                          {30, "By："}, {50, "Zorvi"}};

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

QString CaptionOf(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (const auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  return {};
}

void CheckColumns(const QTableWidget* list, const ColumnRow* columns, int count) {
  QCOMPARE(list->columnCount(), count);
  QCOMPARE(list->rowCount(), 0);
  for (int i = 0; i < count; ++i) {
    const QTableWidgetItem* header = list->horizontalHeaderItem(i);
    QVERIFY(header != nullptr);
    QCOMPARE(header->text(), Q(columns[i].header));
    QCOMPARE(list->columnWidth(i), columns[i].width);
    QCOMPARE(Qt::Alignment(header->textAlignment()) & Qt::AlignHorizontal_Mask, columns[i].horizontal);
  }
  // One full row selected at a time, nothing editable or sortable, grid lines,
  // blue on white, nothing selected at first.
  QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
  QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
  QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
  QVERIFY(list->showGrid());
  QVERIFY(!list->isSortingEnabled());
  QVERIFY(!list->horizontalHeader()->sectionsClickable());
  QVERIFY(list->verticalHeader()->isHidden());
  QCOMPARE(list->palette().color(QPalette::Active, QPalette::Text), QColor(0, 0, 255));
  QCOMPARE(list->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
  // Without the focus the selection looks like any other row.
  QCOMPARE(list->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(Qt::white));
  QVERIFY(list->selectionModel()->selectedIndexes().isEmpty());
}

}  // namespace

class WindowControlsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<MainWindow> window_;

 private slots:
  void initTestCase() {
    window_ = std::make_unique<MainWindow>(raziriz::testing::AddressesOn(raziriz::testing::kClosedBase),
                                           std::make_unique<raziriz::testing::FakeDesktopServices>(
                                               std::make_shared<raziriz::testing::DesktopCalls>()));
    // The update button's caption before the home feed has run.
    const auto* update = window_->findChild<QPushButton*>(Q("按钮_更新"));
    QCOMPARE(update->text(), Q("更新下载"));
    QVERIFY(update->isEnabled());
    QSignalSpy created(window_.get(), &MainWindow::createdHandled);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QTRY_COMPARE_WITH_TIMEOUT(created.count(), 1, 10000);
  }

  void cleanupTestCase() { window_.reset(); }

  void window() {
    QCOMPARE(window_->windowTitle(), Q("Raziriz影视无水印海报"));
    QCOMPARE(window_->frameGeometry().size(), QSize(943, 541));
  }

  void controls() {
    for (const ControlRow& row : kControls) {
      const QWidget* control = window_->findChild<QWidget*>(Q(row.name));
      QVERIFY2(control != nullptr, row.name);
      const QWidget* parent = control->parentWidget();
      QCOMPARE(parent == window_.get() ? QString() : parent->objectName(), Q(row.parent));
      QCOMPARE(control->geometry(), row.geometry);
      if (row.caption != nullptr) QCOMPARE(CaptionOf(control), Q(row.caption));
    }
  }

  void labelStyles() {
    for (const LabelRow& row : kLabels) {
      const auto* label = window_->findChild<QLabel*>(Q(row.name));
      QVERIFY2(label != nullptr, row.name);
      QCOMPARE(label->palette().color(QPalette::WindowText), row.colour);
      QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, row.horizontal);
      QCOMPARE(label->alignment() & Qt::AlignVertical_Mask, Qt::AlignVCenter);
      QVERIFY(!label->autoFillBackground());
      QCOMPARE(label->frameShape(), QFrame::NoFrame);
      QCOMPARE(label->font().bold(), row.boldPixelSize > 0);
      if (row.boldPixelSize > 0) QCOMPARE(label->font().pixelSize(), row.boldPixelSize);
    }
    QVERIFY(window_->findChild<QLabel*>(Q("透明标签5"))->wordWrap());
  }

  void lists() {
    CheckColumns(window_->findChild<QTableWidget*>(Q("超级列表框_幻灯列表")), kMainColumns, 3);
    for (const PageRow& page : kPages) {
      const auto* list = window_->findChild<QTableWidget*>(Q(page.list));
      QVERIFY2(list != nullptr, page.list);
      CheckColumns(list, kSiteColumns, 4);
    }
  }

  void tabPages() {
    auto* tabs = window_->findChild<QTabWidget*>(Q("高级选择夹1"));
    QCOMPARE(tabs->count(), 9);
    for (int i = 0; i < 9; ++i) {
      const PageRow& page = kPages[i];
      QCOMPARE(tabs->tabText(i), Q(page.caption));
      tabs->setCurrentIndex(i);
      auto* list = tabs->widget(i)->findChild<QWidget*>(Q(page.list));
      auto* button = tabs->widget(i)->findChild<QPushButton*>(Q(page.button));
      QVERIFY2(list != nullptr && button != nullptr, page.caption);
      // Places relative to the tab control itself.
      QCOMPARE(QRect(list->mapTo(tabs, QPoint(0, 0)), list->size()), QRect(48, 22, 600, 161));
      QCOMPARE(QRect(button->mapTo(tabs, QPoint(0, 0)), button->size()), QRect(5, 33, 40, 145));
      QCOMPARE(button->text(), Q("\n获\n\n\n\n\n\n取"));
      QVERIFY(list->isVisible() && button->isVisible());
      // Only the current page's controls show.
      const int other = (i + 1) % 9;
      QVERIFY(!tabs->widget(other)->findChild<QWidget*>(Q(kPages[other].list))->isVisible());
    }
    QCOMPARE(tabs->tabBar()->font().pixelSize(), 12);
  }

  void statusPanes() {
    auto* bar = window_->findChild<raziriz::app::PaneStatusBar*>(Q("状态条1"));
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->height(), 20);
    QCOMPARE(bar->width(), window_->width());
    QCOMPARE(bar->geometry().bottom(), window_->height() - 1);
    QCOMPARE(bar->PaneCount(), 10);
    // The counter could not be reached: its panes stay empty.
    for (int i = 0; i < 10; ++i) {
      QCOMPARE(bar->PaneWidget(i)->width(), kPanes[i].width);
      QCOMPARE(bar->PaneText(i), Q(kPanes[i].text));
    }
  }
};

RAZIRIZ_APP_TEST_MAIN(WindowControlsTest)
#include "window_controls_test.moc"
