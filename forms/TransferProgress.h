#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QPushButton;
class QWidget;

namespace quillon::data {
class Query;
} // namespace quillon::data

namespace quillon::forms {

class ProgressWindow;

// While it lives, the long parts of a transfer through the query (the write
// of the row, the copy to a file) run on a worker thread, and this thread
// shows their progress in a modal dialog once the transfer has run for
// showDelay(). The bar follows the bytes the engine has taken or given; what
// the engine does not report (its own work on the value, the commit) shows
// as a busy bar. Cancel stops the transfer with data::TransferCancelled,
// interrupting the engine where it can, until the write becomes final;
// from then on it is disabled.
class TransferProgress {
public:
  TransferProgress(data::Query &query, QWidget *parent, QString label);
  ~TransferProgress();
  TransferProgress(const TransferProgress &) = delete;
  TransferProgress &operator=(const TransferProgress &) = delete;

  static std::chrono::milliseconds showDelay();
  // Tests show the dialog at once, so that they need not race it.
  static void setShowDelay(std::chrono::milliseconds delay);

private:
  enum State { Running, CancelRequested, Committing };

  void run(const std::function<void()> &work);
  void showDialog();
  void updateDialog();
  void requestCancel();
  void interruptEngine();

  data::Query &query_;
  QWidget *parent_;
  QString label_;
  QElapsedTimer started_;
  std::unique_ptr<ProgressWindow> dialog_;
  QPushButton *cancelButton_ = nullptr;
  bool workerRunning_ = false;
  // Shared with the worker.
  std::atomic<qint64> done_{0};
  std::atomic<qint64> total_{0};
  std::atomic<int> state_{Running};
};

} // namespace quillon::forms
