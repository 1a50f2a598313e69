#include "query/StatementComposer.h"

namespace quillon::query {

namespace {

QString rowText(const ConditionRow &row) {
  const QString lineEnd = QStringLiteral("\r\n");
  return row.field + lineEnd + row.op + lineEnd + row.value + lineEnd;
}

} // namespace

QString composeTableStatement(const QString &table, bool filterApplied, const FilterState &filter,
                              data::Dialect dialect) {
  std::optional<quint32> limit;
  QString where;
  if (filterApplied) {
    limit = filter.topCount;
    if (filter.hasConditions()) {
      for (const ConditionRow &row : filter.rows) {
        if (!where.isEmpty())
          where += QStringLiteral(" and ");
        where += rowText(row);
      }
      where.replace(QLatin1Char('\r'), QLatin1Char(' ')).remove(QLatin1Char('\n'));
      where.prepend(QStringLiteral(" where "));
    }
  }
  const data::SqlDialect &sql = data::SqlDialect::of(dialect);
  return sql.selectStatement(sql.tableReference(table), where, limit);
}

} // namespace quillon::query
