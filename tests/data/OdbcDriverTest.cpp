// The ODBC driver: the kind table on its own, and the driver against the
// throw-away PostgreSQL server (psqlodbc) and, when one is given, SQL Server.
#include "data/drivers/OdbcDriver.h"

#include "data/DataError.h"

#include "support/TestBackends.h"
#include "support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace quillon::data;
using quillon::test::Backend;

namespace {

std::string text(const QString &s) {
  return s.toStdString();
}

// What psqlodbc must be told so that text and bytea arrive as the long
// types, booleans as bits and rows are read with plain queries.
const QLatin1String
    kPostgresOptions("ByteaAsLongVarBinary=1;TextAsLongVarchar=1;BoolsAsChar=0;UseDeclareFetch=0;");

QString withOptions(QString connectionString) {
  if (!connectionString.endsWith(QLatin1Char(';')))
    connectionString += QLatin1Char(';');
  return connectionString + kPostgresOptions;
}

ConnectionSettings odbcSettings() {
  ConnectionSettings settings;
  settings.backend = ConnectionSettings::Backend::Odbc;
  settings.loginTimeoutSeconds = 10;
  settings.commandTimeoutSeconds = 60;
  return settings;
}

// A deterministic byte sequence produced piece by piece, never held whole;
// records the largest piece asked for.
class PatternSource : public ByteSource {
public:
  PatternSource(qint64 size, QByteArray pattern) : size_(size), pattern_(std::move(pattern)) {}
  qint64 size() const override { return size_; }
  qint64 read(char *buffer, qint64 max) override {
    largestRead_ = qMax(largestRead_, max);
    const qint64 n = qMin(max, size_ - position_);
    for (qint64 i = 0; i < n; ++i)
      buffer[i] = pattern_[(position_ + i) % pattern_.size()];
    position_ += qMax<qint64>(n, 0);
    return qMax<qint64>(n, 0);
  }
  qint64 largestRead() const { return largestRead_; }

  // The SHA-256 of the whole sequence, computed piecewise as well.
  static QByteArray hashOf(qint64 size, const QByteArray &pattern) {
    PatternSource source(size, pattern);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> chunk(1 << 16);
    qint64 n;
    while ((n = source.read(chunk.data(), qint64(chunk.size()))) > 0)
      hash.addData(QByteArrayView(chunk.data(), n));
    return hash.result().toHex();
  }

private:
  qint64 size_;
  QByteArray pattern_;
  qint64 position_ = 0;
  qint64 largestRead_ = 0;
};

// Reads a source the way the transfer commands do, hashing it.
QByteArray hashOfSource(ByteSource &source, qint64 *total) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  std::vector<char> chunk(static_cast<size_t>(kTransferChunk));
  *total = 0;
  qint64 n;
  while (*total < source.size() && (n = source.read(chunk.data(), qint64(chunk.size()))) > 0) {
    hash.addData(QByteArrayView(chunk.data(), n));
    *total += n;
  }
  return hash.result().toHex();
}

ColumnRef ref(const QString &name, FieldKind kind, const QString &typeName = {}) {
  return {name, kind, typeName};
}

// ---------------------------------------------------------------------------
// The kinds of SQL Server's column types as its ODBC drivers describe them.

struct KindCase {
  const char *type;
  SQLSMALLINT sqlType;
  SQLULEN size;
  bool isUnsigned;
  bool autoIncrement;
  const char *typeName;
  FieldKind kind;
};

void expectKind(const KindCase &c, Dialect dialect) {
  EXPECT_EQ(odbcFieldKind(c.sqlType, c.size, c.isUnsigned, c.autoIncrement,
                          QString::fromLatin1(c.typeName), SqlDialect::of(dialect)),
            c.kind)
      << c.type;
}

class SqlServerFieldKind : public testing::TestWithParam<KindCase> {};
TEST_P(SqlServerFieldKind, MapsTypeLikeAdo) {
  expectKind(GetParam(), Dialect::SqlServer);
}

class PostgresFieldKind : public testing::TestWithParam<KindCase> {};
TEST_P(PostgresFieldKind, MapsTypeByWhatTheColumnHolds) {
  expectKind(GetParam(), Dialect::PostgreSql);
}

