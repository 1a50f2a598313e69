#include "data/drivers/SqliteDriver.h"

#include "data/DataError.h"
#include "data/drivers/sqlite/StatementCache.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <atomic>
#include <limits>

namespace quillon::data {

namespace {

const SqlDialect &sqlite() {
  return SqlDialect::of(Dialect::Sqlite);
}

QString quoteIdentifier(const QString &name) {
  return sqlite().quote(name);
}

QString errorOf(sqlite3 *db) {
  return QString::fromUtf8(sqlite3_errmsg(db));
}

// A prepared statement of its own, or one lent by a cache until done.
class Statement {
public:
  Statement(sqlite3 *db, const QString &sql) : db_(db) {
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt_, nullptr) != SQLITE_OK)
      throw DataError(errorOf(db));
  }
  Statement(StatementCache &cache, const QString &sql)
      : db_(cache.db()), cache_(&cache), text_(sql.toUtf8()), stmt_(cache.take(text_)) {}
  ~Statement() {
    if (cache_)
      cache_->giveBack(std::move(text_), stmt_);
    else
      sqlite3_finalize(stmt_);
  }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

  sqlite3_stmt *get() const { return stmt_; }

  // Steps once; true while a row is available.
  bool step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
      return true;
    if (rc == SQLITE_DONE)
      return false;
    throw DataError(errorOf(db_));
  }

  void bindText(int index, const QString &text) {
    const QByteArray bytes = text.toUtf8();
    check(sqlite3_bind_text64(stmt_, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                              SQLITE_TRANSIENT, SQLITE_UTF8));
  }

  void bindInt(int index, qint64 value) { check(sqlite3_bind_int64(stmt_, index, value)); }

  // Binds bytes that outlive the statement's run, without a copy.
  void bindHeld(int index, const QByteArray &bytes, bool text) {
    const auto size = sqlite3_uint64(bytes.size());
    check(text ? sqlite3_bind_text64(stmt_, index, bytes.constData(), size, SQLITE_STATIC,
                                     SQLITE_UTF8)
               : sqlite3_bind_blob64(stmt_, index, bytes.constData(), size, SQLITE_STATIC));
  }

  // Binds a cached value with the storage class it was read with, so that
  // comparisons match what the table holds.
  void bindValue(int index, const CellValue &value) {
    const QByteArray &data = value.data();
    switch (value.type()) {
    case CellValue::Type::Null:
      check(sqlite3_bind_null(stmt_, index));
      break;
    case CellValue::Type::Integer:
      bindInt(index, value.asInteger());
      break;
    case CellValue::Type::Real:
      check(sqlite3_bind_double(stmt_, index, value.asReal()));
      break;
    case CellValue::Type::Text:
      check(sqlite3_bind_text64(stmt_, index, data.constData(), sqlite3_uint64(data.size()),
                                SQLITE_TRANSIENT, SQLITE_UTF8));
      break;
    case CellValue::Type::Bytes:
      check(sqlite3_bind_blob64(stmt_, index, data.constData(), sqlite3_uint64(data.size()),
                                SQLITE_TRANSIENT));
      break;
    case CellValue::Type::Deferred:
      bindInt(index, value.size());
      break;
    }
  }

private:
  void check(int rc) {
    if (rc != SQLITE_OK)
      throw DataError(errorOf(db_));
  }

  sqlite3 *db_;
  StatementCache *cache_ = nullptr;
  QByteArray text_;
  sqlite3_stmt *stmt_ = nullptr;
};

// Runs a statement without results.
void run(sqlite3 *db, const char *sql) {
  char *message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const QString text = message ? QString::fromUtf8(message) : errorOf(db);
    sqlite3_free(message);
    throw DataError(text);
  }
}

