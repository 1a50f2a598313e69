// The result layer against real databases: an SQLite file and the live
// PostgreSQL server through the ODBC driver.
#include "data/Query.h"
#include "data/DataError.h"

#include "DatabaseFixture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace quillon::data;
using quillon::data::SqlDialect;
using quillon::test::Backend;
using quillon::test::DatabaseTest;
using quillon::test::readBytes;
using quillon::test::ScratchDir;
using quillon::test::writeBytes;

namespace {

QByteArray patterned(qint64 size, quint32 seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(seed);
  for (qint64 i = 0; i < size; ++i)
    bytes[i] = char(generator.bounded(256));
  if (size > 2)
    bytes[size / 2] = '\0'; // zero bytes must survive
  return bytes;
}

QByteArray sha256(const QByteArray &bytes) {
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

using QueryTest = DatabaseTest;

TEST_P(QueryTest, ClassifiesColumnsByTheirDriverTypes) {
  const QString t = table("kinds");
  if (postgres())
    exec("CREATE TABLE " + t +
         " (id serial primary key, img bytea, txt text, vc varchar(20), i integer,"
         " bi bigint, si smallint, n numeric(10,2), f double precision, b boolean, d date,"
         " tm time, ts timestamp)");
  else
    exec("CREATE TABLE " + t +
         " (id integer primary key, img image, txt text, vc varchar(20), i int, bi bigint,"
         " si smallint, n decimal(10,2), f float, b bit, d date, tm time, ts datetime,"
         " nvc nvarchar(30), vb varbinary(50), vbmax \"varbinary(max)\", nt ntext, bin binary(8))");
  exec("INSERT INTO " + t + " (vc) VALUES ('x')");

  auto query = open("SELECT *, i + 1 AS expr, vc AS alias FROM " + t);
  struct Expected {
    const char *name;
    FieldKind kind;
    bool readOnly;
  };
  std::vector<Expected> expected = {
      {"id", FieldKind::ftAutoInc, true},   {"img", FieldKind::ftBlob, false},
      {"txt", FieldKind::ftMemo, false},    {"vc", FieldKind::ftString, false},
      {"i", FieldKind::ftInteger, false},   {"bi", FieldKind::ftLargeint, false},
      {"si", FieldKind::ftSmallint, false}, {"n", FieldKind::ftBCD, false},
      {"f", FieldKind::ftFloat, false},     {"b", FieldKind::ftBoolean, false},
      {"d", FieldKind::ftDate, false},      {"tm", FieldKind::ftTime, false},
      {"ts", FieldKind::ftDateTime, false}, {"alias", FieldKind::ftString, false},
  };
  if (!postgres()) {
    expected.push_back({"nvc", FieldKind::ftWideString, false});
    expected.push_back({"vb", FieldKind::ftVarBytes, false});
    expected.push_back({"vbmax", FieldKind::ftBlob, false});
    expected.push_back({"nt", FieldKind::ftMemo, false});
    expected.push_back({"bin", FieldKind::ftBytes, false});
  }
  for (const Expected &e : expected) {
    SCOPED_TRACE(e.name);
    Field *field = query->findField(QString::fromLatin1(e.name));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(int(field->dataType()), int(e.kind));
    EXPECT_EQ(field->readOnly(), e.readOnly);
    EXPECT_TRUE(field->visible());
  }
  EXPECT_EQ(query->fieldByName("vc").displayWidth(), 20);
  EXPECT_EQ(query->fieldByName("img").displayWidth(), 10);
  EXPECT_TRUE(query->fieldByName("expr").readOnly()) << "an expression column cannot be written";
  EXPECT_EQ(query->fieldByName("alias").column().baseColumn, "vc");
}

TEST_P(QueryTest, NamesRepeatedColumnsUniquely) {
  const QString t = table("names");
  exec("CREATE TABLE " + t + " (Id integer, Id_1 integer)");
  exec("INSERT INTO " + t + " VALUES (1, 2)");
  auto query = open("SELECT Id, Id, Id_1, Id FROM " + t);
  QStringList names;
  for (const auto &field : query->fields())
    names << field->fieldName();
  EXPECT_EQ(names.join(",").toLower(), "id,id_1,id_1_1,id_2");
  EXPECT_EQ(&query->fieldByName("ID"), query->fields()[0].get()) << "names ignore letter case";
}

TEST_P(QueryTest, LayerErrorsCarryTheQueryName) {
  Query query(QStringLiteral("qrList"), connection_);
  try {
    query.recordCount();
    FAIL() << "a closed query has no record count";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), "qrList: Cannot perform this operation on a closed dataset");
  }