const KindCase kSqlServerKinds[] = {
    {"image", SQL_LONGVARBINARY, 2147483647, false, false, "image", FieldKind::ftBlob},
    {"text", SQL_LONGVARCHAR, 2147483647, false, false, "text", FieldKind::ftMemo},
    {"ntext", SQL_WLONGVARCHAR, 1073741823, false, false, "ntext", FieldKind::ftMemo},
    {"xml", -152, 0, false, false, "xml", FieldKind::ftMemo},
    {"varchar(50)", SQL_VARCHAR, 50, false, false, "varchar", FieldKind::ftString},
    {"char(10)", SQL_CHAR, 10, false, false, "char", FieldKind::ftString},
    {"varchar(8000)", SQL_VARCHAR, 8000, false, false, "varchar", FieldKind::ftString},
    {"varchar(max)", SQL_VARCHAR, 0, false, false, "varchar", FieldKind::ftMemo},
    {"varchar(max) as long", SQL_LONGVARCHAR, 2147483647, false, false, "varchar",
     FieldKind::ftMemo},
    {"nvarchar(50)", SQL_WVARCHAR, 50, false, false, "nvarchar", FieldKind::ftWideString},
    {"nchar(5)", SQL_WCHAR, 5, false, false, "nchar", FieldKind::ftWideString},
    {"nvarchar(4000)", SQL_WVARCHAR, 4000, false, false, "nvarchar", FieldKind::ftWideString},
    {"nvarchar(max)", SQL_WVARCHAR, 0, false, false, "nvarchar", FieldKind::ftMemo},
    {"varbinary(50)", SQL_VARBINARY, 50, false, false, "varbinary", FieldKind::ftVarBytes},
    {"binary(16)", SQL_BINARY, 16, false, false, "binary", FieldKind::ftBytes},
    {"varbinary(8000)", SQL_VARBINARY, 8000, false, false, "varbinary", FieldKind::ftVarBytes},
    {"varbinary(max)", SQL_VARBINARY, 0, false, false, "varbinary", FieldKind::ftBlob},
    {"varbinary(max) as long", SQL_LONGVARBINARY, 2147483647, false, false, "varbinary",
     FieldKind::ftBlob},
    {"int identity", SQL_INTEGER, 10, false, true, "int identity", FieldKind::ftAutoInc},
    {"int", SQL_INTEGER, 10, false, false, "int", FieldKind::ftInteger},
    {"smallint", SQL_SMALLINT, 5, false, false, "smallint", FieldKind::ftSmallint},
    {"tinyint", SQL_TINYINT, 3, true, false, "tinyint", FieldKind::ftWord},
    {"bigint", SQL_BIGINT, 19, false, false, "bigint", FieldKind::ftLargeint},
    {"bit", SQL_BIT, 1, false, false, "bit", FieldKind::ftBoolean},
    {"decimal(18,2)", SQL_DECIMAL, 18, false, false, "decimal", FieldKind::ftBCD},
    {"numeric(10,0)", SQL_NUMERIC, 10, false, false, "numeric", FieldKind::ftBCD},
    {"money", SQL_DECIMAL, 19, false, false, "money", FieldKind::ftBCD},
    {"smallmoney", SQL_DECIMAL, 10, false, false, "smallmoney", FieldKind::ftBCD},
    {"float", SQL_FLOAT, 53, false, false, "float", FieldKind::ftFloat},
    {"real", SQL_REAL, 24, false, false, "real", FieldKind::ftFloat},
    {"datetime", SQL_TYPE_TIMESTAMP, 23, false, false, "datetime", FieldKind::ftDateTime},
    {"datetime2", SQL_TYPE_TIMESTAMP, 27, false, false, "datetime2", FieldKind::ftDateTime},
    {"date", SQL_TYPE_DATE, 10, false, false, "date", FieldKind::ftDate},
    {"time", -154, 16, false, false, "time", FieldKind::ftTime},
    {"uniqueidentifier", SQL_GUID, 36, false, false, "uniqueidentifier", FieldKind::ftGuid},
    {"sql_variant", -150, 8000, false, false, "sql_variant", FieldKind::ftVariant},
    {"geography", -151, 0, false, false, "geography", FieldKind::ftUnknown},
};

INSTANTIATE_TEST_SUITE_P(Types, SqlServerFieldKind, testing::ValuesIn(kSqlServerKinds));

// As psqlodbc reports them with the sizes the connection pins: a varchar
// without a length, json and arrays one longer than any varchar(n).
const KindCase kPostgresKinds[] = {
    {"text", SQL_LONGVARCHAR, 1073741823, false, false, "text", FieldKind::ftMemo},
    {"bytea", SQL_LONGVARBINARY, 0, false, false, "bytea", FieldKind::ftBlob},
    {"serial", SQL_INTEGER, 10, false, true, "serial", FieldKind::ftAutoInc},
    {"varchar(20)", SQL_VARCHAR, 20, false, false, "varchar", FieldKind::ftString},
    {"varchar(300)", SQL_VARCHAR, 300, false, false, "varchar", FieldKind::ftString},
    {"varchar(10485760)", SQL_VARCHAR, 10485760, false, false, "varchar", FieldKind::ftString},
    {"varchar", SQL_VARCHAR, 10485761, false, false, "varchar", FieldKind::ftMemo},
    {"json", SQL_VARCHAR, 10485761, false, false, "unknown", FieldKind::ftMemo},
    {"int[]", SQL_VARCHAR, 10485761, false, false, "unknown", FieldKind::ftMemo},
    {"xml", SQL_LONGVARCHAR, 10485761, false, false, "xml", FieldKind::ftMemo},
    {"char(5)", SQL_CHAR, 5, false, false, "char", FieldKind::ftString},
    {"int8", SQL_BIGINT, 19, false, false, "int8", FieldKind::ftLargeint},
    {"money", SQL_FLOAT, 10, false, false, "money", FieldKind::ftBCD},
    {"uuid", SQL_GUID, 37, false, false, "uuid", FieldKind::ftGuid},
};

INSTANTIATE_TEST_SUITE_P(Types, PostgresFieldKind, testing::ValuesIn(kPostgresKinds));

// ---------------------------------------------------------------------------
// Against the live PostgreSQL server.

// Through each of psqlodbc's drivers, ANSI and Unicode.
class OdbcPostgresTest : public testing::TestWithParam<Backend> {
protected:
  void SetUp() override {
    QUILLON_REQUIRE_BACKEND(GetParam());
    connectionString_ = withOptions(quillon::test::odbcConnectionString(GetParam()));
    try {
      driver_ = OdbcDriver::connect(connectionString_, odbcSettings());
    } catch (const DataError &e) {
      FAIL() << "cannot connect: " << e.what();
    }
    // Tests run in parallel processes against one database: own names.
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    suffix_ =
        QStringLiteral("%1_%2").arg(qHash(QString::fromUtf8(info->name())) % 100000).arg(getpid());
  }

  void TearDown() override {
    if (!driver_)
      return;
    for (const QString &table : created_) {
      try {
        driver_->execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
      } catch (const DataError &) {
      }
    }
  }

