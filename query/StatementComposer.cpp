#include "query/StatementComposer.h"

#include <QRegularExpression>

namespace quillon::query {

namespace {

bool isRegularIdentifier(const QString &name, data::Dialect dialect) {
  static const QRegularExpression sqlServer(QStringLiteral("^[\\p{L}_@#][\\p{L}\\p{N}_@$#]*$"));
  static const QRegularExpression other(QStringLiteral("^[\\p{L}_][\\p{L}\\p{N}_$]*$"));
  const bool brackets = dialect == data::Dialect::SqlServer || dialect == data::Dialect::Other;
  return (brackets ? sqlServer : other).match(name).hasMatch();
}

bool isQuoted(const QString &name) {
  return name.size() >= 2 &&
         ((name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'))) ||
          (name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))));
}

QString rowText(const ConditionRow &row) {
  const QString lineEnd = QStringLiteral("\r\n");
  return row.field + lineEnd + row.op + lineEnd + row.value + lineEnd;
}

} // namespace

QString quoteTableName(const QString &table, data::Dialect dialect) {
  if (isQuoted(table) || isRegularIdentifier(table, dialect))
    return table;
  const QStringList parts = table.split(QLatin1Char('.'));
  if (parts.size() == 2 && isRegularIdentifier(parts[0], dialect) &&
      isRegularIdentifier(parts[1], dialect))
    return table;
  QString quoted = table;
  if (dialect == data::Dialect::SqlServer || dialect == data::Dialect::Other)
    return QLatin1Char('[') + quoted.replace(QLatin1Char(']'), QLatin1String("]]")) +
           QLatin1Char(']');
  return QLatin1Char('"') + quoted.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
         QLatin1Char('"');
}

QString composeTableStatement(const QString &table, bool filterApplied, const FilterState &filter,
                              data::Dialect dialect) {
  QString top;
  QString where;
  if (filterApplied) {
    top = QStringLiteral(" top ") + QString::number(filter.topCount);
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
  const QString from = QStringLiteral(" * from ") + quoteTableName(table, dialect);
  if (dialect == data::Dialect::Sqlite || dialect == data::Dialect::PostgreSql) {
    const QString limit =
        filterApplied ? QStringLiteral(" limit ") + QString::number(filter.topCount) : QString();
    return QStringLiteral("select ") + from + where + limit;
  }
  return QStringLiteral("select ") + top + from + where;
}

} // namespace quillon::query
