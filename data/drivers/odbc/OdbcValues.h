// Values moving through ODBC statements: column values read in pieces or
// streamed, parameter values bound or sent in chunks, and the type tests
// that decide how each travels.
#pragma once

#include "data/ByteSource.h"
#include "data/CellValue.h"
#include "data/Driver.h"
#include "data/FieldKind.h"
#include "data/drivers/odbc/OdbcHandles.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace quillon::data::odbc {

// The size of a column value of the current row, asked without reading it.
struct Probe {
  enum Kind { Null, Empty, Known, Unknown } kind = Unknown;
  qint64 size = 0;
};

Probe probe(const Statement &statement, SQLUSMALLINT column, bool textual);

// Reads what is left of a column value; nullopt for NULL. `expected` sizes
// the buffer when the length is known.
std::optional<QByteArray> readRest(const Statement &statement, SQLUSMALLINT column, bool textual,
                                   qint64 expected = -1);

QString textOf(const Statement &statement, SQLUSMALLINT column);

bool isBinaryType(SQLSMALLINT sqlType);
bool isBinaryKind(FieldKind kind);
bool isIntegerKind(FieldKind kind);

// Streams the value of one column of the one row a statement selected.
class ColumnSource : public ByteSource {
public:
  ColumnSource(std::unique_ptr<Statement> statement, bool textual, qint64 size)
      : statement_(std::move(statement)), mark_(statement_->link()), textual_(textual),
        size_(size) {}

  qint64 size() const override { return size_; }

  qint64 read(char *buffer, qint64 max) override;

private:
  bool refill();
  void finish();

  std::unique_ptr<Statement> statement_;
  PendingMark mark_;
  bool textual_;
  qint64 size_;
  qint64 delivered_ = 0;
  std::vector<char> chunk_;
  qint64 offset_ = 0;
  bool ended_ = false;
};

// One SQLBindParameter's worth of a value; the bytes stay here until the
// statement has run.
struct Parameter {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLSMALLINT sqlType = SQL_VARCHAR;
  QByteArray bytes;
  qint64 integer = 0;
  SQLLEN indicator = 0;
  std::shared_ptr<ByteSource> stream; // sent at execution
};

// The parameters of one statement, bound in the order they were added.
class Parameters {
public:
  explicit Parameters(Dialect dialect) : dialect_(dialect) {}

  void addValue(const ColumnRef &column, const CellValue &value);
  void addLength(qint64 length);
  void addStream(const ColumnRef &column, std::shared_ptr<ByteSource> stream);

  void bind(const Statement &statement);

  // Sends the streamed values the driver asks for after SQLExecDirect
  // returned SQL_NEED_DATA; returns the statement's own result.
  SQLRETURN sendStreams(const Statement &statement);

private:
  // The C and SQL types a column's values travel as.
  Parameter typed(const ColumnRef &column, qint64 size) const;

  static void send(const Statement &statement, Parameter &p, std::vector<char> &chunk);

  // The end of the last whole UTF-8 character in `data`.
  static qint64 utf8Boundary(const char *data, qint64 size);

  Dialect dialect_;
  std::vector<Parameter> list_;
};

} // namespace quillon::data::odbc
