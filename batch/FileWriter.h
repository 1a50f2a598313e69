#pragma once

#include "data/ByteSource.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon::batch {

class Report;

using data::ChunkSink;

// Writes `path` whole or not at all: `produce` hands the bytes to its sink
// into a temporary file beside it, which is then renamed into place; a
// failure (a throw from `produce` too) leaves no file behind. Without
// `replace` a file of that name is never replaced. Throws DataError naming
// the file.
void writeWholeFile(const QString &path, bool replace,
                    const std::function<void(const ChunkSink &)> &produce);

// Threads that write values held in memory to their files while the caller
// reads the next ones. At most one value per thread waits, so memory stays
// bounded whatever the number of rows.
class WriterPool {
public:
  WriterPool(int threads, bool replace, Report &report);
  ~WriterPool();
  WriterPool(const WriterPool &) = delete;
  WriterPool &operator=(const WriterPool &) = delete;

  // Queues a file; waits while the queue is full. `what` names the row for
  // the report.
  void submit(QString path, QString what, QByteArray bytes);
  // Waits until every queued file is written.
  void finish();

private:
  struct Job {
    QString path;
    QString what;
    QByteArray bytes;
  };
  void work();

  Report &report_;
  bool replace_;
  size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

} // namespace quillon::batch
