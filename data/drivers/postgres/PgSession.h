#pragma once

// One libpq connection and the statements run on it: results owned, errors
// turned into DataError with the server's message.
#include <QByteArray>
#include <QString>

#include <libpq-fe.h>

#include <memory>
#include <utility>
#include <vector>

namespace quillon::data::pg {

// Owns a PGresult.
class Result {
public:
  Result() = default;
  explicit Result(PGresult *result) : result_(result, &PQclear) {}

  PGresult *get() const { return result_.get(); }
  explicit operator bool() const { return result_ != nullptr; }
  int rows() const { return PQntuples(get()); }
  int columns() const { return PQnfields(get()); }
  bool isNull(int row, int column) const { return PQgetisnull(get(), row, column) != 0; }
  // The bytes of a value as the server sent it (text or binary format).
  QByteArray bytes(int row, int column) const {
    return QByteArray(PQgetvalue(get(), row, column), PQgetlength(get(), row, column));
  }
  QString text(int row, int column) const { return QString::fromUtf8(bytes(row, column)); }

private:
  std::unique_ptr<PGresult, void (*)(PGresult *)> result_{nullptr, &PQclear};
};

// A statement parameter, sent as text unless `binary`.
struct Param {
  QByteArray bytes;
  bool null = false;
  bool binary = false;

  static Param text(const QString &value) { return {value.toUtf8(), false, false}; }
  static Param number(qint64 value) { return {QByteArray::number(value), false, false}; }
};

class Session {
public:
  // Connects with libpq keywords and values; keys libpq does not know are
  // left out. Throws DataError with libpq's message.
  static std::unique_ptr<Session> open(const std::vector<std::pair<QString, QString>> &parameters);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  PGconn *get() const { return conn_; }

  // Runs one statement with parameters $1, $2, ...; results come in text or,
  // with `binary`, in binary format. Throws DataError unless it succeeded.
  Result run(const QString &sql, const std::vector<Param> &params = {}, bool binary = false);
  // Sends text that may hold several statements; the first result with rows
  // (or the last one) comes back, the others are read and dropped. Throws
  // DataError for the first statement that failed.
  Result runScript(const QString &sql);
  // Throws DataError for a result that did not succeed, naming the server's
  // message; a connection that broke is said to be lost.
  void check(const PGresult *result) const;
  [[noreturn]] void fail(const PGresult *result) const;
  // Asks the server to stop the statement the session runs; safe from
  // another thread.
  void cancel() const;

private:
  explicit Session(PGconn *conn) : conn_(conn), cancel_(PQgetCancel(conn)) {}

  PGconn *conn_;
  PGcancel *cancel_;
};

// Runs BEGIN, and ROLLBACK unless committed; `nested` in a transaction
// already open, a savepoint that is released or rolled back to instead.
class Transaction {
public:
  explicit Transaction(Session &session, bool nested = false);
  ~Transaction();
  Transaction(const Transaction &) = delete;
  Transaction &operator=(const Transaction &) = delete;
  void commit();

private:
  Session &session_;
  bool nested_;
  bool open_ = true;
};

// `sql` with its '?' markers outside quotes numbered $1, $2, ... in order.
QString numberedMarkers(const QString &sql);

} // namespace quillon::data::pg
