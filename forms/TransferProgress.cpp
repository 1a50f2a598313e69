#include "forms/TransferProgress.h"

#include "data/DataError.h"
#include "data/Query.h"
#include "platform/ApplicationTitle.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace quillon::forms {

namespace {
constexpr int kSteps = 1000;
} // namespace

TransferProgress::TransferProgress(data::Query &query, QWidget *parent, QString label)
    : query_(query), parent_(parent), label_(std::move(label)) {
  query_.transferObserver = [this](qint64 done, qint64 total) { advance(done, total); };
}

TransferProgress::~TransferProgress() {
  query_.transferObserver = nullptr;
}

void TransferProgress::advance(qint64 done, qint64 total) {
  if (total <= kProgressThreshold)
    return;
  if (!dialog_) {
    dialog_ =
        std::make_unique<QProgressDialog>(label_, QStringLiteral("Отмена"), 0, kSteps, parent_);
    dialog_->setWindowTitle(platform::applicationTitleFor(QCoreApplication::applicationFilePath()));
    // Modal: no other command may run while the value moves.
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
  }
  // Modal progress dialogs process events here, so Cancel is seen.
  dialog_->setValue(int(done * kSteps / total));
  if (dialog_->wasCanceled())
    throw data::TransferCancelled();
}

} // namespace quillon::forms
