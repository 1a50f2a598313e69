#pragma once

#include "data/Driver.h"
#include "query/FilterState.h"

#include <QString>

namespace quillon::query {

// A table name as the dialect needs it in a statement: a regular identifier
// (or one already quoted, or schema.table of regular parts) as it stands,
// anything else quoted ([...] on SQL Server, "..." elsewhere).
QString quoteTableName(const QString &table, data::Dialect dialect);

// The SELECT of table mode: "select " + top part + " * from " + table +
// where part. SQLite and PostgreSQL move the limit to a trailing
// " limit N". Conditions are inserted exactly as typed.
QString composeTableStatement(const QString &table, bool filterApplied, const FilterState &filter,
                              data::Dialect dialect);

} // namespace quillon::query
