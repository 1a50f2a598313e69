#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace quillon::test {

// The ODBC connection string of the throw-away PostgreSQL server that the
// test script starts, through its ANSI driver (QUILLON_TEST_PG); empty when
// no server was started. The back-end table (TestBackends.h) derives the
// other drivers' strings from it.
QString postgresConnectionString();

// An SQL Server connection string given by the user (QUILLON_TEST_MSSQL);
// empty when none was given.
QString sqlServerConnectionString();

// True when file permissions bind this process: a folder without write
// permission refuses a new file. Root's do not; the test script runs the
// tests as an ordinary user.
bool permissionsBind();

// Bytes that differ from position to position, zero bytes included: the
// same for the same size and seed.
QByteArray patterned(qint64 size, quint32 seed = 7);

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

// Fails the running test when permissions do not bind this process: a test
// of read-only files would otherwise prove nothing.
#define QUILLON_REQUIRE_BINDING_PERMISSIONS()                                                      \
  ASSERT_TRUE(::quillon::test::permissionsBind())                                                  \
      << "file permissions do not bind this process (root?): run the tests through scripts/test, " \
         "which runs them where they do"
