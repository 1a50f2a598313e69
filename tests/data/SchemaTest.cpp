// Schemas as users have them, on SQLite and on PostgreSQL through both of
// its ODBC drivers: every column gets a field of the kind its content
// needs, every table opens and takes a load, no text is cut.
#include "DatabaseFixture.h"

#include "query/ParameterMarkers.h"
#include "query/StatementComposer.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::data;
using quillon::test::Backend;
using quillon::test::DatabaseTest;

namespace {

struct Column {
  const char *declaration; // name and type as CREATE TABLE has them
  FieldKind kind;
  int width; // for text kinds
  bool readOnly;
};

// Every byte value, a zero among them.
QByteArray everyByte() {
  QByteArray bytes;
  for (int i = 0; i < 256; ++i)
    bytes += char(i);
  return bytes + bytes;
}

// A long text in UTF-8 with no zero byte.
QByteArray longText(int characters) {
  QString text;
  for (int i = 0; text.size() < characters; ++i)
    text += QStringLiteral("Ёж %1; ").arg(i);
  return text.left(characters).toUtf8();
}

class SchemaTest : public DatabaseTest {
protected:
  QString name(const char *column) const {
    return QString::fromLatin1(column).section(QLatin1Char(' '), 0, 0);
  }

  // The table of `columns` with one row.
  QString tableOf(const std::vector<Column> &columns, const QString &base) {
    const QString t = table(base);
    QStringList declarations;
    for (const Column &c : columns)
      declarations << QString::fromLatin1(c.declaration);
    exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(t, declarations.join(", ")));
    exec(postgres() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(t)
                    : QStringLiteral("INSERT INTO %1 (id) VALUES (1)").arg(t));
    return t;
  }

  // Posts `bytes` into `field` of the current row of a fresh `select *`
  // and reads the value back from the table.
  QByteArray storedThroughField(const QString &t, const QString &field, const QByteArray &bytes,
                                bool throughFile) {
    auto query = open("SELECT * FROM " + t);
    query->edit();
    if (throughFile) {
      const QString file = scratch_.file(field + ".in");
      quillon::test::writeBytes(file, bytes);
      query->fieldByName(field).loadFromFile(file);
    } else {
      query->fieldByName(field).setAsString(bytes);
    }
    query->post();
    auto again = open("SELECT * FROM " + t);
    const QString out = scratch_.file(field + ".out");
    again->fieldByName(field).saveToFile(out);
    return quillon::test::readBytes(out);
  }

  std::vector<Column> columns() const {
    if (postgres())
      return {
          {"id serial primary key", FieldKind::ftAutoInc, 0, true},
          {"v varchar", FieldKind::ftMemo, 0, false},
          {"v20 varchar(20)", FieldKind::ftString, 20, false},
          {"v300 varchar(300)", FieldKind::ftString, 300, false},
          {"c5 char(5)", FieldKind::ftString, 5, false},
          {"t text", FieldKind::ftMemo, 0, false},
          {"j json", FieldKind::ftMemo, 0, false},
          {"jb jsonb", FieldKind::ftMemo, 0, false},
          {"x xml", FieldKind::ftMemo, 0, false},
          {"a int[]", FieldKind::ftMemo, 0, false},
          {"b bytea", FieldKind::ftBlob, 0, false},
          {"m money", FieldKind::ftBCD, 0, false},
          {"n numeric(10,2)", FieldKind::ftBCD, 0, false},
          {"u uuid", FieldKind::ftGuid, 0, false},
          {"g integer generated always as (id * 2) stored", FieldKind::ftInteger, 0, true},
          {"ia integer generated always as identity", FieldKind::ftAutoInc, 0, true},
      };
    return {
        {"id integer primary key", FieldKind::ftAutoInc, 0, true},
        {"data", FieldKind::ftBlob, 0, false},
        {"v varchar(50)", FieldKind::ftString, 50, false},
        {"cv character varying(30)", FieldKind::ftString, 30, false},
        {"j json", FieldKind::ftMemo, 0, false},
        {"s string", FieldKind::ftMemo, 0, false},
        {"u uuid", FieldKind::ftMemo, 0, false},
        {"t text", FieldKind::ftMemo, 0, false},
        {"b blob", FieldKind::ftBlob, 0, false},
        {"n numeric", FieldKind::ftBCD, 0, false},
        {"w whatever", FieldKind::ftBlob, 0, false},
        {"g integer generated always as (id * 2)", FieldKind::ftInteger, 0, true},
    };
  }
};

TEST_P(SchemaTest, EveryColumnGetsAFieldOfTheKindItsContentNeeds) {
  const std::vector<Column> expected = columns();
  const QString t = tableOf(expected, "kinds");
  auto query = open("SELECT * FROM " + t);
  ASSERT_EQ(query->fields().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Column &c = expected[i];
    SCOPED_TRACE(c.declaration);
    const Field &field = *query->fields()[i];
    EXPECT_EQ(field.fieldName(), name(c.declaration));
    EXPECT_EQ(field.dataType(), c.kind);
    EXPECT_EQ(field.readOnly(), c.readOnly);
    if (isTextKind(c.kind)) {
      EXPECT_EQ(field.displayWidth(), c.width);
    }
  }
}

