#include "data/Driver.h"

#include "data/DataError.h"

#include <algorithm>
#include <vector>

namespace quillon::data {

void readExactly(ByteSource &source, char *buffer, qint64 count) {
  qint64 done = 0;
  while (done < count) {
    const qint64 n = source.read(buffer + done, count - done);
    if (n <= 0)
      throw DataError(QStringLiteral("The value ended after %1 of %2 bytes").arg(done).arg(count));
    done += n;
  }
}

QByteArray readAll(ByteSource &source) {
  QByteArray bytes;
  if (source.takeWhole(&bytes))
    return bytes;
  bytes.resize(source.size());
  readExactly(source, bytes.data(), bytes.size());
  return bytes;
}

ChunkedRead::ChunkedRead(std::unique_ptr<ByteSource> source, qint64 wanted)
    : source_(std::move(source)), sourceSize_(source_->size()),
      wanted_(qBound<qint64>(0, wanted, sourceSize_)) {}

bool ChunkedRead::readNextChunk(qint64 most) {
  const qint64 n = qMin(most, wanted_ - held_);
  // The first read takes only its own room: a caller may look at the first
  // bytes and stop.
  if (held_ > 0)
    bytes_.reserve(wanted_);
  bytes_.resize(held_ + n);
  readExactly(*source_, bytes_.data() + held_, n);
  held_ += n;
  return held_ == wanted_;
}

QByteArray ChunkedRead::takeBytes() {
  held_ = 0;
  wanted_ = 0;
  return std::move(bytes_);
}

void copyInChunks(ByteSource &source, const std::function<void(const char *, qint64)> &write) {
  copyInChunks(source, source.size(), write);
}

void copyInChunks(ByteSource &source, qint64 count,
                  const std::function<void(const char *, qint64)> &write) {
  qint64 left = count;
  std::vector<char> chunk(size_t(qBound<qint64>(1, left, kTransferChunk)));
  while (left > 0) {
    const qint64 n = source.read(chunk.data(), qMin(left, qint64(chunk.size())));
    if (n <= 0)
      throw DataError(QStringLiteral("The value ended %1 bytes before its end").arg(left));
    write(chunk.data(), n);
    left -= n;
  }
}

QStringList keyColumnsIfKnown(Driver &driver, const QString &table) {
  try {
    return driver.keyColumns(table);
  } catch (const DataError &error) {
    if (error.connectionLost())
      throw;
    return {};
  }
}

QString Driver::textEncoding() {
  if (textEncoding_)
    return *textEncoding_;
  const QString statement = SqlDialect::of(dialect()).textEncodingStatement();
  QString encoding;
  if (!statement.isEmpty())
    if (const std::unique_ptr<ResultSet> result = execute(statement); result && result->fetch())
      encoding = QString::fromUtf8(result->value(0, std::numeric_limits<qint64>::max()).data());
  textEncoding_ = encoding;
  return encoding;
}

std::vector<int> keyColumnsIn(Driver &driver, const std::vector<ColumnInfo> &columns,
                              const QString &table) {
  std::vector<int> found;
  for (const QString &part : keyColumnsIfKnown(driver, table)) {
    const auto c = std::find_if(columns.begin(), columns.end(), [&](const ColumnInfo &i) {
      return !i.rowId && i.baseTable == table &&
             i.baseColumn.compare(part, Qt::CaseInsensitive) == 0;
    });
    if (c == columns.end())
      return {};
    found.push_back(int(c - columns.begin()));
  }
  return found;
}

QString rowNotFoundMessage() {
  return QStringLiteral("Row cannot be located for updating. Some values may "
                        "have been changed since it was last read.");
}

QString rowNotUniqueMessage(const QString &table, qint64 matches) {
  return QStringLiteral("Row cannot be identified uniquely: %1 rows of %2 "
                        "match it. Nothing was changed.")
      .arg(matches)
      .arg(table);
}

} // namespace quillon::data
