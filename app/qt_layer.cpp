#include "app/qt_layer.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>

#include "text/charset.h"
#include "text/event_hook.h"

namespace raziriz::app {
namespace {

bool OnApplicationThread() {
  const QCoreApplication* application = QCoreApplication::instance();
  return application != nullptr && QThread::currentThread() == application->thread();
}

void PumpQtEvents() {
  if (OnApplicationThread()) QCoreApplication::processEvents();
}

// On the application's thread a nested event loop runs for `timeout`, ending
// early when the thread is asked to stop (the window is closing). Elsewhere
// there are no window events to handle: the thread sleeps in short steps.
void WaitForQtEvents(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kStep = std::chrono::milliseconds(20);
  const auto deadline = Clock::now() + timeout;
  if (OnApplicationThread()) {
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &loop, [&loop] {
      if (StopRequested()) loop.quit();
    });
    end.start(timeout);
    stopCheck.start(kStep);
    // A loop refuses to run while the application is quitting: just sleep then.
    if (loop.exec() >= 0) return;
  }
  while (!StopRequested()) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, kStep));
  }
}

}  // namespace

QString ToQString(std::string_view gbk) {
  const std::string utf8 = Utf8FromGbk(gbk);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

Text FromQString(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return GbkFromUtf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void InstallQtEventHooks() {
  SetEventPump(&PumpQtEvents);
  SetEventWait(&WaitForQtEvents);
}

bool IsWebAddress(std::string_view address) {
  auto startsWithNoCase = [address](std::string_view prefix) {
    if (address.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), address.begin(), [](char a, char b) {
      return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
    });
  };
  return startsWithNoCase("http://") || startsWithNoCase("https://");
}

void QtDesktopServices::OpenAddress(std::string_view address) {
  if (!IsWebAddress(address)) return;
  QDesktopServices::openUrl(QUrl(ToQString(address), QUrl::TolerantMode));
}

void QtDesktopServices::SetClipboardText(std::string_view text) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(ToQString(text));
}

// ---- PosterListView ----

PosterListView::PosterListView(const QString& objectName, const std::vector<Column>& columns, QWidget* parent)
    : QTableWidget(0, static_cast<int>(columns.size()), parent) {
  setObjectName(objectName);
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    auto header = std::make_unique<QTableWidgetItem>(columns[i].header);
    header->setTextAlignment(columns[i].alignment | Qt::AlignVCenter);
    setHorizontalHeaderItem(i, header.release());
    setColumnWidth(i, columns[i].width);
  }
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(16);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setMouseTracking(false);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);

  // Blue text on white; without the focus the selection is drawn like any row.
  QPalette colours = palette();
  const QColor blue(0, 0, 255);
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, blue);
  colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, blue);
  setPalette(colours);
}

void PosterListView::mouseReleaseEvent(QMouseEvent* event) {
  QTableWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit leftClicked();
}

// ---- QtPosterList ----

QtPosterList::QtPosterList(PosterListView* view)
    : view_(view), windowThread_(view->thread()), receiver_(std::make_unique<QObject>()) {}

QtPosterList::~QtPosterList() = default;

int QtPosterList::Submit(Operation operation, RowChange change) {
  const bool onWindowThread = QThread::currentThread() == windowThread_;
  int row = -1;
  bool post = false;
  {
    // The row count changes together with the queue, under one lock, so that a
    // position handed out by AppendRow is always where the row lands.
    std::lock_guard lock(mutex_);
    if (change == RowChange::Reset) rows_ = 0;
    if (change == RowChange::Append) row = rows_++;
    queued_.push_back(std::move(operation));
    post = !onWindowThread && queued_.size() == 1;
  }
  if (onWindowThread) {
    ApplyQueued();
  } else if (post) {
    QMetaObject::invokeMethod(receiver_.get(), [this] { ApplyQueued(); }, Qt::QueuedConnection);
  }
  return row;
}

void QtPosterList::ApplyQueued() {
  std::vector<Operation> operations;
  {
    std::lock_guard lock(mutex_);
    operations.swap(queued_);
  }
  for (const Operation& operation : operations) operation(*view_);
}

void QtPosterList::Clear() {
  Submit([](QTableWidget& table) { table.setRowCount(0); }, RowChange::Reset);
}

