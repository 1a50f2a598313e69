#include "data/drivers/OdbcDriver.h"

#include "data/DataError.h"
#include "data/SlicedSource.h"
#include "data/drivers/odbc/OdbcCatalog.h"
#include "data/drivers/odbc/OdbcHandles.h"
#include "data/drivers/odbc/OdbcValues.h"

#include <map>
#include <optional>
#include <vector>

namespace quillon::data::odbc {

namespace {

constexpr qint64 kPostgresMessageRoom = 64 << 10;

// psqlodbc's own connection attribute for its "UseDeclareFetch" option:
// results are read through a cursor, a hundred rows at a time.
constexpr SQLINTEGER kPsqlodbcUseCursors = 65539;

class OdbcResultSet : public ResultSet {
public:
  OdbcResultSet(std::unique_ptr<Statement> statement, std::vector<ColumnInfo> columns,
                std::vector<SQLSMALLINT> sqlTypes, bool deferText)
      : statement_(std::move(statement)), mark_(statement_->link()), columns_(std::move(columns)),
        sqlTypes_(std::move(sqlTypes)), deferText_(deferText) {}

  const std::vector<ColumnInfo> &columns() const override { return columns_; }

  bool fetch() override {
    if (done_)
      return false;
    if (statement_->fetch())
      return true;
    // Read to the end: the connection is free for the next statement.
    done_ = true;
    statement_->close();
    mark_.release();
    return false;
  }