// A transaction that rolls back unless committed; `nested` in one already
// open, a savepoint released or rolled back to instead.
class Transaction {
public:
  Transaction(StatementCache &statements, bool nested) : statements_(statements), nested_(nested) {
    Statement(statements_, QLatin1String(nested_ ? "SAVEPOINT quillon_write" : "BEGIN IMMEDIATE"))
        .step();
  }
  ~Transaction() {
    if (open_)
      sqlite3_exec(statements_.db(),
                   nested_ ? "ROLLBACK TO quillon_write; RELEASE quillon_write" : "ROLLBACK",
                   nullptr, nullptr, nullptr);
  }
  void commit() {
    Statement(statements_, QLatin1String(nested_ ? "RELEASE quillon_write" : "COMMIT")).step();
    open_ = false;
  }

private:
  StatementCache &statements_;
  bool nested_;
  bool open_ = true;
};

// The WHERE condition for a list of criteria, with `?` markers in order.
QString whereClause(const std::vector<Criterion> &criteria) {
  QStringList parts;
  for (const Criterion &c : criteria) {
    const QString column = quoteIdentifier(c.column.name);
    if (c.rowVersion)
      parts << sqlite().rowVersion() + QLatin1String(" = ?");
    else if (c.original.isNull())
      parts << column + QLatin1String(" IS NULL");
    else if (c.original.isDeferred())
      // A blob's length comes from its header: the old value is never read.
      parts << sqlite().valueLength(column, {}) + QLatin1String(" = ?");
    else
      parts << column + QLatin1String(" = ?");
  }
  return parts.isEmpty() ? QStringLiteral("1") : parts.join(QLatin1String(" AND "));
}

// Binds the criteria's values from `first` on; returns the next index.
int bindCriteria(Statement &statement, const std::vector<Criterion> &criteria, int first) {
  int index = first;
  for (const Criterion &c : criteria)
    if (!c.original.isNull())
      statement.bindValue(index++, c.original);
  return index;
}

// The rowids of the rows matching the criteria, at most two.
std::vector<sqlite3_int64> matchingRowids(StatementCache &statements, const QString &table,
                                          const std::vector<Criterion> &criteria) {
  Statement select(statements, QStringLiteral("SELECT rowid FROM %1 WHERE %2 LIMIT 2")
                                   .arg(quoteIdentifier(table), whereClause(criteria)));
  bindCriteria(select, criteria, 1);
  std::vector<sqlite3_int64> rowids;
  while (select.step())
    rowids.push_back(sqlite3_column_int64(select.get(), 0));
  return rowids;
}

qint64 countMatches(StatementCache &statements, const QString &table,
                    const std::vector<Criterion> &criteria) {
  Statement count(statements, QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
                                  .arg(quoteIdentifier(table), whereClause(criteria)));
  bindCriteria(count, criteria, 1);
  count.step();
  return sqlite3_column_int64(count.get(), 0);
}

sqlite3_int64 theOneRowid(StatementCache &statements, const QString &table,
                          const std::vector<Criterion> &criteria) {
  const std::vector<sqlite3_int64> rowids = matchingRowids(statements, table, criteria);
  if (rowids.empty())
    throw DataError(rowNotFoundMessage());
  if (rowids.size() > 1)
    throw DataError(rowNotUniqueMessage(table, countMatches(statements, table, criteria)));
  return rowids.front();
}

QByteArray readStream(ByteSource &source) {
  return readAll(source);
}

// Streams a value out of a blob handle of one row.
class BlobSource : public ByteSource {
public:
  BlobSource(sqlite3 *db, sqlite3_blob *blob) : db_(db), blob_(blob) {}
  ~BlobSource() override { sqlite3_blob_close(blob_); }
  qint64 size() const override { return sqlite3_blob_bytes(blob_); }
  qint64 read(char *buffer, qint64 max) override {
    const qint64 n = qMin(max, size() - position_);
    if (n <= 0)
      return 0;
    if (sqlite3_blob_read(blob_, buffer, int(n), int(position_)) != SQLITE_OK)
      throw DataError(errorOf(db_));
    position_ += n;
    return n;
  }

private:
  sqlite3 *db_;
  sqlite3_blob *blob_;
  qint64 position_ = 0;
};

