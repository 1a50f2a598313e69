#pragma once

#include "data/ConnectionSettings.h"
#include "data/Driver.h"

#include <memory>

namespace quillon::data {

namespace pg {
class Session;
struct WireColumn;
} // namespace pg

// PostgreSQL through libpq. Results are read through a server-side cursor
// a few rows at a time, large values in binary slices and written through
// COPY, so that a value of any size the server allows moves in bounded
// memory.
class PostgresDriver : public Driver {
public:
  // Connects with the data link's libpq keywords; throws DataError with
  // libpq's message.
  static std::unique_ptr<Driver> connect(const ConnectionSettings &settings);
  ~PostgresDriver() override;

  Dialect dialect() const override { return Dialect::PostgreSql; }
  QString defaultDatabase() override;
  std::optional<std::vector<ColumnInfo>> describe(const QString &sql) override;
  std::unique_ptr<ResultSet> execute(const QString &sql) override;
  QStringList keyColumns(const QString &table) override;
  QStringList readOnlyColumns(const QString &table) override;
  QByteArray updateRow(const RowUpdate &update) override;
  void interrupt() override;
  void beginWriteGroup() override;
  void endWriteGroup() override;
  std::unique_ptr<ByteSource> readValue(const QString &table, const ColumnRef &column,
                                        const std::vector<Criterion> &criteria) override;

private:
  explicit PostgresDriver(std::unique_ptr<pg::Session> session);
  // Runs text of any kind as the server runs it; its first result comes
  // back whole.
  std::unique_ptr<ResultSet> runScript(const QString &sql);
  // The columns the server describes for `sql`, prepared unnamed.
  std::vector<pg::WireColumn> wireColumnsOf(const QString &sql);

  std::unique_ptr<pg::Session> session_;
  int cursors_ = 0;      // cursors opened so far, for their names
  bool grouped_ = false; // within beginWriteGroup
};

} // namespace quillon::data