  const QString t = table("errs");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  exec("INSERT INTO " + t + " (v) VALUES (NULL)");
  auto open1 = open("SELECT id, v, id + 1 AS e FROM " + t);
  try {
    open1->fieldByName("missing");
    FAIL();
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), "qrList: Field 'missing' not found");
  }
  try {
    open1->fieldByName("v").setAsString("x");
    FAIL();
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), "qrList: Dataset not in edit or insert mode");
  }
  open1->edit();
  try {
    open1->fieldByName("e").setAsString("1");
    FAIL();
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), "qrList: Field 'e' cannot be modified");
  }
  open1->cancel();
  try {
    open1->post();
    FAIL();
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), "qrList: Dataset not in edit or insert mode");
  }
}

TEST_P(QueryTest, FreeQueriesShowTheFirstResultSet) {
  const QString t = table("free");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v integer)");
  exec("INSERT INTO " + t + " (v) VALUES (1)");

  auto query = open("UPDATE " + t + " SET v = 2;\r\nSELECT v FROM " + t);
  ASSERT_EQ(query->recordCount(), 1);
  EXPECT_EQ(query->fieldByName("v").asString(), "2");

  Query update(QStringLiteral("qrList"), connection_);
  update.setSQL({"UPDATE " + t + " SET v = 3"});
  try {
    update.open();
    FAIL() << "an UPDATE alone has no result set";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), "qrList: CommandText does not return a result set");
  }
  EXPECT_FALSE(update.active());
  EXPECT_EQ(readBack("SELECT v FROM " + t, "v"), "3") << "the statement has run all the same";
}

TEST_P(QueryTest, OpenRunsHooksAndConnectsOnItsOwn) {
  const QString t = table("hooks");
  exec("CREATE TABLE " + t + " (v integer)");
  connection_.close();
  QStringList events;
  connection_.afterConnect = [&] { events << "afterConnect"; };
  Query query(QStringLiteral("qrList"), connection_);
  query.beforeOpen = [&](Query &q) {
    events << "beforeOpen";
    q.setSQL({"SELECT v FROM " + t});
  };
  query.afterOpen = [&](Query &) { events << "afterOpen"; };
  query.afterScroll = [&](Query &) { events << "afterScroll"; };
  query.open();
  EXPECT_EQ(events.join(","), "beforeOpen,afterConnect,afterOpen") << "no row, no scroll";
  EXPECT_EQ(query.recordCount(), 0);
  EXPECT_EQ(query.recNo(), -1);

  exec("INSERT INTO " + t + " VALUES (1), (2)");
  query.close();
  events.clear();
  query.open();
  EXPECT_EQ(events.join(","), "beforeOpen,afterOpen,afterScroll");
  query.last();
  EXPECT_EQ(query.recNo(), 1);
  query.next();
  EXPECT_EQ(query.recNo(), 1) << "moving past the end stays on the last row";
}

TEST_P(QueryTest, ControlsAreRefreshedOnceWhenResumed) {
  const QString t = table("controls");
  exec("CREATE TABLE " + t + " (a integer, b integer)");
  auto query = open("SELECT * FROM " + t);
  int layouts = 0;
  QObject::connect(query.get(), &Query::layoutChanged, [&] { ++layouts; });
  query->disableControls();
  query->fields()[0]->setVisible(false);
  query->fields()[1]->setVisible(false);
  EXPECT_EQ(layouts, 0);
  query->enableControls();
  EXPECT_EQ(layouts, 1);
  query->fields()[0]->setVisible(true);
  EXPECT_EQ(layouts, 2);
}

TEST_P(QueryTest, NullEmptyAndZeroBytesStayApart) {
  const QString t = table("nulls");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ", m text)");
  exec("INSERT INTO " + t + " (v, m) VALUES (NULL, NULL)");
  const QString select = "SELECT * FROM " + t;
  auto query = open(select);
  Field &v = query->fieldByName("v");
  EXPECT_TRUE(v.isNull());
  EXPECT_EQ(v.asString(), QByteArray());

  const QByteArray zeros("a\0b\0\0c", 6);
  query->edit();
  v.setAsString(zeros);
  query->checkBrowseMode();
  EXPECT_EQ(query->state(), Query::State::Browse);
  EXPECT_EQ(readBack(select, "v"), zeros);

  query->edit();
  v.setAsString({});
  query->post();
  auto after = open(select);
  EXPECT_TRUE(after->fieldByName("v").isNull()) << "empty bytes store NULL";
}