  QString table(const QString &base, const QString &columns) {
    const QString name = base + QLatin1Char('_') + suffix_;
    created_ << name;
    exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(name, columns));
    return name;
  }

  void exec(const QString &sql) {
    try {
      EXPECT_EQ(driver_->execute(sql), nullptr) << text(sql);
    } catch (const DataError &e) {
      FAIL() << "statement failed: " << text(sql) << "\n" << e.what();
    }
  }

  // Every value of the result, read with no limit.
  std::vector<std::vector<CellValue>> rows(const QString &sql, qint64 limit = 1 << 30) {
    std::vector<std::vector<CellValue>> result;
    std::unique_ptr<ResultSet> set = driver_->execute(sql);
    EXPECT_NE(set, nullptr) << text(sql);
    if (!set)
      return result;
    while (set->fetch()) {
      std::vector<CellValue> row;
      for (size_t c = 0; c < set->columns().size(); ++c)
        row.push_back(set->value(int(c), limit));
      result.push_back(std::move(row));
    }
    return result;
  }

  QByteArray scalar(const QString &sql) {
    const auto result = rows(sql);
    EXPECT_EQ(result.size(), 1u) << text(sql);
    return result.empty() || result[0].empty() ? QByteArray() : result[0][0].data();
  }

  QString connectionString_;
  std::unique_ptr<Driver> driver_;
  QString suffix_;
  QStringList created_;
};

TEST_P(OdbcPostgresTest, ConnectsAndReportsTheServer) {
  EXPECT_EQ(driver_->dialect(), Dialect::PostgreSql);
  EXPECT_EQ(driver_->defaultDatabase(), QString::fromUtf8(scalar("SELECT current_database()")));
  EXPECT_FALSE(driver_->defaultDatabase().isEmpty());
}

TEST_P(OdbcPostgresTest, InstalledDriversNameTheTestDriver) {
  static const QRegularExpression driverKey(QStringLiteral("Driver=\\{([^}]*)\\}"),
                                            QRegularExpression::CaseInsensitiveOption);
  const QString name = driverKey.match(connectionString_).captured(1);
  ASSERT_FALSE(name.isEmpty()) << text(connectionString_);
  EXPECT_TRUE(OdbcDriver::installedDrivers().contains(name))
      << text(OdbcDriver::installedDrivers().join(", "));
}

TEST_P(OdbcPostgresTest, ClassifiesColumnsOfATable) {
  const QString t = table(QStringLiteral("kinds"),
                          "id serial PRIMARY KEY, i integer, b bigint, n numeric(10,2), d date, "
                          "ts timestamp, v varchar(20), t text, by bytea, bo boolean, "
                          "tm time, f float8, sm smallint");
  std::unique_ptr<ResultSet> set =
      driver_->execute(QStringLiteral("SELECT id, i, b, n, d, ts, v, t, by, i + 1 AS expr, "
                                      "v AS alias, bo, tm, f, sm, ctid FROM %1")
                           .arg(t));
  ASSERT_NE(set, nullptr);
  const std::vector<ColumnInfo> &columns = set->columns();
  ASSERT_EQ(columns.size(), 16u);

  struct Expected {
    const char *name;
    FieldKind kind;
    bool updatable;
    const char *baseColumn;
  };
  const Expected expected[] = {
      {"id", FieldKind::ftAutoInc, false, "id"}, {"i", FieldKind::ftInteger, true, "i"},
      {"b", FieldKind::ftLargeint, true, "b"},   {"n", FieldKind::ftBCD, true, "n"},
      {"d", FieldKind::ftDate, true, "d"},       {"ts", FieldKind::ftDateTime, true, "ts"},
      {"v", FieldKind::ftString, true, "v"},     {"t", FieldKind::ftMemo, true, "t"},
      {"by", FieldKind::ftBlob, true, "by"},     {"expr", FieldKind::ftInteger, false, ""},
      {"alias", FieldKind::ftString, true, "v"}, {"bo", FieldKind::ftBoolean, true, "bo"},
      {"tm", FieldKind::ftTime, true, "tm"},     {"f", FieldKind::ftFloat, true, "f"},
      {"sm", FieldKind::ftSmallint, true, "sm"},
  };
  for (size_t c = 0; c < std::size(expected); ++c) {
    SCOPED_TRACE(expected[c].name);
    EXPECT_EQ(columns[c].name, QLatin1String(expected[c].name));
    EXPECT_EQ(columns[c].kind, expected[c].kind);
    EXPECT_EQ(columns[c].updatable, expected[c].updatable);
    EXPECT_EQ(columns[c].baseColumn, QLatin1String(expected[c].baseColumn));
    EXPECT_EQ(columns[c].baseTable, expected[c].baseColumn[0] ? t : QString());
    EXPECT_FALSE(columns[c].rowId);
  }
  EXPECT_TRUE(columns[0].autoIncrement);
  EXPECT_FALSE(columns[1].autoIncrement);
  EXPECT_EQ(columns[6].displayWidth, 20);
  EXPECT_EQ(columns[10].displayWidth, 20);
  EXPECT_EQ(columns[7].typeName, QLatin1String("text"));
  EXPECT_EQ(columns[8].typeName, QLatin1String("bytea"));
  EXPECT_TRUE(columns[15].rowId) << "ctid identifies the row version";
  EXPECT_FALSE(columns[15].updatable);
}

