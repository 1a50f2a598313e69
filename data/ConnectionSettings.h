#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace quillon::data {

// What an OLE DB initialization string asks for, turned into what this
// platform can open.
struct ConnectionSettings {
  enum class Backend { SqlServer, Odbc, Sqlite, Postgres };

  Backend backend = Backend::Sqlite;
  QString provider; // as the initialization string names it
  // SqlServer and Odbc: the ODBC connection string to open.
  QString odbcConnectionString;
  // SqlServer reached through FreeTDS: needs the text size raised after
  // connecting so that no large value is cut.
  bool viaFreeTds = false;
  // Sqlite: the absolute path of the database file.
  QString sqliteFile;
  // Postgres: libpq connection keywords and their values (host, port,
  // dbname, user, password, then any others db.udl names, such as sslmode;
  // the driver passes on those libpq knows).
  std::vector<std::pair<QString, QString>> postgresParameters;
  int loginTimeoutSeconds = 15;
  int commandTimeoutSeconds = 30;
};

// The properties of an OLE DB initialization string: key=value pairs
// separated by ';'. Keys are compared without regard to letter case; a
// later repetition of a key replaces the earlier value.
class InitProperties {
public:
  // Parses as OLE DB does: keys and values trimmed of blanks, "==" in a key
  // for a literal '=', a value quoted with " or ' keeps ';' and the other
  // quote literally and doubles its own quote, empty pairs are skipped.
  // Throws DataError, naming the position, for text OLE DB rejects: a pair
  // without '=', an empty key, an unterminated quote or text after one.
  static InitProperties parse(const QString &initString);

  std::optional<QString> find(const QString &key) const;
  // Empty when absent.
  QString value(const QString &key) const { return find(key).value_or(QString()); }
  bool contains(const QString &key) const { return find(key).has_value(); }
  // Each key once, as first written, with its last value.
  const std::vector<std::pair<QString, QString>> &pairs() const { return pairs_; }

  // Gives `key` the value: an existing key, in any letter case, keeps its
  // place and spelling; a new one goes at the end. Throws DataError for a
  // key no initialization string can carry: empty, with ';' or with blanks
  // at either end.
  void set(const QString &key, const QString &value);
  // Drops `key`, in any letter case; nothing happens when it is absent.
  void remove(const QString &key);
  // The pairs as an initialization string that parse() reads back to the
  // same pairs: "key=value" joined by ';', '=' in a key written "==", a
  // value with ';', a quote, blanks at either end or a leading '=' in
  // double quotes with inner double quotes doubled.
  QString toString() const;

private:
  std::vector<std::pair<QString, QString>> pairs_;
};

// One attribute of an ODBC connection string, with the text it was written
// as, so that it can be passed on untouched.
struct OdbcAttribute {
  QString key; // empty for text without '='
  QString value;
  QString text;
};

// The attributes of an ODBC connection string as the driver manager reads
// them: ';'-separated "key=value", keys and plain values trimmed, a value in
// braces keeps ';' and writes '}' as "}}".
std::vector<OdbcAttribute> splitOdbcString(const QString &s);

// The attribute named `key` (any letter case); nullptr when absent.
const OdbcAttribute *findOdbcAttribute(const std::vector<OdbcAttribute> &attributes,
                                       const QString &key);

// A value as an ODBC connection string must carry it: in braces, with '}'
// doubled, when it holds ';', '{', '}' or '=' or begins or ends with a
// blank; as it is otherwise.
QString odbcQuoted(const QString &value);

// The data link (Provider=PostgreSQL, through libpq) to the server that an
// ODBC connection string for psqlodbc names by Server, Port, Database, Uid
// and Pwd.
QString postgresInitStringFromOdbc(const QString &odbc);

// The backend an OLE DB provider name stands for (no name: ODBC); nullopt
// for a provider this platform cannot reach.
std::optional<ConnectionSettings::Backend> backendOfProvider(const QString &provider);

// Builds the settings from an OLE DB initialization string. `dataLinkDir`
// is the folder of the data-link file (SQLite files are relative to it);
// `odbcDrivers` lists the registered ODBC driver names, from which the SQL
// Server driver is chosen. Throws DataError for an unknown provider, for an
// initialization string OLE DB would reject and when the string names no
// database to open.
ConnectionSettings connectionSettingsFrom(const QString &initString, const QString &dataLinkDir,
                                          const QStringList &odbcDrivers);

} // namespace quillon::data
