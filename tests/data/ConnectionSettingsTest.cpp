// The OLE DB initialization string and what it turns into on this platform.
#include "data/ConnectionSettings.h"

#include "data/DataError.h"

#include <gtest/gtest.h>

using namespace quillon::data;
using Backend = ConnectionSettings::Backend;
using Pairs = std::vector<std::pair<QString, QString>>;

static void PrintTo(const QString &s, std::ostream *os) {
  *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kDriver18 = QStringLiteral("ODBC Driver 18 for SQL Server");
const QString kDriver17 = QStringLiteral("ODBC Driver 17 for SQL Server");
const QString kFreeTds = QStringLiteral("FreeTDS");
const QString kDir = QStringLiteral("/srv/quillon");

std::string show(const Pairs &pairs) {
  std::string out;
  for (const auto &[key, value] : pairs)
    out += "[" + key.toStdString() + "]=[" + value.toStdString() + "] ";
  return out;
}

ConnectionSettings settingsOf(const QString &initString, const QStringList &drivers = {}) {
  return connectionSettingsFrom(initString, kDir, drivers);
}

TEST(InitProperties, ParsesAsOleDbDoes) {
  const struct {
    const char *name;
    QString input;
    Pairs expected;
  } cases[] = {
      {"empty", QString(), {}},
      {"plain pairs", "a=1;b=2", {{"a", "1"}, {"b", "2"}}},
      {"blanks trimmed",
       "  Provider = SQLite ;  Data Source =  x y  ",
       {{"Provider", "SQLite"}, {"Data Source", "x y"}}},
      {"empty pairs skipped", ";;a=1;; ;b=2;", {{"a", "1"}, {"b", "2"}}},
      {"empty value", "a=;b=2", {{"a", ""}, {"b", "2"}}},
      {"double quotes keep ';'", "Password=\"a;b\";c=1", {{"Password", "a;b"}, {"c", "1"}}},
      {"single quotes keep the other quote", "Password='say \"hi\"'", {{"Password", "say \"hi\""}}},
      {"doubled double quote", "Password=\"a\"\"b\"", {{"Password", "a\"b"}}},
      {"doubled single quote", "Password='it''s'", {{"Password", "it's"}}},
      {"quoted blanks kept", "Password=\" x \"", {{"Password", " x "}}},
      {"blanks around a quoted value",
       "Password =  \"x\"  ;User ID=u",
       {{"Password", "x"}, {"User ID", "u"}}},
      {"quote inside an unquoted value", "a=x\"y'z", {{"a", "x\"y'z"}}},
      {"'==' in a key", "a==b=c", {{"a=b", "c"}}},
      {"'=' in a value", "Extended Properties=DSN=x", {{"Extended Properties", "DSN=x"}}},
      {"repeated key, other case, replaces the value", "a=1;b=2;A=3", {{"a", "3"}, {"b", "2"}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Pairs actual;
    ASSERT_NO_THROW(actual = InitProperties::parse(c.input).pairs());
    EXPECT_EQ(actual, c.expected) << "actual:   " << show(actual)
                                  << "\nexpected: " << show(c.expected);
  }
}

TEST(InitProperties, RejectsWhatOleDbRejects) {
  const struct {
    const char *name;
    QString input;
    int position; // 1-based, as the message names it
  } cases[] = {
      {"pair without '='", "a=1;bare;c=2", 5},
      {"pair without '=' at the end", "a=1;bare", 5},
      {"empty key", "a=1; =2", 6},
      {"unterminated quote", "a=\"x;b=2", 3},
      {"text after a quote", "a=\"x\"y;b=2", 6},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    try {
      InitProperties::parse(c.input);
      ADD_FAILURE() << "accepted";
    } catch (const DataError &error) {
      EXPECT_TRUE(error.message().contains(QStringLiteral("character %1.").arg(c.position)))
          << error.what();
    }
  }
}

TEST(InitProperties, LooksKeysUpWithoutRegardToCase) {
  const InitProperties properties =
      InitProperties::parse(QStringLiteral("Provider=SQLite;Data Source=a.db;Empty="));
  EXPECT_EQ(properties.value(QStringLiteral("PROVIDER")), QStringLiteral("SQLite"));
  EXPECT_EQ(properties.value(QStringLiteral("data source")), QStringLiteral("a.db"));
  EXPECT_TRUE(properties.contains(QStringLiteral("empty")));
  EXPECT_FALSE(properties.contains(QStringLiteral("Password")));
  EXPECT_EQ(properties.find(QStringLiteral("Password")), std::nullopt);
}

TEST(OdbcQuoted, BracesOnlyAwkwardValues) {
  const struct {
    QString value;
    QString expected;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"inner blank", "inner blank"},
      {"host\\inst,1433", "host\\inst,1433"},
      {"a;b", "{a;b}"},
      {"a=b", "{a=b}"},
      {"{x", "{{x}"},
      {"a}b", "{a}}b}"},
      {"}}", "{}}}}}"},
      {" lead", "{ lead}"},
      {"trail ", "{trail }"},
      {"\ttab", "{\ttab}"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(odbcQuoted(c.value), c.expected) << c.value.toStdString();
}

TEST(ConnectionSettingsFrom, ProviderChoosesTheBackend) {
  const struct {
    QString provider; // empty: no Provider key at all
    Backend backend;
  } cases[] = {
      {"SQLOLEDB", Backend::SqlServer},
      {"SQLOLEDB.1", Backend::SqlServer},
      {"sqloledb.1", Backend::SqlServer},
      {"SQLNCLI", Backend::SqlServer},
      {"SQLNCLI11", Backend::SqlServer},
      {"SQLNCLI11.1", Backend::SqlServer},
      {"MSOLEDBSQL", Backend::SqlServer},
      {"MSOLEDBSQL19", Backend::SqlServer},
      {"MSOLEDBSQL.1", Backend::SqlServer},
      {"MSDASQL", Backend::Odbc},
      {"MSDASQL.1", Backend::Odbc},
      {"msdasql", Backend::Odbc},
      {"", Backend::Odbc},
      {"SQLite", Backend::Sqlite},
      {"sqlite", Backend::Sqlite},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.provider.toStdString());
    const QString init = (c.provider.isEmpty() ? QString() : "Provider=" + c.provider + ";") +
                         QStringLiteral("Data Source=x");
    const ConnectionSettings settings = settingsOf(init);
    EXPECT_EQ(settings.backend, c.backend);
    EXPECT_EQ(settings.provider, c.provider);
  }
}

TEST(ConnectionSettingsFrom, UnknownProviderIsNamed) {
  for (const QString provider : {"Microsoft.Jet.OLEDB.4.0", "SQLOLEDBX", "SQLNCLIX",
                                 "OraOLEDB.Oracle", "SQLite3", "MSDASQL.x"}) {
    SCOPED_TRACE(provider.toStdString());
    try {
      settingsOf("Provider=" + provider + ";Data Source=x");
      ADD_FAILURE() << "accepted";
    } catch (const DataError &error) {
      EXPECT_TRUE(error.message().startsWith("Provider \"" + provider + "\" is not supported."))
          << error.what();
      EXPECT_TRUE(error.message().contains("SQLOLEDB")) << error.what();
    }
  }
}

TEST(ConnectionSettingsFrom, SqlServerDriverIsMicrosoftsWhenRegisteredElseFreeTds) {
  const QString init = QStringLiteral("Provider=SQLOLEDB.1;Data Source=db1");
  const struct {
    const char *name;
    QStringList drivers;
    QString expected;
    bool viaFreeTds;
  } cases[] = {
      {"all three",
       {kFreeTds, kDriver17, kDriver18},
       "Driver={" + kDriver18 + "};Server=db1",
       false},
      {"17 and FreeTDS", {kFreeTds, kDriver17}, "Driver={" + kDriver17 + "};Server=db1", false},
      {"registered in other case",
       {"odbc driver 17 for sql server"},
       "Driver={odbc driver 17 for sql server};Server=db1",
       false},
      {"FreeTDS only",
       {"PostgreSQL Unicode", kFreeTds},
       "Driver={FreeTDS};Server=db1;TDS_Version=7.4;ClientCharset=UTF-8",
       true},
      {"FreeTDS registered in other case",
       {"freetds"},
       "Driver={freetds};Server=db1;TDS_Version=7.4;ClientCharset=UTF-8",
       true},
      {"an older Microsoft driver does not count",
       {"ODBC Driver 13 for SQL Server"},
       "Driver={FreeTDS};Server=db1;TDS_Version=7.4;ClientCharset=UTF-8",
       true},
      {"none registered",
       {},
       "Driver={FreeTDS};Server=db1;TDS_Version=7.4;ClientCharset=UTF-8",
       true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const ConnectionSettings settings = settingsOf(init, c.drivers);
    EXPECT_EQ(settings.backend, Backend::SqlServer);
    EXPECT_EQ(settings.odbcConnectionString, c.expected);
    EXPECT_EQ(settings.viaFreeTds, c.viaFreeTds);
  }
}

TEST(ConnectionSettingsFrom, SqlServerKeysBecomeOdbcAttributes) {
  const QString freeTdsTail = QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
  const struct {
    const char *name;
    QString init;
    QString microsoft; // with Driver 18 registered, after "Driver={...};"
    QString freeTds;   // with FreeTDS, before its fixed tail
  } cases[] = {
      {"default file: no server, integrated security outranks the user",
       "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=freight",
       "Server=localhost;Trusted_Connection=yes", "Server=localhost;Trusted_Connection=yes"},
      {"SQL login with database",
       "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=secret;Initial "
       "Catalog=Docs;Data Source=db1",
       "Server=db1;Database=Docs;UID=sa;PWD=secret", "Server=db1;Database=Docs;UID=sa;PWD=secret"},
      {"awkward values braced", "Provider=SQLOLEDB;User ID=a=b;Password=\"p;w}d \";Data Source=db1",
       "Server=db1;UID={a=b};PWD={p;w}}d }", "Server=db1;UID={a=b};PWD={p;w}}d }"},
      {"empty password left out", "Provider=SQLOLEDB;User ID=sa;Password=;Data Source=db1",
       "Server=db1;UID=sa", "Server=db1;UID=sa"},
      {"integrated security in other spelling",
       "Provider=SQLNCLI11;Integrated Security=true;Data Source=db1",
       "Server=db1;Trusted_Connection=yes", "Server=db1;Trusted_Connection=yes"},
      {"integrated security off",
       "Provider=SQLOLEDB;Integrated Security=;User ID=u;Data Source=db1", "Server=db1;UID=u",
       "Server=db1;UID=u"},
      {"named instance", "Provider=SQLOLEDB;Data Source=db1\\SQLEXPRESS", "Server=db1\\SQLEXPRESS",
       "Server=db1\\SQLEXPRESS"},
      {"port", "Provider=SQLOLEDB;Data Source=db1,1434", "Server=db1,1434", "Server=db1;Port=1434"},
      {"instance and port", "Provider=SQLOLEDB;Data Source=db1\\SQLEXPRESS,1434",
       "Server=db1\\SQLEXPRESS,1434", "Server=db1;Port=1434"},
      {"tcp prefix", "Provider=SQLOLEDB;Data Source=tcp:db1,1433", "Server=tcp:db1,1433",
       "Server=db1;Port=1433"},
      {"(local) with instance", "Provider=SQLOLEDB;Data Source=(local)\\SQLEXPRESS",
       "Server=localhost\\SQLEXPRESS", "Server=localhost\\SQLEXPRESS"},
      {"dot", "Provider=SQLOLEDB;Data Source=.", "Server=localhost", "Server=localhost"},
      {"encryption asked for",
       "Provider=MSOLEDBSQL;Data Source=db1;Use Encryption for Data=True;Trust Server "
       "Certificate=True",
       "Server=db1;Encrypt=yes;TrustServerCertificate=yes", "Server=db1;Encrypt=yes"},
      {"encryption refused", "Provider=MSOLEDBSQL;Data Source=db1;Use Encryption for Data=False",
       "Server=db1;Encrypt=no", "Server=db1;Encrypt=no"},
      {"unclear boolean left to the driver",
       "Provider=MSOLEDBSQL;Data Source=db1;Use Encryption for Data=maybe", "Server=db1",
       "Server=db1"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(settingsOf(c.init, {kDriver18}).odbcConnectionString,
              "Driver={" + kDriver18 + "};" + c.microsoft);
    EXPECT_EQ(settingsOf(c.init, {kFreeTds}).odbcConnectionString,
              "Driver={FreeTDS};" + c.freeTds + freeTdsTail);
  }
}

TEST(ConnectionSettingsFrom, ConnectTimeoutIsTheLoginTimeout) {
  const struct {
    QString part;
    int expected;
  } cases[] = {
      {"", 15},
      {";Connect Timeout=30", 30},
      {";connect timeout= 45 ", 45},
      {";Connect Timeout=0", 0},
      {";Connect Timeout=abc", 15},
      {";Connect Timeout=", 15},
      {";Connect Timeout=-5", 15},
      {";Connect Timeout=12s", 15},
  };
  for (const QString provider : {"SQLOLEDB.1", "MSDASQL", "SQLite"}) {
    for (const auto &c : cases) {
      SCOPED_TRACE((provider + c.part).toStdString());
      const ConnectionSettings settings =
          settingsOf("Provider=" + provider + ";Data Source=x" + c.part);
      EXPECT_EQ(settings.loginTimeoutSeconds, c.expected);
      EXPECT_EQ(settings.commandTimeoutSeconds, 30);
    }
  }
}

TEST(ConnectionSettingsFrom, OdbcProviderNamesADsnOrAConnectionString) {
  const QString pins = QStringLiteral(";ByteaAsLongVarBinary=1;TextAsLongVarchar=1;BoolsAsChar=0;"
                                      "UnknownSizes=0;MaxVarcharSize=10485761;"
                                      "MaxLongVarcharSize=1073741823");
  const struct {
    const char *name;
    QString init;
    QString expected;
    bool viaFreeTds;
  } cases[] = {
      {"DSN alone gets the PostgreSQL keys", "Provider=MSDASQL.1;Data Source=Docs",
       "DSN=Docs" + pins, false},
      {"no Provider means MSDASQL", "Data Source=Docs", "DSN=Docs" + pins, false},
      {"credentials", "Provider=MSDASQL;Data Source=Docs;User ID=u;Password=p",
       "DSN=Docs;UID=u;PWD=p" + pins, false},
      {"awkward DSN braced", "Provider=MSDASQL;Data Source=\"My;DSN\"", "DSN={My;DSN}" + pins,
       false},
      {"PostgreSQL driver string, pinned keys replaced",
       "Provider=MSDASQL;Extended Properties=\"DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;"
       "PORT=5432;DATABASE=q;byteaaslongvarbinary=0\"",
       "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=5432;DATABASE=q" + pins, false},
      {"psqlodbc by path",
       "Provider=MSDASQL;Extended "
       "Properties='Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Database=q'",
       "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Database=q" + pins, false},
      {"braces protect what looks like a key",
       "Provider=MSDASQL;Extended Properties=\"DRIVER={PostgreSQL};PWD={a;TextAsLongVarchar=0}\"",
       "DRIVER={PostgreSQL};PWD={a;TextAsLongVarchar=0}" + pins, false},
      {"other driver untouched",
       "Provider=MSDASQL;Extended Properties=\"Driver=SQLite3;Database=/tmp/x.db;"
       "TextAsLongVarchar=0\"",
       "Driver=SQLite3;Database=/tmp/x.db;TextAsLongVarchar=0", false},
      {"FreeTDS named by the string",
       "Provider=MSDASQL;Extended Properties=\"Driver={FreeTDS};Server=db1\"",
       "Driver={FreeTDS};Server=db1", true},
      {"the string's own source outranks Data Source",
       "Provider=MSDASQL;Data Source=Ignored;Extended Properties=\"DSN=Docs\"", "DSN=Docs" + pins,
       false},
      {"Data Source joins a string without a source",
       "Provider=MSDASQL;Data Source=Docs;Extended Properties=\"ReadOnly=1\"",
       "DSN=Docs;ReadOnly=1" + pins, false},
      {"the string's credentials outrank User ID and Password",
       "Provider=MSDASQL;User ID=u;Password=p;Extended Properties=\"DSN=Docs;uid=v;pwd=q\"",
       "DSN=Docs;uid=v;pwd=q" + pins, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const ConnectionSettings settings = settingsOf(c.init, {kDriver18, kFreeTds});
    EXPECT_EQ(settings.backend, Backend::Odbc);
    EXPECT_EQ(settings.odbcConnectionString, c.expected);
    EXPECT_EQ(settings.viaFreeTds, c.viaFreeTds);
  }
}

TEST(ConnectionSettingsFrom, OdbcWithoutASourceIsAnError) {
  for (const QString init :
       {"", "Provider=MSDASQL", "Provider=MSDASQL;Extended Properties=\"ReadOnly=1\""}) {
    SCOPED_TRACE(init.toStdString());
    try {
      settingsOf(init);
      ADD_FAILURE() << "accepted";
    } catch (const DataError &error) {
      EXPECT_TRUE(error.message().contains("Data Source")) << error.what();
    }
  }
}

TEST(ConnectionSettingsFrom, SqliteFileIsResolvedAgainstTheDataLinkFolder) {
  const struct {
    QString dataSource;
    QString expected;
  } cases[] = {
      {"docs.db", kDir + "/docs.db"},
      {"./data/docs.db", kDir + "/data/docs.db"},
      {"../shared/docs.db", "/srv/shared/docs.db"},
      {"\"my docs.db\"", kDir + "/my docs.db"},
      {"/var/lib/quillon/docs.db", "/var/lib/quillon/docs.db"},
      {"/var/lib//quillon/../docs.db", "/var/lib/docs.db"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.dataSource.toStdString());
    const ConnectionSettings settings = settingsOf("Provider=SQLite;Data Source=" + c.dataSource);
    EXPECT_EQ(settings.backend, Backend::Sqlite);
    EXPECT_EQ(settings.sqliteFile, c.expected);
    EXPECT_TRUE(settings.odbcConnectionString.isEmpty());
  }
}

TEST(ConnectionSettingsFrom, SqliteWithoutAFileIsAnError) {
  for (const QString init : {"Provider=SQLite", "Provider=SQLite;Data Source=  "}) {
    SCOPED_TRACE(init.toStdString());
    try {
      settingsOf(init);
      ADD_FAILURE() << "accepted";
    } catch (const DataError &error) {
      EXPECT_TRUE(error.message().contains("names no SQLite database file")) << error.what();
    }
  }
}

} // namespace

namespace {

TEST(InitProperties, SetReplacesInPlaceOrAppends) {
  const QString init = QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist "
                                      "Security Info=False;User ID=freight");
  const struct {
    const char *name;
    QString key;
    QString value;
    Pairs expected;
  } cases[] = {
      {"existing key",
       "User ID",
       "sa",
       {{"Provider", "SQLOLEDB.1"},
        {"Integrated Security", "SSPI"},
        {"Persist Security Info", "False"},
        {"User ID", "sa"}}},
      {"other letter case keeps the first spelling",
       "PROVIDER",
       "SQLite",
       {{"Provider", "SQLite"},
        {"Integrated Security", "SSPI"},
        {"Persist Security Info", "False"},
        {"User ID", "freight"}}},
      {"new key goes last",
       "Data Source",
       "db1",
       {{"Provider", "SQLOLEDB.1"},
        {"Integrated Security", "SSPI"},
        {"Persist Security Info", "False"},
        {"User ID", "freight"},
        {"Data Source", "db1"}}},
      {"empty value kept as a key",
       "Integrated Security",
       "",
       {{"Provider", "SQLOLEDB.1"},
        {"Integrated Security", ""},
        {"Persist Security Info", "False"},
        {"User ID", "freight"}}},
      {"key with '='",
       "a=b",
       "c",
       {{"Provider", "SQLOLEDB.1"},
        {"Integrated Security", "SSPI"},
        {"Persist Security Info", "False"},
        {"User ID", "freight"},
        {"a=b", "c"}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    InitProperties properties = InitProperties::parse(init);
    properties.set(c.key, c.value);
    EXPECT_EQ(properties.pairs(), c.expected)
        << "actual:   " << show(properties.pairs()) << "\nexpected: " << show(c.expected);
  }
}

TEST(InitProperties, SetRejectsKeysNoStringCanCarry) {
  for (const QString key : {"", " ", "a;b", " lead", "trail ", "\ttab"}) {
    SCOPED_TRACE(key.toStdString());
    InitProperties properties = InitProperties::parse(QStringLiteral("a=1"));
    EXPECT_THROW(properties.set(key, QStringLiteral("x")), DataError);
    EXPECT_EQ(properties.pairs(), (Pairs{{"a", "1"}}));
  }
}

TEST(InitProperties, RemoveDropsTheKeyInAnyCase) {
  InitProperties properties = InitProperties::parse(QStringLiteral("a=1;Data Source=x;b=2"));
  properties.remove(QStringLiteral("data SOURCE"));
  EXPECT_EQ(properties.pairs(), (Pairs{{"a", "1"}, {"b", "2"}}));
  properties.remove(QStringLiteral("missing"));
  EXPECT_EQ(properties.pairs(), (Pairs{{"a", "1"}, {"b", "2"}}));
  properties.remove(QStringLiteral("A"));
  properties.remove(QStringLiteral("b"));
  EXPECT_TRUE(properties.pairs().empty());
  EXPECT_EQ(properties.toString(), QString());
}

TEST(InitProperties, ToStringQuotesOnlyWhatNeedsIt) {
  const struct {
    const char *name;
    Pairs pairs;
    QString expected;
  } cases[] = {
      {"nothing", {}, ""},
      {"the default string",
       {{"Provider", "SQLOLEDB.1"},
        {"Integrated Security", "SSPI"},
        {"Persist Security Info", "False"},
        {"User ID", "freight"}},
       "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=freight"},
      {"empty value", {{"a", ""}, {"b", "1"}}, "a=;b=1"},
      {"inner blank", {{"Data Source", "my docs.db"}}, "Data Source=my docs.db"},
      {"'=' in a value", {{"Extended Properties", "DSN=x"}}, "Extended Properties=DSN=x"},
      {"';' in a value", {{"Password", "a;b"}}, "Password=\"a;b\""},
      {"double quote doubled", {{"Password", "a\"b"}}, "Password=\"a\"\"b\""},
      {"single quote", {{"Password", "it's"}}, "Password=\"it's\""},
      {"leading quote", {{"Password", "'x'"}}, "Password=\"'x'\""},
      {"leading blank", {{"Password", " x"}}, "Password=\" x\""},
      {"trailing tab", {{"Password", "x\t"}}, "Password=\"x\t\""},
      {"only blanks", {{"Password", "  "}}, "Password=\"  \""},
      {"leading '=' in a value", {{"a", "=b"}}, "a=\"=b\""},
      {"'=' in a key", {{"a=b", "c"}}, "a==b=c"},
      {"'=' at both ends of a key", {{"=a=", "c"}}, "==a===c"},
      {"Cyrillic", {{"Initial Catalog", "Документы"}}, "Initial Catalog=Документы"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    InitProperties properties;
    for (const auto &[key, value] : c.pairs)
      properties.set(key, value);
    const QString written = properties.toString();
    EXPECT_EQ(written, c.expected);
    Pairs reread;
    ASSERT_NO_THROW(reread = InitProperties::parse(written).pairs()) << written.toStdString();
    EXPECT_EQ(reread, c.pairs) << "reread:   " << show(reread) << "\nexpected: " << show(c.pairs);
  }
}

TEST(InitProperties, ToStringRoundTripsAnyKeysAndValues) {
  // Keys and values built from the characters the format gives a meaning to.
  const QString keyChars = QStringLiteral("ab =\"'.Д");
  const QString valueChars = QStringLiteral("xy ;=\"'\t{}Д");
  quint32 state = 12345;
  const auto next = [&](int bound) {
    state = state * 1664525u + 1013904223u;
    return int((state >> 8) % quint32(bound));
  };
  const auto draw = [&](const QString &chars, int minLength) {
    QString s;
    const int length = minLength + next(6);
    for (int i = 0; i < length; ++i)
      s += chars[next(int(chars.size()))];
    return s;
  };
  for (int round = 0; round < 2000; ++round) {
    InitProperties properties;
    const int count = next(5);
    for (int i = 0; i < count; ++i) {
      const QString key = draw(keyChars, 1).trimmed();
      if (key.isEmpty())
        continue;
      properties.set(key, draw(valueChars, 0));
    }
    const QString written = properties.toString();
    SCOPED_TRACE(written.toStdString());
    Pairs reread;
    ASSERT_NO_THROW(reread = InitProperties::parse(written).pairs());
    ASSERT_EQ(reread, properties.pairs())
        << "reread:   " << show(reread) << "\nexpected: " << show(properties.pairs());
  }
}

TEST(InitProperties, EditsKeepTheOtherKeysInPlace) {
  InitProperties properties = InitProperties::parse(
      QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                     "User ID=freight;Workstation ID=dock 7"));
  properties.remove(QStringLiteral("Integrated Security"));
  properties.set(QStringLiteral("Password"), QStringLiteral("p;w"));
  properties.set(QStringLiteral("user id"), QStringLiteral("sa"));
  properties.set(QStringLiteral("Data Source"), QStringLiteral("db1\\SQLEXPRESS,1434"));
  EXPECT_EQ(
      properties.toString(),
      QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;"
                     "Workstation ID=dock 7;Password=\"p;w\";Data Source=db1\\SQLEXPRESS,1434"));
  const ConnectionSettings settings = settingsOf(properties.toString(), {kDriver18});
  EXPECT_EQ(settings.odbcConnectionString,
            "Driver={" + kDriver18 + "};Server=db1\\SQLEXPRESS,1434;UID=sa;PWD={p;w}");
}

} // namespace
