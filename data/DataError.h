#pragma once

#include <QString>

#include <stdexcept>

namespace quillon::data {

// An error raised by the data layer: its own errors and the drivers' errors,
// the latter carrying the driver's own message.
class DataError : public std::runtime_error {
public:
  enum class Cause { Other, ConnectionLost };

  explicit DataError(const QString &message, Cause cause = Cause::Other)
      : std::runtime_error(message.toStdString()), cause_(cause) {}

  QString message() const { return QString::fromStdString(what()); }
  // The connection broke (the server went away or ended it): whatever
  // failed may work again on a new connection.
  bool connectionLost() const { return cause_ == Cause::ConnectionLost; }

private:
  Cause cause_;
};

// A value larger than the engine stores; nothing was written.
class ValueTooLarge : public DataError {
public:
  ValueTooLarge(qint64 size, qint64 largest)
      : DataError(QStringLiteral("The value has %1 bytes; the database keeps at most %2 in one")
                      .arg(size)
                      .arg(largest)),
        size_(size), largest_(largest) {}
  qint64 size() const { return size_; }
  qint64 largest() const { return largest_; }

private:
  qint64 size_;
  qint64 largest_;
};

// A value that a text column would not keep whole (PostgreSQL's text
// columns): a zero byte would end it, or a byte is no character of the
// database's encoding. Refused before anything is written.
class TextRefused : public DataError {
public:
  enum class Fault { ZeroByte, InvalidCharacter };

  TextRefused(Fault fault, qint64 offset, const QString &typeName, const QString &encoding)
      : DataError(fault == Fault::ZeroByte
                      ? QStringLiteral("The value has a zero byte at offset %1; a %2 column "
                                       "cannot hold it")
                            .arg(offset)
                            .arg(typeName)
                      : QStringLiteral("The value's byte at offset %1 begins no %2 character; "
                                       "a %3 column holds only such text")
                            .arg(offset)
                            .arg(encoding, typeName)),
        fault_(fault), offset_(offset), typeName_(typeName), encoding_(encoding) {}
  Fault fault() const { return fault_; }
  qint64 offset() const { return offset_; }
  QString typeName() const { return typeName_; }
  QString encoding() const { return encoding_; }

private:
  Fault fault_;
  qint64 offset_;
  QString typeName_;
  QString encoding_;
};

// The user stopped a transfer; whatever it was writing is left as it was.
class TransferCancelled : public DataError {
public:
  TransferCancelled() : DataError(QStringLiteral("The transfer was cancelled")) {}
};

} // namespace quillon::data
