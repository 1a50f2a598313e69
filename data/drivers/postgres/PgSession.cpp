#include "data/drivers/postgres/PgSession.h"

#include "data/DataError.h"

#include <QStringList>

namespace quillon::data::pg {

namespace {

bool meansConnectionLost(const QByteArray &sqlState) {
  return sqlState.startsWith("08") || sqlState == "57P01" || sqlState == "57P02" ||
         sqlState == "57P03";
}

// The keywords libpq takes, so that other keys of db.udl are left out.
QStringList libpqKeywords() {
  QStringList keywords;
  PQconninfoOption *options = PQconndefaults();
  for (PQconninfoOption *option = options; option && option->keyword; ++option)
    keywords << QString::fromLatin1(option->keyword);
  PQconninfoFree(options);
  return keywords;
}

} // namespace

std::unique_ptr<Session> Session::open(const std::vector<std::pair<QString, QString>> &parameters) {
  const QStringList known = libpqKeywords();
  std::vector<QByteArray> keys, values;
  for (const auto &[key, value] : parameters) {
    const QString keyword = key.toLower();
    if (!known.contains(keyword))
      continue;
    keys.push_back(keyword.toUtf8());
    values.push_back(value.toUtf8());
  }
  // Results and messages in UTF-8, the locale's 8-bit text.
  keys.emplace_back("client_encoding");
  values.emplace_back("UTF8");
  std::vector<const char *> keyPointers, valuePointers;
  for (size_t i = 0; i < keys.size(); ++i) {
    keyPointers.push_back(keys[i].constData());
    valuePointers.push_back(values[i].constData());
  }
  keyPointers.push_back(nullptr);
  valuePointers.push_back(nullptr);
  PGconn *conn = PQconnectdbParams(keyPointers.data(), valuePointers.data(), 0);
  if (!conn)
    throw DataError(QStringLiteral("libpq cannot allocate a connection"));
  if (PQstatus(conn) != CONNECTION_OK) {
    const QString message = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    PQfinish(conn);
    throw DataError(message);
  }
  // Notices (a table dropped IF EXISTS that was not there) are no errors,
  // and nobody reads the standard error of a window program.
  PQsetNoticeProcessor(
      conn, [](void *, const char *) {}, nullptr);
  return std::unique_ptr<Session>(new Session(conn));
}

Session::~Session() {
  PQfreeCancel(cancel_);
  PQfinish(conn_);
}

void Session::cancel() const {
  char error[256];
  if (cancel_)
    PQcancel(cancel_, error, sizeof error);
}

void Session::fail(const PGresult *result) const {
  QString message = result ? QString::fromUtf8(PQresultErrorMessage(result)).trimmed() : QString();
  if (message.isEmpty())
    message = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
  const QByteArray sqlState =
      result ? QByteArray(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QByteArray();
  const bool lost = PQstatus(conn_) != CONNECTION_OK || meansConnectionLost(sqlState);
  if (!sqlState.isEmpty())
    message += QStringLiteral(" (SQLSTATE %1)").arg(QString::fromLatin1(sqlState));
  throw DataError(message, lost ? DataError::Cause::ConnectionLost : DataError::Cause::Other);
}

void Session::check(const PGresult *result) const {
  const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN &&
      status != PGRES_COPY_OUT)
    fail(result);
}

Result Session::run(const QString &sql, const std::vector<Param> &params, bool binary) {
  const QByteArray text = sql.toUtf8();
  std::vector<const char *> values;
  std::vector<int> lengths, formats;
  for (const Param &p : params) {
    values.push_back(p.null ? nullptr : p.bytes.constData());
    lengths.push_back(int(p.bytes.size()));
    formats.push_back(p.binary ? 1 : 0);
  }
  Result result(PQexecParams(conn_, text.constData(), int(params.size()), nullptr, values.data(),
                             lengths.data(), formats.data(), binary ? 1 : 0));
  check(result.get());
  return result;
}

Result Session::runScript(const QString &sql) {
  const QByteArray text = sql.toUtf8();
  if (!PQsendQuery(conn_, text.constData()))
    fail(nullptr);
  Result kept;
  Result failure;
  while (PGresult *next = PQgetResult(conn_)) {
    Result result(next);
    const ExecStatusType status = PQresultStatus(next);
    if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE) {
      if (!failure)
        failure = std::move(result);
      continue;
    }
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) {
      // COPY to or from the client has no place in a free query.
      PQputCopyEnd(conn_, "COPY is not supported here");
      continue;
    }
    if (!kept || (PQresultStatus(kept.get()) != PGRES_TUPLES_OK && status == PGRES_TUPLES_OK))
      kept = std::move(result);
  }
  if (failure)
    fail(failure.get());
  if (!kept)
    fail(nullptr);
  return kept;
}

Transaction::Transaction(Session &session, bool nested) : session_(session), nested_(nested) {
  session_.run(nested_ ? QStringLiteral("SAVEPOINT quillon_write") : QStringLiteral("BEGIN"));
}

Transaction::~Transaction() {
  if (open_)
    PQclear(PQexec(session_.get(), nested_ ? "ROLLBACK TO SAVEPOINT quillon_write; RELEASE "
                                             "SAVEPOINT quillon_write"
                                           : "ROLLBACK"));
}

void Transaction::commit() {
  session_.run(nested_ ? QStringLiteral("RELEASE SAVEPOINT quillon_write")
                       : QStringLiteral("COMMIT"));
  open_ = false;
}

QString numberedMarkers(const QString &sql) {
  QString numbered;
  int next = 1;
  QChar quote;
  for (const QChar c : sql) {
    if (!quote.isNull()) {
      if (c == quote)
        quote = QChar();
    } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      quote = c;
    } else if (c == QLatin1Char('?')) {
      numbered += QLatin1Char('$') + QString::number(next++);
      continue;
    }
    numbered += c;
  }
  return numbered;
}

} // namespace quillon::data::pg
