#include "data/Field.h"

#include "data/DataError.h"
#include "data/FileValue.h"
#include "data/Query.h"
#include "data/TextCheck.h"
#include "data/dialects/SqlDialect.h"

#include "platform/ExclusiveFile.h"

#include <QSaveFile>

#include <cstring>
#include <vector>

namespace quillon::data {

namespace {

QString quoted(const QByteArray &text) {
  return QLatin1Char('\'') + QString::fromUtf8(text) + QLatin1Char('\'');
}

// The field's own conversion of a text into a value of its kind. A text
// longer than the column's declared length goes to the engine whole: SQLite
// keeps it, an engine that enforces the length refuses it, and nothing is
// cut without a word.
CellValue convertText(FieldKind kind, const QByteArray &text) {
  const QByteArray trimmed = text.trimmed();
  switch (kind) {
  case FieldKind::ftString:
  case FieldKind::ftWideString:
    return CellValue::text(text);
  case FieldKind::ftSmallint:
  case FieldKind::ftInteger:
  case FieldKind::ftWord:
  case FieldKind::ftAutoInc:
  case FieldKind::ftLargeint: {
    if (trimmed.isEmpty())
      return CellValue::null();
    bool ok = false;
    const qint64 value = trimmed.toLongLong(&ok);
    if (!ok)
      throw DataError(QStringLiteral("%1 is not a valid integer value").arg(quoted(text)));
    return CellValue::integer(value);
  }
  case FieldKind::ftFloat:
  case FieldKind::ftCurrency:
  case FieldKind::ftBCD: {
    if (trimmed.isEmpty())
      return CellValue::null();
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok)
      throw DataError(QStringLiteral("%1 is not a valid floating point value").arg(quoted(text)));
    return kind == FieldKind::ftFloat ? CellValue::real(value, trimmed) : CellValue::text(trimmed);
  }
  case FieldKind::ftBoolean: {
    if (trimmed.isEmpty())
      return CellValue::null();
    const QByteArray lower = trimmed.toLower();
    if (lower == "true" || lower == "1" || lower == "yes")
      return CellValue::integer(1);
    if (lower == "false" || lower == "0" || lower == "no")
      return CellValue::integer(0);
    throw DataError(QStringLiteral("%1 is not a valid boolean value").arg(quoted(text)));
  }
  case FieldKind::ftBytes:
  case FieldKind::ftVarBytes:
    return text.isEmpty() ? CellValue::null() : CellValue::bytes(text);
  default:
    // Dates, times, GUIDs and the like: the server converts the text.
    return trimmed.isEmpty() ? CellValue::null() : CellValue::text(text);
  }
}

} // namespace

Field::Field(Query &query, int index, ColumnInfo column, QString fieldName)
    : query_(query), index_(index), column_(std::move(column)), fieldName_(std::move(fieldName)),
      readOnly_(!column_.updatable) {}

void Field::setVisible(bool visible) {
  if (visible_ == visible)
    return;
  visible_ = visible;
  query_.notifyLayout();
}

int Field::displayWidth() const {
  if (isLargeValue())
    return 10;
  if (isTextKind(column_.kind))
    return column_.displayWidth;
  switch (column_.kind) {
  case FieldKind::ftSmallint:
  case FieldKind::ftWord:
    return 6;
  case FieldKind::ftInteger:
  case FieldKind::ftAutoInc:
    return 11;
  case FieldKind::ftLargeint:
    return 15;
  case FieldKind::ftBoolean:
    return 5;
  case FieldKind::ftGuid:
    return 38;
  case FieldKind::ftDate:
  case FieldKind::ftTime:
    return 10;
  case FieldKind::ftDateTime:
    return 18;
  default:
    return 10;
  }
}

bool Field::isNull() const {
  const Query::Pending *pending = query_.pendingFor(*this);
  return !(pending && pending->file) && query_.currentValue(*this).isNull();
}

