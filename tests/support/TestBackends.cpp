#include "support/TestBackends.h"

#include "data/ConnectionSettings.h"
#include "support/TestEnvironment.h"

#include <QStringList>

namespace quillon::test {

namespace {

// `odbc` with its Driver attribute naming `driver`; empty when it names none.
QString withDriver(const QString &odbc, const QString &driver) {
  QStringList attributes;
  bool named = false;
  for (const data::OdbcAttribute &attribute : data::splitOdbcString(odbc)) {
    const bool isDriver = attribute.key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0;
    named = named || isDriver;
    attributes << (isDriver ? QStringLiteral("Driver={%1}").arg(driver) : attribute.text);
  }
  return named ? attributes.join(QLatin1Char(';')) : QString();
}

} // namespace

std::vector<Backend> sqliteAndPostgres() {
  return {Backend::Sqlite, Backend::PostgresAnsi, Backend::PostgresUnicode,
          Backend::PostgresNative};
}

std::vector<Backend> postgresBackends() {
  return {Backend::PostgresAnsi, Backend::PostgresUnicode, Backend::PostgresNative};
}

std::vector<Backend> postgresOdbcBackends() {
  return {Backend::PostgresAnsi, Backend::PostgresUnicode};
}

bool isPostgres(Backend backend) {
  return backend == Backend::PostgresAnsi || backend == Backend::PostgresUnicode ||
         backend == Backend::PostgresNative;
}

QString unavailableReason(Backend backend) {
  if (!odbcConnectionString(backend).isEmpty() || backend == Backend::Sqlite)
    return {};
  if (backend == Backend::SqlServer)
    return QStringLiteral("QUILLON_TEST_MSSQL is not set: the SQL Server tests need a server "
                          "given as an ODBC connection string");
  if (!postgresConnectionString().isEmpty())
    return QStringLiteral("QUILLON_TEST_PG names no ODBC driver, so no other driver can stand "
                          "in for it");
  return QStringLiteral("QUILLON_TEST_PG is not set: the PostgreSQL tests run under scripts/test");
}

QString odbcConnectionString(Backend backend) {
  switch (backend) {
  case Backend::Sqlite:
    return {};
  case Backend::SqlServer:
    return sqlServerConnectionString();
  case Backend::PostgresAnsi:
    return postgresConnectionString();
  case Backend::PostgresUnicode:
    return withDriver(postgresConnectionString(), QStringLiteral("PostgreSQL Unicode"));
  case Backend::PostgresNative:
    // Reached without ODBC; the server's string still says where it is.
    return postgresConnectionString();
  }
  return {};
}

QString serverInitString(Backend backend) {
  const QString odbc = odbcConnectionString(backend);
  if (odbc.isEmpty())
    return {};
  if (backend == Backend::PostgresNative)
    return data::postgresInitStringFromOdbc(odbc);
  data::InitProperties properties;
  properties.set(QStringLiteral("Provider"), QStringLiteral("MSDASQL.1"));
  properties.set(QStringLiteral("Extended Properties"), odbc);
  return properties.toString();
}

std::string backendName(Backend backend) {
  switch (backend) {
  case Backend::Sqlite:
    return "Sqlite";
  case Backend::PostgresAnsi:
    return "PostgresAnsi";
  case Backend::PostgresUnicode:
    return "PostgresUnicode";
  case Backend::PostgresNative:
    return "PostgresNative";
  case Backend::SqlServer:
    return "SqlServer";
  }
  return "?";
}

} // namespace quillon::test