TEST_P(SchemaTest, EveryLargeValueKindRoundTripsByteExact) {
  const QString t = tableOf(columns(), "values");
  auto query = open("SELECT * FROM " + t);
  // Two values per column, in what each type takes as it stands, so the
  // engine keeps them unchanged.
  struct Values {
    QString column;
    QByteArray first, second;
  };
  std::vector<Values> values;
  for (const auto &field : query->fields()) {
    if (!field->isLargeValue())
      continue;
    const QString column = field->fieldName();
    if (column == "j" || column == "jb")
      values.push_back({column, R"({"a": "Ёж", "b": [1, 2, 3]})", R"({"c": null})"});
    else if (column == "x")
      values.push_back({column, "<doc lang=\"ru\">Ёж &amp; ёлка</doc>", "<b/>"});
    else if (column == "a")
      values.push_back({column, "{1,2,3}", "{4}"});
    else if (field->dataType() == FieldKind::ftBlob)
      values.push_back({column, everyByte(), everyByte().mid(1)});
    else
      values.push_back({column, longText(50000), longText(7)});
  }
  query.reset();
  ASSERT_GE(values.size(), 5u);
  for (const auto &[column, first, second] : values) {
    SCOPED_TRACE(column.toStdString());
    EXPECT_EQ(storedThroughField(t, column, first, true), first) << "through a file";
    EXPECT_EQ(storedThroughField(t, column, second, false), second) << "as the clipboard's bytes";
  }
}

TEST_P(SchemaTest, TextIsStoredWholeWhereTheEngineKeepsIt) {
  const QString t = tableOf(columns(), "whole");
  // An unbounded text of 100,000 characters; on SQLite also a varchar(50),
  // whose length binds nothing there.
  const QString unbounded = postgres() ? "v" : "t";
  const QByteArray big = longText(100000);
  EXPECT_EQ(storedThroughField(t, unbounded, big, false), big);
  if (!postgres()) {
    const QByteArray longer = longText(85);
    auto query = open("SELECT * FROM " + t);
    query->edit();
    query->fieldByName("v").setAsString(longer);
    query->post();
    EXPECT_EQ(readBack("SELECT v FROM " + t, "v"), longer);
  } else {
    // varchar(20) holds 20 characters: a longer text fails and writes nothing.
    auto query = open("SELECT * FROM " + t);
    query->edit();
    query->fieldByName("v20").setAsString(longText(22));
    EXPECT_THROW(query->post(), DataError);
    query->cancel();
    EXPECT_TRUE(readBack("SELECT v20 FROM " + t, "v20").isEmpty());
  }
}

TEST_P(SchemaTest, ComputedColumnsCannotBeWritten) {
  const QString t = tableOf(columns(), "computed");
  auto query = open("SELECT * FROM " + t);
  query->edit();
  EXPECT_THROW(query->fieldByName("g").setAsString("5"), DataError);
  query->cancel();
  // Expressions and the columns of a view over them are read-only too.
  auto expressions = open("SELECT id + 1 AS next, g FROM " + t);
  EXPECT_TRUE(expressions->fieldByName("next").readOnly());
  EXPECT_TRUE(expressions->fieldByName("g").readOnly());
}

TEST_P(SchemaTest, MixedCaseAndKeywordTablesOpenInTableModeAndTakeALoad) {
  if (postgres()) {
    // A schema of the test's own, first on the search path, so that its
    // tables stand by their bare names.
    const QString schema = "schema_" + suffix_;
    exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
    exec("CREATE SCHEMA " + schema);
    exec("SET search_path = " + schema + ", public");
    created_.prepend(schema + ".\"MixedCase\"");
    created_.prepend(schema + ".\"select\"");
  } else {
    created_ << "\"MixedCase\""
             << "\"select\"";
  }
  const QString key = postgres() ? "id serial primary key" : "id integer primary key";
  for (const char *name : {"MixedCase", "select"}) {
    SCOPED_TRACE(name);
    exec(QStringLiteral("CREATE TABLE \"%1\" (%2, \"Picture\" %3)")
             .arg(QLatin1String(name), key, blobType()));
    exec(QStringLiteral("INSERT INTO \"%1\" (\"Picture\") VALUES (NULL)").arg(QLatin1String(name)));
    const QString statement =
        query::composeTableStatement(QLatin1String(name), true, {}, connection_.dialect());
    auto query = open(statement);
    ASSERT_EQ(query->recordCount(), 1);
    query->edit();
    query->fieldByName("Picture").setAsString(everyByte());
    query->post();
    auto again = open(statement);
    EXPECT_EQ(again->fieldByName("Picture").asString(), everyByte());
  }
  if (postgres())
    exec("DROP SCHEMA schema_" + suffix_ + " CASCADE");
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaTest,
                         testing::ValuesIn(quillon::test::sqliteAndPostgres()),
                         quillon::test::BackendName());

// ---------------------------------------------------------------- SQLite

class SqliteSchema : public DatabaseTest {};