TEST_P(QueryTest, LargeValuesRoundTripThroughFilesByteForByte) {
  const QString t = table("sizes");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ", m text)");
  exec("INSERT INTO " + t + " (v) VALUES (NULL)");
  const QString select = "SELECT * FROM " + t;
  const qint64 sizes[] = {0, 1, 4095, 4096, 4097, 8000, 8001, 64512, 64513, (16 << 20) + 1};
  for (const qint64 size : sizes) {
    for (const char *column : {"v", "m"}) {
      SCOPED_TRACE(testing::Message() << column << " size " << size);
      QByteArray bytes = patterned(size, quint32(size));
      if (QByteArray(column) == "m") {
        // Text columns hold text: printable bytes, no zero byte on PostgreSQL.
        for (char &c : bytes)
          c = char('a' + (uchar(c) % 26));
      }
      const QString in = scratch_.file("in.bin");
      const QString out = scratch_.file("out.bin");
      writeBytes(in, bytes);

      auto query = open(select);
      query->edit();
      query->fieldByName(column).loadFromFile(in);
      EXPECT_EQ(query->fieldByName(column).valueSize(), size);
      query->checkBrowseMode();
      ASSERT_EQ(query->state(), Query::State::Browse);

      auto reread = open(select);
      Field &field = reread->fieldByName(column);
      EXPECT_EQ(field.valueSize(), size);
      EXPECT_EQ(field.isNull(), size == 0);
      field.saveToFile(out);
      EXPECT_EQ(sha256(readBytes(out)), sha256(bytes));
      EXPECT_EQ(sha256(field.asString()), sha256(bytes));
      // The engine's own account of what it holds.
      const SqlDialect &sql = SqlDialect::of(connection_.dialect());
      const QString length =
          sql.valueLength(sql.quote(column), {column, true, QByteArray(column) == "v", QString()});
      EXPECT_EQ(readBack("SELECT " + length + " AS n FROM " + t, "n").toLongLong(), size);
    }
  }
}

TEST_P(QueryTest, ResultsCarryLargeValuesAsTheirSize) {
  const QString t = table("sized");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  exec("INSERT INTO " + t + " (v) VALUES (NULL), (NULL)");
  const QByteArray big = patterned((2 << 20) + 3, 5), small = patterned(100, 6);
  for (const auto &[row, bytes] : {std::pair{0, big}, std::pair{1, small}}) {
    auto query = open("SELECT * FROM " + t + " ORDER BY id");
    query->moveTo(row);
    query->edit();
    query->fieldByName("v").setAsString(bytes);
    query->post();
  }
  // A statement the wrapped form cannot run (its ';' would sit inside the
  // wrapping) opens all the same, with the same values.
  for (const QString &select :
       {"SELECT * FROM " + t + " ORDER BY id", "SELECT * FROM " + t + " ORDER BY id; -- a note"}) {
    SCOPED_TRACE(select.toStdString());
    auto query = open(select);
    const int v = query->fieldByName("v").index();
    EXPECT_TRUE(query->cell(0, v).isDeferred()) << "the big value was read with the result";
    EXPECT_EQ(query->cell(0, v).size(), big.size());
    EXPECT_EQ(query->cell(1, v).data(), small);
    EXPECT_EQ(sha256(query->fieldByName("v").asString()), sha256(big));
  }
}

TEST_P(QueryTest, AFileLargerThanTheEngineKeepsIsRefusedBeforeAnyWrite) {
  const QString t = table("limit");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  exec("INSERT INTO " + t + " (v) VALUES (NULL)");
  // Sparse: its size is all the check reads.
  const qint64 largest = connection_.driver().largestValue();
  const QString path = scratch_.file("huge.bin");
  {
    QFile huge(path);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(largest + 1));
  }
  auto query = open("SELECT * FROM " + t);
  query->edit();
  try {
    query->fieldByName("v").loadFromFile(path);
    ADD_FAILURE() << "a file larger than the engine keeps was taken";
  } catch (const ValueTooLarge &e) {
    EXPECT_EQ(e.size(), largest + 1);
    EXPECT_EQ(e.largest(), largest);
  }
  EXPECT_FALSE(query->modified());
  query->cancel();
  EXPECT_TRUE(readBack("SELECT v FROM " + t, "v").isEmpty());

  if (GetParam() == Backend::Sqlite) {
    // SQLite's limit holds for the whole row: a value of the limit itself
    // does not fit beside the key, and the engine's refusal names it.
    QFile(path).resize(largest);
    query->edit();
    query->fieldByName("v").loadFromFile(path);
    try {
      query->post();
      ADD_FAILURE() << "a row longer than the limit was posted";
    } catch (const DataError &e) {
      EXPECT_TRUE(e.message().contains(QStringLiteral("length limit of %1").arg(largest)))
          << e.message().toStdString();
    }
    query->cancel();
    EXPECT_TRUE(readBack("SELECT v FROM " + t, "v").isEmpty());
  }
}

