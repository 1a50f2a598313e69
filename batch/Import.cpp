#include "batch/Commands.h"

#include "batch/FileReadAhead.h"
#include "batch/Options.h"
#include "batch/Report.h"
#include "data/DataError.h"
#include "data/Driver.h"
#include "data/FileValue.h"
#include "data/TextCheck.h"

#include <QDir>
#include <QRegularExpression>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace quillon::batch {

namespace {

// Rows written in one transaction, each in a savepoint of its own: many
// rows pay for one commit, and a file that fails undoes only its own row.
constexpr qsizetype kGroupFiles = 256;
constexpr qint64 kGroupBytes = qint64(64) << 20;

using data::CellValue;
using data::ColumnInfo;
using data::ColumnRef;
using data::DataError;
using data::Driver;

// A key as the file name gives it, typed as its column compares.
CellValue keyValue(const ColumnInfo &column, const QString &text) {
  if (data::isWholeNumberKind(column.kind)) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
      return CellValue::integer(value);
  }
  return CellValue::text(text.toUtf8());
}

// "{ID}.*" as a regular expression whose one group is the key.
QRegularExpression namePattern(const QString &pattern, const QString &key) {
  QString expression = QStringLiteral("^");
  int placeholders = 0;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (c == QLatin1Char('{')) {
      const qsizetype close = pattern.indexOf(QLatin1Char('}'), i + 1);
      if (close < 0)
        throw DataError(QStringLiteral("--match \"%1\": '{' is not closed").arg(pattern));
      const QString name = pattern.mid(i + 1, close - i - 1);
      if (name.compare(key, Qt::CaseInsensitive) != 0)
        throw DataError(
            QStringLiteral("--match \"%1\": {%2} is not the key {%3}").arg(pattern, name, key));
      expression += QStringLiteral("(.+?)");
      ++placeholders;
      i = close;
    } else if (c == QLatin1Char('*')) {
      expression += QStringLiteral(".*");
    } else if (c == QLatin1Char('?')) {
      expression += QLatin1Char('.');
    } else {
      expression += QRegularExpression::escape(QString(c));
    }
  }
  if (placeholders != 1)
    throw DataError(QStringLiteral("--match \"%1\" must hold {%2} once").arg(pattern, key));
  return QRegularExpression(expression + QLatin1Char('$'));
}

class Importer {
public:
  Importer(Driver &driver, const Options &options, Report &report, const std::atomic<bool> &stop)
      : driver_(driver), options_(options), report_(report), stop_(stop) {}

  void run() {
    describe();
    const QDir dir(options_.dir);
    if (!dir.exists())
      throw DataError(QStringLiteral("no folder %1").arg(options_.dir));
    // Regular files only: a FIFO or a device is never waited on.
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
    qint64 bytes = 0;
    for (const QFileInfo &file : files)
      bytes += file.size();
    report_.expect(files.size(), bytes);
    const std::optional<QRegularExpression> matcher =
        options_.key.isEmpty()
            ? std::nullopt
            : std::optional(namePattern(options_.match.isEmpty()
                                            ? QStringLiteral("{%1}.*").arg(options_.key)
                                            : options_.match,
                                        options_.key));
    // A file's row follows from its name alone, so the files that name one
    // can be read ahead in the order they are written.
    std::vector<Target> targets;
    QStringList toRead;
    for (const QFileInfo &file : files) {
      targets.push_back(targetOf(file, matcher));
      if (targets.back().skipped.isEmpty())
        toRead << file.filePath();
    }
    FileReadAhead reader(options_.dryRun ? QStringList() : toRead,
                         options_.jobs > 1 ? options_.jobs : 0);
    for (const Target &target : targets) {
      if (stop_)
        break;
      if (!target.skipped.isEmpty())
        report_.skipped(target.what, target.skipped);
      else if (options_.dryRun)
        tryWriting(target, [&] {
          driver_.readValue(table_, refOf(value_), target.criteria); // exactly one row, or throws
          report_.wouldWrite(target.what, target.size);
        });
      else
        tryWriting(target, [&] { write(target, reader.next()); });
      report_.progress();
    }
    commitGroup();
  }

private:
  void describe() {
    const data::SqlDialect &dialect = data::SqlDialect::of(driver_.dialect());
    const std::unique_ptr<data::ResultSet> result = driver_.execute(dialect.selectStatement(
        dialect.tableReference(options_.table), QStringLiteral(" where 1 = 0"), std::nullopt));
    if (!result)
      throw DataError(QStringLiteral("%1 gives no columns").arg(options_.table));
    const auto find = [&](const QString &name) {
      for (const ColumnInfo &column : result->columns())
        if (!column.rowId && column.name.compare(name, Qt::CaseInsensitive) == 0)
          return column;
      throw DataError(QStringLiteral("%1 has no column %2").arg(options_.table, name));
    };
    value_ = find(options_.columns.front());
    match_ = find(options_.key.isEmpty() ? options_.fromColumn : options_.key);
    table_ = value_.baseTable.isEmpty() ? options_.table : value_.baseTable;
  }

