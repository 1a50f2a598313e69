#pragma once

#include <QString>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace quillon::test {

// The databases a test runs on. SQLite is always there; PostgreSQL, through
// each of its ODBC drivers and through libpq, when the test script started
// its server (QUILLON_TEST_PG); SQL Server when the user gives one
// (QUILLON_TEST_MSSQL).
enum class Backend { Sqlite, PostgresAnsi, PostgresUnicode, PostgresNative, SqlServer };

// The back-ends the test script always provides, for parametrised suites
// whose SQL is written for SQLite and PostgreSQL; a test on one this run has
// not skips with unavailableReason().
std::vector<Backend> sqliteAndPostgres();
// PostgreSQL through each of its drivers.
std::vector<Backend> postgresBackends();
// PostgreSQL through each of its ODBC drivers.
std::vector<Backend> postgresOdbcBackends();

bool isPostgres(Backend backend);

// Why this run cannot test on `backend`; empty when it can.
QString unavailableReason(Backend backend);

// The ODBC connection string of a server back-end; empty when this run has
// none.
QString odbcConnectionString(Backend backend);

// A db.udl initialization string that reaches a server back-end: through
// ODBC (MSDASQL), or for PostgresNative through libpq (Provider=PostgreSQL);
// empty when this run has none.
QString serverInitString(Backend backend);

// "Sqlite", "PostgresAnsi", ...: names parametrised tests by back-end.
std::string backendName(Backend backend);
struct BackendName {
  std::string operator()(const testing::TestParamInfo<Backend> &info) const {
    return backendName(info.param);
  }
};
// Lets test names and failures show the back-end by name.
inline void PrintTo(Backend backend, std::ostream *out) {
  *out << backendName(backend);
}

} // namespace quillon::test

// Skips the running test when this run has no `backend`, saying why.
#define QUILLON_REQUIRE_BACKEND(backend)                                                           \
  do {                                                                                             \
    const QString quillonUnavailable = ::quillon::test::unavailableReason(backend);                \
    if (!quillonUnavailable.isEmpty())                                                             \
      GTEST_SKIP() << quillonUnavailable.toStdString();                                            \
  } while (false)
