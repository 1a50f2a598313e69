#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace quillon::data {

// One value of the row cache. Text and numbers are kept in their text form
// (8-bit, UTF-8 on Linux); binary values as their bytes. A large value that
// was not kept in memory is "deferred": only its size is known and the
// driver reads it again on demand.
class CellValue {
public:
  enum class Type { Null, Integer, Real, Text, Bytes, Deferred };

  CellValue() = default;

  static CellValue null() { return {}; }
  static CellValue integer(qint64 v) {
    CellValue c(Type::Integer, QByteArray::number(v));
    c.integer_ = v;
    return c;
  }
  // `text` is the value's text form as the driver rendered it.
  static CellValue real(double v, QByteArray text) {
    CellValue c(Type::Real, std::move(text));
    c.real_ = v;
    return c;
  }
  static CellValue text(QByteArray t) { return {Type::Text, std::move(t)}; }
  static CellValue bytes(QByteArray b) { return {Type::Bytes, std::move(b)}; }
  // A large value of `size` bytes (> 0) held by the database only;
  // `textual` tells whether it is text or binary there.
  static CellValue deferred(qint64 size, bool textual) {
    CellValue c(Type::Deferred, {});
    c.size_ = size;
    c.textual_ = textual;
    return c;
  }

  Type type() const { return type_; }
  bool isNull() const { return type_ == Type::Null; }
  bool isDeferred() const { return type_ == Type::Deferred; }
  // Whether the database holds the value as text (for deferred values: as
  // it was told).
  bool isTextual() const { return type_ == Type::Text || (type_ == Type::Deferred && textual_); }
  // Size in bytes of the value (its text form for numbers).
  qint64 size() const { return type_ == Type::Deferred ? size_ : data_.size(); }
  // The bytes of a value held in memory; empty for NULL and deferred values.
  const QByteArray &data() const { return data_; }
  qint64 asInteger() const { return integer_; }
  double asReal() const { return real_; }

  friend bool operator==(const CellValue &a, const CellValue &b) {
    return a.type_ == b.type_ && a.size() == b.size() && a.data_ == b.data_;
  }

private:
  CellValue(Type type, QByteArray data) : type_(type), data_(std::move(data)) {}

  Type type_ = Type::Null;
  QByteArray data_;
  qint64 integer_ = 0;
  double real_ = 0;
  qint64 size_ = 0;
  bool textual_ = false;
};

} // namespace quillon::data