  CellValue value(int column, qint64 inlineLimit) override {
    const ColumnInfo &info = columns_[size_t(column)];
    const auto number = SQLUSMALLINT(column + 1);
    const bool textual = !isBinaryType(sqlTypes_[size_t(column)]);

    qint64 expected = -1;
    if (isLargeValueKind(info.kind)) {
      const Probe size = probe(*statement_, number, textual);
      switch (size.kind) {
      case Probe::Null:
        return CellValue::null();
      case Probe::Empty:
        return textual ? CellValue::text(QByteArray("")) : CellValue::bytes(QByteArray(""));
      case Probe::Known:
        if (size.size > inlineLimit && (deferText_ || !textual))
          return CellValue::deferred(size.size, textual);
        expected = size.size;
        break;
      case Probe::Unknown:
        break; // read whole: only the bytes tell the size
      }
    }

    const std::optional<QByteArray> bytes = readRest(*statement_, number, textual, expected);
    if (!bytes)
      return CellValue::null();
    if (!textual)
      return CellValue::bytes(bytes->isNull() ? QByteArray("") : *bytes);
    if (isIntegerKind(info.kind)) {
      bool ok = false;
      const qint64 v = bytes->trimmed().toLongLong(&ok);
      if (ok)
        return CellValue::integer(v);
    } else if (info.kind == FieldKind::ftFloat) {
      bool ok = false;
      const double v = bytes->trimmed().toDouble(&ok);
      if (ok)
        return CellValue::real(v, bytes->trimmed());
    }
    return CellValue::text(bytes->isNull() ? QByteArray("") : *bytes);
  }

private:
  std::unique_ptr<Statement> statement_;
  PendingMark mark_;
  std::vector<ColumnInfo> columns_;
  std::vector<SQLSMALLINT> sqlTypes_;
  bool deferText_;
  bool done_ = false;
};

class OdbcConnection final : public OdbcDriver {
public:
  OdbcConnection(QString connectionString, ConnectionSettings settings, std::shared_ptr<Link> link)
      : connectionString_(std::move(connectionString)), settings_(std::move(settings)),
        main_(std::move(link)) {
    const QString dbms = infoString(main_->dbc, SQL_DBMS_NAME);
    if (dbms.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive))
      dialect_ = Dialect::SqlServer;
    else if (dbms.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive))
      dialect_ = Dialect::PostgreSql;
    else if (dbms.contains(QLatin1String("SQLite"), Qt::CaseInsensitive))
      dialect_ = Dialect::Sqlite;
    SQLUSMALLINT activities = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(main_->dbc, SQL_MAX_CONCURRENT_ACTIVITIES, &activities,
                                 sizeof activities, nullptr)))
      oneResultAtATime_ = activities == 1;
  }

  Dialect dialect() const override { return dialect_; }

  qint64 largestValue() const override {
    const qint64 engine = SqlDialect::of(dialect_).largestValue();
    // psqlodbc sends a new value in the one message that binds it, and the
    // server takes no message over 1 GB: the rest of the message needs room.
    if (dialect_ == Dialect::PostgreSql)
      return engine - kPostgresMessageRoom;
    return engine;
  }

  QString defaultDatabase() override {
    SQLCHAR name[512] = {};
    SQLINTEGER length = 0;
    if (SQL_SUCCEEDED(
            SQLGetConnectAttr(main_->dbc, SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length)))
      return fromSql(name);
    return infoString(main_->dbc, SQL_DATABASE_NAME);
  }

  std::unique_ptr<ResultSet> execute(const QString &sql) override {
    const std::shared_ptr<Link> link = freeLink();
    std::map<int, ColumnInfo> described;
    if (dialect_ == Dialect::SqlServer)
      described = describeFirstResult(link, sql, dialect_);
    if (dialect_ == Dialect::PostgreSql)
      readThroughCursor(*link, sqlDialect().isSingleSelect(sql));

    auto statement = std::make_unique<Statement>(link);
    const SQLHSTMT h = statement->handle();
    QByteArray text = sql.toUtf8();
    SQLRETURN rc =
        SQLExecDirect(h, reinterpret_cast<SQLCHAR *>(text.data()), SQLINTEGER(text.size()));
    if (rc == SQL_NEED_DATA) {
      SQLCancel(h);
      throw DataError(QLatin1String(kMissingParameters));
    }
    if (rc != SQL_NO_DATA)
      statement->check(rc, "SQLExecDirect");
    for (;;) {
      SQLSMALLINT count = 0;
      if (rc != SQL_NO_DATA)
        statement->check(SQLNumResultCols(h, &count), "SQLNumResultCols");
      if (count > 0)
        return makeResultSet(std::move(statement), count, described);
      rc = SQLMoreResults(h);
      if (rc == SQL_NO_DATA)
        return nullptr;
      statement->check(rc, "SQLMoreResults");
    }
  }

  std::optional<std::vector<ColumnInfo>> describe(const QString &sql) override {
    const std::shared_ptr<Link> link = freeLink();
    std::map<int, ColumnInfo> described;
    if (dialect_ == Dialect::SqlServer)
      described = describeFirstResult(link, sql, dialect_);
    Statement statement(link);
    QByteArray text = sql.toUtf8();
    statement.check(SQLPrepare(statement.handle(), reinterpret_cast<SQLCHAR *>(text.data()),
                               SQLINTEGER(text.size())),
                    "SQLPrepare");
    SQLSMALLINT count = 0;
    std::optional<std::vector<ColumnInfo>> columns;
    // A driver that learns its columns only by running says none.
    if (SQL_SUCCEEDED(SQLNumResultCols(statement.handle(), &count)) && count > 0)
      columns = describeColumns(statement, count, described, dialect_).columns;
    // psqlodbc frees what a prepared statement holds only when it is closed.
    statement.close();
    return columns;
  }

  QStringList keyColumns(const QString &table) override {
    return odbc::keyColumns(freeLink(), table);
  }

  QStringList readOnlyColumns(const QString &table) override {
    const QString statementText = sqlDialect().readOnlyColumnsStatement();
    if (statementText.isEmpty())
      return {};
    const std::shared_ptr<Link> link = freeLink();
    Parameters parameters(dialect_);
    parameters.addValue({QString(), FieldKind::ftString, QStringLiteral("varchar")},
                        CellValue::text(quotedTable(table).toUtf8()));
    Statement statement(link);
    parameters.bind(statement);
    run(statement, statementText);
    QStringList columns;
    while (statement.fetch())
      columns << textOf(statement, 1);
    statement.close();
    return columns;
  }

  // SQLite's row version is a function of the program's own connections.
  bool keepsRowVersions() const override {
    return dialect_ != Dialect::Sqlite && Driver::keepsRowVersions();
  }

  QByteArray updateRow(const RowUpdate &update) override {
    if (update.assignments.empty())
      return {};
    const std::shared_ptr<Link> link = freeLink();
    Parameters parameters(dialect_);
    QStringList sets;
    for (const Assignment &a : update.assignments) {
      sets << quoted(a.column.name) + QLatin1String(" = ?");
      if (a.stream)
        parameters.addStream(a.column, a.stream);
      else
        parameters.addValue(a.column, a.value);
    }
    const QString where = whereClause(update.criteria, parameters);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                            .arg(quotedTable(update.table), sets.join(QLatin1String(", ")), where);

    Transaction transaction(*link);
    qint64 changed = 0;
    {
      Statement statement(link);
      parameters.bind(statement);
      QByteArray text = sql.toUtf8();
      SQLRETURN rc = SQLExecDirect(statement.handle(), reinterpret_cast<SQLCHAR *>(text.data()),
                                   SQLINTEGER(text.size()));
      if (rc == SQL_NEED_DATA) {
        try {
          rc = parameters.sendStreams(statement);
        } catch (...) {
          abandonStreams(statement);
          throw;
        }
      }
      if (rc != SQL_NO_DATA) {
        statement.check(rc, "SQLExecDirect");
        SQLLEN rows = 0;
        statement.check(SQLRowCount(statement.handle(), &rows), "SQLRowCount");
        changed = rows;
      }
      statement.close();
    }
    if (changed <= 0)
      throw DataError(rowNotFoundMessage());
    if (changed > 1)
      throw DataError(rowNotUniqueMessage(update.table, changed));
    QByteArray version;
    if (!update.keyAfter.empty() && keepsRowVersions()) {
      // The row stays locked until the commit: no other write comes between.
      Parameters key(dialect_);
      const QString condition = whereClause(update.keyAfter, key);
      Statement select(link);
      key.bind(select);
      run(select, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                      .arg(sqlDialect().rowVersion(), quotedTable(update.table), condition));
      if (select.fetch())
        version = textOf(select, 1).toUtf8();
      select.close();
    }
    if (update.beforeCommit)
      update.beforeCommit();
    transaction.commit();
    return version;
  }

  std::unique_ptr<ByteSource> readValue(const QString &table, const ColumnRef &column,
                                        const std::vector<Criterion> &criteria) override {
    const std::shared_ptr<Link> link = freeLink();
    const bool binary = isBinaryKind(column.kind);
    if (!sqlDialect().slice(quoted(column.name), binary).isEmpty())
      return slicedValue(link, table, column, criteria);
    {
      Parameters parameters(dialect_);
      const QString where = whereClause(criteria, parameters);
      Statement count(link);
      parameters.bind(count);
      run(count, QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(quotedTable(table), where));
      const qint64 matches = count.fetch() ? textOf(count, 1).toLongLong() : 0;
      count.close();
      if (matches == 0)
        throw DataError(rowNotFoundMessage());
      if (matches > 1)
        throw DataError(rowNotUniqueMessage(table, matches));
    }

    Parameters parameters(dialect_);
    const QString where = whereClause(criteria, parameters);
    auto statement = std::make_unique<Statement>(link);
    parameters.bind(*statement);
    run(*statement, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                        .arg(quoted(column.name), quotedTable(table), where));
    if (!statement->fetch())
      throw DataError(rowNotFoundMessage());

    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    SQLCHAR name[256];
    SQLSMALLINT nameLength = 0;
    statement->check(SQLDescribeCol(statement->handle(), 1, name, sizeof name, &nameLength,
                                    &sqlType, &size, &digits, &nullable),
                     "SQLDescribeCol");
    const bool textual = !isBinaryType(sqlType);
    const Probe length = probe(*statement, 1, textual);
    switch (length.kind) {
    case Probe::Null:
    case Probe::Empty:
      return std::make_unique<MemoryByteSource>(QByteArray());
    case Probe::Unknown:
      // Without a length up front the value is read whole.
      return std::make_unique<MemoryByteSource>(
          readRest(*statement, 1, textual).value_or(QByteArray()));
    case Probe::Known:
      break;
    }
    return std::make_unique<ColumnSource>(std::move(statement), textual, length.size);
  }

