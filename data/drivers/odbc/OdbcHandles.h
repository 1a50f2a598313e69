// The ODBC driver's handles: a connection with its environment, statements
// and transactions on it, and the diagnostics its failed calls turn into.
#pragma once

#include "data/ConnectionSettings.h"

#include <QString>

#include <sql.h>
#include <sqlext.h>

#include <memory>

namespace quillon::data::odbc {

// What a statement with parameter markers but no values is told.
const char *const kMissingParameters = "No value given for one or more required parameters.";

QString fromSql(const SQLCHAR *text);

[[noreturn]] void raise(SQLSMALLINT type, SQLHANDLE handle, const QString &fallback);

void checkCall(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char *call);

QString infoString(SQLHDBC dbc, SQLUSMALLINT info);

// One connection of the driver manager with its own environment. Statements
// share it, so it lives until the last of them is gone.
struct Link {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  bool connected = false;
  int commandTimeout = 0;
  // Statements whose results are still being read.
  int pending = 0;

  Link() = default;
  Link(const Link &) = delete;
  Link &operator=(const Link &) = delete;
  ~Link();
};

// Marks a link as having a result open while it lives.
class PendingMark {
public:
  explicit PendingMark(Link &link) : link_(&link) { ++link_->pending; }
  ~PendingMark() { release(); }
  PendingMark(const PendingMark &) = delete;
  PendingMark &operator=(const PendingMark &) = delete;
  void release() {
    if (link_)
      --link_->pending;
    link_ = nullptr;
  }

private:
  Link *link_;
};

// A statement handle on a link.
class Statement {
public:
  explicit Statement(std::shared_ptr<Link> link);
  ~Statement();
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

  SQLHSTMT handle() const { return handle_; }
  Link &link() const { return *link_; }

  void check(SQLRETURN rc, const char *call) const {
    checkCall(rc, SQL_HANDLE_STMT, handle_, call);
  }

  // Advances the cursor; false after the last row.
  bool fetch();

  // Ends the statement's results so that the connection is free again.
  void close() { SQLFreeStmt(handle_, SQL_CLOSE); }

private:
  std::shared_ptr<Link> link_;
  SQLHSTMT handle_ = nullptr;
};

// A transaction on a link: autocommit off until committed or rolled back.
class Transaction {
public:
  explicit Transaction(Link &link);
  ~Transaction();
  Transaction(const Transaction &) = delete;
  Transaction &operator=(const Transaction &) = delete;

  void commit();

private:
  Link &link_;
  bool open_ = true;
};

// Opens one connection without prompting.
std::shared_ptr<Link> openLink(const QString &connectionString, const ConnectionSettings &settings);

void run(const Statement &statement, const QString &sql);

} // namespace quillon::data::odbc
