#pragma once

#include "data/ByteSource.h"
#include "data/CellValue.h"
#include "data/FieldKind.h"
#include "data/dialects/SqlDialect.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace quillon::data {

// What a driver reports of one result column.
struct ColumnInfo {
  QString name; // as the statement names it; may be empty
  FieldKind kind = FieldKind::ftUnknown;
  QString typeName;     // the driver's own type name ("varchar", "bytea", ...)
  int displayWidth = 0; // declared length in characters of text columns
  bool updatable = true;
  bool rowId = false; // a row-identifier column: gets no field
  // The version of the base-table row (see SqlDialect::rowVersion); also a
  // row-identifier column.
  bool rowVersion = false;
  bool autoIncrement = false;
  QString baseTable;  // the table the column comes from; empty for expressions
  QString baseColumn; // the column's name in that table
};

// A column of a base table as posting and re-reading refer to it.
struct ColumnRef {
  QString name;
  FieldKind kind = FieldKind::ftUnknown;
  QString typeName;
};

// One condition that identifies the row a result row came from: the
// column held `original` when the result was read. A deferred original is
// compared by its length only. A `rowVersion` criterion has no column: the
// row's version (SqlDialect::rowVersion) must still be `original`, which
// catches any change by another client, whatever the values' sizes.
struct Criterion {
  ColumnRef column;
  CellValue original;
  bool rowVersion = false;
};

// A new value for one column. A non-null `stream` supplies the new bytes
// (at least one) and `value` is then ignored.
struct Assignment {
  ColumnRef column;
  CellValue value;
  std::shared_ptr<ByteSource> stream;
};

// Writing one edited row back to its base table.
struct RowUpdate {
  QString table;
  std::vector<Assignment> assignments;
  std::vector<Criterion> criteria;
  // The row's key as the write leaves it; when given and the engine keeps
  // row versions, updateRow returns the version the written row has.
  std::vector<Criterion> keyAfter = {};
  // Called just before the commit; it may throw to roll back instead.
  std::function<void()> beforeCommit = {};
};

// The rows of one result set, fetched forward once.
class ResultSet {
public:
  virtual ~ResultSet() = default;
  virtual const std::vector<ColumnInfo> &columns() const = 0;
  // Advances to the next row; false after the last one.
  virtual bool fetch() = 0;
  // A value of the current row; columns are asked for in increasing order.
  // A large value longer than `inlineLimit` bytes may come back deferred.
  virtual CellValue value(int column, qint64 inlineLimit) = 0;
};

// An open connection to one database. Every method throws DataError, with
// the driver's own message where the driver gave one.
class Driver {
public:
  virtual ~Driver() = default;

  virtual Dialect dialect() const = 0;
  // The database the connection is in, as the server reports it.
  virtual QString defaultDatabase() = 0;
  // Runs a statement (possibly several) and returns the first result set
  // that has columns; nullptr when the text produced none (it has run).
  virtual std::unique_ptr<ResultSet> execute(const QString &sql) = 0;
  // The columns a single SELECT gives, described as execute would describe
  // them, without running it; nullopt when the driver cannot tell. Throws
  // DataError for a statement the engine refuses.
  virtual std::optional<std::vector<ColumnInfo>> describe(const QString &sql) {
    Q_UNUSED(sql);
    return std::nullopt;
  }
  // The largest large value the engine stores, in bytes.
  virtual qint64 largestValue() const { return SqlDialect::of(dialect()).largestValue(); }
  // Columns that identify a row of `table`: its primary key, else a unique
  // index; empty when the table has neither (or only an implicit rowid).
  virtual QStringList keyColumns(const QString &table) = 0;
  // Columns of `table` that a write may not set: generated ones, identities
  // the engine always assigns, columns of a view that cannot be updated
  // through it. Empty when there are none or the driver cannot tell.
  virtual QStringList readOnlyColumns(const QString &table) = 0;
  // Whether result rows can carry their row's version
  // (SqlDialect::rowVersion) and criteria compare it.
  virtual bool keepsRowVersions() const {
    return !SqlDialect::of(dialect()).rowVersion().isEmpty();
  }
  // Writes one row in a transaction. Exactly one row must match the
  // criteria: none → "Row cannot be located for updating. ...", several →
  // an error saying so; in both cases nothing changes. Returns the row's
  // version after the write when `update.keyAfter` asks for it, else null.
  virtual QByteArray updateRow(const RowUpdate &update) = 0;
  // The encoding text values must be valid in (SqlDialect::checksText), as
  // the engine names it ("UTF8"); empty where any bytes pass. Asked once
  // per connection.
  QString textEncoding();
  // Lets the next writes share one transaction, each row's write in a
  // savepoint of its own, so that one that fails undoes only itself and
  // many rows cost one commit; endWriteGroup commits them (a group never
  // ended is rolled back with the connection). A driver that cannot keeps
  // one transaction per row.
  virtual void beginWriteGroup() {}
  virtual void endWriteGroup() {}
  // Stops what another thread runs on this connection as soon as the
  // engine can: the statement fails. Safe from any thread; nothing when
  // the driver cannot.
  virtual void interrupt() {}
  // Reads a large value of the one row that matches the criteria.
  virtual std::unique_ptr<ByteSource> readValue(const QString &table, const ColumnRef &column,
                                                const std::vector<Criterion> &criteria) = 0;

private:
  std::optional<QString> textEncoding_;
};

// driver.keyColumns(table), or none where the driver cannot tell; a lost
// connection still throws.
QStringList keyColumnsIfKnown(Driver &driver, const QString &table);
// The positions in `columns` of the result columns that hold the key of
// `table` (driver.keyColumns), in the key's order; empty when the driver
// tells no key or the result lacks part of it.
std::vector<int> keyColumnsIn(Driver &driver, const std::vector<ColumnInfo> &columns,
                              const QString &table);

// The error texts every driver uses for rows it cannot identify.
QString rowNotFoundMessage();
QString rowNotUniqueMessage(const QString &table, qint64 matches);

} // namespace quillon::data