// "rowid", "oid" or "_rowid_" where the table has no column of that name:
// the engine's own row number, which is no data.
bool isImplicitRowid(sqlite3 *db, const char *database, const QString &table,
                     const QString &column) {
  static const QStringList names = {"rowid", "oid", "_rowid_"};
  if (!names.contains(column, Qt::CaseInsensitive))
    return false;
  Statement declared(db, QStringLiteral("SELECT 1 FROM pragma_table_xinfo(?, ?) WHERE name = ? "
                                        "COLLATE NOCASE"));
  declared.bindText(1, table);
  declared.bindText(2, QString::fromUtf8(database ? database : "main"));
  declared.bindText(3, column);
  return !declared.step();
}

// Primary-key and rowid facts of a column that comes from a table.
void describeOrigin(sqlite3 *db, ColumnInfo &info, const char *database) {
  const QByteArray table = info.baseTable.toUtf8();
  const QByteArray column = info.baseColumn.toUtf8();
  const char *declared = nullptr;
  int primaryKey = 0;
  if (sqlite3_table_column_metadata(db, database, table.constData(), column.constData(), &declared,
                                    nullptr, nullptr, &primaryKey, nullptr) != SQLITE_OK)
    return;
  if (isImplicitRowid(db, database, info.baseTable, info.baseColumn)) {
    info.rowId = true;
    return;
  }
  // An INTEGER PRIMARY KEY is the rowid under another name: assigned by
  // the engine, like an identity column.
  if (declared && primaryKey &&
      QString::fromUtf8(declared).compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0) {
    info.autoIncrement = true;
    info.kind = FieldKind::ftAutoInc;
    info.updatable = false;
  }
}

// The kind of an expression without a declared type, from the value of the
// current row.
FieldKind kindFromValue(sqlite3_stmt *stmt, int column, int *width) {
  switch (sqlite3_column_type(stmt, column)) {
  case SQLITE_INTEGER:
    return FieldKind::ftLargeint;
  case SQLITE_FLOAT:
    return FieldKind::ftFloat;
  case SQLITE_BLOB:
    return FieldKind::ftBlob;
  default:
    *width = qMax(1, sqlite3_column_bytes(stmt, column));
    return FieldKind::ftString;
  }
}

// The columns of a prepared statement. An expression without a declared
// type takes its kind from the current row, where there is one (`onRow`):
// a string without one, and ftUnknown when the row is yet to come
// (`described`).
std::vector<ColumnInfo> describeStatement(sqlite3 *db, sqlite3_stmt *stmt, bool onRow,
                                          bool described = false) {
  std::vector<ColumnInfo> columns;
  const int count = sqlite3_column_count(stmt);
  for (int i = 0; i < count; ++i) {
    ColumnInfo info;
    info.name = QString::fromUtf8(sqlite3_column_name(stmt, i));
    const char *declared = sqlite3_column_decltype(stmt, i);
    const char *table = sqlite3_column_table_name(stmt, i);
    const char *origin = sqlite3_column_origin_name(stmt, i);
    info.typeName = QString::fromUtf8(declared);
    if (declared)
      info.kind = sqliteFieldKind(info.typeName, &info.displayWidth);
    else if (table && origin)
      info.kind = FieldKind::ftBlob; // a column without a type holds any bytes
    else if (onRow)
      info.kind = kindFromValue(stmt, i, &info.displayWidth);
    else
      info.kind = described ? FieldKind::ftUnknown : FieldKind::ftString;
    if (table && origin) {
      info.baseTable = QString::fromUtf8(table);
      info.baseColumn = QString::fromUtf8(origin);
      describeOrigin(db, info, sqlite3_column_database_name(stmt, i));
    } else {
      info.updatable = false;
    }
    columns.push_back(info);
  }
  return columns;
}

class SqliteResultSet : public ResultSet {
public:
  SqliteResultSet(sqlite3 *db, sqlite3_stmt *stmt) : db_(db), stmt_(stmt) {
    // The first row is fetched now: columns without a declared type take
    // their kind from it.
    peeked_ = stepOnce();
    columns_ = describeStatement(db_, stmt_, peeked_);
  }
  ~SqliteResultSet() override { sqlite3_finalize(stmt_); }