TEST_P(OdbcPostgresTest, QualifiesTablesOutsideThePublicSchema) {
  const QString schema = QStringLiteral("s_") + suffix_;
  exec(QStringLiteral("CREATE SCHEMA %1").arg(schema));
  const QString t = schema + QStringLiteral(".items");
  created_ << t;
  exec(QStringLiteral("CREATE TABLE %1 (k integer PRIMARY KEY, w text)").arg(t));
  exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'one')").arg(t));

  std::unique_ptr<ResultSet> set = driver_->execute(QStringLiteral("SELECT k, w FROM %1").arg(t));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->columns()[1].baseTable, t);
  set.reset();
  EXPECT_EQ(driver_->keyColumns(t), QStringList{QStringLiteral("k")});

  driver_->updateRow({t,
                      {{ref("w", FieldKind::ftMemo), CellValue::text("uno"), nullptr}},
                      {{ref("k", FieldKind::ftInteger), CellValue::integer(1)}}});
  EXPECT_EQ(scalar(QStringLiteral("SELECT w FROM %1").arg(t)), QByteArray("uno"));
  exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
}

TEST_P(OdbcPostgresTest, QuotesNamesThatNeedIt) {
  const QString sqlName = QStringLiteral("\"odd.na\"\"me_%1\"").arg(suffix_);
  created_ << sqlName;
  exec(QStringLiteral("CREATE TABLE %1 (\"Key Col\" integer PRIMARY KEY, \"v\"\"q\" text)")
           .arg(sqlName));
  exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'a')").arg(sqlName));

  std::unique_ptr<ResultSet> set =
      driver_->execute(QStringLiteral("SELECT * FROM %1").arg(sqlName));
  ASSERT_NE(set, nullptr);
  const QString table = set->columns()[0].baseTable;
  EXPECT_EQ(set->columns()[0].baseColumn, QLatin1String("Key Col"));
  EXPECT_EQ(set->columns()[1].baseColumn, QLatin1String("v\"q"));
  set.reset();
  EXPECT_EQ(table, sqlName) << "a name with a dot reads as one name";
  EXPECT_EQ(driver_->keyColumns(table), QStringList{QStringLiteral("Key Col")});
  driver_->updateRow({table,
                      {{ref("v\"q", FieldKind::ftMemo), CellValue::text("b"), nullptr}},
                      {{ref("Key Col", FieldKind::ftInteger), CellValue::integer(1)}}});
  EXPECT_EQ(scalar(QStringLiteral("SELECT \"v\"\"q\" FROM %1").arg(sqlName)), QByteArray("b"));
}

TEST_P(OdbcPostgresTest, ReadsValuesByKind) {
  const QString t = table(QStringLiteral("vals"),
                          "i integer, b bigint, f float8, n numeric(10,2), d date, v varchar(20), "
                          "bo boolean");
  exec(QStringLiteral("INSERT INTO %1 VALUES (-7, 9007199254740993, 1.5, 12.50, '2024-02-29', "
                      "'Grüße ✓', true)")
           .arg(t));
  const auto result = rows(QStringLiteral("SELECT * FROM %1").arg(t));
  ASSERT_EQ(result.size(), 1u);
  const std::vector<CellValue> &row = result[0];
  EXPECT_EQ(row[0], CellValue::integer(-7));
  EXPECT_EQ(row[1].asInteger(), 9007199254740993LL);
  EXPECT_EQ(row[2].type(), CellValue::Type::Real);
  EXPECT_DOUBLE_EQ(row[2].asReal(), 1.5);
  EXPECT_EQ(row[3], CellValue::text("12.50"));
  EXPECT_EQ(row[4], CellValue::text("2024-02-29"));
  EXPECT_EQ(QString::fromUtf8(row[5].data()), QStringLiteral("Grüße ✓"));
  EXPECT_EQ(row[6], CellValue::integer(1));
}

TEST_P(OdbcPostgresTest, TellsNullFromEmptyAndKeepsZeroBytes) {
  const QString t = table(QStringLiteral("nulls"), "id integer PRIMARY KEY, t text, by bytea, "
                                                   "v varchar(10)");
  exec(QStringLiteral("INSERT INTO %1 VALUES (1, NULL, NULL, NULL), (2, '', '', ''), "
                      "(3, 'a', '\\x00410000', 'b')")
           .arg(t));
  for (const qint64 limit : {qint64(1) << 30, qint64(0)}) {
    SCOPED_TRACE(limit);
    const auto result = rows(QStringLiteral("SELECT t, by, v FROM %1 ORDER BY id").arg(t), limit);
    ASSERT_EQ(result.size(), 3u);
    EXPECT_TRUE(result[0][0].isNull());
    EXPECT_TRUE(result[0][1].isNull());
    EXPECT_TRUE(result[0][2].isNull());
    EXPECT_EQ(result[1][0].type(), CellValue::Type::Text);
    EXPECT_EQ(result[1][0].size(), 0);
    EXPECT_EQ(result[1][1].type(), CellValue::Type::Bytes);
    EXPECT_EQ(result[1][1].size(), 0);
    EXPECT_EQ(result[1][2].type(), CellValue::Type::Text);
    EXPECT_EQ(result[1][2].size(), 0);
    if (limit == 0) {
      // Non-empty large values beyond the limit stay in the database.
      EXPECT_EQ(result[2][1], CellValue::deferred(4, false));
    } else {
      EXPECT_EQ(result[2][1], CellValue::bytes(QByteArray("\0A\0\0", 4)));
    }
  }

  // Empty and zero-byte values go back as such.
  driver_->updateRow(
      {t,
       {{ref("by", FieldKind::ftBlob), CellValue::bytes(QByteArray("\0\0", 2)), nullptr},
        {ref("t", FieldKind::ftMemo), CellValue::text(""), nullptr}},
       {{ref("id", FieldKind::ftInteger), CellValue::integer(1)}}});
  EXPECT_EQ(scalar(QStringLiteral("SELECT encode(by, 'hex') || '/' || (t IS NULL)::text || '/' "
                                  "|| length(t) FROM %1 WHERE id = 1")
                       .arg(t)),
            QByteArray("0000/false/0"));
  driver_->updateRow({t,
                      {{ref("by", FieldKind::ftBlob), CellValue::null(), nullptr}},
                      {{ref("id", FieldKind::ftInteger), CellValue::integer(1)}}});
  EXPECT_EQ(scalar(QStringLiteral("SELECT (by IS NULL)::text FROM %1 WHERE id = 1").arg(t)),
            QByteArray("true"));
}

