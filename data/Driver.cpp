#include "data/Driver.h"

#include "data/DataError.h"

namespace quillon::data {

QByteArray readAll(ByteSource &source) {
  QByteArray bytes;
  bytes.resize(source.size());
  qint64 done = 0;
  while (done < bytes.size()) {
    const qint64 n = source.read(bytes.data() + done, bytes.size() - done);
    if (n <= 0)
      throw DataError(
          QStringLiteral("The value ended after %1 of %2 bytes").arg(done).arg(bytes.size()));
    done += n;
  }
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