  const std::vector<ColumnInfo> &columns() const override { return columns_; }

  bool fetch() override {
    if (peeked_) {
      peeked_ = false;
      return onRow_ = true;
    }
    if (!onRow_)
      return false;
    return onRow_ = stepOnce();
  }

  CellValue value(int column, qint64 inlineLimit) override {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_NULL:
      return CellValue::null();
    case SQLITE_INTEGER:
      return CellValue::integer(sqlite3_column_int64(stmt_, column));
    case SQLITE_FLOAT: {
      const double v = sqlite3_column_double(stmt_, column);
      return CellValue::real(v, QByteArray::number(v, 'g', 17));
    }
    case SQLITE_TEXT: {
      const int size = sqlite3_column_bytes(stmt_, column);
      if (isLargeValueKind(columns_[size_t(column)].kind) && size > inlineLimit)
        return CellValue::deferred(size, true);
      const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
      return CellValue::text(QByteArray(text, size));
    }
    default: {
      const int size = sqlite3_column_bytes(stmt_, column);
      if (isLargeValueKind(columns_[size_t(column)].kind) && size > inlineLimit)
        return CellValue::deferred(size, false);
      const auto *blob = static_cast<const char *>(sqlite3_column_blob(stmt_, column));
      return CellValue::bytes(size == 0 ? QByteArray("") : QByteArray(blob, size));
    }
    }
  }

private:
  bool stepOnce() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
      return true;
    if (rc == SQLITE_DONE)
      return false;
    throw DataError(errorOf(db_));
  }

  sqlite3 *db_;
  sqlite3_stmt *stmt_;
  std::vector<ColumnInfo> columns_;
  bool peeked_ = false;
  bool onRow_ = true;
};

} // namespace