TEST_P(OdbcPostgresTest, DefersLargeValuesAndReadsThemBack) {
  const QString t = table(QStringLiteral("large"), "id integer PRIMARY KEY, t text, by bytea");
  exec(QStringLiteral("INSERT INTO %1 SELECT 1, repeat('Grüße, ', 400000), "
                      "decode(repeat('00ff7f10', 700000), 'hex')")
           .arg(t));
  const QByteArray textHash =
      scalar(QStringLiteral("SELECT encode(sha256(convert_to(t, 'UTF8')), 'hex') FROM %1").arg(t));
  const QByteArray bytesHash =
      scalar(QStringLiteral("SELECT encode(sha256(by), 'hex') FROM %1").arg(t));
  const qint64 textSize = 400000LL * QByteArray("Grüße, ").size();
  const qint64 bytesSize = 700000LL * 4;

  const auto deferred = rows(QStringLiteral("SELECT id, t, by FROM %1").arg(t), 1 << 20);
  ASSERT_EQ(deferred.size(), 1u);
  EXPECT_EQ(deferred[0][1], CellValue::deferred(textSize, true));
  EXPECT_TRUE(deferred[0][1].isTextual());
  EXPECT_EQ(deferred[0][2], CellValue::deferred(bytesSize, false));
  EXPECT_FALSE(deferred[0][2].isTextual());

  // Within the limit the same values come inline.
  const auto inline_ = rows(QStringLiteral("SELECT t, by FROM %1").arg(t));
  ASSERT_EQ(inline_.size(), 1u);
  EXPECT_EQ(inline_[0][0].size(), textSize);
  EXPECT_EQ(QCryptographicHash::hash(inline_[0][0].data(), QCryptographicHash::Sha256).toHex(),
            textHash);
  EXPECT_EQ(QCryptographicHash::hash(inline_[0][1].data(), QCryptographicHash::Sha256).toHex(),
            bytesHash);

  const std::vector<Criterion> row = {{ref("id", FieldKind::ftInteger), CellValue::integer(1)}};
  qint64 total = 0;
  std::unique_ptr<ByteSource> source = driver_->readValue(t, ref("t", FieldKind::ftMemo), row);
  EXPECT_EQ(source->size(), textSize);
  EXPECT_EQ(hashOfSource(*source, &total), textHash);
  EXPECT_EQ(total, textSize);
  source = driver_->readValue(t, ref("by", FieldKind::ftBlob), row);
  EXPECT_EQ(source->size(), bytesSize);
  EXPECT_EQ(hashOfSource(*source, &total), bytesHash);
  EXPECT_EQ(total, bytesSize);

  // The connection stays usable while a reader is open and after it.
  std::unique_ptr<ByteSource> open = driver_->readValue(t, ref("by", FieldKind::ftBlob), row);
  char first[4];
  EXPECT_EQ(open->read(first, 4), 4);
  EXPECT_EQ(QByteArray(first, 4), QByteArray("\x00\xff\x7f\x10", 4));
  EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM %1").arg(t)), QByteArray("1"));
}

TEST_P(OdbcPostgresTest, ReadValueNeedsExactlyOneRow) {
  const QString t = table(QStringLiteral("readone"), "k integer, by bytea");
  exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'a'), (1, 'b'), (2, NULL)").arg(t));
  const ColumnRef by = ref("by", FieldKind::ftBlob);
  try {
    driver_->readValue(t, by, {{ref("k", FieldKind::ftInteger), CellValue::integer(3)}});
    ADD_FAILURE() << "a missing row was read";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotFoundMessage());
  }
  try {
    driver_->readValue(t, by, {{ref("k", FieldKind::ftInteger), CellValue::integer(1)}});
    ADD_FAILURE() << "one of two rows was read";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotUniqueMessage(t, 2));
  }
  std::unique_ptr<ByteSource> null =
      driver_->readValue(t, by, {{ref("k", FieldKind::ftInteger), CellValue::integer(2)}});
  EXPECT_EQ(null->size(), 0);
}

