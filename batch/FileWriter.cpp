#include "batch/FileWriter.h"

#include "batch/Report.h"
#include "data/DataError.h"

#include <QSaveFile>

namespace quillon::batch {

void writeWholeFile(const QString &path, const std::function<void(const ChunkSink &)> &produce) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    throw data::DataError(QStringLiteral("cannot create %1: %2").arg(path, file.errorString()));
  produce([&](const char *bytes, qint64 count) {
    if (file.write(bytes, count) != count)
      throw data::DataError(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
  });
  if (!file.commit())
    throw data::DataError(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

WriterPool::WriterPool(int threads, Report &report)
    : report_(report), capacity_(size_t(qMax(1, threads))) {
  for (int t = 0; t < threads; ++t)
    threads_.emplace_back([this] { work(); });
}

WriterPool::~WriterPool() {
  finish();
}

void WriterPool::submit(QString path, QString what, QByteArray bytes) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return queue_.size() < capacity_; });
  queue_.push_back({std::move(path), std::move(what), std::move(bytes)});
  changed_.notify_all();
}

void WriterPool::finish() {
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
    changed_.notify_all();
  }
  for (std::thread &thread : threads_)
    if (thread.joinable())
      thread.join();
  threads_.clear();
}

void WriterPool::work() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty())
        return;
      job = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
    }
    try {
      writeWholeFile(job.path,
                     [&](const ChunkSink &sink) { sink(job.bytes.constData(), job.bytes.size()); });
      report_.written(job.bytes.size());
    } catch (const std::exception &error) {
      report_.failed(job.what, QString::fromUtf8(error.what()));
    }
  }
}

} // namespace quillon::batch
