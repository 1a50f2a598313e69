#pragma once

#include "data/dialects/SqlDialect.h"
#include "query/FilterState.h"

#include <QString>

namespace quillon::query {

// The SELECT of table mode: "select " + top part + " * from " + table +
// where part, in the dialect's form (SQLite and PostgreSQL move the limit
// to a trailing " limit N"). The table name is quoted where the dialect
// needs it; conditions are inserted exactly as typed.
QString composeTableStatement(const QString &table, bool filterApplied, const FilterState &filter,
                              data::Dialect dialect);

} // namespace quillon::query
