#include "batch/FileWriter.h"

#include "batch/Report.h"
#include "data/DataError.h"

#include "platform/WholeFile.h"

namespace quillon::batch {

void writeWholeFile(const QString &path, bool replace,
                    const std::function<void(const ChunkSink &)> &produce) {
  platform::WholeFile file(path);
  if (!file.open())
    throw data::DataError(QStringLiteral("cannot create %1").arg(file.errorString()));
  produce([&](const char *bytes, qint64 count) {
    if (!file.write(bytes, count))
      throw data::DataError(QStringLiteral("cannot write %1").arg(file.errorString()));
  });
  if (!file.commit(replace))
    throw data::DataError(
        file.nameTaken() ? QStringLiteral("%1 appeared meanwhile; it is left as it is").arg(path)
                         : QStringLiteral("cannot write %1").arg(file.errorString()));
}

WriterPool::WriterPool(int threads, bool replace, Report &report)
    : report_(report), replace_(replace), capacity_(size_t(qMax(1, threads))) {
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
      writeWholeFile(job.path, replace_,
                     [&](const ChunkSink &sink) { sink(job.bytes.constData(), job.bytes.size()); });
      report_.written(job.bytes.size());
    } catch (const std::exception &error) {
      report_.failed(job.what, QString::fromUtf8(error.what()));
    }
  }
}

} // namespace quillon::batch
