#include "data/drivers/PostgresDriver.h"

#include "data/DataError.h"
#include "data/SlicedSource.h"
#include "data/drivers/postgres/PgCatalog.h"
#include "data/drivers/postgres/PgSession.h"

#include <cstring>

namespace quillon::data {

using pg::Param;
using pg::Result;
using pg::Session;

namespace {

// Rows fetched from a cursor at a time: with values of up to a megabyte
// inline, a batch stays within a few dozen megabytes.
constexpr int kFetchRows = 32;

const SqlDialect &postgres() {
  return SqlDialect::of(Dialect::PostgreSql);
}

const char *const kMissingParameters = "No value given for one or more required parameters.";

// A value from its text, or from its bytes for a bytea column sent in
// binary (or decoded from hex).
CellValue cellOf(const ColumnInfo &info, QByteArray bytes, qint64 inlineLimit) {
  if (isLargeValueKind(info.kind) && bytes.size() > inlineLimit)
    return CellValue::deferred(bytes.size(), info.kind != FieldKind::ftBlob);
  if (info.kind == FieldKind::ftBlob || info.kind == FieldKind::ftBytes)
    return CellValue::bytes(bytes.isNull() ? QByteArray("") : std::move(bytes));
  if (info.kind == FieldKind::ftBoolean) {
    if (bytes == "t" || bytes == "true")
      return CellValue::integer(1);
    if (bytes == "f" || bytes == "false")
      return CellValue::integer(0);
  }
  if (isWholeNumberKind(info.kind)) {
    bool ok = false;
    const qint64 v = bytes.toLongLong(&ok);
    if (ok)
      return CellValue::integer(v);
  }
  if (info.kind == FieldKind::ftFloat) {
    bool ok = false;
    const double v = bytes.toDouble(&ok);
    if (ok)
      return CellValue::real(v, bytes);
  }
  return CellValue::text(bytes.isNull() ? QByteArray("") : std::move(bytes));
}

// The rows of a single SELECT, fetched from a cursor held past the end of
// its transaction, so that other statements may run between fetches. Every
// column comes as text except bytea, both in binary format: their bytes as
// they are.
class CursorResultSet : public ResultSet {
public:
  CursorResultSet(Session &session, QString cursor, std::vector<ColumnInfo> columns)
      : session_(session), cursor_(std::move(cursor)), columns_(std::move(columns)) {}
  ~CursorResultSet() override { close(); }

  const std::vector<ColumnInfo> &columns() const override { return columns_; }

  bool fetch() override {
    if (++row_ < batch_.rows())
      return true;
    if (done_)
      return false;
    batch_ = session_.run(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(kFetchRows).arg(cursor_),
                          {}, true);
    row_ = 0;
    if (batch_.rows() == 0) {
      close();
      return false;
    }
    return true;
  }

  CellValue value(int column, qint64 inlineLimit) override {
    if (batch_.isNull(row_, column))
      return CellValue::null();
    return cellOf(columns_[size_t(column)], batch_.bytes(row_, column), inlineLimit);
  }

private:
  void close() {
    if (done_)
      return;
    done_ = true;
    batch_ = Result();
    if (PQstatus(session_.get()) == CONNECTION_OK)
      PQclear(PQexec(session_.get(), ("CLOSE " + cursor_).toUtf8().constData()));
  }

  Session &session_;
  QString cursor_;
  std::vector<ColumnInfo> columns_;
  Result batch_;
  int row_ = -1;
  bool done_ = false;
};

// The rows of a script's first result, held whole in text format.
class ScriptResultSet : public ResultSet {
public:
  ScriptResultSet(Result result, std::vector<ColumnInfo> columns)
      : result_(std::move(result)), columns_(std::move(columns)) {}

  const std::vector<ColumnInfo> &columns() const override { return columns_; }
  bool fetch() override { return ++row_ < result_.rows(); }

  CellValue value(int column, qint64 inlineLimit) override {
    if (result_.isNull(row_, column))
      return CellValue::null();
    QByteArray bytes = result_.bytes(row_, column);
    if (PQftype(result_.get(), column) == pg::kBytea) {
      size_t length = 0;
      unsigned char *raw =
          PQunescapeBytea(reinterpret_cast<const unsigned char *>(bytes.constData()), &length);
      bytes = QByteArray(reinterpret_cast<const char *>(raw), qsizetype(length));
      PQfreemem(raw);
    }
    return cellOf(columns_[size_t(column)], std::move(bytes), inlineLimit);
  }

private:
  Result result_;
  std::vector<ColumnInfo> columns_;
  int row_ = -1;
};

// The parameters of a statement being written, in the order of its '?'.
class Statement {
public:
  QString sql;
  std::vector<Param> params;

