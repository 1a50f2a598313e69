// Key lookup through SQLPrimaryKeys, SQLColumns and SQLStatistics, SQL
// Server's sp_describe_first_result_set, and the column attributes that give
// a result column its kind, base table and updatability.
#include "data/drivers/odbc/OdbcCatalog.h"

#include "data/DataError.h"
#include "data/drivers/OdbcDriver.h"
#include "data/drivers/odbc/OdbcValues.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace quillon::data::odbc {

namespace {

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

TableName tableName(const QString &table) {
  const QStringList parts = SqlDialect::tableNameParts(table);
  TableName name;
  name.table = parts.value(parts.size() - 1).toUtf8();
  if (parts.size() >= 2)
    name.schema = parts.value(parts.size() - 2).toUtf8();
  if (parts.size() >= 3)
    name.catalog = parts.value(parts.size() - 3).toUtf8();
  return name;
}

QString columnText(const Statement &statement, SQLUSMALLINT column, SQLUSMALLINT field) {
  SQLCHAR buffer[512] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLColAttribute(statement.handle(), column, field, buffer, sizeof buffer,
                                     &length, nullptr)))
    return {};
  return fromSql(buffer);
}

SQLLEN columnNumber(const Statement &statement, SQLUSMALLINT column, SQLUSMALLINT field,
                    SQLLEN fallback) {
  SQLLEN value = fallback;
  if (!SQL_SUCCEEDED(
          SQLColAttribute(statement.handle(), column, field, nullptr, 0, nullptr, &value)))
    return fallback;
  return value;
}

// A table name as the layers above keep it: schema-qualified outside the
// default schemas.
QString qualified(const SqlDialect &sqlDialect, const QString &schema, const QString &table) {
  const bool implied = schema == QLatin1String("public") || schema == QLatin1String("dbo");
  return sqlDialect.qualifiedName(schema, table, implied);
}

// PostgreSQL's system columns identify a row version, they are no data.
bool isPostgresRowId(const QString &column, const QString &typeName) {
  static const QStringList systemColumns = {"ctid", "xmin", "xmax", "cmin", "cmax", "tableoid"};
  return systemColumns.contains(column) ||
         (column == QLatin1String("oid") && typeName == QLatin1String("oid"));
}

} // namespace

QStringList keyColumns(const std::shared_ptr<Link> &link, const QString &table) {
  TableName name = tableName(table);

  std::vector<std::pair<int, QString>> primary;
  {
    Statement statement(link);
    statement.check(SQLPrimaryKeys(statement.handle(), name.catalogArg(), name.catalogLength(),
                                   name.schemaArg(), name.schemaLength(), name.tableArg(), SQL_NTS),
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

std::map<int, ColumnInfo> describeFirstResult(const std::shared_ptr<Link> &link, const QString &sql,
                                              Dialect dialect) {
  std::map<int, ColumnInfo> columns;
  try {
    Statement statement(link);
    Parameters parameters(dialect);
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
      info.baseTable = qualified(SqlDialect::of(dialect), field(row, "source_schema"),
                                 field(row, "source_table"));
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

ResultColumns describeColumns(const Statement &statement, SQLSMALLINT count,
                              const std::map<int, ColumnInfo> &described, Dialect dialect) {
  const SqlDialect &sqlDialect = SqlDialect::of(dialect);
  std::vector<ColumnInfo> columns;
  std::vector<SQLSMALLINT> sqlTypes;
  for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c) {
    SQLCHAR name[512] = {};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    statement.check(SQLDescribeCol(statement.handle(), c, name, sizeof name, &nameLength, &sqlType,
                                   &size, &digits, &nullable),
                    "SQLDescribeCol");
    ColumnInfo info;
    info.name = columnText(statement, c, SQL_DESC_LABEL);
    if (info.name.isEmpty())
      info.name = fromSql(name);
    info.typeName = columnText(statement, c, SQL_DESC_TYPE_NAME);
    const bool isUnsigned = columnNumber(statement, c, SQL_DESC_UNSIGNED, SQL_FALSE) == SQL_TRUE;
    info.autoIncrement =
        columnNumber(statement, c, SQL_DESC_AUTO_UNIQUE_VALUE, SQL_FALSE) == SQL_TRUE;
    const QString schema = columnText(statement, c, SQL_DESC_SCHEMA_NAME);
    const QString baseTable = columnText(statement, c, SQL_DESC_BASE_TABLE_NAME);
    info.baseTable =
        qualified(sqlDialect, schema,
                  baseTable.isEmpty() ? columnText(statement, c, SQL_DESC_TABLE_NAME) : baseTable);
    info.baseColumn = columnText(statement, c, SQL_DESC_BASE_COLUMN_NAME);
    info.updatable = !baseTable.isEmpty() &&
                     columnNumber(statement, c, SQL_DESC_UPDATABLE, SQL_ATTR_READWRITE_UNKNOWN) !=
                         SQL_ATTR_READONLY;

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
        odbcFieldKind(sqlType, size, isUnsigned, info.autoIncrement, info.typeName, sqlDialect);
    if (isTextKind(info.kind))
      info.displayWidth = int(qMin<SQLULEN>(size, SQLULEN(std::numeric_limits<int>::max())));
    const QString type = info.typeName.toLower();
    if (dialect == Dialect::PostgreSql && !info.baseTable.isEmpty())
      info.rowId = isPostgresRowId(info.baseColumn, type);
    else if (dialect == Dialect::SqlServer)
      info.rowId = type == QLatin1String("timestamp") || type == QLatin1String("rowversion");
    if (info.autoIncrement || info.rowId)
      info.updatable = false;
    columns.push_back(info);
    sqlTypes.push_back(sqlType);
  }
  return {std::move(columns), std::move(sqlTypes)};
}

} // namespace quillon::data::odbc
