#include "query/ParameterMarkers.h"
#include "query/StatementComposer.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::query;
using data::Dialect;

namespace {

// Blanks written as ␣ in the expectations, so runs of them can be counted.
QString blanks(const char *text) {
  return QString::fromUtf8(text).replace(u'␣', u' ');
}

FilterState filterWith(std::initializer_list<ConditionRow> rows, quint32 top = 10) {
  FilterState filter;
  filter.topCount = top;
  filter.rows = rows;
  return filter;
}

TEST(TableStatement, WorkedExamplesOnSqlServer) {
  const struct {
    const char *name;
    bool applied;
    FilterState filter;
    const char *expected;
  } cases[] = {
      {"applied, none", true, FilterState{}, "select␣␣top␣10␣*␣from␣Docs"},
      {"not applied", false, filterWith({{"ID", "=", "5"}}), "select␣␣*␣from␣Docs"},
      {"one condition", true, filterWith({{"ID", "=", "5"}}),
       "select␣␣top␣10␣*␣from␣Docs␣where␣ID␣=␣5␣"},
      {"two conditions", true, filterWith({{"ID", ">", "5"}, {"Name", "LIKE", "'a%'"}}),
       "select␣␣top␣10␣*␣from␣Docs␣where␣ID␣>␣5␣␣and␣Name␣LIKE␣'a%'␣"},
      {"list value", true, filterWith({{"Kind", "IN", "(1,2)"}}),
       "select␣␣top␣10␣*␣from␣Docs␣where␣Kind␣IN␣(1,2)␣"},
      {"limit 0", true, filterWith({{}}, 0), "select␣␣top␣0␣*␣from␣Docs"},
      {"then an empty row", true, filterWith({{"ID", "=", "5"}, {}}),
       "select␣␣top␣10␣*␣from␣Docs␣where␣ID␣=␣5␣␣and␣␣␣␣"},
      {"limit read from -5", true, filterWith({{}}, quint32(-5)),
       "select␣␣top␣4294967291␣*␣from␣Docs"},
      {"value across two lines", true, filterWith({{"Name", "=", "'a\r\nb'"}}),
       "select␣␣top␣10␣*␣from␣Docs␣where␣Name␣=␣'a␣b'␣"},
      {"first field empty means no conditions", true,
       filterWith({{"", "=", "5"}, {"ID", "=", "1"}}), "select␣␣top␣10␣*␣from␣Docs"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(composeTableStatement("Docs", c.applied, c.filter, Dialect::SqlServer),
              blanks(c.expected));
  }
}

TEST(TableStatement, SqliteAndPostgresPutTheLimitLast) {
  // PostgreSQL would fold an unquoted Docs to docs.
  for (const auto &[dialect, docs] :
       {std::pair{Dialect::Sqlite, "Docs"}, std::pair{Dialect::PostgreSql, "\"Docs\""}}) {
    const QString from = blanks("select␣␣*␣from␣") + QLatin1String(docs);
    EXPECT_EQ(composeTableStatement("Docs", true, FilterState{}, dialect),
              from + blanks("␣limit␣10"));
    EXPECT_EQ(composeTableStatement("Docs", true, filterWith({{"ID", "=", "5"}}), dialect),
              from + blanks("␣where␣ID␣=␣5␣␣limit␣10"));
    EXPECT_EQ(composeTableStatement("Docs", false, filterWith({{"ID", "=", "5"}}), dialect), from);
  }
}

TEST(TableStatement, TheTableIsQuotedWhereTheEngineNeedsIt) {
  EXPECT_EQ(composeTableStatement("Order Details", true, FilterState{}, Dialect::SqlServer),
            blanks("select␣␣top␣10␣*␣from␣[Order␣Details]"));
  EXPECT_EQ(composeTableStatement("MixedCase", true, FilterState{}, Dialect::PostgreSql),
            blanks("select␣␣*␣from␣\"MixedCase\"␣limit␣10"));
  EXPECT_EQ(composeTableStatement("select", false, FilterState{}, Dialect::Sqlite),
            blanks("select␣␣*␣from␣\"select\""));
  EXPECT_EQ(composeTableStatement("Sales.Orders", false, FilterState{}, Dialect::PostgreSql),
            blanks("select␣␣*␣from␣\"Sales\".\"Orders\""));
}

TEST(ParameterMarkers, ColonsInsideQuotesAreHarmless) {
  for (const char *text :
       {"where t = '12:30'", "where t = \"12:30\"", "where t = `12:30`", "select 1"}) {
    SCOPED_TRACE(text);
    const MarkedStatement marked = markParameters(text);
    EXPECT_EQ(marked.text, QString::fromUtf8(text));
    EXPECT_TRUE(marked.parameters.isEmpty());
  }
  // Any quote closes the part another one opened.
  const MarkedStatement mixed = markParameters("'a\" :p");
  EXPECT_EQ(mixed.text, "'a\" ?");
  EXPECT_EQ(mixed.parameters, QStringList{"p"});
}

TEST(ParameterMarkers, UnquotedColonsBecomeMarkers) {
  const struct {
    const char *text;
    const char *expected;
    QStringList parameters;
  } cases[] = {
      {"where t = 12:30", "where t = 12?", {"30"}},
      {"select a::int", "select a:int", {}},
      {"select '1'::int", "select '1':int", {}},
      {"x :a b", "x ? b", {"a"}},
      {"(:a,:b)", "(?,?)", {"a", "b"}},
      {":a;:b", "?;?", {"a", "b"}},
      {":a\r\n:b\n", "?\r\n?\n", {"a", "b"}},
      {":'my name' x", "? x", {"my name"}},
      {":\"a b\",1", "?,1", {"a b"}},
      {"ends with:", "ends with:", {}},
      {":::x", ":?", {"x"}},
      {"", "", {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    const MarkedStatement marked = markParameters(QString::fromUtf8(c.text));
    EXPECT_EQ(marked.text, QString::fromUtf8(c.expected));
    EXPECT_EQ(marked.parameters, c.parameters);
  }
}

TEST(ParameterMarkers, PostgresCastsPassUnchangedAndNamesStillMark) {
  const MarkedStatement cast = markParameters("select 1::int, x::text from t where a = :b", true);
  EXPECT_EQ(cast.text, "select 1::int, x::text from t where a = ?");
  EXPECT_EQ(cast.parameters, QStringList{"b"});
}

} // namespace