  void addValue(const CellValue &value) {
    switch (value.type()) {
    case CellValue::Type::Null:
      params.push_back({{}, true, false});
      break;
    case CellValue::Type::Bytes:
      params.push_back({value.data(), false, true});
      break;
    case CellValue::Type::Deferred:
      throw DataError(QStringLiteral("A value not held in memory cannot be sent whole"));
    default:
      params.push_back({value.data(), false, false});
      break;
    }
  }

  // The WHERE condition that finds the row the criteria describe.
  QString where(const std::vector<Criterion> &criteria) {
    QStringList parts;
    for (const Criterion &c : criteria) {
      const QString column = postgres().quote(c.column.name);
      if (c.rowVersion) {
        parts << postgres().rowVersion() + QLatin1String(" = ?");
        params.push_back({c.original.data(), false, false});
      } else if (c.original.isNull()) {
        parts << column + QLatin1String(" IS NULL");
      } else if (c.original.isDeferred()) {
        parts << octetLength(c.column) + QLatin1String(" = ?");
        params.push_back(Param::number(c.original.size()));
      } else if (isLargeValueKind(c.column.kind)) {
        const SqlDialect::Comparison comparison =
            postgres().compareLargeValue(column, c.column.kind == FieldKind::ftBlob);
        parts << comparison.sql;
        if (comparison.bindsLength)
          params.push_back(Param::number(c.original.size()));
        else
          addValue(c.original);
      } else {
        parts << column + QLatin1String(" = ?");
        addValue(c.original);
      }
    }
    return parts.isEmpty() ? QStringLiteral("true") : parts.join(QLatin1String(" AND "));
  }

  Result run(Session &session, bool binary = false) const {
    return session.run(pg::numberedMarkers(sql), params, binary);
  }