TEST_P(OdbcPostgresTest, UpdateChangesExactlyOneRow) {
  const QString t = table(QStringLiteral("upd"), "k integer, v varchar(20), n numeric(8,2), "
                                                 "d date, t text");
  exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'same', 1.25, '2020-01-01', 'x'), "
                      "(1, 'same', 1.25, '2020-01-01', 'x'), (2, NULL, 2.50, NULL, 'y')")
           .arg(t));
  const auto byAllColumns = [](qint64 k, const CellValue &v) {
    return std::vector<Criterion>{{ref("k", FieldKind::ftInteger), CellValue::integer(k)},
                                  {ref("v", FieldKind::ftString), v}};
  };
  const std::vector<Assignment> change = {
      {ref("t", FieldKind::ftMemo), CellValue::text("changed"), nullptr}};

  try {
    driver_->updateRow({t, change, byAllColumns(1, CellValue::text("same"))});
    ADD_FAILURE() << "two equal rows were updated";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotUniqueMessage(t, 2));
  }
  EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE t = 'changed'").arg(t)),
            QByteArray("0"));

  try {
    driver_->updateRow({t, change, byAllColumns(1, CellValue::text("other"))});
    ADD_FAILURE() << "a missing row was updated";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotFoundMessage());
  }

  // NULL originals match with IS NULL; numbers and dates by their text.
  driver_->updateRow({t,
                      change,
                      {{ref("k", FieldKind::ftInteger), CellValue::integer(2)},
                       {ref("v", FieldKind::ftString), CellValue::null()},
                       {ref("n", FieldKind::ftBCD), CellValue::text("2.50")},
                       {ref("d", FieldKind::ftDate), CellValue::null()},
                       {ref("t", FieldKind::ftMemo), CellValue::text("y")}}});
  EXPECT_EQ(
      scalar(QStringLiteral("SELECT string_agg(k::text || t, ',' ORDER BY k, t) FROM %1").arg(t)),
      QByteArray("1x,1x,2changed"));

  // After a refused update the connection commits on its own again: a
  // second connection sees the next change at once.
  try {
    driver_->updateRow({t, change, byAllColumns(1, CellValue::text("same"))});
  } catch (const DataError &) {
  }
  exec(QStringLiteral("INSERT INTO %1 (k, t) VALUES (9, 'visible')").arg(t));
  std::unique_ptr<Driver> other = OdbcDriver::connect(connectionString_, odbcSettings());
  std::unique_ptr<ResultSet> seen =
      other->execute(QStringLiteral("SELECT t FROM %1 WHERE k = 9").arg(t));
  ASSERT_NE(seen, nullptr);
  ASSERT_TRUE(seen->fetch());
  EXPECT_EQ(seen->value(0, 1 << 20), CellValue::text("visible"));
}

TEST_P(OdbcPostgresTest, ComparesDeferredOriginalsByLength) {
  const QString t = table(QStringLiteral("deflen"), "k integer, by bytea, t text");
  exec(QStringLiteral("INSERT INTO %1 VALUES (1, decode(repeat('ab', 3000000), 'hex'), "
                      "repeat('é', 1000000))")
           .arg(t));
  const auto read = rows(QStringLiteral("SELECT by, t FROM %1").arg(t), 1 << 20);
  ASSERT_EQ(read.size(), 1u);
  const CellValue by = read[0][0];
  const CellValue tx = read[0][1];
  ASSERT_TRUE(by.isDeferred());
  ASSERT_TRUE(tx.isDeferred());
  EXPECT_EQ(tx.size(), 2000000);

  const std::vector<Assignment> change = {
      {ref("k", FieldKind::ftInteger), CellValue::integer(5), nullptr}};
  try {
    driver_->updateRow(
        {t, change, {{ref("by", FieldKind::ftBlob), CellValue::deferred(17, false)}}});
    ADD_FAILURE() << "a wrong length matched";
  } catch (const DataError &e) {
    EXPECT_EQ(e.message(), rowNotFoundMessage());
  }
  driver_->updateRow(
      {t, change, {{ref("by", FieldKind::ftBlob), by}, {ref("t", FieldKind::ftMemo), tx}}});
  EXPECT_EQ(scalar(QStringLiteral("SELECT k FROM %1").arg(t)), QByteArray("5"));
}

TEST_P(OdbcPostgresTest, StreamsLargeNewValuesInChunks) {
  const QString t = table(QStringLiteral("stream"), "id integer PRIMARY KEY, by bytea, t text");
  exec(QStringLiteral("INSERT INTO %1 VALUES (1, NULL, NULL), (2, NULL, NULL)").arg(t));

  const QByteArray binary("\x00\x01\xfe\xff\x10\x00\x7f", 7);
  const qint64 binarySize = 5 * kTransferChunk + 12345;
  // Three-byte characters: chunk borders fall inside characters.
  const QByteArray utf8 = QStringLiteral("€ab✓").toUtf8();
  const qint64 textSize = (3 * kTransferChunk / utf8.size() + 7) * utf8.size();

  auto bytes = std::make_shared<PatternSource>(binarySize, binary);
  auto chars = std::make_shared<PatternSource>(textSize, utf8);
  driver_->updateRow(
      {t,
       {{ref("by", FieldKind::ftBlob), {}, bytes}, {ref("t", FieldKind::ftMemo), {}, chars}},
       {{ref("id", FieldKind::ftInteger), CellValue::integer(1)}}});
  EXPECT_LE(bytes->largestRead(), kTransferChunk);
  EXPECT_LE(chars->largestRead(), kTransferChunk);

  EXPECT_EQ(scalar(QStringLiteral("SELECT octet_length(by) FROM %1 WHERE id = 1").arg(t)),
            QByteArray::number(binarySize));
  EXPECT_EQ(scalar(QStringLiteral("SELECT encode(sha256(by), 'hex') FROM %1 WHERE id = 1").arg(t)),
            PatternSource::hashOf(binarySize, binary));
  EXPECT_EQ(scalar(QStringLiteral("SELECT encode(sha256(convert_to(t, 'UTF8')), 'hex') FROM %1 "
                                  "WHERE id = 1")
                       .arg(t)),
            PatternSource::hashOf(textSize, utf8));
  EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE by IS NULL").arg(t)),
            QByteArray("1"));

  // And back out through the reader, hash-identical.
  qint64 total = 0;
  std::unique_ptr<ByteSource> source = driver_->readValue(
      t, ref("by", FieldKind::ftBlob), {{ref("id", FieldKind::ftInteger), CellValue::integer(1)}});
  EXPECT_EQ(hashOfSource(*source, &total), PatternSource::hashOf(binarySize, binary));
  EXPECT_EQ(total, binarySize);

  // A stream that fails half-way changes nothing.
  class Failing : public ByteSource {
  public:
    qint64 size() const override { return 3 * kTransferChunk; }
    qint64 read(char *buffer, qint64 max) override {
      if (given_ >= kTransferChunk)
        throw DataError(QStringLiteral("disk gone"));
      std::fill_n(buffer, max, 'z');
      given_ += max;
      return max;
    }

  private:
    qint64 given_ = 0;
  };
  EXPECT_THROW(
      driver_->updateRow({t,
                          {{ref("by", FieldKind::ftBlob), {}, std::make_shared<Failing>()}},
                          {{ref("id", FieldKind::ftInteger), CellValue::integer(2)}}}),
      DataError);
  EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE by IS NULL").arg(t)),
            QByteArray("1"));
  // The connection is still in order.
  driver_->updateRow({t,
                      {{ref("t", FieldKind::ftMemo), CellValue::text("after"), nullptr}},
                      {{ref("id", FieldKind::ftInteger), CellValue::integer(2)}}});
  EXPECT_EQ(scalar(QStringLiteral("SELECT t FROM %1 WHERE id = 2").arg(t)), QByteArray("after"));
}

