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

// The user stopped a transfer; whatever it was writing is left as it was.
class TransferCancelled : public DataError {
public:
  TransferCancelled() : DataError(QStringLiteral("The transfer was cancelled")) {}
};

} // namespace quillon::data
