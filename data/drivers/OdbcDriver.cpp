#include "data/drivers/OdbcDriver.h"

#include "data/DataError.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace quillon::data {

namespace {

// SQL Server's own type codes (msodbcsql's sqlncli.h; FreeTDS uses the same).
constexpr SQLSMALLINT kSqlSsVariant = -150;
constexpr SQLSMALLINT kSqlSsXml = -152;
constexpr SQLSMALLINT kSqlSsTime2 = -154;
constexpr SQLSMALLINT kSqlSsTimestampOffset = -155;

// psqlodbc's own connection attribute for its "UseDeclareFetch" option:
// results are read through a cursor, a hundred rows at a time.
constexpr SQLINTEGER kPsqlodbcUseCursors = 65539;

// The longest value SQL Server keeps in a non-(max) column, in bytes.
constexpr SQLULEN kMaxShortBytes = 8000;

// Small values are read with a buffer this large first.
constexpr qint64 kFirstPiece = 256;

// Text chunks are read into buffers prefilled with this byte: the bytes
// the driver did not write keep it, so its terminator is the last byte that
// differs, whatever the text holds.
constexpr char kUnwritten = char(0xFF);

// What a statement with parameter markers but no values is told.
const char *const kMissingParameters = "No value given for one or more required parameters.";

QString fromSql(const SQLCHAR *text) {
  return QString::fromUtf8(reinterpret_cast<const char *>(text));
}

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

// One connection of the driver manager with its own environment. Statements
// share it, so it lives until the last of them is gone.
struct Link {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  bool connected = false;
  int commandTimeout = 0;
  // Statements whose results are still being read.
  int pending = 0;

  Link() = default;
  Link(const Link &) = delete;
  Link &operator=(const Link &) = delete;
  ~Link() {
    if (connected)
      SQLDisconnect(dbc);
    if (dbc)
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env)
      SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

// Marks a link as having a result open while it lives.
class PendingMark {
public:
  explicit PendingMark(Link &link) : link_(&link) { ++link_->pending; }
  ~PendingMark() { release(); }
  PendingMark(const PendingMark &) = delete;
  PendingMark &operator=(const PendingMark &) = delete;
  void release() {
    if (link_)
      --link_->pending;
    link_ = nullptr;
  }

private:
  Link *link_;
};

// A statement handle on a link.
class Statement {
public:
  explicit Statement(std::shared_ptr<Link> link) : link_(std::move(link)) {
    checkCall(SQLAllocHandle(SQL_HANDLE_STMT, link_->dbc, &handle_), SQL_HANDLE_DBC, link_->dbc,
              "SQLAllocHandle");
    if (link_->commandTimeout > 0)
      // Drivers without timeouts refuse the attribute; the statement still runs.
      SQLSetStmtAttr(handle_, SQL_ATTR_QUERY_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(SQLULEN(link_->commandTimeout)), 0);
  }
  ~Statement() {
    if (!SQL_SUCCEEDED(SQLFreeHandle(SQL_HANDLE_STMT, handle_))) {
      // A statement still waiting for parameter data is let go first.
      SQLCancel(handle_);
      SQLFreeHandle(SQL_HANDLE_STMT, handle_);
    }
  }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

  SQLHSTMT handle() const { return handle_; }
  Link &link() const { return *link_; }

  void check(SQLRETURN rc, const char *call) const {
    checkCall(rc, SQL_HANDLE_STMT, handle_, call);
  }

  // Advances the cursor; false after the last row.
  bool fetch() {
    const SQLRETURN rc = SQLFetch(handle_);
    if (rc == SQL_NO_DATA)
      return false;
    check(rc, "SQLFetch");
    return true;
  }