FieldKind sqliteFieldKind(const QString &declaredType, int *width) {
  static const QRegularExpression pattern(
      QStringLiteral(
          "^\\s*([a-z_][a-z0-9_ ]*?)\\s*(?:\\(\\s*(max|\\d+)\\s*(?:,\\s*\\d+\\s*)?\\))?\\s*$"),
      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = pattern.match(declaredType);
  const QString name = match.hasMatch() ? match.captured(1).toLower() : declaredType.toLower();
  const QString size = match.captured(2).toLower();
  const bool isMax = size == QLatin1String("max");
  const int length = size.toInt();
  int ignored = 0;
  int &declaredWidth = width ? *width : ignored;

  if (name == QLatin1String("image") || name == QLatin1String("blob"))
    return FieldKind::ftBlob;
  if (name == QLatin1String("varbinary"))
    return isMax || size.isEmpty() ? FieldKind::ftBlob : FieldKind::ftVarBytes;
  if (name == QLatin1String("binary") || name == QLatin1String("timestamp") ||
      name == QLatin1String("rowversion"))
    return FieldKind::ftBytes;
  if (name == QLatin1String("text") || name == QLatin1String("ntext") ||
      name == QLatin1String("xml") || name == QLatin1String("clob"))
    return FieldKind::ftMemo;
  if (name == QLatin1String("varchar") || name == QLatin1String("char") ||
      name == QLatin1String("character") || name == QLatin1String("varying character") ||
      name == QLatin1String("character varying") || name == QLatin1String("varchar2")) {
    if (isMax)
      return FieldKind::ftMemo;
    declaredWidth = size.isEmpty() ? 1 : length;
    return FieldKind::ftString;
  }
  if (name == QLatin1String("nvarchar") || name == QLatin1String("nchar") ||
      name == QLatin1String("native character") || name == QLatin1String("sysname") ||
      name == QLatin1String("nvarchar2") || name == QLatin1String("national character varying")) {
    if (isMax)
      return FieldKind::ftMemo;
    declaredWidth = name == QLatin1String("sysname") ? 128 : size.isEmpty() ? 1 : length;
    return FieldKind::ftWideString;
  }
  if (name == QLatin1String("int") || name == QLatin1String("integer") ||
      name == QLatin1String("mediumint"))
    return FieldKind::ftInteger;
  if (name == QLatin1String("smallint") || name == QLatin1String("int2"))
    return FieldKind::ftSmallint;
  if (name == QLatin1String("tinyint"))
    return FieldKind::ftWord;
  if (name == QLatin1String("bigint") || name == QLatin1String("int8"))
    return FieldKind::ftLargeint;
  if (name == QLatin1String("bit") || name == QLatin1String("boolean") ||
      name == QLatin1String("bool"))
    return FieldKind::ftBoolean;
  if (name == QLatin1String("real") || name == QLatin1String("float") ||
      name == QLatin1String("double") || name == QLatin1String("double precision"))
    return FieldKind::ftFloat;
  if (name == QLatin1String("decimal") || name == QLatin1String("numeric") ||
      name == QLatin1String("money") || name == QLatin1String("smallmoney"))
    return FieldKind::ftBCD;
  if (name == QLatin1String("date"))
    return FieldKind::ftDate;
  if (name == QLatin1String("time"))
    return FieldKind::ftTime;
  if (name == QLatin1String("datetime") || name == QLatin1String("datetime2") ||
      name == QLatin1String("smalldatetime") || name == QLatin1String("datetimeoffset"))
    return FieldKind::ftDateTime;
  if (name == QLatin1String("uniqueidentifier"))
    return FieldKind::ftGuid;
  if (name == QLatin1String("sql_variant"))
    return FieldKind::ftVariant;

  // Names that say the column holds text, though SQLite gives them numeric
  // affinity.
  static const QStringList textual = {"json",   "jsonb", "string", "uuid", "guid", "enum",
                                      "citext", "set",   "name",   "str",  "url"};
  if (textual.contains(name))
    return FieldKind::ftMemo;
  static const QStringList numeric = {"num", "number", "dec", "fixed"};
  if (numeric.contains(name))
    return FieldKind::ftBCD;

  // Anything else follows SQLite's own affinity rules, except that a name
  // that says nothing of its content holds any bytes, as no type does.
  if (name.contains(QLatin1String("int")))
    return FieldKind::ftLargeint;
  if (name.contains(QLatin1String("char")) || name.contains(QLatin1String("clob")) ||
      name.contains(QLatin1String("text")))
    return FieldKind::ftMemo;
  if (name.contains(QLatin1String("real")) || name.contains(QLatin1String("floa")) ||
      name.contains(QLatin1String("doub")))
    return FieldKind::ftFloat;
  return FieldKind::ftBlob;
}

namespace {

// quillon_data_version(): the connection's serial number and its
// PRAGMA data_version, which changes whenever another connection commits
// and never for this connection's own commits; read within a statement, it
// is that of the statement's transaction.
void dataVersionFunction(sqlite3_context *context, int, sqlite3_value **) {
  sqlite3 *db = sqlite3_context_db_handle(context);
  sqlite3_stmt *pragma = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &pragma, nullptr) != SQLITE_OK ||
      sqlite3_step(pragma) != SQLITE_ROW) {
    sqlite3_finalize(pragma);
    sqlite3_result_error(context, "quillon_data_version: PRAGMA data_version failed", -1);
    return;
  }
  const auto serial = reinterpret_cast<quintptr>(sqlite3_user_data(context));
  const QByteArray version =
      QByteArray::number(serial) + '.' + QByteArray::number(sqlite3_column_int64(pragma, 0));
  sqlite3_finalize(pragma);
  sqlite3_result_text(context, version.constData(), int(version.size()), SQLITE_TRANSIENT);
}

} // namespace