qint64 Field::valueSize() const {
  if (const Query::Pending *pending = query_.pendingFor(*this); pending && pending->file)
    return pending->file->size();
  return query_.currentValue(*this).size();
}

QByteArray Field::asString() const {
  if (isLargeValue())
    return readAll(*query_.createBlobStream(*this));
  return query_.currentValue(*this).data();
}

void Field::refuseUnstorableText(const QByteArray &text) const {
  data::refuseUnstorableText(query_.connection().driver(), column_.kind, column_.typeName,
                             [&](const ChunkSink &feed) { feed(text.constData(), text.size()); });
}

void Field::refuseUnstorableText(ByteSource &value) const {
  data::refuseUnstorableText(query_.connection().driver(), column_.kind, column_.typeName,
                             [&](const ChunkSink &feed) { copyInChunks(value, feed); });
}

void Field::setAsString(const QByteArray &text) {
  query_.requireEditable(*this);
  refuseUnstorableText(text);
  CellValue value;
  if (!isLargeValue())
    value = convertText(column_.kind, text);
  else if (!text.isEmpty())
    value = column_.kind == FieldKind::ftBlob ? CellValue::bytes(text) : CellValue::text(text);
  query_.setPending(*this, {value, nullptr});
}

void Field::clear() {
  query_.setPending(*this, {CellValue::null(), nullptr});
}

void Field::requireLargeValue() const {
  if (!isLargeValue())
    query_.fail(QStringLiteral("Field '%1' is not a BLOB field").arg(fieldName_));
}

void Field::loadFromFile(const QString &path) {
  requireLargeValue();
  query_.requireEditable(*this);
  std::shared_ptr<FileValue> file = FileValue::open(path);
  // Refused before anything moves, rather than by the engine halfway.
  const qint64 largest = query_.connection().driver().largestValue();
  if (file->size() > largest)
    throw ValueTooLarge(file->size(), largest);
  if (file->size() <= kInlineValueLimit) {
    // Small files are read at once and let go.
    QByteArray bytes = readAll(*file->reader());
    setAsString(bytes);
    return;
  }
  // Read once more before the post: the engine would cut the value at a
  // byte it cannot hold, and say nothing.
  if (SqlDialect::of(query_.connection().dialect()).checksText(column_.kind))
    query_.runTransfer([&] { refuseUnstorableText(*file->reader()); });
  query_.setPending(*this, {CellValue::null(), std::move(file)});
}

void Field::saveToFile(const QString &path) const {
  requireLargeValue();
  const platform::SaveTarget target = platform::saveTargetFor(path);
  if (!target.refusal.isEmpty())
    throw DataError(target.refusal);
  if (!target.inPlace && platform::isHeldByAnotherProgram(path))
    throw DataError(QStringLiteral("%1: the file is in use by another program").arg(path));
  query_.runTransfer([&] {
    if (target.inPlace)
      saveInPlace(path);
    else
      saveReplacing(path);
  });
}

void Field::saveReplacing(const QString &path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    throw DataError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
  writeTo([&](const char *bytes, qint64 count) {
    if (file.write(bytes, count) != count)
      throw DataError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
  });
  if (query_.transfer.committing)
    query_.transfer.committing();
  if (!file.commit())
    throw DataError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

void Field::saveInPlace(const QString &path) const {
  platform::ExclusiveFile file;
  if (!file.create(path))
    throw DataError(file.errorString());
  writeTo([&](const char *bytes, qint64 count) {
    if (!file.write(bytes, count))
      throw DataError(file.errorString());
  });
  if (!file.sync())
    throw DataError(file.errorString());
}

void Field::writeTo(const std::function<void(const char *, qint64)> &write) const {
  requireLargeValue();
  const std::unique_ptr<ByteSource> source =
      observed(query_.createBlobStream(*this), query_.transfer.observer);
  copyInChunks(*source, write);
}

} // namespace quillon::data