private:
  // A connection that can run a statement now: the main one, or a second
  // one for drivers that allow a single open result per connection
  // (FreeTDS) while a result is still being read.
  std::shared_ptr<Link> freeLink() {
    if (!oneResultAtATime_ || main_->pending == 0)
      return main_;
    if (!spare_)
      spare_ = openLink(connectionString_, settings_);
    return spare_;
  }

  const SqlDialect &sqlDialect() const { return SqlDialect::of(dialect_); }
  QString quoted(const QString &identifier) const { return sqlDialect().quote(identifier); }
  QString quotedTable(const QString &table) const { return sqlDialect().quotedTable(table); }

  // The WHERE condition for the criteria; their values join `parameters`.
  QString whereClause(const std::vector<Criterion> &criteria, Parameters &parameters) const {
    QStringList parts;
    for (const Criterion &c : criteria) {
      const QString column = quoted(c.column.name);
      if (c.rowVersion) {
        parts << sqlDialect().rowVersion() + QLatin1String(" = ?");
        parameters.addValue({QString(), FieldKind::ftString, QStringLiteral("varchar")},
                            c.original);
      } else if (c.original.isNull()) {
        parts << column + QLatin1String(" IS NULL");
      } else if (c.original.isDeferred()) {
        parts << sqlDialect().octetLength(column) + QLatin1String(" = ?");
        parameters.addLength(c.original.size());
      } else if (isLargeValueKind(c.column.kind)) {
        const SqlDialect::Comparison comparison =
            sqlDialect().compareLargeValue(column, isBinaryKind(c.column.kind));
        parts << comparison.sql;
        if (comparison.bindsLength)
          parameters.addLength(c.original.size());
        else
          parameters.addValue(c.column, c.original);
      } else {
        parts << column + QLatin1String(" = ?");
        parameters.addValue(c.column, c.original);
      }
    }
    return parts.isEmpty() ? QStringLiteral("1 = 1") : parts.join(QLatin1String(" AND "));
  }

  // A value read in slices, so that the driver never holds it whole (psqlodbc
  // would, as hex text twice its size): its length first, from the one row
  // the criteria find.
  std::unique_ptr<ByteSource> slicedValue(const std::shared_ptr<Link> &link, const QString &table,
                                          const ColumnRef &column,
                                          const std::vector<Criterion> &criteria) {
    const bool binary = isBinaryKind(column.kind);
    const QString name = quoted(column.name);
    const SqlDialect::SizedColumn sized{column.name, true, binary, column.typeName};
    qint64 size = -1;
    {
      Parameters parameters(dialect_);
      const QString where = whereClause(criteria, parameters);
      Statement lengths(link);
      parameters.bind(lengths);
      run(lengths, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                       .arg(sqlDialect().valueLength(name, sized), quotedTable(table), where));
      int rows = 0;
      bool null = true;
      while (lengths.fetch()) {
        if (++rows == 1) {
          const QString length = textOf(lengths, 1);
          null = length.isEmpty();
          size = length.toLongLong();
        }
      }
      lengths.close();
      if (rows == 0)
        throw DataError(rowNotFoundMessage());
      if (rows > 1)
        throw DataError(rowNotUniqueMessage(table, rows));
      if (null || size == 0)
        return std::make_unique<MemoryByteSource>(QByteArray());
    }
    const QString sliceSql = QStringLiteral("SELECT %1 FROM %2 WHERE %3");
    return std::make_unique<SlicedSource>(
        size, !binary,
        [this, link, table, column, criteria, name, binary, sliceSql](qint64 start, qint64 length) {
          Parameters parameters(dialect_);
          parameters.addLength(start);
          parameters.addLength(length);
          const QString where = whereClause(criteria, parameters);
          Statement slice(link);
          parameters.bind(slice);
          run(slice, sliceSql.arg(sqlDialect().slice(name, binary), quotedTable(table), where));
          QByteArray bytes;
          if (slice.fetch())
            bytes = readRest(slice, 1, !binary).value_or(QByteArray());
          slice.close();
          return bytes;
        });
  }

  // psqlodbc otherwise holds a whole result in memory, as text: twice the
  // size of every picture in it. Its cursors take one plain query only, so
  // everything else (several statements, a WITH that changes data, a DO
  // block) runs as the server is sent it.
  static void readThroughCursor(Link &link, bool on) {
    SQLSetConnectAttr(link.dbc, kPsqlodbcUseCursors, reinterpret_cast<SQLPOINTER>(on ? 1 : 0), 0);
  }

  // Leaves the need-data state of a statement whose streamed value failed.
  void abandonStreams(const Statement &statement) const {
    SQLCancel(statement.handle());
    if (dialect_ == Dialect::PostgreSql) {
      // psqlodbc frees what the cancelled sequence held only when the
      // handle runs again.
      SQLFreeStmt(statement.handle(), SQL_RESET_PARAMS);
      SQLExecDirect(statement.handle(), reinterpret_cast<SQLCHAR *>(const_cast<char *>("SELECT 1")),
                    SQL_NTS);
      SQLFreeStmt(statement.handle(), SQL_CLOSE);
    }
  }

  std::unique_ptr<ResultSet> makeResultSet(std::unique_ptr<Statement> statement, SQLSMALLINT count,
                                           const std::map<int, ColumnInfo> &described) {
    ResultColumns result = describeColumns(*statement, count, described, dialect_);
    // SQL Server's text through a converting driver has a byte length that
    // no server function gives, so such values are never left deferred.
    const bool deferText = dialect_ != Dialect::SqlServer;
    return std::make_unique<OdbcResultSet>(std::move(statement), std::move(result.columns),
                                           std::move(result.sqlTypes), deferText);
  }

  QString connectionString_;
  ConnectionSettings settings_;
  std::shared_ptr<Link> main_;
  std::shared_ptr<Link> spare_;
  Dialect dialect_ = Dialect::Other;
  bool oneResultAtATime_ = false;
};

} // namespace

} // namespace quillon::data::odbc

namespace quillon::data {

std::unique_ptr<Driver> OdbcDriver::connect(const QString &connectionString,
                                            const ConnectionSettings &settings) {
  std::shared_ptr<odbc::Link> link = odbc::openLink(connectionString, settings);
  return std::make_unique<odbc::OdbcConnection>(connectionString, settings, std::move(link));
}

QStringList OdbcDriver::installedDrivers() {
  QStringList names;
  SQLHENV env = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env)))
    return names;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLCHAR description[512];
  SQLCHAR attributes[1024];
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    const SQLRETURN rc =
        SQLDrivers(env, direction, description, sizeof description, &descriptionLength, attributes,
                   sizeof attributes, &attributesLength);
    if (!SQL_SUCCEEDED(rc))
      break;
    names << odbc::fromSql(description);
    direction = SQL_FETCH_NEXT;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return names;
}

} // namespace quillon::data
