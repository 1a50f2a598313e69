#include "query/FilterInput.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quillon::query;

namespace {

TEST(ParseInteger, AcceptsBlanksSignAndDecimalOrDollarHex) {
  const struct {
    const char *text;
    qint32 value;
  } cases[] = {
      {"100", 100},
      {" 100", 100},
      {"   7", 7},
      {"+5", 5},
      {"-5", -5},
      {" -5", -5},
      {"0", 0},
      {"-0", 0},
      {"007", 7},
      {"$10", 16},
      {"$ff", 255},
      {"$FF", 255},
      {"-$10", -16},
      {"$7FFFFFFF", 2147483647},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    const auto value = parseInteger(QString::fromUtf8(c.text));
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, c.value);
  }
}

TEST(ParseInteger, RefusesAnythingElse) {
  for (const char *text :
       {"",    " ",          "100 ",        "1 0",       "abc",       "10a",
        "-",   "+",          "$",           "$g",        "--5",       "+-5",
        "- 5", "5-",         "1.5",         "1e3",       "0x10",      "$-10",
        "\t5", "2147483648", "-2147483649", "$80000000", "$FFFFFFFF", "99999999999999999999"}) {
    EXPECT_FALSE(parseInteger(QString::fromUtf8(text)).has_value()) << '"' << text << '"';
  }
  // Only ASCII digits count, not those of other scripts.
  EXPECT_FALSE(parseInteger(QStringLiteral("١٢")).has_value());
}

TEST(ParseRowLimit, AcceptsZeroAndPositiveNumbersOnly) {
  EXPECT_EQ(parseRowLimit(QStringLiteral(" 100")), 100u);
  EXPECT_EQ(parseRowLimit(QStringLiteral("$10")), 16u);
  EXPECT_EQ(parseRowLimit(QStringLiteral("0")), 0u);
  EXPECT_EQ(parseRowLimit(QStringLiteral("2147483647")), 2147483647u);
  for (const char *text : {"-5", "-1", "-$10", "-2147483648", "100 ", "abc", ""})
    EXPECT_FALSE(parseRowLimit(QString::fromUtf8(text)).has_value()) << text;
}

TEST(ConditionToStore, InValuesAreWrappedInParenthesesOnce) {
  const struct {
    const char *op;
    const char *typed;
    const char *stored;
  } cases[] = {
      {"IN", "1,2", "(1,2)"},   {"IN", "(1,2)", "(1,2)"}, {"IN", "(1,2", "(1,2)"},
      {"IN", "1,2)", "(1,2)"},  {"IN", "", "()"},         {"IN", "(", "()"},
      {"IN", ")", "()"},        {"in", "1,2", "(1,2)"},   {"In", "'a','b'", "('a','b')"},
      {"LIKE", "a%", "a%"},     {"=", "(1,2", "(1,2"},    {"=", "", ""},
      {"LIKE", "'a%'", "'a%'"}, {"IN", " 1 ", "( 1 )"},   {"<>", "abc", "abc"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + c.typed);
    const auto row = conditionToStore(
        {QStringLiteral("ID"), QString::fromUtf8(c.op), QString::fromUtf8(c.typed)});
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->field, "ID");
    EXPECT_EQ(row->op, QString::fromUtf8(c.op));
    EXPECT_EQ(row->value, QString::fromUtf8(c.stored));
  }
}

TEST(ConditionToStore, LineBreaksBecomeOneBlankEach) {
  const struct {
    const char *typed;
    const char *stored;
  } cases[] = {
      {"a\r\nb", "a b"}, {"a\r\n\r\nb", "a  b"}, {"a\nb", "ab"},
      {"a\rb", "a b"},   {"'x'\r\n", "'x' "},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.typed);
    const auto row =
        conditionToStore({QStringLiteral("Name"), QStringLiteral("="), QString::fromUtf8(c.typed)});
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->value, QString::fromUtf8(c.stored));
  }
  // The parentheses go round the joined value.
  EXPECT_EQ(
      conditionToStore({QStringLiteral("ID"), QStringLiteral("IN"), QStringLiteral("1,\r\n2")})
          ->value,
      "(1, 2)");
}

TEST(ConditionToStore, NothingIsStoredWithoutAFieldName) {
  EXPECT_FALSE(conditionToStore({QString(), QStringLiteral("="), QStringLiteral("5")}));
  EXPECT_FALSE(conditionToStore({QString(), QStringLiteral("IN"), QString()}));
  // Any typed name is taken as it stands, listed or not.
  const auto row = conditionToStore({QStringLiteral(" no such "), QString(), QStringLiteral("1")});
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->field, " no such ");
  EXPECT_TRUE(row->op.isEmpty());
}

} // namespace
