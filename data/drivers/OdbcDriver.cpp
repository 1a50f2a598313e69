#include "data/drivers/OdbcDriver.h"

#include "data/DataError.h"

namespace quillon::data {

FieldKind odbcFieldKind(SQLSMALLINT, SQLULEN, bool, bool, const QString &) {
  return FieldKind::ftUnknown;
}

std::unique_ptr<Driver> OdbcDriver::connect(const QString &, const ConnectionSettings &) {
  throw DataError(QStringLiteral("ODBC is not available yet"));
}

QStringList OdbcDriver::installedDrivers() {
  return {};
}

} // namespace quillon::data
