// The field kind of an ODBC result column: its SQL type code, read with the
// driver's type name and the engine's limits.
#include "data/drivers/OdbcDriver.h"

namespace quillon::data {

namespace {

// SQL Server's own type codes (msodbcsql's sqlncli.h; FreeTDS uses the same).
constexpr SQLSMALLINT kSqlSsVariant = -150;
constexpr SQLSMALLINT kSqlSsXml = -152;
constexpr SQLSMALLINT kSqlSsTime2 = -154;
constexpr SQLSMALLINT kSqlSsTimestampOffset = -155;

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

} // namespace quillon::data
