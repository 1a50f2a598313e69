#include "data/Driver.h"

#include "data/DataError.h"

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
  bytes.resize(source.size());
  readExactly(source, bytes.data(), bytes.size());
  return bytes;
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
