#include "batch/Report.h"

namespace quillon::batch {

namespace {
constexpr qint64 kRedrawMs = 200;
} // namespace

QString humanBytes(qint64 bytes) {
  static const char *const units[] = {"B", "KB", "MB", "GB", "TB"};
  double value = double(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  return unit == 0 ? QStringLiteral("%1 B").arg(bytes)
                   : QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

Report::Report(FILE *out, bool terminal, FILE *listing)
    : out_(out), terminal_(terminal), listing_(listing) {
  clock_.start();
}

void Report::expect(qint64 items, qint64 bytes) {
  const std::lock_guard lock(mutex_);
  expectedItems_ = items;
  expectedBytes_ = bytes;
}

void Report::written(qint64 bytes) {
  const std::lock_guard lock(mutex_);
  ++items_;
  bytes_ += bytes;
}

void Report::skipped(const QString &what, const QString &reason) {
  const std::lock_guard lock(mutex_);
  ++skipped_;
  line(QStringLiteral("skipped: %1: %2").arg(what, reason));
}

void Report::failed(const QString &what, const QString &reason) {
  const std::lock_guard lock(mutex_);
  ++failed_;
  line(QStringLiteral("failed: %1: %2").arg(what, reason));
}

void Report::wouldWrite(const QString &what, qint64 bytes) {
  const std::lock_guard lock(mutex_);
  ++items_;
  bytes_ += bytes;
  if (progressShown_ && listing_ == out_)
    std::fputs("\r\033[K", out_);
  progressShown_ = progressShown_ && listing_ != out_;
  std::fprintf(listing_, "would write %s\n", what.toLocal8Bit().constData());
  std::fflush(listing_);
}

int Report::failures() const {
  const std::lock_guard lock(mutex_);
  return failed_;
}

void Report::line(const QString &text) {
  if (progressShown_)
    std::fputs("\r\033[K", out_);
  progressShown_ = false;
  std::fprintf(out_, "%s\n", text.toLocal8Bit().constData());
  std::fflush(out_);
}

void Report::progress() {
  const std::lock_guard lock(mutex_);
  if (!terminal_ || (lastDrawn_ >= 0 && clock_.elapsed() - lastDrawn_ < kRedrawMs))
    return;
  lastDrawn_ = clock_.elapsed();
  drawProgress();
}

void Report::drawProgress() {
  const double seconds = qMax<double>(0.001, double(clock_.elapsed()) / 1000);
  const double rate = double(bytes_) / seconds;
  QString text = expectedItems_ >= 0 ? QStringLiteral("%1/%2 files").arg(items_).arg(expectedItems_)
                                     : QStringLiteral("%1 files").arg(items_);
  text += QStringLiteral(", %1, %2/s").arg(humanBytes(bytes_), humanBytes(qint64(rate)));
  if (expectedBytes_ > 0 && rate > 0) {
    const qint64 left = qMax<qint64>(0, qint64(double(expectedBytes_ - bytes_) / rate));
    text += QStringLiteral(", %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
  } else if (expectedItems_ > 0 && items_ > 0) {
    const qint64 left = qint64(seconds * double(expectedItems_ - items_) / double(items_));
    text += QStringLiteral(", %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
  }
  std::fprintf(out_, "\r\033[K%s", text.toLocal8Bit().constData());
  std::fflush(out_);
  progressShown_ = true;
}

void Report::finish(const QString &verb) {
  const std::lock_guard lock(mutex_);
  line(QStringLiteral("%1 %2 files (%3), skipped %4, failed %5")
           .arg(verb)
           .arg(items_)
           .arg(humanBytes(bytes_))
           .arg(skipped_)
           .arg(failed_));
}

} // namespace quillon::batch