  // The byte length of a column's value; json, xml and arrays by their text.
  static QString octetLength(const ColumnRef &column) {
    const QString quoted = postgres().quote(column.name);
    return column.kind == FieldKind::ftBlob ? postgres().octetLength(quoted)
                                            : postgres().octetLength(quoted + "::text");
  }
};

// Sends a value to a COPY ... FROM STDIN: bytea in binary format, text in
// text format with its special characters escaped, so the server converts
// it from the client's encoding as it does every text.
void copyIn(Session &session, ByteSource &source, bool textual) {
  PGconn *conn = session.get();
  const auto put = [&](const char *data, qint64 count) {
    if (PQputCopyData(conn, data, int(count)) != 1)
      session.fail(nullptr);
  };
  try {
    if (!textual) {
      static const char header[] = "PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0";
      put(header, 19);
      const quint32 length = quint32(source.size());
      const char tuple[] = {
          0, 1, char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
      put(tuple, 6);
    }
    copyInChunks(source, [&](const char *bytes, qint64 count) {
      if (!textual) {
        put(bytes, count);
        return;
      }
      QByteArray escaped;
      escaped.reserve(count + count / 8);
      for (qint64 i = 0; i < count; ++i) {
        switch (bytes[i]) {
        case '\\':
          escaped += "\\\\";
          break;
        case '\n':
          escaped += "\\n";
          break;
        case '\r':
          escaped += "\\r";
          break;
        case '\t':
          escaped += "\\t";
          break;
        default:
          escaped += bytes[i];
        }
      }
      put(escaped.constData(), escaped.size());
    });
    if (textual)
      put("\n", 1);
    else
      put("\377\377", 2);
  } catch (...) {
    // The server ends the COPY with an error and the transaction goes.
    PQputCopyEnd(conn, "the value could not be read");
    while (PGresult *result = PQgetResult(conn))
      PQclear(result);
    throw;
  }
  if (PQputCopyEnd(conn, nullptr) != 1)
    session.fail(nullptr);
  Result failure;
  while (PGresult *next = PQgetResult(conn)) {
    Result result(next);
    if (PQresultStatus(next) != PGRES_COMMAND_OK && !failure)
      failure = std::move(result);
  }
  if (failure)
    session.fail(failure.get());
}

} // namespace

std::unique_ptr<Driver> PostgresDriver::connect(const ConnectionSettings &settings) {
  std::unique_ptr<Session> session = Session::open(settings.postgresParameters);
  std::unique_ptr<PostgresDriver> driver(new PostgresDriver(std::move(session)));
  if (settings.commandTimeoutSeconds > 0)
    driver->session_->run(
        QStringLiteral("SET statement_timeout = %1").arg(settings.commandTimeoutSeconds * 1000));
  return driver;
}

PostgresDriver::PostgresDriver(std::unique_ptr<Session> session) : session_(std::move(session)) {}

PostgresDriver::~PostgresDriver() = default;

QString PostgresDriver::defaultDatabase() {
  return QString::fromUtf8(PQdb(session_->get()));
}

std::vector<pg::WireColumn> PostgresDriver::wireColumnsOf(const QString &sql) {
  if (pg::numberedMarkers(sql) != sql)
    throw DataError(QLatin1String(kMissingParameters));
  const QByteArray text = sql.toUtf8();
  const Result prepared(PQprepare(session_->get(), "", text.constData(), 0, nullptr));
  session_->check(prepared.get());
  const Result described(PQdescribePrepared(session_->get(), ""));
  session_->check(described.get());
  return pg::wireColumns(described.get());
}

std::optional<std::vector<ColumnInfo>> PostgresDriver::describe(const QString &sql) {
  return pg::describeColumns(*session_, wireColumnsOf(sql));
}

std::unique_ptr<ResultSet> PostgresDriver::runScript(const QString &sql) {
  if (pg::numberedMarkers(sql) != sql)
    throw DataError(QLatin1String(kMissingParameters));
  Result result = session_->runScript(sql);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
    return nullptr;
  std::vector<ColumnInfo> columns = pg::describeColumns(*session_, pg::wireColumns(result.get()));
  return std::make_unique<ScriptResultSet>(std::move(result), std::move(columns));
}

std::unique_ptr<ResultSet> PostgresDriver::execute(const QString &sql) {
  if (!postgres().isSingleSelect(sql))
    return runScript(sql);
  const std::vector<pg::WireColumn> wire = wireColumnsOf(sql);
  std::vector<ColumnInfo> columns = pg::describeColumns(*session_, wire);
  // The statement's columns by position (their names may repeat or be
  // missing), each as text but bytea.
  QStringList aliases, selected;
  for (size_t c = 0; c < wire.size(); ++c) {
    const QString alias = QStringLiteral("\"c%1\"").arg(c);
    aliases << alias;
    selected << (wire[c].type == pg::kBytea ? "q." + alias : "q." + alias + "::text");
  }
  const QString cursor = QStringLiteral("quillon_cursor_%1").arg(++cursors_);
  try {
    session_->run(
        QStringLiteral("DECLARE %1 NO SCROLL CURSOR WITH HOLD FOR SELECT %2 FROM (\n%3\n) q(%4)")
            .arg(cursor, selected.join(", "), sql, aliases.join(", ")));
  } catch (const DataError &error) {
    // What a cursor cannot hold (FOR UPDATE, a final ';') runs as it is.
    if (error.connectionLost())
      throw;
    return runScript(sql);
  }
  return std::make_unique<CursorResultSet>(*session_, cursor, std::move(columns));
}

QStringList PostgresDriver::keyColumns(const QString &table) {
  return pg::keyColumns(*session_, postgres().quotedTable(table));
}

QStringList PostgresDriver::readOnlyColumns(const QString &table) {
  const Result result = session_->run(pg::numberedMarkers(postgres().readOnlyColumnsStatement()),
                                      {Param::text(postgres().quotedTable(table))});
  QStringList columns;
  for (int r = 0; r < result.rows(); ++r)
    columns << result.text(r, 0);
  return columns;
}

QByteArray PostgresDriver::updateRow(const RowUpdate &update) {
  if (update.assignments.empty())
    return {};
  const QString table = postgres().quotedTable(update.table);
  pg::Transaction transaction(*session_, grouped_);
  Statement statement;
  QStringList sets;
  QStringList temporaries;
  int streamed = 0;
  for (const Assignment &a : update.assignments) {
    const QString column = postgres().quote(a.column.name);
    if (!a.stream) {
      sets << column + QLatin1String(" = ?");
      statement.addValue(a.value);
      continue;
    }
    // Up to a chunk, the value is a parameter of the UPDATE itself: a table
    // of its own would cost more than the value.
    if (a.stream->size() <= kTransferChunk) {
      QByteArray bytes = readAll(*a.stream);
      sets << column + QLatin1String(" = ?");
      statement.addValue(a.column.kind == FieldKind::ftBlob ? CellValue::bytes(std::move(bytes))
                                                            : CellValue::text(std::move(bytes)));
      continue;
    }
    // The new value goes to a table of its own through COPY, so that only a
    // chunk of it is ever in memory here, and from there to the row.
    const bool textual = a.column.kind != FieldKind::ftBlob;
    const QString temporary = QStringLiteral("quillon_value_%1").arg(++streamed);
    temporaries << temporary;
    session_->run(QStringLiteral("CREATE TEMPORARY TABLE %1 (v %2) ON COMMIT DROP")
                      .arg(temporary, textual ? "text" : "bytea"));
    session_->run(QStringLiteral("COPY %1 (v) FROM STDIN%2")
                      .arg(temporary, textual ? "" : " (FORMAT binary)"));
    copyIn(*session_, *a.stream, textual);
    // Text goes into json, xml and the like by the column's own type.
    QString type = textual ? QStringLiteral("text") : QStringLiteral("bytea");
    if (textual) {
      const Result declared = session_->run(
          QStringLiteral("select pg_catalog.format_type(atttypid, atttypmod) from "
                         "pg_catalog.pg_attribute where attrelid = pg_catalog.to_regclass($1) "
                         "and attname = $2"),
          {Param::text(table), Param::text(a.column.name)});
      if (declared.rows() == 1)
        type = declared.text(0, 0);
    }
    sets << QStringLiteral("%1 = CAST((SELECT v FROM %2) AS %3)").arg(column, temporary, type);
  }
  const QString where = statement.where(update.criteria);
  statement.sql =
      QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, sets.join(QLatin1String(", ")), where);
  const Result result = statement.run(*session_);
  const qint64 changed = QByteArray(PQcmdTuples(result.get())).toLongLong();
  if (changed == 0)
    throw DataError(rowNotFoundMessage());
  if (changed > 1)
    throw DataError(rowNotUniqueMessage(update.table, changed));
  // Gone now rather than at the commit, which a write group puts off.
  for (const QString &temporary : temporaries)
    session_->run(QStringLiteral("DROP TABLE %1").arg(temporary));
  QByteArray version;
  if (!update.keyAfter.empty()) {
    // The row stays locked until the commit: no other write comes between.
    Statement select;
    const QString key = select.where(update.keyAfter);
    select.sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 LIMIT 1")
                     .arg(postgres().rowVersion(), table, key);
    const Result row = select.run(*session_);
    if (row.rows() == 1 && !row.isNull(0, 0))
      version = row.bytes(0, 0);
  }
  if (update.beforeCommit)
    update.beforeCommit();
  transaction.commit();
  return version;
}

void PostgresDriver::beginWriteGroup() {
  if (grouped_)
    return;
  session_->run(QStringLiteral("BEGIN"));
  grouped_ = true;
}

void PostgresDriver::endWriteGroup() {
  if (!grouped_)
    return;
  grouped_ = false;
  session_->run(QStringLiteral("COMMIT"));
}

void PostgresDriver::interrupt() {
  session_->cancel();
}

std::unique_ptr<ByteSource> PostgresDriver::readValue(const QString &table, const ColumnRef &column,
                                                      const std::vector<Criterion> &criteria) {
  const QString quotedTable = postgres().quotedTable(table);
  Statement size;
  const QString where = size.where(criteria);
  size.sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 LIMIT 2")
                 .arg(Statement::octetLength(column), quotedTable, where);
  const Result sizes = size.run(*session_);
  if (sizes.rows() == 0)
    throw DataError(rowNotFoundMessage());
  if (sizes.rows() > 1) {
    Statement count;
    count.sql =
        QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(quotedTable, count.where(criteria));
    throw DataError(rowNotUniqueMessage(table, count.run(*session_).text(0, 0).toLongLong()));
  }
  if (sizes.isNull(0, 0))
    return std::make_unique<MemoryByteSource>(QByteArray());
  const bool binary = column.kind == FieldKind::ftBlob;
  const QString sliceSql =
      QStringLiteral("SELECT %1 FROM %2 WHERE %3")
          .arg(postgres().slice(postgres().quote(column.name), binary), quotedTable, where);
  Session &session = *session_;
  return std::make_unique<SlicedSource>(
      sizes.text(0, 0).toLongLong(), !binary,
      [&session, sliceSql, criteria](qint64 start, qint64 length) {
        Statement slice;
        slice.params = {Param::number(start), Param::number(length)};
        slice.where(criteria); // the parameters of the same condition

        slice.sql = sliceSql;
        const Result result = slice.run(session, true);
        return result.rows() == 1 && !result.isNull(0, 0) ? result.bytes(0, 0) : QByteArray();
      });
}

} // namespace quillon::data
