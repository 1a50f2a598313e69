// The engines' dialects on their own: names, statements and the rules the
// composer and the drivers take from them.
#include "data/dialects/SqlDialect.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quillon::data;

namespace {

const SqlDialect &sqlServer = SqlDialect::of(Dialect::SqlServer);
const SqlDialect &sqlite = SqlDialect::of(Dialect::Sqlite);
const SqlDialect &postgres = SqlDialect::of(Dialect::PostgreSql);

TEST(DialectNames, TableReferencesAreQuotedOnlyWhereTheEngineNeedsIt) {
  const struct {
    const char *table;
    const char *sqlServer;
    const char *sqlite;
    const char *postgres;
  } cases[] = {
      {"Docs", "Docs", "Docs", "\"Docs\""},
      {"docs", "docs", "docs", "docs"},
      {"_x1", "_x1", "_x1", "_x1"},
      {"Order Details", "[Order Details]", "\"Order Details\"", "\"Order Details\""},
      {"a]b", "[a]]b]", "\"a]b\"", "\"a]b\""},
      {"a\"b", "[a\"b]", "\"a\"\"b\"", "\"a\"\"b\""},
      {"1st", "[1st]", "\"1st\"", "\"1st\""},
      {"Таблица", "Таблица", "Таблица", "Таблица"},
      {"select", "[select]", "\"select\"", "\"select\""},
      {"Select", "[Select]", "\"Select\"", "\"Select\""},
      {"user", "[user]", "user", "\"user\""},
      {"[Order Details]", "[Order Details]", "[Order Details]", "[Order Details]"},
      {"\"Order Details\"", "\"Order Details\"", "\"Order Details\"", "\"Order Details\""},
      {"dbo.Docs", "dbo.Docs", "\"dbo.Docs\"", "dbo.\"Docs\""},
      {"sales.orders", "sales.orders", "\"sales.orders\"", "sales.orders"},
      {"\"a.b\"", "\"a.b\"", "\"a.b\"", "\"a.b\""},
      {"#temp", "#temp", "\"#temp\"", "\"#temp\""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.table);
    const QString table = QString::fromUtf8(c.table);
    EXPECT_EQ(sqlServer.tableReference(table), QString::fromUtf8(c.sqlServer));
    EXPECT_EQ(sqlite.tableReference(table), QString::fromUtf8(c.sqlite));
    EXPECT_EQ(postgres.tableReference(table), QString::fromUtf8(c.postgres));
  }
}

TEST(DialectNames, PartsOfATableNameLoseTheirQuotes) {
  EXPECT_EQ(SqlDialect::tableNameParts("t"), QStringList{"t"});
  EXPECT_EQ(SqlDialect::tableNameParts("s.t"), (QStringList{"s", "t"}));
  EXPECT_EQ(SqlDialect::tableNameParts("[s x].[t]]y]"), (QStringList{"s x", "t]y"}));
  EXPECT_EQ(SqlDialect::tableNameParts("\"a.b\".\"c\"\"d\""), (QStringList{"a.b", "c\"d"}));
  EXPECT_EQ(SqlDialect::tableNameParts("db.s.t"), (QStringList{"db", "s", "t"}));
  EXPECT_EQ(postgres.quotedTable("sales.\"Order.Lines\""), "\"sales\".\"Order.Lines\"");
  EXPECT_EQ(sqlServer.quotedTable("dbo.Docs"), "[dbo].[Docs]");
  // SQLite has no schemas: the full stop belongs to the name.
  EXPECT_EQ(sqlite.quotedTable("a.b"), "\"a.b\"");
}

TEST(DialectNames, QualifiedNamesQuoteOnlyPartsAReaderWouldTakeApart) {
  EXPECT_EQ(postgres.qualifiedName("public", "Docs", true), "Docs");
  EXPECT_EQ(postgres.qualifiedName("sales", "orders", false), "sales.orders");
  EXPECT_EQ(postgres.qualifiedName("sales", "a.b", false), "sales.\"a.b\"");
  EXPECT_EQ(sqlServer.qualifiedName("hr", "x]y", false), "hr.[x]]y]");
}

TEST(DialectStatements, TheRowLimitTakesEachEnginesForm) {
  EXPECT_EQ(sqlServer.selectStatement("Docs", "", 10), "select  top 10 * from Docs");
  EXPECT_EQ(sqlServer.selectStatement("Docs", "", std::nullopt), "select  * from Docs");
  EXPECT_EQ(sqlite.selectStatement("Docs", " where a = 1 ", 0),
            "select  * from Docs where a = 1  limit 0");
  EXPECT_EQ(postgres.selectStatement("Docs", "", std::nullopt), "select  * from Docs");
}

TEST(DialectStatements, EachEngineListsItsUserTablesAndMeasuresItsValues) {
  EXPECT_EQ(sqlServer.tableListStatement(),
            "select Name from SysObjects where xType = 'U' order by Name");
  EXPECT_TRUE(sqlite.tableListStatement().contains("collate nocase"));
  EXPECT_TRUE(postgres.tableListStatement().contains("pg_table_is_visible"));
  EXPECT_EQ(sqlServer.octetLength("[v]"), "DATALENGTH([v])");
  EXPECT_EQ(postgres.octetLength("\"v\""), "octet_length(\"v\")");
  EXPECT_TRUE(sqlServer.compareLargeValue("[v]", true).bindsLength);
  EXPECT_FALSE(sqlServer.compareLargeValue("[t]", false).bindsLength);
  EXPECT_EQ(postgres.compareLargeValue("\"v\"", true).sql, "\"v\" = ?");
  EXPECT_TRUE(sqlServer.readOnlyColumnsStatement().isEmpty());
  EXPECT_FALSE(postgres.readOnlyColumnsStatement().isEmpty());
}

TEST(DialectRules, OnlyPostgresReadsDoubleColonsAsCasts) {
  EXPECT_TRUE(postgres.doubleColonIsCast());
  EXPECT_FALSE(sqlServer.doubleColonIsCast());
  EXPECT_FALSE(sqlite.doubleColonIsCast());
}

TEST(DialectRules, SingleSelectsAreToldFromEverythingElse) {
  const struct {
    const char *sql;
    bool single;
  } cases[] = {
      {"select * from t", true},
      {"  SELECT 1;  \r\n", true},
      {"-- note\nselect 1 -- end", true},
      {"/* a /* nested */ b */ select 1", true},
      {"select ';' as a, \"x;y\" from t", true},
      {"select $$a;b$$, $q$;$q$", true},
      {"select 1; -- trailing\n", true},
      {"select 1; select 2", false},
      {"update t set a = 1; select * from t", false},
      {"with d as (delete from t returning *) select * from d", false},
      {"do $$ begin perform 1; end $$", false},
      {"selector", false},
      {"", false},
      {"-- only a comment", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(postgres.isSingleSelect(QString::fromUtf8(c.sql)), c.single);
  }
}

} // namespace