std::unique_ptr<Driver> SqliteDriver::connect(const ConnectionSettings &settings) {
  const QString &path = settings.sqliteFile;
  if (!QFileInfo(path).isFile())
    throw DataError(QStringLiteral("SQLite database file not found: %1").arg(path));
  sqlite3 *db = nullptr;
  const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const QString message = db ? errorOf(db) : QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_close(db);
    throw DataError(QStringLiteral("%1: %2").arg(path, message));
  }
  std::unique_ptr<SqliteDriver> driver(new SqliteDriver(db));
  sqlite3_busy_timeout(db, settings.commandTimeoutSeconds * 1000);
  sqlite3_extended_result_codes(db, 1);
  static std::atomic<quintptr> connections{0};
  sqlite3_create_function_v2(db, "quillon_data_version", 0, SQLITE_UTF8,
                             reinterpret_cast<void *>(++connections), dataVersionFunction, nullptr,
                             nullptr, nullptr);
  // Reading the schema proves the file is a database.
  run(db, "SELECT count(*) FROM sqlite_master");
  return driver;
}

SqliteDriver::SqliteDriver(sqlite3 *db)
    : db_(db), statements_(std::make_unique<StatementCache>(db)) {}

SqliteDriver::~SqliteDriver() {
  statements_.reset(); // finalized before the connection closes
  sqlite3_close_v2(db_);
}

QString SqliteDriver::defaultDatabase() {
  return QStringLiteral("main");
}

std::optional<std::vector<ColumnInfo>> SqliteDriver::describe(const QString &sql) {
  const QByteArray text = sql.toUtf8();
  sqlite3_stmt *stmt = nullptr;
  if (sqlite3_prepare_v2(db_, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
    throw DataError(errorOf(db_));
  if (!stmt)
    return std::nullopt;
  std::vector<ColumnInfo> columns = describeStatement(db_, stmt, false, true);
  sqlite3_finalize(stmt);
  return columns;
}

qint64 SqliteDriver::largestValue() const {
  return sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, -1);
}

std::unique_ptr<ResultSet> SqliteDriver::execute(const QString &sql) {
  const QByteArray text = sql.toUtf8();
  const char *tail = text.constData();
  const char *end = tail + text.size();
  while (tail < end) {
    sqlite3_stmt *stmt = nullptr;
    const char *next = nullptr;
    if (sqlite3_prepare_v2(db_, tail, int(end - tail), &stmt, &next) != SQLITE_OK)
      throw DataError(errorOf(db_));
    tail = next;
    if (!stmt)
      continue; // blank text or a comment
    if (sqlite3_bind_parameter_count(stmt) > 0) {
      sqlite3_finalize(stmt);
      throw DataError(QStringLiteral("No value given for one or more required parameters."));
    }
    if (sqlite3_column_count(stmt) > 0) {
      try {
        return std::make_unique<SqliteResultSet>(db_, stmt);
      } catch (...) {
        sqlite3_finalize(stmt); // the result set never took it over
        throw;
      }
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
      throw DataError(errorOf(db_));
  }
  return nullptr;
}

QStringList SqliteDriver::keyColumns(const QString &table) {
  QStringList primary;
  {
    Statement info(*statements_,
                   QStringLiteral("SELECT name, pk FROM pragma_table_info(?) WHERE pk > 0 "
                                  "ORDER BY pk"));
    info.bindText(1, table);
    while (info.step())
      primary << QString::fromUtf8(
          reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 0)));
  }
  if (!primary.isEmpty())
    return primary;

  // Otherwise the first full unique index over columns that cannot be NULL.
  Statement indexes(*statements_,
                    QStringLiteral("SELECT name FROM pragma_index_list(?) "
                                   "WHERE \"unique\" = 1 AND partial = 0 ORDER BY seq"));
  indexes.bindText(1, table);
  while (indexes.step()) {
    const QString index =
        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(indexes.get(), 0)));
    Statement columns(*statements_, QStringLiteral("SELECT ii.name, ti.\"notnull\" FROM "
                                                   "pragma_index_info(?) ii LEFT JOIN "
                                                   "pragma_table_info(?) ti ON ti.name = ii.name "
                                                   "ORDER BY ii.seqno"));
    columns.bindText(1, index);
    columns.bindText(2, table);
    QStringList names;
    bool usable = true;
    while (columns.step()) {
      const auto *name = reinterpret_cast<const char *>(sqlite3_column_text(columns.get(), 0));
      if (!name || sqlite3_column_int(columns.get(), 1) == 0)
        usable = false; // an expression or a nullable column
      else
        names << QString::fromUtf8(name);
    }
    if (usable && !names.isEmpty())
      return names;
  }
  return {};
}