TEST_P(OdbcPostgresTest, FindsKeyColumns) {
  const QString primary = table(QStringLiteral("pk"), "b integer, a integer, x text, "
                                                      "PRIMARY KEY (a, b)");
  EXPECT_EQ(driver_->keyColumns(primary), (QStringList{"a", "b"}));

  const QString unique = table(QStringLiteral("uq"), "n integer, m integer NOT NULL, "
                                                     "o integer NOT NULL");
  exec(QStringLiteral("CREATE UNIQUE INDEX %1_n ON %1 (n)").arg(unique));
  exec(QStringLiteral("CREATE UNIQUE INDEX %1_mo ON %1 (m, o)").arg(unique));
  EXPECT_EQ(driver_->keyColumns(unique), (QStringList{"m", "o"}))
      << "a unique index over a column that may be NULL identifies no row";

  const QString none = table(QStringLiteral("nokey"), "a integer, b text");
  EXPECT_TRUE(driver_->keyColumns(none).isEmpty());

  const QString quoted = QStringLiteral("\"%1\"").arg(primary);
  EXPECT_EQ(driver_->keyColumns(QStringLiteral("public.") + quoted), (QStringList{"a", "b"}));
}

TEST_P(OdbcPostgresTest, RunsStatementsWithoutResults) {
  const QString t = table(QStringLiteral("noresult"), "a integer");
  EXPECT_EQ(driver_->execute(QStringLiteral("DELETE FROM %1 WHERE a = 1").arg(t)), nullptr);
  // Several statements: the first result with columns comes back.
  std::unique_ptr<ResultSet> set = driver_->execute(
      QStringLiteral("INSERT INTO %1 VALUES (4);\r\nDELETE FROM %1 WHERE a = 99;\r\n"
                     "SELECT a * 2 AS twice FROM %1")
          .arg(t));
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->columns().size(), 1u);
  EXPECT_EQ(set->columns()[0].name, QLatin1String("twice"));
  ASSERT_TRUE(set->fetch());
  EXPECT_EQ(set->value(0, 0), CellValue::integer(8));
  EXPECT_FALSE(set->fetch());
  EXPECT_FALSE(set->fetch());
}

