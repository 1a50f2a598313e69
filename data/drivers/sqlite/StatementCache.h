#pragma once

#include <QByteArray>

#include <list>
#include <mutex>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace quillon::data {

// Prepared statements of one connection, kept once finished for the next
// use of the same text: a group of rows runs the same few statements for
// every row, and parsing them again was a tenth of the group's time.
class StatementCache {
public:
  explicit StatementCache(sqlite3 *db) : db_(db) {}
  ~StatementCache();
  StatementCache(const StatementCache &) = delete;
  StatementCache &operator=(const StatementCache &) = delete;

  sqlite3 *db() const { return db_; }
  // A kept statement of that text, or a new one; nullptr for text that
  // holds no statement. Throws DataError when it does not compile.
  sqlite3_stmt *take(const QByteArray &sql);
  // Resets `stmt` and keeps it; the least recently used beyond a few are
  // finalized.
  void giveBack(QByteArray sql, sqlite3_stmt *stmt);

private:
  sqlite3 *db_;
  std::mutex mutex_;
  std::list<std::pair<QByteArray, sqlite3_stmt *>> idle_; // most recent first
};

} // namespace quillon::data
