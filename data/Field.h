#pragma once

#include "data/ByteSource.h"
#include "data/Driver.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace quillon::data {

class Query;

// One column of an open result, made by the open and destroyed by the
// close. Values are read from and written to the result's current row.
class Field {
public:
  Field(Query &query, int index, ColumnInfo column, QString fieldName);

  QString fieldName() const { return fieldName_; }
  FieldKind dataType() const { return column_.kind; }
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool visible() const { return visible_; }
  // Changing the flag re-lays out the bound controls.
  void setVisible(bool visible);
  // Display width in characters: the declared length of text fields, 10
  // for large values.
  int displayWidth() const;
  int index() const { return index_; }
  const ColumnInfo &column() const { return column_; }
  Query &dataSet() const { return query_; }

  // A BLOB or text field whose value is taken as bytes.
  bool isLargeValue() const { return isLargeValueKind(column_.kind); }
  bool isNull() const;
  // Size in bytes of the current value, without reading it.
  qint64 valueSize() const;

  // Large values: the exact bytes. Other fields: their text form.
  QByteArray asString() const;
  // Large values: the bytes become the value, empty bytes store NULL.
  // Other fields: the field's own conversion; throws DataError when the
  // text does not suit the field.
  void setAsString(const QByteArray &text);
  void clear();

  // The whole file becomes the value (an empty file: NULL). The file is
  // held exclusively until the row is posted or cancelled when it is large.
  void loadFromFile(const QString &path);
  // The whole value becomes the file, replaced atomically; written in place
  // (not atomically) when the file has other names or its folder may not
  // be written. Anything but a regular file is refused.
  void saveToFile(const QString &path) const;
  // Hands the whole value to `write` chunk by chunk, as the query's
  // transfer observer watches; `write` throws to stop. Runs where it is
  // called, not through the query's transfer runner.
  void writeTo(const std::function<void(const char *, qint64)> &write) const;

private:
  void requireLargeValue() const;
  void saveInPlace(const QString &path) const;
  // A new file renamed over the old one once the value is whole in it.
  void saveReplacing(const QString &path) const;
  // Checks a new value as the column's engine would, before anything is
  // written: throws TextRefused for its first zero byte or, where the
  // database's encoding is UTF-8, its first byte that begins no character.
  // Nothing where the column keeps any bytes.
  void refuseUnstorableText(const QByteArray &text) const;
  void refuseUnstorableText(ByteSource &value) const;

  Query &query_;
  int index_;
  ColumnInfo column_;
  QString fieldName_;
  bool readOnly_;
  bool visible_ = true;
};

} // namespace quillon::data
