#pragma once

#include <QString>
#include <QTemporaryDir>

namespace quillon::test {

// The ODBC connection string of the throw-away PostgreSQL server that the
// test script starts (QUILLON_TEST_PG); empty when no server was started.
QString postgresConnectionString();

// An SQL Server connection string given by the user (QUILLON_TEST_MSSQL);
// empty when none was given.
QString sqlServerConnectionString();

// A temporary folder that is removed at the end of the test; fails the test
// when it cannot be made.
class ScratchDir {
public:
  ScratchDir();
  QString path() const { return dir_.path(); }
  QString file(const QString &name) const { return dir_.filePath(name); }

private:
  QTemporaryDir dir_;
};

} // namespace quillon::test
