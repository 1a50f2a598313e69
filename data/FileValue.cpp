#include "data/FileValue.h"

#include "data/DataError.h"

namespace quillon::data {

namespace {

class FileReader : public ByteSource {
public:
  explicit FileReader(std::shared_ptr<const FileValue> value, const platform::ExclusiveFile &file)
      : value_(std::move(value)), file_(file) {}
  qint64 size() const override { return value_->size(); }
  qint64 read(char *buffer, qint64 max) override {
    const qint64 n = file_.readAt(position_, buffer, qMin(max, size() - position_));
    if (n < 0)
      throw DataError(QStringLiteral("Cannot read %1").arg(file_.path()));
    position_ += n;
    return n;
  }

private:
  std::shared_ptr<const FileValue> value_;
  const platform::ExclusiveFile &file_;
  qint64 position_ = 0;
};

} // namespace

std::shared_ptr<FileValue> FileValue::open(const QString &path) {
  auto value = std::shared_ptr<FileValue>(new FileValue);
  if (!value->file_.open(path))
    throw DataError(QStringLiteral("Cannot open %1").arg(value->file_.errorString()));
  value->size_ = value->file_.sizeWhenOpened();
  if (value->size_ < 0)
    throw DataError(QStringLiteral("Cannot read the size of %1").arg(path));
  return value;
}

std::unique_ptr<ByteSource> FileValue::reader() const {
  // The reader keeps the file open for as long as it lives.
  return std::make_unique<FileReader>(shared_from_this(), file_);
}

} // namespace quillon::data