TEST_P(QueryTest, PostChangesExactlyTheOneRow) {
  const QString t = table("post");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", name varchar(10), v " + blobType() + ")");
  exec("INSERT INTO " + t + " (name) VALUES ('a'), ('a'), ('b')");
  auto query = open("SELECT * FROM " + t + " ORDER BY id");
  query->moveTo(1);
  query->edit();
  query->fieldByName("v").setAsString("second");
  query->post();

  auto check = open("SELECT id, v FROM " + t + " ORDER BY id");
  QList<QByteArray> values;
  for (int row = 0; row < 3; ++row) {
    check->moveTo(row);
    values << check->fieldByName("v").asString();
  }
  EXPECT_EQ(values, (QList<QByteArray>{"", "second", ""}));
}

TEST_P(QueryTest, PostIsRefusedWhenAnotherConnectionChangedOrDeletedTheRow) {
  const QString t = table("race");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  exec("INSERT INTO " + t + " (v) VALUES (NULL), (NULL)");
  auto query = open("SELECT * FROM " + t + " ORDER BY id");

  Connection other(QStringLiteral("other"));
  other.setConnectionString(initString_);
  other.open();
  other.driver().execute("UPDATE " + t + " SET v = " + (postgres() ? "'\\x01'::bytea" : "x'01'") +
                         " WHERE id = " + QString::fromUtf8(query->fieldByName("id").asString()));

  query->edit();
  query->fieldByName("v").setAsString("mine");
  try {
    query->post();
    FAIL() << "the row changed meanwhile";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotFoundMessage());
  }
  EXPECT_EQ(query->state(), Query::State::Edit) << "a refused post leaves the row in edit state";
  query->cancel();

  query->next();
  other.driver().execute("DELETE FROM " + t +
                         " WHERE id = " + QString::fromUtf8(query->fieldByName("id").asString()));
  query->edit();
  query->fieldByName("v").setAsString("mine");
  EXPECT_THROW(query->post(), DataError);
  query->cancel();

  auto check = open("SELECT v FROM " + t);
  ASSERT_EQ(check->recordCount(), 1);
  EXPECT_EQ(check->fieldByName("v").asString(), QByteArray("\x01")) << "nothing was written";
}

// A value read by its size only cannot be compared: the row's version is.
TEST_P(QueryTest, LargeValueChangedByAnotherConnectionIsNeverOverwritten) {
  const QString t = table("bigrace");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  exec("INSERT INTO " + t + " (v) VALUES (NULL), (NULL)");
  const QByteArray original = patterned((16 << 20) + 1, 7);
  const QString in = scratch_.file("in.bin");
  writeBytes(in, original);
  for (int row = 0; row < 2; ++row) {
    auto query = open("SELECT * FROM " + t + " ORDER BY id");
    query->moveTo(row);
    query->edit();
    query->fieldByName("v").loadFromFile(in);
    query->post();
  }

  auto query = open("SELECT * FROM " + t + " ORDER BY id");
  const int v = query->fieldByName("v").index();
  ASSERT_TRUE(query->cell(0, v).isDeferred());
  // Two posts in a row into one row: the first one's own write does not
  // count as another client's.
  writeBytes(in, patterned((2 << 20) + 5, 8));
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    query->edit();
    query->fieldByName("v").loadFromFile(in);
    ASSERT_NO_THROW(query->post());
    ASSERT_TRUE(query->cell(0, v).isDeferred());
  }

  // Another client writes a value of the same length into the second row.
  Connection other(QStringLiteral("other"));
  other.setConnectionString(initString_);
  other.open();
  other.driver().execute(
      "UPDATE " + t + " SET v = " +
      (postgres() ? "overlay(v placing '\\x00'::bytea from 1)" : "x'00' || substr(v, 2)") +
      " WHERE id = " + QString::fromUtf8(readBack("SELECT max(id) AS n FROM " + t, "n")));
  QByteArray theirs = original;
  theirs[0] = 0;

  query->last();
  ASSERT_TRUE(query->cell(1, v).isDeferred());
  EXPECT_EQ(query->cell(1, v).size(), theirs.size());
  query->edit();
  query->fieldByName("v").setAsString("mine");
  try {
    query->post();
    ADD_FAILURE() << "another client's value was overwritten";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotFoundMessage());
  }
  query->cancel();
  auto check = open("SELECT * FROM " + t + " ORDER BY id DESC");
  EXPECT_EQ(sha256(check->fieldByName("v").asString()), sha256(theirs));

  // Once read again, the row is the one the user sees, and takes the post.
  query = open("SELECT * FROM " + t + " ORDER BY id");
  query->last();
  query->edit();
  query->fieldByName("v").setAsString("mine");
  ASSERT_NO_THROW(query->post());
  EXPECT_EQ(readBack("SELECT v FROM " + t +
                         " WHERE v = " + (postgres() ? "'mine'::bytea" : "CAST('mine' AS BLOB)"),
                     "v"),
            "mine");
}