int QtPosterList::AppendRow() {
  return Submit([](QTableWidget& table) { table.insertRow(table.rowCount()); }, RowChange::Append);
}

void QtPosterList::SetCell(int row, int column, std::string_view text) {
  Submit([row, column, value = ToQString(text)](QTableWidget& table) {
    if (row < 0 || row >= table.rowCount() || column < 0 || column >= table.columnCount()) return;
    if (QTableWidgetItem* item = table.item(row, column)) {
      item->setText(value);
      return;
    }
    auto item = std::make_unique<QTableWidgetItem>(value);
    const QTableWidgetItem* header = table.horizontalHeaderItem(column);
    const int alignment = header != nullptr ? header->textAlignment() : int(Qt::AlignLeft | Qt::AlignVCenter);
    item->setTextAlignment(Qt::Alignment(alignment));
    table.setItem(row, column, item.release());
  }, RowChange::None);
}

int QtPosterList::RowCount() {
  ApplyQueued();
  return view_->rowCount();
}

Text QtPosterList::CellText(int row, int column) {
  ApplyQueued();
  if (row < 0 || row >= view_->rowCount()) return {};
  const QTableWidgetItem* item = view_->item(row, column);
  return item != nullptr ? FromQString(item->text()) : Text();
}

int QtPosterList::SelectedRow() {
  ApplyQueued();
  int first = -1;
  for (const QModelIndex& index : view_->selectionModel()->selectedIndexes()) {
    if (first < 0 || index.row() < first) first = index.row();
  }
  return first;
}

void QtPosterList::SelectRow(int row) {
  ApplyQueued();
  if (row < 0 || row >= view_->rowCount()) return;
  view_->setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---- WrappingButton ----

void WrappingButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  option.text.clear();
  painter.drawControl(QStyle::CE_PushButton, option);
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  painter.setPen(palette().color(group, QPalette::ButtonText));
  painter.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWrapAnywhere, caption);
}

// ---- PaneStatusBar ----

PaneStatusBar::PaneStatusBar(const QString& objectName, const std::vector<Pane>& panes, QWidget* parent)
    : QStatusBar(parent) {
  setObjectName(objectName);
  setSizeGripEnabled(false);
  for (const Pane& pane : panes) {
    auto* label = MakeChild<QLabel>(pane.text, this);
    label->setFixedWidth(pane.width);
    addWidget(label);
    panes_.push_back(label);
  }
}

QString PaneStatusBar::PaneText(int index) const {
  if (index < 0 || index >= PaneCount()) return {};
  return panes_[index]->text();
}

void PaneStatusBar::SetPaneText(int index, const QString& text) {
  if (index < 0 || index >= PaneCount()) return;
  panes_[index]->setText(text);
}

QWidget* PaneStatusBar::PaneWidget(int index) const {
  return index >= 0 && index < PaneCount() ? panes_[index] : nullptr;
}

void PaneStatusBar::mousePressEvent(QMouseEvent* event) {
  QStatusBar::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) emit leftPressed();
}

// ---- WorkerRegistry ----

WorkerRegistry::~WorkerRegistry() { StopAll(); }

void WorkerRegistry::Start(std::function<void()> routine) {
  JoinFinished();
  auto worker = std::make_unique<Worker>();
  Worker* self = worker.get();
  worker->thread = std::jthread([self, routine = std::move(routine)] {
    SetThreadStopFlag(&self->stop);
    routine();
    SetThreadStopFlag(nullptr);
    self->finished.store(true);
  });
  workers_.push_back(std::move(worker));
}

void WorkerRegistry::StopAll() {
  for (const auto& worker : workers_) worker->stop.store(true);
  for (const auto& worker : workers_) {
    if (worker->thread.joinable()) worker->thread.join();
  }
  workers_.clear();
}

int WorkerRegistry::RunningCount() const {
  return static_cast<int>(std::count_if(workers_.begin(), workers_.end(),
                                        [](const auto& worker) { return !worker->finished.load(); }));
}

void WorkerRegistry::JoinFinished() {
  std::erase_if(workers_, [](const std::unique_ptr<Worker>& worker) {
    if (!worker->finished.load()) return false;
    worker->thread.join();
    return true;
  });
}

}  // namespace raziriz::app
