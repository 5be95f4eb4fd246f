#pragma once
// The layer between the program and Qt: every toolkit and system operation the
// handlers and the sources use goes through here.

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QString>
#include <QTableWidget>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "sources/poster_list.h"
#include "text/text.h"

namespace raziriz::app {

// GBK text to and from Qt's strings.
[[nodiscard]] QString ToQString(std::string_view gbk);
[[nodiscard]] Text FromQString(const QString& text);

// Makes a Qt object whose parent (among `args`) owns it from then on.
template <typename T, typename... Args>
T* MakeChild(Args&&... args) {
  return std::make_unique<T>(std::forward<Args>(args)...).release();
}

// Wires the text toolkit's event hooks to Qt's event processing on the
// application's thread; on any other thread pumping does nothing and waiting
// sleeps (ending early once the thread is asked to stop). Call once in main,
// after the QApplication exists and before any thread starts.
void InstallQtEventHooks();

// Whether `address` starts with "http://" or "https://" (any case): the only
// addresses handed to the browser.
[[nodiscard]] bool IsWebAddress(std::string_view address);

// The browser and the clipboard, behind an interface so that tests can watch
// what the window hands over.
class DesktopServices {
 public:
  virtual ~DesktopServices() = default;
  // Opens the GBK `address` with the user's default browser, unaltered.
  virtual void OpenAddress(std::string_view address) = 0;
  // Replaces the clipboard's contents with the GBK `text` (empty text too).
  virtual void SetClipboardText(std::string_view text) = 0;
};

// The real browser and clipboard. Refuses addresses other than http and https.
class QtDesktopServices final : public DesktopServices {
 public:
  void OpenAddress(std::string_view address) override;
  void SetClipboardText(std::string_view text) override;
};

// A report-style poster list: the look of every list of the window, and a
// signal for a left click anywhere in it (on a row or on empty space), sent
// after the click has updated the selection.
class PosterListView final : public QTableWidget {
  Q_OBJECT
 public:
  struct Column {
    QString header;
    int width;
    Qt::Alignment alignment;
  };
  PosterListView(const QString& objectName, const std::vector<Column>& columns, QWidget* parent);

 signals:
  void leftClicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// The PosterList over one PosterListView. Clear, AppendRow and SetCell may be
// called from any thread: they are queued in call order and applied on the
// window's thread (at once when called there), and AppendRow returns the
// position the row will have. The readers are for the window's thread only and
// first apply whatever is still queued.
class QtPosterList final : public PosterList {
 public:
  explicit QtPosterList(PosterListView* view);
  ~QtPosterList() override;
  QtPosterList(const QtPosterList&) = delete;
  QtPosterList& operator=(const QtPosterList&) = delete;

  void Clear() override;
  int AppendRow() override;
  void SetCell(int row, int column, std::string_view text) override;

  [[nodiscard]] int RowCount();
  // Empty text for a row or column out of range (row -1 included).
  [[nodiscard]] Text CellText(int row, int column);
  // The first selected row, -1 when none.
  [[nodiscard]] int SelectedRow();
  // Makes `row` the only selected row and the current one.
  void SelectRow(int row);
  [[nodiscard]] PosterListView* view() const { return view_; }

 private:
  using Operation = std::function<void(QTableWidget&)>;
  enum class RowChange { None, Reset, Append };
  // Queues `operation` and applies it now on the window's thread; returns the
  // new row's position for RowChange::Append, else -1.
  int Submit(Operation operation, RowChange change);
  void ApplyQueued();

  PosterListView* view_;
  QThread* windowThread_;
  // Receives the queued "apply" calls; going away with this object drops them.
  std::unique_ptr<QObject> receiver_;
  std::mutex mutex_;
  std::vector<Operation> queued_;
  int rows_ = 0;  // the row count once every queued operation is applied
};

// A push button whose caption wraps onto further lines when it is wider than
// the button (Qt's own button keeps it on one line and cuts it off).
class WrappingButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The status bar: panes of fixed widths, each a label, and a signal for a
// left-button press anywhere on it.
class PaneStatusBar final : public QStatusBar {
  Q_OBJECT
 public:
  struct Pane {
    int width;
    QString text;
  };
  PaneStatusBar(const QString& objectName, const std::vector<Pane>& panes, QWidget* parent);

  [[nodiscard]] int PaneCount() const { return static_cast<int>(panes_.size()); }
  [[nodiscard]] QString PaneText(int index) const;
  void SetPaneText(int index, const QString& text);
  [[nodiscard]] QWidget* PaneWidget(int index) const;

 signals:
  void leftPressed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::vector<QLabel*> panes_;
};

// Worker threads started by the window. Each worker gets its own stop flag, set
// by StopAll, which aborts its transfers; StopAll then joins every worker.
// Start and StopAll are called on the window's thread.
class WorkerRegistry {
 public:
  WorkerRegistry() = default;
  ~WorkerRegistry();
  WorkerRegistry(const WorkerRegistry&) = delete;
  WorkerRegistry& operator=(const WorkerRegistry&) = delete;

  void Start(std::function<void()> routine);
  void StopAll();
  // Threads that have not finished their routine yet.
  [[nodiscard]] int RunningCount() const;

 private:
  struct Worker {
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::jthread thread;
  };
  void JoinFinished();
  std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace raziriz::app
