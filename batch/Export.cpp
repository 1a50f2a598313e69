#include "batch/Commands.h"

#include "batch/FileNames.h"
#include "batch/FileWriter.h"
#include "batch/Options.h"
#include "batch/Report.h"
#include "batch/ValueType.h"
#include "data/DataError.h"
#include "data/Driver.h"
#include "data/Query.h"
#include "data/SizedResults.h"
#include "platform/WholeFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace quillon::batch {

namespace {

using data::CellValue;
using data::ColumnInfo;
using data::Criterion;
using data::DataError;
using data::Driver;

constexpr qint64 kWhole = std::numeric_limits<qint64>::max();

QString textOf(const CellValue &value) {
  return value.isDeferred() ? QString() : QString::fromUtf8(value.data());
}

// The result's columns by name, and how each value column's rows are found
// again to read a value that came by its size only.
class ResultShape {
public:
  explicit ResultShape(const std::vector<ColumnInfo> &columns) : columns_(columns) {}

  int find(const QString &name) const {
    for (size_t c = 0; c < columns_.size(); ++c)
      if (!columns_[c].rowId && columns_[c].name.compare(name, Qt::CaseInsensitive) == 0)
        return int(c);
    return -1;
  }
  int require(const QString &name) const {
    const int c = find(name);
    if (c < 0)
      throw DataError(QStringLiteral("the result has no column %1").arg(name));
    return c;
  }
  const ColumnInfo &operator[](int c) const { return columns_[size_t(c)]; }

  // The columns that find a row of `table` again: its key where the result
  // holds all of it, else every column of that table that can be compared.
  std::vector<int> locators(Driver &driver, const QString &table, bool *keyed) const {
    std::vector<int> found;
    if (!table.isEmpty())
      found = data::keyColumnsIn(driver, columns_, table);
    *keyed = !found.empty();
    if (found.empty() && !table.isEmpty())
      for (size_t c = 0; c < columns_.size(); ++c)
        if (!columns_[c].rowId && columns_[c].baseTable == table &&
            !data::isLargeValueKind(columns_[c].kind))
          found.push_back(int(c));
    return found;
  }

private:
  const std::vector<ColumnInfo> &columns_;
};

struct ValueColumn {
  int index = -1;
  QString name;
  std::vector<int> locators; // columns whose values find the row again
};

// The rows' count, for the progress line; -1 when it cannot be told.
qint64 countRows(Driver &driver, const QString &sql) {
  const data::SqlDialect &dialect = data::SqlDialect::of(driver.dialect());
  if (!dialect.isSingleSelect(sql))
    return -1;
  try {
    const auto result = driver.execute(dialect.countSelect(sql));
    if (result && result->fetch())
      return result->value(0, kWhole).data().toLongLong();
  } catch (const DataError &error) {
    if (error.connectionLost())
      throw;
  }
  return -1;
}

class Exporter {
public:
  Exporter(Driver &driver, const Options &options, Report &report, const std::atomic<bool> &stop)
      : driver_(driver), options_(options), report_(report), stop_(stop) {}

  void run() {
    const data::SqlDialect &dialect = data::SqlDialect::of(driver_.dialect());
    const QString sql = options_.query.isEmpty()
                            ? dialect.selectStatement(dialect.tableReference(options_.table),
                                                      QString(), std::nullopt)
                            : options_.query;
    if (!QDir().mkpath(options_.dir))
      throw DataError(QStringLiteral("cannot create the folder %1").arg(options_.dir));
    dir_ = QDir(options_.dir);
    report_.expect(countRows(driver_, sql) * options_.columns.size(), -1);

    std::unique_ptr<data::ResultSet> result =
        data::openSized(driver_, sql, data::kInlineValueLimit);
    if (!result)
      throw DataError(QStringLiteral("the statement gives no rows"));
    const ResultShape shape(result->columns());
    prepare(shape);

    std::unique_ptr<WriterPool> pool;
    if (options_.jobs > 1)
      pool = std::make_unique<WriterPool>(options_.jobs, replacing(), report_);
    qint64 rowNumber = 0;
    while (!stop_ && result->fetch()) {
      ++rowNumber;
      std::map<int, CellValue> row;
      for (int c : needed_)
        row[c] = result->value(c, isValueColumn(c) ? data::kInlineValueLimit : kWhole);
      for (const ValueColumn &column : valueColumns_)
        exportValue(shape, column, row, rowNumber, pool.get());
      report_.progress();
    }
    if (pool)
      pool->finish();
    // Once for the whole run rather than file by file.
    QString error;
    if (!platform::syncFileSystem(options_.dir, &error))
      report_.failed(QStringLiteral("the folder"), error);
  }

private:
  void prepare(const ResultShape &shape) {
    for (const QString &name : options_.columns) {
      ValueColumn column;
      column.index = shape.require(name);
      column.name = shape[column.index].name;
      bool keyed = false;
      column.locators = shape.locators(driver_, shape[column.index].baseTable, &keyed);
      if (keyed && keyLabel_.empty())
        keyLabel_ = column.locators;
      valueColumns_.push_back(column);
    }
    QString patternText = options_.namePattern;
    if (patternText.isEmpty()) {
      QStringList parts;
      for (int c : keyLabel_)
        parts << QLatin1Char('{') + shape[c].name + QLatin1Char('}');
      patternText = parts.isEmpty() ? QStringLiteral("{#}") : parts.join(QLatin1Char('-'));
    }
    QString error;
    pattern_ = NamePattern::parse(patternText, &error);
    if (!pattern_)
      throw DataError(error);
    for (const QString &name : pattern_->columns())
      if (name != QLatin1String("#"))
        patternColumns_[name.toCaseFolded()] = shape.require(name);

    for (const auto &[name, c] : patternColumns_)
      needed_.push_back(c);
    for (int c : keyLabel_)
      needed_.push_back(c);
    for (const ValueColumn &column : valueColumns_) {
      needed_.push_back(column.index);
      needed_.insert(needed_.end(), column.locators.begin(), column.locators.end());
    }
    // A result gives its columns in increasing order only.
    std::sort(needed_.begin(), needed_.end());
    needed_.erase(std::unique(needed_.begin(), needed_.end()), needed_.end());
    shape_ = &shape;
  }