  static ColumnRef refOf(const ColumnInfo &column) {
    return {column.baseColumn.isEmpty() ? column.name : column.baseColumn, column.kind,
            column.typeName};
  }

  // A file, the row it names, or why it is skipped.
  struct Target {
    QString what;
    qint64 size = 0;
    std::vector<data::Criterion> criteria;
    QString skipped;
  };

  Target targetOf(const QFileInfo &file, const std::optional<QRegularExpression> &matcher) const {
    Target target{QStringLiteral("file ") + file.filePath(), file.size(), {}, {}};
    QString matchText = file.fileName();
    if (matcher) {
      const QRegularExpressionMatch found = matcher->match(file.fileName());
      if (!found.hasMatch()) {
        target.skipped = QStringLiteral("the name does not match --match");
        return target;
      }
      matchText = found.captured(1);
    }
    target.what += QStringLiteral(" row %1=%2").arg(match_.name, matchText);
    target.criteria = {{refOf(match_), keyValue(match_, matchText)}};
    return target;
  }

  // Runs `work`; a row that is not there or not alone is skipped, any other
  // refusal fails the file alone.
  void tryWriting(const Target &target, const std::function<void()> &work) {
    try {
      work();
    } catch (const DataError &error) {
      if (error.connectionLost())
        throw;
      const QString message = error.message();
      if (message == data::rowNotFoundMessage())
        report_.skipped(target.what, QStringLiteral("no row matches"));
      else if (message.startsWith(QLatin1String("Row cannot be identified uniquely")))
        report_.skipped(target.what, message);
      else
        report_.failed(target.what, message);
    }
  }

  void write(const Target &target, FileReadAhead::Opened file) {
    if (!file.value)
      throw DataError(file.error);
    const qint64 size = file.value->size();
    if (size > driver_.largestValue())
      throw DataError(QStringLiteral("%1 bytes, more than the database keeps in one value (%2)")
                          .arg(size)
                          .arg(driver_.largestValue()));
    const auto reader = [&]() -> std::unique_ptr<data::ByteSource> {
      if (file.whole)
        return std::make_unique<data::MemoryByteSource>(file.bytes);
      return file.value->reader();
    };
    data::refuseUnstorableText(driver_, value_.kind, value_.typeName,
                               [&](const auto &sink) { data::copyInChunks(*reader(), sink); });
    data::Assignment assignment{refOf(value_), CellValue::null(), nullptr};
    if (size > 0)
      assignment.stream = reader();
    else
      assignment.value =
          value_.kind == data::FieldKind::ftBlob ? CellValue::bytes("") : CellValue::text("");
    if (!groupOpen_) {
      driver_.beginWriteGroup();
      groupOpen_ = true;
    }
    driver_.updateRow({table_, {assignment}, target.criteria});
    group_.push_back({target.what, size});
    groupBytes_ += size;
    if (qsizetype(group_.size()) >= kGroupFiles || groupBytes_ >= kGroupBytes)
      commitGroup();
  }

  // The rows written since the last commit count once it is done.
  void commitGroup() {
    if (!groupOpen_)
      return;
    groupOpen_ = false;
    try {
      driver_.endWriteGroup();
      for (const auto &[what, size] : group_)
        report_.written(size);
    } catch (const DataError &error) {
      for (const auto &[what, size] : group_)
        report_.failed(what, QStringLiteral("not committed: ") + error.message());
      if (error.connectionLost())
        throw;
    }
    group_.clear();
    groupBytes_ = 0;
  }

  Driver &driver_;
  const Options &options_;
  Report &report_;
  const std::atomic<bool> &stop_;
  bool groupOpen_ = false;
  std::vector<std::pair<QString, qint64>> group_;
  qint64 groupBytes_ = 0;
  ColumnInfo value_;
  ColumnInfo match_;
  QString table_;
};

} // namespace

void runImport(Driver &driver, const Options &options, Report &report,
               const std::atomic<bool> &stop) {
  Importer(driver, options, report, stop).run();
}

} // namespace quillon::batch
