#pragma once

#include "data/ConnectionSettings.h"
#include "data/Driver.h"

#include <sql.h>
#include <sqlext.h>

namespace quillon::data {

// The kind an ODBC result column gets from its SQL type code, the column
// size the driver reports, its sign and auto-increment flags, the driver's
// own type name and the dialect, which tells how long a bounded text can be.
FieldKind odbcFieldKind(SQLSMALLINT sqlType, SQLULEN columnSize, bool isUnsigned,
                        bool autoIncrement, const QString &typeName, const SqlDialect &dialect);

// A database reached through the ODBC driver manager (unixODBC): SQL Server
// through its ODBC driver or FreeTDS, PostgreSQL through psqlodbc, any other
// data source by name.
class OdbcDriver : public Driver {
public:
  // Connects without prompting; throws DataError with the driver's message.
  static std::unique_ptr<Driver> connect(const QString &connectionString,
                                         const ConnectionSettings &settings);
  // The driver names the driver manager has registered.
  static QStringList installedDrivers();
};

} // namespace quillon::data