  bool replacing() const { return options_.existing == ExistingFiles::Overwrite; }

  // Value columns come by their size when large; the others whole.
  bool isValueColumn(int c) const {
    return std::any_of(valueColumns_.begin(), valueColumns_.end(),
                       [c](const ValueColumn &v) { return v.index == c; });
  }

  QString rowLabel(const std::map<int, CellValue> &row, qint64 rowNumber) const {
    if (keyLabel_.empty())
      return QStringLiteral("row %1").arg(rowNumber);
    QStringList parts;
    for (int c : keyLabel_)
      parts << QStringLiteral("%1=%2").arg((*shape_)[c].name, textOf(row.at(c)));
    return QStringLiteral("row ") + parts.join(QLatin1String(", "));
  }

  void exportValue(const ResultShape &shape, const ValueColumn &column,
                   const std::map<int, CellValue> &row, qint64 rowNumber, WriterPool *pool) {
    QString what = rowLabel(row, rowNumber);
    if (valueColumns_.size() > 1)
      what += QStringLiteral(" column ") + column.name;
    const CellValue &value = row.at(column.index);
    if (value.isNull() && options_.nulls == NullValues::Skip) {
      report_.skipped(what, QStringLiteral("NULL"));
      return;
    }
    try {
      // A large value is read from its row, its first bytes first.
      std::unique_ptr<data::ByteSource> source;
      QByteArray head = value.data();
      if (value.isDeferred()) {
        std::vector<Criterion> criteria;
        for (int c : column.locators)
          criteria.push_back({{shape[c].baseColumn, shape[c].kind, shape[c].typeName}, row.at(c)});
        const ColumnInfo &info = shape[column.index];
        source = driver_.readValue(info.baseTable, {info.baseColumn, info.kind, info.typeName},
                                   criteria);
        head.resize(qMin<qint64>(kTypeProbeBytes, source->size()));
        data::readExactly(*source, head.data(), head.size());
      }
      const QString name = claimName(column, row, rowNumber, head);
      if (name.isEmpty()) {
        report_.skipped(what, QStringLiteral("a file of that name is there"));
        return;
      }
      const QString path = dir_.filePath(name);
      what += QStringLiteral(" file ") + path;
      if (!source && pool) {
        pool->submit(path, what, head);
        return;
      }
      const qint64 size = source ? source->size() : head.size();
      writeWholeFile(path, replacing(), [&](const ChunkSink &sink) {
        sink(head.constData(), head.size());
        if (source)
          data::copyInChunks(*source, size - head.size(), sink);
      });
      report_.written(size);
    } catch (const DataError &error) {
      if (error.connectionLost())
        throw;
      report_.failed(what, error.message());
    }
  }

  // The row's file name; empty when it is taken and may not be replaced.
  QString claimName(const ValueColumn &column, const std::map<int, CellValue> &row,
                    qint64 rowNumber, const QByteArray &head) {
    QString stem = safeFileName(pattern_->expand([&](const QString &name) {
      if (name == QLatin1String("#"))
        return QString::number(rowNumber);
      return textOf(row.at(patternColumns_.at(name.toCaseFolded())));
    }));
    if (valueColumns_.size() > 1)
      stem = safeFileName(stem + QLatin1Char('-') + column.name);
    const QString extension = options_.extension == QLatin1String("auto")
                                  ? extensionFor(head)
                                  : safeFileName(options_.extension, 20);
    const auto onDisk = [&](const QString &name) { return QFileInfo::exists(dir_.filePath(name)); };
    switch (options_.existing) {
    case ExistingFiles::Skip: {
      const QString wanted = extension.isEmpty() ? stem : stem + QLatin1Char('.') + extension;
      if (!register_.isUsed(wanted) && onDisk(wanted))
        return {};
      return register_.claim(stem, extension, onDisk);
    }
    case ExistingFiles::Overwrite:
      return register_.claim(stem, extension, [](const QString &) { return false; });
    case ExistingFiles::Number:
      break;
    }
    return register_.claim(stem, extension, onDisk);
  }

  Driver &driver_;
  const Options &options_;
  Report &report_;
  const std::atomic<bool> &stop_;
  QDir dir_;
  std::optional<NamePattern> pattern_;
  std::map<QString, int> patternColumns_; // folded name → column
  std::vector<ValueColumn> valueColumns_;
  std::vector<int> keyLabel_;
  std::vector<int> needed_; // the columns each row is read for, in order
  const ResultShape *shape_ = nullptr;
  NameRegister register_;
};

} // namespace

void runExport(Driver &driver, const Options &options, Report &report,
               const std::atomic<bool> &stop) {
  Exporter(driver, options, report, stop).run();
}

} // namespace quillon::batch
