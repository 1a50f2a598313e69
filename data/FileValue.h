#pragma once

#include "data/ByteSource.h"

#include "platform/ExclusiveFile.h"

#include <memory>

namespace quillon::data {

// A file chosen as a new value, held open exclusively until the value has
// been written, so that a large file is read once, in chunks, when the row
// is posted.
class FileValue : public std::enable_shared_from_this<FileValue> {
public:
  // Throws DataError naming the file when it cannot be opened or is held
  // by another program.
  static std::shared_ptr<FileValue> open(const QString &path);

  qint64 size() const { return size_; }
  QString path() const { return file_.path(); }
  // A reader from the first byte; several readers may exist at once.
  std::unique_ptr<ByteSource> reader() const;

private:
  platform::ExclusiveFile file_;
  qint64 size_ = 0;
};

} // namespace quillon::data
