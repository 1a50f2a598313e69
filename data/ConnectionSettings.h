#pragma once

#include <QString>
#include <QStringList>

namespace quillon::data {

// What an OLE DB initialization string asks for, turned into what this
// platform can open.
struct ConnectionSettings {
  enum class Backend { SqlServer, Odbc, Sqlite };

  Backend backend = Backend::Sqlite;
  QString provider; // as the initialization string names it
  // SqlServer and Odbc: the ODBC connection string to open.
  QString odbcConnectionString;
  // SqlServer reached through FreeTDS: needs the text size raised after
  // connecting so that no large value is cut.
  bool viaFreeTds = false;
  // Sqlite: the absolute path of the database file.
  QString sqliteFile;
  int loginTimeoutSeconds = 15;
  int commandTimeoutSeconds = 30;
};

// Builds the settings from an OLE DB initialization string. `dataLinkDir`
// is the folder of the data-link file (SQLite files are relative to it);
// `odbcDrivers` lists the registered ODBC driver names, from which the SQL
// Server driver is chosen. Throws DataError for an unknown provider.
ConnectionSettings connectionSettingsFrom(const QString &initString, const QString &dataLinkDir,
                                          const QStringList &odbcDrivers);

} // namespace quillon::data