  // Ends the statement's results so that the connection is free again.
  void close() { SQLFreeStmt(handle_, SQL_CLOSE); }

private:
  std::shared_ptr<Link> link_;
  SQLHSTMT handle_ = nullptr;
};

// What one SQLGetData call delivered.
struct Piece {
  enum Kind { Data, Null, End } kind = End;
  qint64 count = 0;  // bytes written to the buffer
  bool more = false; // the value goes on
};

// Where the driver put the terminator of a text chunk in a prefilled buffer.
qint64 terminatorAt(const char *buffer, qint64 capacity) {
  for (qint64 i = capacity - 1; i >= 0; --i) {
    if (buffer[i] == kUnwritten)
      continue;
    return buffer[i] == 0 ? i : capacity - 1;
  }
  return capacity - 1;
}

// Reads the next part of a column value of the current row: text as the
// driver's 8-bit text (SQL_C_CHAR), anything else as bytes. `capacity`
// includes the room of a text terminator.
Piece getPiece(const Statement &statement, SQLUSMALLINT column, bool textual, char *buffer,
               qint64 capacity) {
  if (textual)
    std::memset(buffer, kUnwritten, size_t(capacity));
  SQLLEN indicator = 0;
  const SQLRETURN rc = SQLGetData(statement.handle(), column, textual ? SQL_C_CHAR : SQL_C_BINARY,
                                  buffer, SQLLEN(capacity), &indicator);
  if (rc == SQL_NO_DATA)
    return {};
  statement.check(rc, "SQLGetData");
  if (indicator == SQL_NULL_DATA)
    return {Piece::Null, 0, false};
  const qint64 room = textual ? capacity - 1 : capacity;
  const bool truncated =
      rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator > room);
  if (!truncated) {
    const qint64 count = indicator == SQL_NO_TOTAL
                             ? (textual ? terminatorAt(buffer, capacity) : room)
                             : qMin(qint64(indicator), room);
    return {Piece::Data, count, false};
  }
  // A driver that converts text may stop short of a character that does not
  // fit; the terminator tells how far it got.
  return {Piece::Data, textual ? terminatorAt(buffer, capacity) : capacity, true};
}

// The size of a column value of the current row, asked without reading it.
struct Probe {
  enum Kind { Null, Empty, Known, Unknown } kind = Unknown;
  qint64 size = 0;
};

Probe probe(const Statement &statement, SQLUSMALLINT column, bool textual) {
  char dummy[1];
  SQLLEN indicator = 0;
  const SQLRETURN rc = SQLGetData(statement.handle(), column, textual ? SQL_C_CHAR : SQL_C_BINARY,
                                  dummy, 0, &indicator);
  if (rc == SQL_NO_DATA)
    return {Probe::Empty, 0};
  statement.check(rc, "SQLGetData");
  if (indicator == SQL_NULL_DATA)
    return {Probe::Null, 0};
  if (indicator == SQL_NO_TOTAL)
    return {Probe::Unknown, 0};
  if (indicator == 0)
    return {Probe::Empty, 0};
  return {Probe::Known, qint64(indicator)};
}

// Reads what is left of a column value; nullopt for NULL. `expected` sizes
// the buffer when the length is known.
std::optional<QByteArray> readRest(const Statement &statement, SQLUSMALLINT column, bool textual,
                                   qint64 expected = -1) {
  QByteArray value;
  if (expected > 0)
    value.reserve(expected);
  qint64 room = expected > 0 ? qMin(expected, kTransferChunk) : kFirstPiece;
  std::vector<char> buffer;
  bool first = true;
  for (;;) {
    buffer.resize(size_t(room + (textual ? 1 : 0)));
    const Piece piece = getPiece(statement, column, textual, buffer.data(), qint64(buffer.size()));
    if (piece.kind == Piece::Null && first)
      return std::nullopt;
    first = false;
    if (piece.kind != Piece::Data)
      break;
    value.append(buffer.data(), piece.count);
    if (!piece.more)
      break;
    room = qMin(room * 4, kTransferChunk);
  }
  return value;
}

bool isBinaryType(SQLSMALLINT sqlType) {
  return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

bool isBinaryKind(FieldKind kind) {
  return kind == FieldKind::ftBytes || kind == FieldKind::ftVarBytes || kind == FieldKind::ftBlob ||
         kind == FieldKind::ftGraphic;
}

bool isIntegerKind(FieldKind kind) {
  switch (kind) {
  case FieldKind::ftSmallint:
  case FieldKind::ftInteger:
  case FieldKind::ftWord:
  case FieldKind::ftAutoInc:
  case FieldKind::ftLargeint:
  case FieldKind::ftBoolean:
    return true;
  default:
    return false;
  }
}

// SQL Server's Unicode text types: their values go to the server as such.
bool isWideTypeName(const QString &typeName) {
  const QString name = typeName.toLower();
  return name.startsWith(QLatin1String("nvarchar")) || name.startsWith(QLatin1String("nchar")) ||
         name == QLatin1String("ntext") || name == QLatin1String("xml") ||
         name == QLatin1String("sysname");
}

// PostgreSQL's system columns identify a row version, they are no data.
bool isPostgresRowId(const QString &column, const QString &typeName) {
  static const QStringList systemColumns = {"ctid", "xmin", "xmax", "cmin", "cmax", "tableoid"};
  return systemColumns.contains(column) ||
         (column == QLatin1String("oid") && typeName == QLatin1String("oid"));
}

} // namespace

FieldKind odbcFieldKind(SQLSMALLINT sqlType, SQLULEN columnSize, bool isUnsigned,
                        bool autoIncrement, const QString &typeName, const SqlDialect &dialect) {
  const QString name = typeName.toLower();
  // Type names settle what the codes leave open.
  if (name == QLatin1String("money") || name == QLatin1String("smallmoney"))
    return FieldKind::ftBCD;
  if (name == QLatin1String("text") || name == QLatin1String("ntext") ||
      name == QLatin1String("xml"))
    return FieldKind::ftMemo;
  if (name == QLatin1String("image"))
    return FieldKind::ftBlob;

  // Columns longer than the engine's longest bounded text are its
  // unbounded ones: SQL Server's (max), PostgreSQL's varchar, json, arrays.
  const qint64 longest = dialect.longestBoundedText();
  const bool unbounded = columnSize == 0 || qint64(columnSize) > longest;
  switch (sqlType) {
  case SQL_CHAR:
  case SQL_VARCHAR:
    return unbounded ? FieldKind::ftMemo : FieldKind::ftString;
  case SQL_WCHAR:
  case SQL_WVARCHAR:
    // SQL Server counts the bytes of two-byte characters.
    return columnSize == 0 || qint64(columnSize) >
                                  (dialect.engine() == Dialect::PostgreSql ? longest : longest / 2)
               ? FieldKind::ftMemo
               : FieldKind::ftWideString;
  case SQL_LONGVARCHAR:
  case SQL_WLONGVARCHAR:
  case kSqlSsXml:
    return FieldKind::ftMemo;
  case SQL_LONGVARBINARY:
    return FieldKind::ftBlob;
  case SQL_BINARY:
    return unbounded ? FieldKind::ftBlob : FieldKind::ftBytes;
  case SQL_VARBINARY:
    return unbounded ? FieldKind::ftBlob : FieldKind::ftVarBytes;
  case SQL_INTEGER:
    if (autoIncrement)
      return FieldKind::ftAutoInc;
    return isUnsigned ? FieldKind::ftLargeint : FieldKind::ftInteger;
  case SQL_SMALLINT:
    return isUnsigned ? FieldKind::ftWord : FieldKind::ftSmallint;
  case SQL_TINYINT:
    return FieldKind::ftWord;
  case SQL_BIGINT:
    return FieldKind::ftLargeint;
  case SQL_BIT:
    return FieldKind::ftBoolean;
  case SQL_REAL:
  case SQL_FLOAT:
  case SQL_DOUBLE:
    return FieldKind::ftFloat;
  case SQL_DECIMAL:
  case SQL_NUMERIC:
    return FieldKind::ftBCD;
  case SQL_TYPE_DATE:
    return FieldKind::ftDate;
  case SQL_DATETIME: // also ODBC 2's SQL_DATE: the name tells which
    return name.contains(QLatin1String("time")) ? FieldKind::ftDateTime : FieldKind::ftDate;
  case SQL_TIME:
  case SQL_TYPE_TIME:
  case kSqlSsTime2:
    return FieldKind::ftTime;
  case SQL_TIMESTAMP:
  case SQL_TYPE_TIMESTAMP:
  case kSqlSsTimestampOffset:
    return FieldKind::ftDateTime;
  case SQL_GUID:
    return FieldKind::ftGuid;
  case kSqlSsVariant:
    return FieldKind::ftVariant;
  default:
    return FieldKind::ftUnknown;
  }
}

namespace {

// Opens one connection without prompting.
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

// One SQLBindParameter's worth of a value; the bytes stay here until the
// statement has run.
struct Parameter {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLSMALLINT sqlType = SQL_VARCHAR;
  QByteArray bytes;
  qint64 integer = 0;
  SQLLEN indicator = 0;
  std::shared_ptr<ByteSource> stream; // sent at execution
};

// The parameters of one statement, bound in the order they were added.
class Parameters {
public:
  explicit Parameters(Dialect dialect) : dialect_(dialect) {}

