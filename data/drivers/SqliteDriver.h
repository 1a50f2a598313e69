#pragma once

#include "data/ConnectionSettings.h"
#include "data/Driver.h"

#include <map>
#include <memory>

struct sqlite3;

namespace quillon::data {

class StatementCache;

// The kind a column declared with `declaredType` gets; SQLite's declared
// types are read as SQL Server type names ("image", "varchar(50)", ...).
// `width` receives the declared length of text columns.
FieldKind sqliteFieldKind(const QString &declaredType, int *width = nullptr);

// The embedded SQLite engine through the sqlite3 C API. Large values move
// through incremental blob I/O where the table has a rowid.
class SqliteDriver : public Driver {
public:
  // Opens an existing database file; throws DataError when it is missing or
  // is no database.
  static std::unique_ptr<Driver> connect(const ConnectionSettings &settings);
  ~SqliteDriver() override;

  Dialect dialect() const override { return Dialect::Sqlite; }
  QString defaultDatabase() override;
  std::optional<std::vector<ColumnInfo>> describe(const QString &sql) override;
  std::unique_ptr<ResultSet> execute(const QString &sql) override;
  qint64 largestValue() const override;
  QStringList keyColumns(const QString &table) override;
  QStringList readOnlyColumns(const QString &table) override;
  QByteArray updateRow(const RowUpdate &update) override;
  void interrupt() override;
  void beginWriteGroup() override;
  void endWriteGroup() override;
  std::unique_ptr<ByteSource> readValue(const QString &table, const ColumnRef &column,
                                        const std::vector<Criterion> &criteria) override;

private:
  explicit SqliteDriver(sqlite3 *db);
  bool hasRowid(const QString &table);

  sqlite3 *db_;
  std::unique_ptr<StatementCache> statements_;
  bool grouped_ = false;                // within beginWriteGroup
  std::map<QString, bool> groupRowids_; // hasRowid's answers within the group
};

} // namespace quillon::data