QStringList SqliteDriver::readOnlyColumns(const QString &table) {
  Statement generated(*statements_, sqlite().readOnlyColumnsStatement());
  generated.bindText(1, table);
  QStringList columns;
  while (generated.step())
    columns << QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_column_text(generated.get(), 0)));
  return columns;
}

bool SqliteDriver::hasRowid(const QString &table) {
  // Within a write group the schema cannot change under the open
  // transaction's write lock, so the answer is kept for its rows.
  if (const auto known = groupRowids_.find(table); grouped_ && known != groupRowids_.end())
    return known->second;
  Statement probe(*statements_, QStringLiteral("SELECT \"wr\" FROM pragma_table_list(?)"));
  probe.bindText(1, table);
  const bool rowid = probe.step() && sqlite3_column_int(probe.get(), 0) == 0;
  if (grouped_)
    groupRowids_[table] = rowid;
  return rowid;
}

QByteArray SqliteDriver::updateRow(const RowUpdate &update) {
  if (update.assignments.empty())
    return {};
  Transaction transaction(*statements_, grouped_);
  const bool rowid = hasRowid(update.table);

  // A blob larger than a chunk goes through a blob handle, so that only a
  // chunk of it is ever in memory; a smaller one is bound whole, which
  // writes its pages once rather than as zeros first.
  const auto throughHandle = [rowid](const Assignment &a) {
    return a.stream && rowid && a.column.kind != FieldKind::ftMemo &&
           a.stream->size() > kTransferChunk;
  };
  QStringList sets;
  for (const Assignment &a : update.assignments)
    sets << quoteIdentifier(a.column.name) +
                (throughHandle(a) ? QLatin1String(" = zeroblob(?)") : QLatin1String(" = ?"));

  sqlite3_int64 target = 0;
  QString where;
  if (rowid) {
    target = theOneRowid(*statements_, update.table, update.criteria);
    where = QStringLiteral("rowid = ?");
  } else {
    where = whereClause(update.criteria);
  }

  // Values bound whole, kept until the statement is done with them so that
  // SQLite need not copy them.
  std::vector<QByteArray> held;
  held.reserve(update.assignments.size());
  Statement statement(
      *statements_, QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                        .arg(quoteIdentifier(update.table), sets.join(QLatin1String(", ")), where));
  int index = 1;
  for (const Assignment &a : update.assignments) {
    if (!a.stream) {
      statement.bindValue(index++, a.value);
    } else if (throughHandle(a)) {
      statement.bindInt(index++, a.stream->size());
    } else {
      // Text cannot be written through a blob handle without turning it
      // into a blob, so text values are bound whole; so are small blobs.
      held.push_back(readStream(*a.stream));
      statement.bindHeld(index++, held.back(), a.column.kind == FieldKind::ftMemo);
    }
  }
  if (rowid)
    statement.bindInt(index, target);
  else
    bindCriteria(statement, update.criteria, index);
  try {
    statement.step();
  } catch (const DataError &) {
    // The length limit holds for the whole row: its other columns take
    // their share of it.
    if (sqlite3_errcode(db_) == SQLITE_TOOBIG)
      throw DataError(QStringLiteral("The row would be longer than SQLite's length limit of %1 "
                                     "bytes: the new value and the row's other columns do not "
                                     "fit in it")
                          .arg(largestValue()));
    throw;
  }
  const int changed = sqlite3_changes(db_);
  if (changed == 0)
    throw DataError(rowNotFoundMessage());
  if (changed > 1)
    throw DataError(rowNotUniqueMessage(update.table, changed));

  if (rowid) {
    const QByteArray table = update.table.toUtf8();
    std::vector<char> chunk;
    for (const Assignment &a : update.assignments) {
      if (!throughHandle(a))
        continue;
      sqlite3_blob *blob = nullptr;
      const QByteArray column = a.column.name.toUtf8();
      if (sqlite3_blob_open(db_, "main", table.constData(), column.constData(), target, 1, &blob) !=
          SQLITE_OK)
        throw DataError(errorOf(db_));
      BlobSource guard(db_, blob); // closes the handle
      chunk.resize(size_t(kTransferChunk));
      qint64 offset = 0;
      const qint64 total = a.stream->size();
      while (offset < total) {
        const qint64 n = a.stream->read(chunk.data(), qMin(kTransferChunk, total - offset));
        if (n <= 0)
          throw DataError(QStringLiteral("The new value of %1 ended after %2 of %3 bytes")
                              .arg(a.column.name)
                              .arg(offset)
                              .arg(total));
        if (sqlite3_blob_write(blob, chunk.data(), int(n), int(offset)) != SQLITE_OK)
          throw DataError(errorOf(db_));
        offset += n;
      }
    }
  }
  QByteArray version;
  if (!update.keyAfter.empty()) {
    // The connection's own commit leaves its data version as it is.
    Statement select(*statements_, QStringLiteral("SELECT %1").arg(sqlite().rowVersion()));
    if (select.step())
      version = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(select.get(), 0)));
  }
  if (update.beforeCommit)
    update.beforeCommit();
  transaction.commit();
  return version;
}