  void addValue(const ColumnRef &column, const CellValue &value) {
    Parameter p = typed(column, value.size());
    switch (value.type()) {
    case CellValue::Type::Null:
      p.indicator = SQL_NULL_DATA;
      break;
    case CellValue::Type::Deferred:
      throw DataError(QStringLiteral("The value of %1 is not in memory").arg(column.name));
    default:
      p.bytes = value.data();
      p.indicator = SQLLEN(p.bytes.size());
      break;
    }
    list_.push_back(std::move(p));
  }

  void addLength(qint64 length) {
    Parameter p;
    p.cType = SQL_C_SBIGINT;
    p.sqlType = SQL_BIGINT;
    p.integer = length;
    list_.push_back(std::move(p));
  }

  void addStream(const ColumnRef &column, std::shared_ptr<ByteSource> stream) {
    Parameter p = typed(column, stream->size());
    p.indicator = SQL_LEN_DATA_AT_EXEC(SQLLEN(stream->size()));
    p.stream = std::move(stream);
    list_.push_back(std::move(p));
  }

  void bind(const Statement &statement) {
    static char empty = 0;
    for (size_t i = 0; i < list_.size(); ++i) {
      Parameter &p = list_[i];
      SQLPOINTER data;
      SQLULEN size;
      if (p.cType == SQL_C_SBIGINT) {
        data = &p.integer;
        size = 0;
      } else if (p.stream) {
        data = reinterpret_cast<SQLPOINTER>(i + 1); // the token SQLParamData returns
        size = SQLULEN(qMax<qint64>(p.stream->size(), 1));
      } else {
        data = p.bytes.isEmpty() ? static_cast<SQLPOINTER>(&empty) : p.bytes.data();
        size = SQLULEN(qMax<qsizetype>(p.bytes.size(), 1));
      }
      statement.check(SQLBindParameter(statement.handle(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT,
                                       p.cType, p.sqlType, size, 0, data, 0, &p.indicator),
                      "SQLBindParameter");
    }
  }

  // Sends the streamed values the driver asks for after SQLExecDirect
  // returned SQL_NEED_DATA; returns the statement's own result.
  SQLRETURN sendStreams(const Statement &statement) {
    std::vector<char> chunk;
    for (;;) {
      SQLPOINTER token = nullptr;
      const SQLRETURN rc = SQLParamData(statement.handle(), &token);
      if (rc != SQL_NEED_DATA)
        return rc;
      const size_t index = reinterpret_cast<size_t>(token) - 1;
      if (index >= list_.size() || !list_[index].stream)
        throw DataError(QStringLiteral("The ODBC driver asked for an unknown parameter"));
      send(statement, list_[index], chunk);
    }
  }

private:
  // The C and SQL types a column's values travel as.
  Parameter typed(const ColumnRef &column, qint64 size) const {
    Parameter p;
    const bool large = isLargeValueKind(column.kind) || size > qint64(kMaxShortBytes);
    if (isBinaryKind(column.kind)) {
      p.cType = SQL_C_BINARY;
      p.sqlType = large ? SQL_LONGVARBINARY : SQL_VARBINARY;
    } else if (dialect_ == Dialect::SqlServer &&
               (column.kind == FieldKind::ftWideString || isWideTypeName(column.typeName))) {
      // The driver turns the 8-bit text into UTF-16, so no character is lost
      // to the server's code page.
      p.sqlType = large ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
    } else {
      p.sqlType = large ? SQL_LONGVARCHAR : SQL_VARCHAR;
    }
    return p;
  }

  static void send(const Statement &statement, Parameter &p, std::vector<char> &chunk) {
    const bool textual = p.cType == SQL_C_CHAR;
    const qint64 total = p.stream->size();
    chunk.resize(size_t(kTransferChunk));
    qint64 sent = 0;
    qint64 held = 0; // bytes of an unfinished character kept for the next chunk
    while (sent < total) {
      const qint64 n =
          p.stream->read(chunk.data() + held, qMin(kTransferChunk - held, total - sent - held));
      if (n <= 0)
        throw DataError(
            QStringLiteral("The new value ended after %1 of %2 bytes").arg(sent + held).arg(total));
      qint64 ready = held + n;
      held = 0;
      if (textual && sent + ready < total) {
        // Drivers that convert text take each piece as whole characters.
        const qint64 cut = utf8Boundary(chunk.data(), ready);
        held = ready - cut;
        ready = cut;
      }
      if (ready > 0)
        statement.check(SQLPutData(statement.handle(), chunk.data(), SQLLEN(ready)), "SQLPutData");
      sent += ready;
      if (held > 0)
        std::memmove(chunk.data(), chunk.data() + ready, size_t(held));
    }
  }

  // The end of the last whole UTF-8 character in `data`.
  static qint64 utf8Boundary(const char *data, qint64 size) {
    for (qint64 back = 1; back <= 4 && back <= size; ++back) {
      const auto byte = quint8(data[size - back]);
      if ((byte & 0xC0) == 0x80)
        continue; // a continuation byte
      const qint64 length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return length > back ? size - back : size;
    }
    return size;
  }

  Dialect dialect_;
  std::vector<Parameter> list_;
};

// A transaction on a link: autocommit off until committed or rolled back.
class Transaction {
public:
  explicit Transaction(Link &link) : link_(link) {
    checkCall(SQLSetConnectAttr(link_.dbc, SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, link_.dbc, "SQLSetConnectAttr");
  }
  ~Transaction() {
    if (open_)
      SQLEndTran(SQL_HANDLE_DBC, link_.dbc, SQL_ROLLBACK);
    SQLSetConnectAttr(link_.dbc, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  }
  Transaction(const Transaction &) = delete;
  Transaction &operator=(const Transaction &) = delete;

  void commit() {
    checkCall(SQLEndTran(SQL_HANDLE_DBC, link_.dbc, SQL_COMMIT), SQL_HANDLE_DBC, link_.dbc,
              "SQLEndTran");
    open_ = false;
  }

private:
  Link &link_;
  bool open_ = true;
};

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

// Streams the value of one column of the one row a statement selected.
class ColumnSource : public ByteSource {
public:
  ColumnSource(std::unique_ptr<Statement> statement, bool textual, qint64 size)
      : statement_(std::move(statement)), mark_(statement_->link()), textual_(textual),
        size_(size) {}

  qint64 size() const override { return size_; }

  qint64 read(char *buffer, qint64 max) override {
    qint64 done = 0;
    while (done < max && delivered_ < size_) {
      if (offset_ == qint64(chunk_.size()) && !refill())
        break;
      const qint64 n = std::min({max - done, qint64(chunk_.size()) - offset_, size_ - delivered_});
      std::memcpy(buffer + done, chunk_.data() + offset_, size_t(n));
      offset_ += n;
      done += n;
      delivered_ += n;
    }
    if (delivered_ >= size_ || ended_)
      finish();
    return done;
  }

private:
  bool refill() {
    if (ended_)
      return false;
    std::vector<char> buffer(size_t(kTransferChunk + (textual_ ? 1 : 0)));
    const Piece piece = getPiece(*statement_, 1, textual_, buffer.data(), qint64(buffer.size()));
    if (piece.kind != Piece::Data || piece.count == 0) {
      ended_ = true;
      return false;
    }
    buffer.resize(size_t(piece.count));
    chunk_ = std::move(buffer);
    offset_ = 0;
    ended_ = !piece.more;
    return true;
  }

  void finish() {
    if (offset_ < qint64(chunk_.size()))
      return;
    statement_->close();
    mark_.release();
  }

  std::unique_ptr<Statement> statement_;
  PendingMark mark_;
  bool textual_;
  qint64 size_;
  qint64 delivered_ = 0;
  std::vector<char> chunk_;
  qint64 offset_ = 0;
  bool ended_ = false;
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
      described = describeFirstResult(link, sql);
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

  QStringList keyColumns(const QString &table) override {
    TableName name = tableName(table);
    const std::shared_ptr<Link> link = freeLink();

    std::vector<std::pair<int, QString>> primary;
    {
      Statement statement(link);
      statement.check(SQLPrimaryKeys(statement.handle(), name.catalogArg(), name.catalogLength(),
                                     name.schemaArg(), name.schemaLength(), name.tableArg(),
                                     SQL_NTS),
                      "SQLPrimaryKeys");
      QString firstSchema;
      bool first = true;
      while (statement.fetch()) {
        const QString schema = textOf(statement, 2);
        const QString column = textOf(statement, 4);
        const int sequence = textOf(statement, 5).toInt();
        if (first)
          firstSchema = schema;
        first = false;
        if (schema == firstSchema) // one table only, though the name fits several
          primary.emplace_back(sequence, column);
      }
    }
    if (!primary.empty()) {
      std::stable_sort(primary.begin(), primary.end(),
                       [](const auto &a, const auto &b) { return a.first < b.first; });
      QStringList columns;
      for (const auto &entry : primary)
        columns << entry.second;
      return columns;
    }

    // Otherwise the first unique index over columns that cannot be NULL.
    QStringList nullable;
    {
      Statement statement(link);
      statement.check(SQLColumns(statement.handle(), name.catalogArg(), name.catalogLength(),
                                 name.schemaArg(), name.schemaLength(), name.tableArg(), SQL_NTS,
                                 nullptr, 0),
                      "SQLColumns");
      while (statement.fetch()) {
        const QString column = textOf(statement, 4);
        if (textOf(statement, 11).toInt() != SQL_NO_NULLS)
          nullable << column;
      }
    }
    Statement statement(link);
    statement.check(SQLStatistics(statement.handle(), name.catalogArg(), name.catalogLength(),
                                  name.schemaArg(), name.schemaLength(), name.tableArg(), SQL_NTS,
                                  SQL_INDEX_UNIQUE, SQL_QUICK),
                    "SQLStatistics");
    QString index;
    QStringList columns;
    bool usable = false;
    while (statement.fetch()) {
      if (textOf(statement, 7).toInt() == SQL_TABLE_STAT || textOf(statement, 4).toInt() != 0)
        continue;
      const QString rowIndex = textOf(statement, 6);
      if (rowIndex != index) {
        if (usable && !columns.isEmpty())
          return columns;
        index = rowIndex;
        columns.clear();
        usable = true;
      }
      const QString column = textOf(statement, 9);
      if (column.isEmpty() || nullable.contains(column))
        usable = false; // an expression or a column that may be NULL
      columns << column;
    }
    if (usable && !columns.isEmpty())
      return columns;
    return {};
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

  void updateRow(const RowUpdate &update) override {
    if (update.assignments.empty())
      return;
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
    transaction.commit();
  }

  std::unique_ptr<ByteSource> readValue(const QString &table, const ColumnRef &column,
                                        const std::vector<Criterion> &criteria) override {
    const std::shared_ptr<Link> link = freeLink();
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
  // A table name's parts as the catalog functions take them.
  struct TableName {
    QByteArray catalog, schema, table;
    SQLCHAR *catalogArg() {
      return catalog.isEmpty() ? nullptr : reinterpret_cast<SQLCHAR *>(catalog.data());
    }
    SQLSMALLINT catalogLength() const { return catalog.isEmpty() ? 0 : SQL_NTS; }
    SQLCHAR *schemaArg() {
      return schema.isEmpty() ? nullptr : reinterpret_cast<SQLCHAR *>(schema.data());
    }
    SQLSMALLINT schemaLength() const { return schema.isEmpty() ? 0 : SQL_NTS; }
    SQLCHAR *tableArg() { return reinterpret_cast<SQLCHAR *>(table.data()); }
  };

  static TableName tableName(const QString &table) {
    const QStringList parts = SqlDialect::tableNameParts(table);
    TableName name;
    name.table = parts.value(parts.size() - 1).toUtf8();
    if (parts.size() >= 2)
      name.schema = parts.value(parts.size() - 2).toUtf8();
    if (parts.size() >= 3)
      name.catalog = parts.value(parts.size() - 3).toUtf8();
    return name;
  }

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
      if (c.original.isNull()) {
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

  static void run(const Statement &statement, const QString &sql) {
    QByteArray text = sql.toUtf8();
    const SQLRETURN rc = SQLExecDirect(statement.handle(), reinterpret_cast<SQLCHAR *>(text.data()),
                                       SQLINTEGER(text.size()));
    if (rc == SQL_NEED_DATA) {
      SQLCancel(statement.handle());
      throw DataError(QLatin1String(kMissingParameters));
    }
    statement.check(rc, "SQLExecDirect");
  }

  static QString textOf(const Statement &statement, SQLUSMALLINT column) {
    return QString::fromUtf8(readRest(statement, column, true).value_or(QByteArray()));
  }

  static QString columnText(const Statement &statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLCHAR buffer[512] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLColAttribute(statement.handle(), column, field, buffer, sizeof buffer,
                                       &length, nullptr)))
      return {};
    return fromSql(buffer);
  }

  static SQLLEN columnNumber(const Statement &statement, SQLUSMALLINT column, SQLUSMALLINT field,
                             SQLLEN fallback) {
    SQLLEN value = fallback;
    if (!SQL_SUCCEEDED(
            SQLColAttribute(statement.handle(), column, field, nullptr, 0, nullptr, &value)))
      return fallback;
    return value;
  }

  // A table name as the layers above keep it: schema-qualified outside the
  // default schemas.
  QString qualified(const QString &schema, const QString &table) const {
    const bool implied = schema == QLatin1String("public") || schema == QLatin1String("dbo");
    return sqlDialect().qualifiedName(schema, table, implied);
  }

  std::unique_ptr<ResultSet> makeResultSet(std::unique_ptr<Statement> statement, SQLSMALLINT count,
                                           const std::map<int, ColumnInfo> &described) {
    std::vector<ColumnInfo> columns;
    std::vector<SQLSMALLINT> sqlTypes;
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c) {
      SQLCHAR name[512] = {};
      SQLSMALLINT nameLength = 0;
      SQLSMALLINT sqlType = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      statement->check(SQLDescribeCol(statement->handle(), c, name, sizeof name, &nameLength,
                                      &sqlType, &size, &digits, &nullable),
                       "SQLDescribeCol");
      ColumnInfo info;
      info.name = columnText(*statement, c, SQL_DESC_LABEL);
      if (info.name.isEmpty())
        info.name = fromSql(name);
      info.typeName = columnText(*statement, c, SQL_DESC_TYPE_NAME);
      const bool isUnsigned = columnNumber(*statement, c, SQL_DESC_UNSIGNED, SQL_FALSE) == SQL_TRUE;
      info.autoIncrement =
          columnNumber(*statement, c, SQL_DESC_AUTO_UNIQUE_VALUE, SQL_FALSE) == SQL_TRUE;
      const QString schema = columnText(*statement, c, SQL_DESC_SCHEMA_NAME);
      const QString baseTable = columnText(*statement, c, SQL_DESC_BASE_TABLE_NAME);
      info.baseTable = qualified(
          schema, baseTable.isEmpty() ? columnText(*statement, c, SQL_DESC_TABLE_NAME) : baseTable);
      info.baseColumn = columnText(*statement, c, SQL_DESC_BASE_COLUMN_NAME);
      info.updatable =
          !baseTable.isEmpty() && columnNumber(*statement, c, SQL_DESC_UPDATABLE,
                                               SQL_ATTR_READWRITE_UNKNOWN) != SQL_ATTR_READONLY;

      if (const auto found = described.find(int(c)); found != described.end()) {
        // SQL Server names base tables only when the server described them.
        const ColumnInfo &origin = found->second;
        if (baseTable.isEmpty() && !origin.baseTable.isEmpty()) {
          info.baseTable = origin.baseTable;
          info.baseColumn = origin.baseColumn;
          info.updatable = origin.updatable;
        }
        info.autoIncrement = info.autoIncrement || origin.autoIncrement;
      }
      if (info.baseTable.isEmpty())
        info.baseColumn.clear();
      else if (info.baseColumn.isEmpty())
        info.baseColumn = info.name;

      info.kind =
          odbcFieldKind(sqlType, size, isUnsigned, info.autoIncrement, info.typeName, sqlDialect());
      if (isTextKind(info.kind))
        info.displayWidth = int(qMin<SQLULEN>(size, SQLULEN(std::numeric_limits<int>::max())));
      const QString type = info.typeName.toLower();
      if (dialect_ == Dialect::PostgreSql && !info.baseTable.isEmpty())
        info.rowId = isPostgresRowId(info.baseColumn, type);
      else if (dialect_ == Dialect::SqlServer)
        info.rowId = type == QLatin1String("timestamp") || type == QLatin1String("rowversion");
      if (info.autoIncrement || info.rowId)
        info.updatable = false;
      columns.push_back(info);
      sqlTypes.push_back(sqlType);
    }
    // SQL Server's text through a converting driver has a byte length that
    // no server function gives, so such values are never left deferred.
    const bool deferText = dialect_ != Dialect::SqlServer;
    return std::make_unique<OdbcResultSet>(std::move(statement), std::move(columns),
                                           std::move(sqlTypes), deferText);
  }

  // SQL Server's own account of where the columns of a statement's first
  // result come from; empty when it cannot tell.
  std::map<int, ColumnInfo> describeFirstResult(const std::shared_ptr<Link> &link,
                                                const QString &sql) {
    std::map<int, ColumnInfo> columns;
    try {
      Statement statement(link);
      Parameters parameters(dialect_);
      parameters.addValue({QString(), FieldKind::ftMemo, QStringLiteral("nvarchar")},
                          CellValue::text(sql.toUtf8()));
      parameters.bind(statement);
      run(statement, QStringLiteral("EXEC sp_describe_first_result_set @tsql = ?, @params = NULL, "
                                    "@browse_information_mode = 1"));
      SQLSMALLINT count = 0;
      statement.check(SQLNumResultCols(statement.handle(), &count), "SQLNumResultCols");
      std::vector<QString> labels;
      for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c)
        labels.push_back(columnText(statement, c, SQL_DESC_LABEL).toLower());
      const auto field = [](const std::map<QString, QString> &row, const char *name) {
        const auto found = row.find(QLatin1String(name));
        return found == row.end() ? QString() : found->second;
      };
      while (statement.fetch()) {
        std::map<QString, QString> row;
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c)
          row[labels[c - 1]] = textOf(statement, c);
        if (field(row, "is_hidden") == QLatin1String("1"))
          continue;
        ColumnInfo info;
        info.baseTable = qualified(field(row, "source_schema"), field(row, "source_table"));
        info.baseColumn = field(row, "source_column");
        info.autoIncrement = field(row, "is_identity_column") == QLatin1String("1");
        info.updatable = field(row, "is_updateable") == QLatin1String("1") &&
                         field(row, "is_computed_column") != QLatin1String("1");
        columns[field(row, "column_ordinal").toInt()] = info;
      }
      statement.close();
    } catch (const DataError &) {
      columns.clear(); // the statement itself reports what is wrong with it
    }
    return columns;
  }

  QString connectionString_;
  ConnectionSettings settings_;
  std::shared_ptr<Link> main_;
  std::shared_ptr<Link> spare_;
  Dialect dialect_ = Dialect::Other;
  bool oneResultAtATime_ = false;
};

} // namespace

std::unique_ptr<Driver> OdbcDriver::connect(const QString &connectionString,
                                            const ConnectionSettings &settings) {
  std::shared_ptr<Link> link = openLink(connectionString, settings);
  return std::make_unique<OdbcConnection>(connectionString, settings, std::move(link));
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
    names << fromSql(description);
    direction = SQL_FETCH_NEXT;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return names;
}

} // namespace quillon::data
