// Connecting through the driver manager, the handles' lifetimes and the
// DataError a failed ODBC call turns into.
#include "data/drivers/odbc/OdbcHandles.h"

#include "data/DataError.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace quillon::data::odbc {

namespace {

// The diagnostic records of a handle as one message; `states` receives
// their SQLSTATEs.
QString diagnostics(SQLSMALLINT type, SQLHANDLE handle, QStringList *states) {
  QStringList records;
  for (SQLSMALLINT record = 1; record <= 20; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> text(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native, text.data(),
                                 SQLSMALLINT(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(text.size())) {
      text.resize(size_t(length) + 1);
      rc = SQLGetDiagRec(type, handle, record, state, &native, text.data(),
                         SQLSMALLINT(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc))
      break;
    const QString message = fromSql(text.data()).trimmed();
    const QString sqlState = fromSql(state);
    *states << sqlState;
    records << (sqlState.isEmpty() ? message
                                   : QStringLiteral("%1 (SQLSTATE %2)").arg(message, sqlState));
  }
  return records.join(QLatin1Char('\n'));
}

// SQLSTATEs of a connection that broke: ODBC's class 08, PostgreSQL's
// shutdown and crash codes.
bool meansConnectionLost(const QString &sqlState) {
  return sqlState.startsWith(QLatin1String("08")) || sqlState == QLatin1String("57P01") ||
         sqlState == QLatin1String("57P02") || sqlState == QLatin1String("57P03");
}

} // namespace

QString fromSql(const SQLCHAR *text) {
  return QString::fromUtf8(reinterpret_cast<const char *>(text));
}

[[noreturn]] void raise(SQLSMALLINT type, SQLHANDLE handle, const QString &fallback) {
  QStringList states;
  const QString message = handle ? diagnostics(type, handle, &states) : QString();
  const bool lost = std::any_of(states.begin(), states.end(), meansConnectionLost);
  throw DataError(message.isEmpty() ? fallback : message,
                  lost ? DataError::Cause::ConnectionLost : DataError::Cause::Other);
}

void checkCall(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char *call) {
  if (!SQL_SUCCEEDED(rc))
    raise(type, handle, QStringLiteral("The ODBC call %1 failed").arg(QLatin1String(call)));
}

QString infoString(SQLHDBC dbc, SQLUSMALLINT info) {
  SQLCHAR buffer[256] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, info, buffer, sizeof buffer, &length)))
    return {};
  return fromSql(buffer);
}

Link::~Link() {
  if (connected)
    SQLDisconnect(dbc);
  if (dbc)
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  if (env)
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

Statement::Statement(std::shared_ptr<Link> link) : link_(std::move(link)) {
  checkCall(SQLAllocHandle(SQL_HANDLE_STMT, link_->dbc, &handle_), SQL_HANDLE_DBC, link_->dbc,
            "SQLAllocHandle");
  if (link_->commandTimeout > 0)
    // Drivers without timeouts refuse the attribute; the statement still runs.
    SQLSetStmtAttr(handle_, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(SQLULEN(link_->commandTimeout)), 0);
}

Statement::~Statement() {
  if (!SQL_SUCCEEDED(SQLFreeHandle(SQL_HANDLE_STMT, handle_))) {
    // A statement still waiting for parameter data is let go first.
    SQLCancel(handle_);
    SQLFreeHandle(SQL_HANDLE_STMT, handle_);
  }
}

bool Statement::fetch() {
  const SQLRETURN rc = SQLFetch(handle_);
  if (rc == SQL_NO_DATA)
    return false;
  check(rc, "SQLFetch");
  return true;
}

Transaction::Transaction(Link &link) : link_(link) {
  checkCall(SQLSetConnectAttr(link_.dbc, SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
            SQL_HANDLE_DBC, link_.dbc, "SQLSetConnectAttr");
}

Transaction::~Transaction() {
  if (open_)
    SQLEndTran(SQL_HANDLE_DBC, link_.dbc, SQL_ROLLBACK);
  SQLSetConnectAttr(link_.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                    0);
}

void Transaction::commit() {
  checkCall(SQLEndTran(SQL_HANDLE_DBC, link_.dbc, SQL_COMMIT), SQL_HANDLE_DBC, link_.dbc,
            "SQLEndTran");
  open_ = false;
}

std::shared_ptr<Link> openLink(const QString &connectionString,
                               const ConnectionSettings &settings) {
  auto link = std::make_shared<Link>();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &link->env)))
    throw DataError(QStringLiteral("The ODBC driver manager cannot allocate an environment"));
  checkCall(SQLSetEnvAttr(link->env, SQL_ATTR_ODBC_VERSION,
                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            SQL_HANDLE_ENV, link->env, "SQLSetEnvAttr");
  checkCall(SQLAllocHandle(SQL_HANDLE_DBC, link->env, &link->dbc), SQL_HANDLE_ENV, link->env,
            "SQLAllocHandle");
  if (settings.loginTimeoutSeconds > 0)
    SQLSetConnectAttr(link->dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(SQLULEN(settings.loginTimeoutSeconds)), 0);
  QByteArray text = connectionString.toUtf8();
  SQLCHAR completed[1024];
  SQLSMALLINT completedLength = 0;
  const SQLRETURN rc = SQLDriverConnect(
      link->dbc, nullptr, reinterpret_cast<SQLCHAR *>(text.data()), SQLSMALLINT(text.size()),
      completed, sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc))
    raise(SQL_HANDLE_DBC, link->dbc, QStringLiteral("Cannot connect to the ODBC data source"));
  link->connected = true;
  link->commandTimeout = settings.commandTimeoutSeconds;

  if (settings.viaFreeTds) {
    Statement statement(link);
    statement.check(
        SQLExecDirect(statement.handle(),
                      reinterpret_cast<SQLCHAR *>(const_cast<char *>("SET TEXTSIZE 2147483647")),
                      SQL_NTS),
        "SQLExecDirect");
  }
  return link;
}

void run(const Statement &statement, const QString &sql) {
  QByteArray text = sql.toUtf8();
  const SQLRETURN rc = SQLExecDirect(statement.handle(), reinterpret_cast<SQLCHAR *>(text.data()),
                                     SQLINTEGER(text.size()));
  if (rc == SQL_NEED_DATA) {
    SQLCancel(statement.handle());
    throw DataError(QLatin1String(kMissingParameters));
  }
  statement.check(rc, "SQLExecDirect");
}

} // namespace quillon::data::odbc