TEST_P(QueryTest, KeylessTableWithEqualRowsRefusesThePost) {
  const QString t = table("keyless");
  exec("CREATE TABLE " + t + " (name varchar(10), v " + blobType() + ")");
  exec("INSERT INTO " + t + " (name) VALUES ('same'), ('same'), ('other')");
  auto query = open("SELECT * FROM " + t + " ORDER BY name DESC");
  query->edit();
  query->fieldByName("v").setAsString("x");
  try {
    query->post();
    FAIL() << "two rows match";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotUniqueMessage(t, 2));
  }
  query->cancel();
  auto check = open("SELECT count(*) AS n FROM " + t + " WHERE v IS NOT NULL");
  EXPECT_EQ(check->fieldByName("n").asString(), "0") << "nothing was written";

  // A row that is unique among its comparable columns can be written.
  query->last();
  query->edit();
  query->fieldByName("v").setAsString("y");
  query->post();
  EXPECT_EQ(readBack("SELECT v FROM " + t + " WHERE name = 'other'", "v"), "y");
}

TEST_P(QueryTest, FieldConversionsFollowTheKind) {
  const QString t = table("conv");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", i integer, s varchar(5))");
  exec("INSERT INTO " + t + " (i, s) VALUES (7, 'abc')");
  auto query = open("SELECT * FROM " + t);
  EXPECT_EQ(query->fieldByName("i").asString(), "7");
  query->edit();
  EXPECT_THROW(query->fieldByName("i").setAsString("letters"), DataError);
  query->fieldByName("i").setAsString("42");
  query->fieldByName("s").setAsString("abcde");
  query->post();
  auto check = open("SELECT i, s FROM " + t);
  EXPECT_EQ(check->fieldByName("i").asString(), "42");
  EXPECT_EQ(check->fieldByName("s").asString(), "abcde");
  // A longer text is never cut here: SQLite keeps it whole, PostgreSQL
  // refuses it and the row keeps what it held.
  check->edit();
  check->fieldByName("s").setAsString("abcdefgh");
  if (postgres()) {
    EXPECT_THROW(check->post(), DataError);
    check->cancel();
  } else {
    check->post();
  }
  EXPECT_EQ(readBack("SELECT s FROM " + t, "s"), postgres() ? "abcde" : "abcdefgh");
}

TEST_P(QueryTest, LoadingAFileHeldByAnotherProgramFails) {
  const QString t = table("held");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  exec("INSERT INTO " + t + " (v) VALUES (NULL)");
  const QString path = scratch_.file("held.bin");
  writeBytes(path, "content");
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);

  auto query = open("SELECT * FROM " + t);
  query->edit();
  EXPECT_THROW(query->fieldByName("v").loadFromFile(path), DataError);
  EXPECT_THROW(query->fieldByName("v").loadFromFile(scratch_.file("missing")), DataError);
  EXPECT_THROW(query->fieldByName("v").saveToFile(path), DataError);
  ::close(fd);
  query->checkBrowseMode();
  EXPECT_FALSE(query->modified());
  EXPECT_TRUE(readBack("SELECT v FROM " + t, "v").isEmpty());
  EXPECT_EQ(readBytes(path), "content") << "a failed save leaves the file alone";
}

INSTANTIATE_TEST_SUITE_P(Backends, QueryTest, testing::ValuesIn(quillon::test::sqliteAndPostgres()),
                         quillon::test::BackendName());

} // namespace
