#include "forms/TransferProgress.h"

#include "data/DataError.h"
#include "data/Query.h"
#include "platform/ApplicationTitle.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <thread>

namespace quillon::forms {

namespace {

constexpr int kSteps = 1000;
constexpr int kPollMs = 50;
// A cancel request that reached the server between two statements is lost:
// it is sent again while the transfer runs on.
constexpr int kCancelRepeatMs = 1000;

std::chrono::milliseconds configuredDelay{500};

} // namespace

// A progress dialog that Escape and the window's close button cancel
// without hiding it: it stays until the transfer has stopped.
class ProgressWindow : public QProgressDialog {
public:
  using QProgressDialog::QProgressDialog;

protected:
  void reject() override { emit canceled(); }
  void closeEvent(QCloseEvent *event) override {
    event->ignore();
    emit canceled();
  }
};

std::chrono::milliseconds TransferProgress::showDelay() {
  return configuredDelay;
}

void TransferProgress::setShowDelay(std::chrono::milliseconds delay) {
  configuredDelay = delay;
}

TransferProgress::TransferProgress(data::Query &query, QWidget *parent, QString label)
    : query_(query), parent_(parent), label_(std::move(label)) {
  started_.start();
  query_.transfer.observer = [this](qint64 done, qint64 total) {
    done_ = done;
    total_ = total;
    if (state_ == CancelRequested)
      throw data::TransferCancelled();
  };
  query_.transfer.committing = [this] {
    int expected = Running;
    if (!state_.compare_exchange_strong(expected, Committing) && expected == CancelRequested)
      throw data::TransferCancelled();
  };
  query_.transfer.run = [this](const std::function<void()> &work) { run(work); };
}

TransferProgress::~TransferProgress() {
  query_.transfer = {};
}

void TransferProgress::run(const std::function<void()> &work) {
  done_ = 0;
  total_ = 0;
  std::exception_ptr failure;
  std::atomic<bool> finished{false};
  QEventLoop loop;
  workerRunning_ = true;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });

  const auto due = [this] { return !dialog_ && started_.elapsed() >= showDelay().count(); };
  QTimer poll;
  poll.setInterval(kPollMs);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (due()) {
      showDialog();
      loop.quit(); // on again, now taking the dialog's input
    }
    if (dialog_)
      updateDialog();
  });
  QTimer repeatCancel;
  repeatCancel.setInterval(kCancelRepeatMs);
  QObject::connect(&repeatCancel, &QTimer::timeout, [this] {
    if (state_ == CancelRequested)
      interruptEngine();
  });
  poll.start();
  repeatCancel.start();
  if (due())
    showDialog();
  // Until the dialog shows, the user's input waits: no other command may
  // run while the value moves.
  while (!finished)
    loop.exec(dialog_ ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
  worker.join();
  workerRunning_ = false;
  if (dialog_)
    updateDialog();

  if (state_ == CancelRequested)
    throw data::TransferCancelled();
  if (failure)
    std::rethrow_exception(failure);
}

void TransferProgress::showDialog() {
  dialog_ = std::make_unique<ProgressWindow>(label_, QString(), 0, kSteps, parent_);
  cancelButton_ = new QPushButton(QStringLiteral("Отмена"));
  dialog_->setCancelButton(cancelButton_);
  dialog_->setWindowTitle(platform::applicationTitleFor(QCoreApplication::applicationFilePath()));
  // Modal: no other command may run while the value moves.
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setMinimumDuration(0);
  dialog_->setAutoReset(false);
  dialog_->setAutoClose(false);
  // Cancel asks; the dialog stays until the transfer has stopped.
  QObject::disconnect(dialog_.get(), &QProgressDialog::canceled, nullptr, nullptr);
  QObject::connect(dialog_.get(), &QProgressDialog::canceled, [this] { requestCancel(); });
  updateDialog();
  dialog_->show();
}

void TransferProgress::updateDialog() {
  const int state = state_;
  const qint64 total = total_;
  const qint64 done = done_;
  // Bytes are shown while they move; the rest of the engine's work on the
  // value is not measured, and shows as such.
  if (state == Running && total > 0 && done < total) {
    if (dialog_->maximum() != kSteps)
      dialog_->setRange(0, kSteps);
    dialog_->setValue(int(done * kSteps / total));
  } else if (dialog_->maximum() != 0) {
    dialog_->setRange(0, 0);
  }
  cancelButton_->setEnabled(state == Running && workerRunning_);
  if (state == CancelRequested)
    dialog_->setLabelText(QStringLiteral("Отмена…"));
  else if (state == Running && total > 0 && done >= total)
    dialog_->setLabelText(label_ + QStringLiteral("\nДанные переданы, ожидание завершения…"));
  else
    dialog_->setLabelText(label_);
}

void TransferProgress::requestCancel() {
  int expected = Running;
  if (!workerRunning_ || !state_.compare_exchange_strong(expected, CancelRequested))
    return;
  interruptEngine();
  updateDialog();
}

void TransferProgress::interruptEngine() {
  if (query_.connection().connected())
    query_.connection().driver().interrupt();
}

} // namespace quillon::forms