void SqliteDriver::beginWriteGroup() {
  if (grouped_)
    return;
  run(db_, "BEGIN IMMEDIATE");
  grouped_ = true;
}

void SqliteDriver::endWriteGroup() {
  if (!grouped_)
    return;
  grouped_ = false;
  groupRowids_.clear();
  run(db_, "COMMIT");
}

void SqliteDriver::interrupt() {
  sqlite3_interrupt(db_);
}

std::unique_ptr<ByteSource> SqliteDriver::readValue(const QString &table, const ColumnRef &column,
                                                    const std::vector<Criterion> &criteria) {
  if (!hasRowid(table)) {
    Statement select(*statements_, QStringLiteral("SELECT %1 FROM %2 WHERE %3 LIMIT 2")
                                       .arg(quoteIdentifier(column.name), quoteIdentifier(table),
                                            whereClause(criteria)));
    bindCriteria(select, criteria, 1);
    if (!select.step())
      throw DataError(rowNotFoundMessage());
    const auto *data = static_cast<const char *>(sqlite3_column_blob(select.get(), 0));
    QByteArray bytes(data, sqlite3_column_bytes(select.get(), 0));
    if (select.step())
      throw DataError(rowNotUniqueMessage(table, countMatches(*statements_, table, criteria)));
    return std::make_unique<MemoryByteSource>(bytes);
  }

  const sqlite3_int64 rowid = theOneRowid(*statements_, table, criteria);
  {
    // A blob handle cannot be opened on NULL.
    Statement type(*statements_, QStringLiteral("SELECT typeof(%1) FROM %2 WHERE rowid = ?")
                                     .arg(quoteIdentifier(column.name), quoteIdentifier(table)));
    type.bindInt(1, rowid);
    if (type.step() &&
        qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(type.get(), 0)), "null") == 0)
      return std::make_unique<MemoryByteSource>(QByteArray());
  }
  sqlite3_blob *blob = nullptr;
  const QByteArray tableName = table.toUtf8();
  const QByteArray columnName = column.name.toUtf8();
  if (sqlite3_blob_open(db_, "main", tableName.constData(), columnName.constData(), rowid, 0,
                        &blob) != SQLITE_OK) {
    sqlite3_blob_close(blob);
    throw DataError(errorOf(db_));
  }
  return std::make_unique<BlobSource>(db_, blob);
}

} // namespace quillon::data
