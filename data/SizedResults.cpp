#include "data/SizedResults.h"

#include "data/DataError.h"

#include <QSet>

#include <limits>

namespace quillon::data {

namespace {

constexpr qint64 kWhole = std::numeric_limits<qint64>::max();

// The wrapped result seen as the statement's own: the described columns,
// each sized one read as its length and, where small, its value.
class SizedResultSet : public ResultSet {
public:
  SizedResultSet(std::unique_ptr<ResultSet> inner, std::vector<ColumnInfo> columns,
                 std::vector<int> sizeColumn, std::vector<int> valueColumn)
      : inner_(std::move(inner)), columns_(std::move(columns)), sizeColumn_(std::move(sizeColumn)),
        valueColumn_(std::move(valueColumn)) {
    // Kinds that only values tell (SQLite expressions) come from the rows.
    for (size_t c = 0; c < columns_.size(); ++c)
      if (columns_[c].kind == FieldKind::ftUnknown)
        columns_[c].kind = inner_->columns()[size_t(valueColumn_[c])].kind;
  }

  const std::vector<ColumnInfo> &columns() const override { return columns_; }
  bool fetch() override { return inner_->fetch(); }

  CellValue value(int column, qint64 inlineLimit) override {
    const auto c = size_t(column);
    if (columns_[c].rowVersion)
      return inner_->value(valueColumn_[c], kWhole);
    if (sizeColumn_[c] < 0)
      return inner_->value(valueColumn_[c], inlineLimit);
    const CellValue length = inner_->value(sizeColumn_[c], kWhole);
    if (length.isNull())
      return CellValue::null();
    const qint64 size =
        length.type() == CellValue::Type::Integer ? length.asInteger() : length.data().toLongLong();
    const bool textual = columns_[c].kind != FieldKind::ftBlob;
    if (size == 0)
      return textual ? CellValue::text(QByteArray("")) : CellValue::bytes(QByteArray(""));
    if (size > inlineLimit)
      return CellValue::deferred(size, textual);
    const CellValue value = inner_->value(valueColumn_[c], kWhole);
    // Larger than the statement let through: read from its row when used.
    return value.isNull() ? CellValue::deferred(size, textual) : value;
  }

private:
  std::unique_ptr<ResultSet> inner_;
  std::vector<ColumnInfo> columns_;
  std::vector<int> sizeColumn_;  // -1 for a column given whole
  std::vector<int> valueColumn_; // in the wrapped result
};

// The row versions of the base tables whose large values come sized, as
// hidden columns after the statement's own, and the expressions that give
// them. A table whose key is not in the result has none where the engine
// finds rows by their key.
struct RowVersions {
  std::vector<ColumnInfo> columns;
  QStringList expressions;
};

RowVersions rowVersionsOf(Driver &driver, const std::vector<ColumnInfo> &described) {
  RowVersions versions;
  if (!driver.keepsRowVersions())
    return versions;
  const SqlDialect &dialect = SqlDialect::of(driver.dialect());
  QStringList tables;
  for (const ColumnInfo &column : described)
    if (isLargeValueKind(column.kind) && !column.baseTable.isEmpty() &&
        !tables.contains(column.baseTable))
      tables << column.baseTable;
  for (const QString &table : tables) {
    std::vector<SqlDialect::KeyColumn> keyColumns;
    for (int c : keyColumnsIn(driver, described, table))
      keyColumns.push_back({described[size_t(c)].baseColumn, described[size_t(c)].name});
    const QString expression = dialect.resultRowVersion(table, keyColumns);
    if (expression.isEmpty())
      continue;
    ColumnInfo column;
    column.kind = FieldKind::ftString;
    column.updatable = false;
    column.rowId = true;
    column.rowVersion = true;
    column.baseTable = table;
    versions.columns.push_back(column);
    versions.expressions << expression;
  }
  return versions;
}

bool namesAreUsable(const std::vector<ColumnInfo> &columns) {
  QSet<QString> seen;
  for (const ColumnInfo &column : columns) {
    const QString name = column.name.toLower();
    if (name.isEmpty() || seen.contains(name))
      return false;
    seen.insert(name);
  }
  return true;
}

} // namespace

std::unique_ptr<ResultSet> openSized(Driver &driver, const QString &sql, qint64 inlineLimit) {
  const SqlDialect &dialect = SqlDialect::of(driver.dialect());
  if (!dialect.isSingleSelect(sql))
    return driver.execute(sql);
  std::optional<std::vector<ColumnInfo>> described;
  try {
    described = driver.describe(sql);
  } catch (const DataError &error) {
    if (error.connectionLost())
      throw;
    return driver.execute(sql); // it reports what is wrong with the statement
  }
  if (!described || !namesAreUsable(*described))
    return driver.execute(sql);

  std::vector<SqlDialect::SizedColumn> wrapped;
  std::vector<int> sizeColumn, valueColumn;
  int next = 0;
  bool anySized = false;
  for (const ColumnInfo &column : *described) {
    const bool sized = isLargeValueKind(column.kind) && !column.baseTable.isEmpty();
    anySized = anySized || sized;
    wrapped.push_back({column.name, sized, column.kind == FieldKind::ftBlob, column.typeName});
    sizeColumn.push_back(sized ? next++ : -1);
    valueColumn.push_back(next++);
  }
  if (!anySized)
    return driver.execute(sql);

  // With the row versions first; a table that has none (a view) fails that.
  RowVersions versions = rowVersionsOf(driver, *described);
  for (;;) {
    std::unique_ptr<ResultSet> inner;
    try {
      inner = driver.execute(dialect.sizedSelect(sql, wrapped, inlineLimit, versions.expressions));
    } catch (const DataError &error) {
      if (error.connectionLost())
        throw;
      inner.reset();
    }
    const size_t expected = size_t(next) + size_t(versions.expressions.size());
    if (inner && inner->columns().size() == expected) {
      std::vector<ColumnInfo> columns = std::move(*described);
      for (size_t v = 0; v < versions.columns.size(); ++v) {
        columns.push_back(versions.columns[v]);
        sizeColumn.push_back(-1);
        valueColumn.push_back(next + int(v));
      }
      return std::make_unique<SizedResultSet>(std::move(inner), std::move(columns),
                                              std::move(sizeColumn), std::move(valueColumn));
    }
    if (versions.expressions.isEmpty())
      return driver.execute(sql);
    versions = {};
  }
}

} // namespace quillon::data