TEST_P(SqliteSchema, ColumnsWithoutATypeAndThoseOfCreateTableAsGetFields) {
  const QString t = table("typeless");
  exec("CREATE TABLE " + t + " (id integer primary key, data, n)");
  exec("INSERT INTO " + t + " VALUES (1, 'text', 7)");
  const QString copy = table("copy");
  exec("CREATE TABLE " + copy + " AS SELECT id, data, n + 1 AS m, data || 'x' AS e FROM " + t);
  for (const QString &source : {t, copy}) {
    SCOPED_TRACE(source.toStdString());
    auto query = open("SELECT * FROM " + source);
    QStringList names;
    for (const auto &field : query->fields())
      names << field->fieldName();
    EXPECT_TRUE(names.contains("data")) << names.join(", ").toStdString();
    EXPECT_EQ(query->fieldByName("data").dataType(), FieldKind::ftBlob);
    EXPECT_EQ(query->fieldByName("data").asString(), "text");
  }
  // The engine's own row number is still no field; where an integer
  // primary key stands for it, that column is.
  const QString loose = table("loose");
  exec("CREATE TABLE " + loose + " (data)");
  exec("INSERT INTO " + loose + " VALUES (x'00ff')");
  auto rowid = open("SELECT rowid, data FROM " + loose);
  ASSERT_EQ(rowid->fields().size(), 1u);
  EXPECT_EQ(rowid->fields()[0]->fieldName(), "data");
  EXPECT_EQ(open("SELECT rowid, data FROM " + t)->fields().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, SqliteSchema, testing::Values(Backend::Sqlite),
                         quillon::test::BackendName());

// ---------------------------------------------------------------- PostgreSQL

class PostgresSchema : public DatabaseTest {
protected:
  // Ends this connection's server process from a second connection, as a
  // restarted server does.
  void dropConnectionFromTheServer() {
    const QByteArray pid = readBack("SELECT pg_backend_pid() AS pid", "pid");
    Connection other(QStringLiteral("other"));
    other.setConnectionString(initString_);
    other.open();
    other.driver().execute("SELECT pg_terminate_backend(" + QString::fromLatin1(pid) + ")");
  }

  std::unique_ptr<Query> prepared(const QString &sql) {
    auto query = std::make_unique<Query>(QStringLiteral("qrList"), connection_);
    query->setSQL({sql});
    query->prepareCommand = [](const QString &text) {
      return query::markParameters(text, true).text;
    };
    return query;
  }
};

TEST_P(PostgresSchema, ALostConnectionIsOpenedAgainByTheNextOpen) {
  const QString t = table("lost");
  exec("CREATE TABLE " + t + " (id serial primary key, v text)");
  exec("INSERT INTO " + t + " (v) VALUES ('x')");

  // A statement that changes nothing runs again on a new connection.
  dropConnectionFromTheServer();
  auto select = prepared("SELECT * FROM " + t);
  select->setRerunnable(true);
  ASSERT_NO_THROW(select->open());
  EXPECT_EQ(select->recordCount(), 1);
  EXPECT_TRUE(connection_.connected());

  // Any other fails, leaves the connection closed, and the next open
  // connects again.
  dropConnectionFromTheServer();
  auto update = prepared("UPDATE " + t + " SET v = 'y' RETURNING v");
  try {
    update->open();
    ADD_FAILURE() << "ran on a lost connection";
  } catch (const DataError &e) {
    EXPECT_TRUE(e.connectionLost()) << e.what();
  }
  EXPECT_FALSE(connection_.connected());
  ASSERT_NO_THROW(update->open());
  EXPECT_EQ(update->fieldByName("v").asString(), "y");
}

TEST_P(PostgresSchema, FreeQueriesRunAsTheServerRunsThem) {
  const QString t = table("free");
  exec("CREATE TABLE " + t + " (id serial primary key, v text)");
  exec("INSERT INTO " + t + " (v) VALUES ('a'), ('b')");

  auto changing =
      prepared("WITH gone AS (DELETE FROM " + t + " WHERE v = 'a' RETURNING v) SELECT v FROM gone");
  ASSERT_NO_THROW(changing->open());
  EXPECT_EQ(changing->fieldByName("v").asString(), "a");

  auto several = prepared("UPDATE " + t + " SET v = 'c';\r\nSELECT v, 1::int + 1 AS two FROM " + t);
  ASSERT_NO_THROW(several->open());
  EXPECT_EQ(several->fieldByName("v").asString(), "c");
  EXPECT_EQ(several->fieldByName("two").asString(), "2");

  // A block that returns nothing has run when the open reports so.
  auto block = prepared("DO $$ BEGIN UPDATE " + t + " SET v = 'd'; END $$");
  try {
    block->open();
    ADD_FAILURE() << "a DO block has no result";
  } catch (const DataError &e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("does not return a result set")) << e.what();
  }
  EXPECT_EQ(readBack("SELECT v FROM " + t, "v"), "d");
}

INSTANTIATE_TEST_SUITE_P(Drivers, PostgresSchema,
                         testing::ValuesIn(quillon::test::postgresBackends()),
                         quillon::test::BackendName());

} // namespace
