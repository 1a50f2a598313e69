// Column values read with SQLGetData, a piece at a time, and parameter
// values bound with SQLBindParameter or streamed with SQLPutData.
#include "data/drivers/odbc/OdbcValues.h"

#include "data/DataError.h"

#include <algorithm>
#include <cstring>

namespace quillon::data::odbc {

namespace {

// The longest value SQL Server keeps in a non-(max) column, in bytes.
constexpr SQLULEN kMaxShortBytes = 8000;

// Small values are read with a buffer this large first.
constexpr qint64 kFirstPiece = 256;

// Text chunks are read into buffers prefilled with this byte: the bytes
// the driver did not write keep it, so its terminator is the last byte that
// differs, whatever the text holds.
constexpr char kUnwritten = char(0xFF);

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

// SQL Server's Unicode text types: their values go to the server as such.
bool isWideTypeName(const QString &typeName) {
  const QString name = typeName.toLower();
  return name.startsWith(QLatin1String("nvarchar")) || name.startsWith(QLatin1String("nchar")) ||
         name == QLatin1String("ntext") || name == QLatin1String("xml") ||
         name == QLatin1String("sysname");
}

} // namespace

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

std::optional<QByteArray> readRest(const Statement &statement, SQLUSMALLINT column, bool textual,
                                   qint64 expected) {
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

QString textOf(const Statement &statement, SQLUSMALLINT column) {
  return QString::fromUtf8(readRest(statement, column, true).value_or(QByteArray()));
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

qint64 ColumnSource::read(char *buffer, qint64 max) {
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

bool ColumnSource::refill() {
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

void ColumnSource::finish() {
  if (offset_ < qint64(chunk_.size()))
    return;
  statement_->close();
  mark_.release();
}

void Parameters::addValue(const ColumnRef &column, const CellValue &value) {
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

void Parameters::addLength(qint64 length) {
  Parameter p;
  p.cType = SQL_C_SBIGINT;
  p.sqlType = SQL_BIGINT;
  p.integer = length;
  list_.push_back(std::move(p));
}

void Parameters::addStream(const ColumnRef &column, std::shared_ptr<ByteSource> stream) {
  Parameter p = typed(column, stream->size());
  p.indicator = SQL_LEN_DATA_AT_EXEC(SQLLEN(stream->size()));
  p.stream = std::move(stream);
  list_.push_back(std::move(p));
}

void Parameters::bind(const Statement &statement) {
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

SQLRETURN Parameters::sendStreams(const Statement &statement) {
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

Parameter Parameters::typed(const ColumnRef &column, qint64 size) const {
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

void Parameters::send(const Statement &statement, Parameter &p, std::vector<char> &chunk) {
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

qint64 Parameters::utf8Boundary(const char *data, qint64 size) {
  for (qint64 back = 1; back <= 4 && back <= size; ++back) {
    const auto byte = quint8(data[size - back]);
    if ((byte & 0xC0) == 0x80)
      continue; // a continuation byte
    const qint64 length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? size - back : size;
  }
  return size;
}

} // namespace quillon::data::odbc