TEST_P(OdbcPostgresTest, ErrorsCarryTheDriversMessage) {
  const QString missing = QStringLiteral("no_such_table_") + suffix_;
  try {
    driver_->execute(QStringLiteral("SELECT * FROM %1").arg(missing));
    ADD_FAILURE() << "a missing table was read";
  } catch (const DataError &e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("relation \"%1\" does not exist").arg(missing)))
        << e.what();
  }
  try {
    driver_->updateRow({missing,
                        {{ref("a", FieldKind::ftInteger), CellValue::integer(1), nullptr}},
                        {{ref("a", FieldKind::ftInteger), CellValue::integer(2)}}});
    ADD_FAILURE() << "a missing table was updated";
  } catch (const DataError &e) {
    EXPECT_TRUE(e.message().contains(QLatin1String("does not exist"))) << e.what();
  }
  try {
    driver_->execute(QStringLiteral("SELECT ?"));
    ADD_FAILURE() << "a parameter marker ran without a value";
  } catch (const DataError &e) {
    EXPECT_TRUE(e.message().contains(QLatin1String("07002"))) << e.what();
  }
  // The connection survives its errors.
  EXPECT_EQ(scalar(QStringLiteral("SELECT 1")), QByteArray("1"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcPostgresTest,
                         testing::ValuesIn(quillon::test::postgresOdbcBackends()),
                         quillon::test::BackendName());

TEST(OdbcConnectTest, RefusesUnknownDataSourcesWithTheManagersMessage) {
  try {
    OdbcDriver::connect(QStringLiteral("DSN=quillon_no_such_source"), odbcSettings());
    ADD_FAILURE() << "connected to a data source that does not exist";
  } catch (const DataError &e) {
    EXPECT_TRUE(e.message().contains(QLatin1String("Data source name not found"))) << e.what();
    EXPECT_TRUE(e.message().contains(QLatin1String("IM002"))) << e.what();
  }
}

TEST(OdbcConnectTest, ReportsEveryDiagnosticOfAFailedLogin) {
  if (!OdbcDriver::installedDrivers().contains(QStringLiteral("FreeTDS")))
    GTEST_SKIP() << "the FreeTDS driver is not registered (scripts/test registers it)";
  // Port 1 on this machine refuses at once: FreeTDS reports two records.
  try {
    OdbcDriver::connect(QStringLiteral("Driver={FreeTDS};Server=127.0.0.1;Port=1;"
                                       "TDS_Version=7.4;UID=sa;PWD=x"),
                        odbcSettings());
    ADD_FAILURE() << "connected to a closed port";
  } catch (const DataError &e) {
    EXPECT_TRUE(e.message().contains(QLatin1String("[FreeTDS]"))) << e.what();
    EXPECT_TRUE(e.message().contains(QLatin1String("08001"))) << e.what();
    EXPECT_GE(e.message().count(QLatin1String("SQLSTATE")), 2) << e.what();
  }
}

TEST(OdbcConnectTest, RefusesAWrongPasswordWithTheServersMessage) {
  QUILLON_REQUIRE_BACKEND(Backend::PostgresAnsi);
  const QString odbc = quillon::test::odbcConnectionString(Backend::PostgresAnsi);
  QString wrong = odbc;
  wrong.replace(
      QRegularExpression(QStringLiteral("Pwd=[^;]*"), QRegularExpression::CaseInsensitiveOption),
      QStringLiteral("Pwd=wrong-password"));
  ASSERT_NE(wrong, odbc);
  try {
    OdbcDriver::connect(withOptions(wrong), odbcSettings());
    ADD_FAILURE() << "connected with a wrong password";
  } catch (const DataError &e) {
    EXPECT_TRUE(e.message().contains(QLatin1String("password authentication failed"))) << e.what();
  }
}

// ---------------------------------------------------------------------------
// Against SQL Server, when the user gives one.

class OdbcSqlServerTest : public testing::Test {
protected:
  void SetUp() override {
    QUILLON_REQUIRE_BACKEND(Backend::SqlServer);
    const QString odbc = quillon::test::odbcConnectionString(Backend::SqlServer);
    ConnectionSettings settings = odbcSettings();
    settings.viaFreeTds = odbc.contains(QLatin1String("FreeTDS"), Qt::CaseInsensitive);
    driver_ = OdbcDriver::connect(odbc, settings);
    table_ = QStringLiteral("quillon_odbc_%1").arg(getpid());
    driver_->execute(QStringLiteral("IF OBJECT_ID('%1') IS NOT NULL DROP TABLE %1").arg(table_));
  }
  void TearDown() override {
    if (driver_)
      driver_->execute(QStringLiteral("IF OBJECT_ID('%1') IS NOT NULL DROP TABLE %1").arg(table_));
  }

  std::unique_ptr<Driver> driver_;
  QString table_;
};

TEST_F(OdbcSqlServerTest, ClassifiesWritesAndReadsLargeValues) {
  EXPECT_EQ(driver_->dialect(), Dialect::SqlServer);
  driver_->execute(QStringLiteral("CREATE TABLE %1 (id int IDENTITY PRIMARY KEY, img image, "
                                  "txt text, nm nvarchar(50), vb varbinary(max), "
                                  "vc varchar(max), rv rowversion)")
                       .arg(table_));
  driver_->execute(QStringLiteral("INSERT INTO %1 (img, txt, nm, vb, vc) VALUES "
                                  "(0x0001, 'abc', N'Grüße', 0x, 'x')")
                       .arg(table_));
  std::unique_ptr<ResultSet> set =
      driver_->execute(QStringLiteral("SELECT id, img, txt, nm, vb, vc, rv FROM %1").arg(table_));
  ASSERT_NE(set, nullptr);
  const std::vector<ColumnInfo> &c = set->columns();
  ASSERT_EQ(c.size(), 7u);
  EXPECT_EQ(c[0].kind, FieldKind::ftAutoInc);
  EXPECT_FALSE(c[0].updatable);
  EXPECT_EQ(c[1].kind, FieldKind::ftBlob);
  EXPECT_EQ(c[2].kind, FieldKind::ftMemo);
  EXPECT_EQ(c[3].kind, FieldKind::ftWideString);
  EXPECT_EQ(c[3].displayWidth, 50);
  EXPECT_EQ(c[4].kind, FieldKind::ftBlob);
  EXPECT_EQ(c[5].kind, FieldKind::ftMemo);
  EXPECT_TRUE(c[6].rowId);
  ASSERT_TRUE(set->fetch());
  const CellValue id = set->value(0, 0);
  EXPECT_EQ(set->value(1, 1 << 20), CellValue::bytes(QByteArray("\0\1", 2)));
  EXPECT_EQ(set->value(2, 1 << 20), CellValue::text("abc"));
  EXPECT_EQ(QString::fromUtf8(set->value(3, 1 << 20).data()), QStringLiteral("Grüße"));
  EXPECT_EQ(set->value(4, 1 << 20), CellValue::bytes(""));
  set.reset();
  EXPECT_EQ(driver_->keyColumns(table_), QStringList{QStringLiteral("id")});

  const QByteArray pattern("\xff\x00\x10", 3);
  const qint64 size = 2 * kTransferChunk + 5;
  driver_->updateRow(
      {table_,
       {{ref("img", FieldKind::ftBlob, "image"),
         {},
         std::make_shared<PatternSource>(size, pattern)},
        {ref("nm", FieldKind::ftWideString, "nvarchar"), CellValue::text("Ĳssel"), nullptr}},
       {{ref("id", FieldKind::ftAutoInc), id},
        {ref("txt", FieldKind::ftMemo, "text"), CellValue::text("abc")}}});
  qint64 total = 0;
  std::unique_ptr<ByteSource> source = driver_->readValue(
      table_, ref("img", FieldKind::ftBlob, "image"), {{ref("id", FieldKind::ftAutoInc), id}});
  EXPECT_EQ(source->size(), size);
  EXPECT_EQ(hashOfSource(*source, &total), PatternSource::hashOf(size, pattern));
  source.reset();
  std::unique_ptr<ResultSet> name =
      driver_->execute(QStringLiteral("SELECT nm FROM %1").arg(table_));
  ASSERT_NE(name, nullptr);
  ASSERT_TRUE(name->fetch());
  EXPECT_EQ(QString::fromUtf8(name->value(0, 0).data()), QStringLiteral("Ĳssel"));
}

} // namespace
