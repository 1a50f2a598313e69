// What the driver and the server tell of tables and results: key columns
// through the catalog functions, and the description of a result's columns.
#pragma once

#include "data/Driver.h"
#include "data/drivers/odbc/OdbcHandles.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace quillon::data::odbc {

// The columns that identify a row of `table`: its primary key, or else the
// first unique index over columns that cannot be NULL; empty without one.
QStringList keyColumns(const std::shared_ptr<Link> &link, const QString &table);

// SQL Server's own account of where the columns of a statement's first
// result come from; empty when it cannot tell.
std::map<int, ColumnInfo> describeFirstResult(const std::shared_ptr<Link> &link, const QString &sql,
                                              Dialect dialect);

// The columns of a statement's current result, and their SQL type codes.
struct ResultColumns {
  std::vector<ColumnInfo> columns;
  std::vector<SQLSMALLINT> sqlTypes;
};

// Describes the `count` columns of a statement's current result; `described`
// holds what describeFirstResult found, by column number.
ResultColumns describeColumns(const Statement &statement, SQLSMALLINT count,
                              const std::map<int, ColumnInfo> &described, Dialect dialect);

} // namespace quillon::data::odbc
