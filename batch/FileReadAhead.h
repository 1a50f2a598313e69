#pragma once

#include "data/FileValue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon::batch {

// Opens the files of an import, and reads the small ones whole, on worker
// threads while the database writes the ones before; hands them out in
// the order given. Memory stays bounded whatever the sizes: only files of
// up to a chunk are read ahead, and only while those waiting hold less
// than a chunk per thread and are no more than a few per thread. Without threads each file is
// opened when it is asked for.
class FileReadAhead {
public:
  struct Opened {
    std::shared_ptr<data::FileValue> value; // null when `error` says why
    bool whole = false;                     // `bytes` hold the whole file
    QByteArray bytes;
    QString error;
  };

  FileReadAhead(QStringList paths, int threads);
  ~FileReadAhead();
  FileReadAhead(const FileReadAhead &) = delete;
  FileReadAhead &operator=(const FileReadAhead &) = delete;

  // The next file in order, at most once per path.
  Opened next();

private:
  static Opened open(const QString &path);
  void work();

  const QStringList paths_;
  const qint64 budget_;        // bytes read ahead before the readers wait
  const qsizetype filesAhead_; // files opened ahead before they wait
  std::mutex mutex_;
  std::condition_variable readied_; // the next file is there
  std::condition_variable room_;    // the readers may read on
  qsizetype claimed_ = 0;           // the next file a thread opens
  qsizetype handed_ = 0;            // the next file next() hands out
  std::map<qsizetype, Opened> ready_;
  qint64 readyBytes_ = 0;
  bool waiting_ = false; // next() waits for the next file
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

} // namespace quillon::batch
