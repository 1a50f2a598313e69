#pragma once

#include <QString>

#include <stdexcept>

namespace quillon::data {

// An error raised by the data layer: its own errors and the drivers' errors,
// the latter carrying the driver's own message.
class DataError : public std::runtime_error {
public:
  explicit DataError(const QString &message) : std::runtime_error(message.toStdString()) {}

  QString message() const { return QString::fromStdString(what()); }
};

// The user stopped a transfer; whatever it was writing is left as it was.
class TransferCancelled : public DataError {
public:
  TransferCancelled() : DataError(QStringLiteral("The transfer was cancelled")) {}
};

} // namespace quillon::data
