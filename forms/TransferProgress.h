#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QProgressDialog;
class QWidget;

namespace quillon::data {
class Query;
} // namespace quillon::data

namespace quillon::forms {

// Transfers above this size show their progress.
constexpr qint64 kProgressThreshold = qint64(8) << 20;

// While it lives, a large value moving through the query shows a modal
// progress dialog; its Cancel stops the transfer with
// data::TransferCancelled. Smaller transfers show nothing.
class TransferProgress {
public:
  TransferProgress(data::Query &query, QWidget *parent, QString label);
  ~TransferProgress();
  TransferProgress(const TransferProgress &) = delete;
  TransferProgress &operator=(const TransferProgress &) = delete;

private:
  void advance(qint64 done, qint64 total);

  data::Query &query_;
  QWidget *parent_;
  QString label_;
  std::unique_ptr<QProgressDialog> dialog_;
};

} // namespace quillon::forms
