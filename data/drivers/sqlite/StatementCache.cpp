#include "data/drivers/sqlite/StatementCache.h"

#include "data/DataError.h"

#include <QString>

#include <sqlite3.h>

namespace quillon::data {

namespace {

constexpr size_t kKept = 16;

} // namespace

StatementCache::~StatementCache() {
  for (const auto &[sql, stmt] : idle_)
    sqlite3_finalize(stmt);
}

sqlite3_stmt *StatementCache::take(const QByteArray &sql) {
  {
    const std::lock_guard lock(mutex_);
    for (auto kept = idle_.begin(); kept != idle_.end(); ++kept)
      if (kept->first == sql) {
        sqlite3_stmt *stmt = kept->second;
        idle_.erase(kept);
        return stmt;
      }
  }
  sqlite3_stmt *stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                         nullptr) != SQLITE_OK)
    throw DataError(QString::fromUtf8(sqlite3_errmsg(db_)));
  return stmt;
}

void StatementCache::giveBack(QByteArray sql, sqlite3_stmt *stmt) {
  if (!stmt)
    return;
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  sqlite3_stmt *dropped = nullptr;
  {
    const std::lock_guard lock(mutex_);
    idle_.emplace_front(std::move(sql), stmt);
    if (idle_.size() > kKept) {
      dropped = idle_.back().second;
      idle_.pop_back();
    }
  }
  sqlite3_finalize(dropped);
}

} // namespace quillon::data
