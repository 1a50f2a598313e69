#include "data/ConnectionSettings.h"

#include "data/DataError.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace quillon::data {

namespace {

using Backend = ConnectionSettings::Backend;

[[noreturn]] void malformedAt(qsizetype index) {
  throw DataError(QStringLiteral("The OLE DB initialization string is malformed at character %1.")
                      .arg(index + 1));
}

Backend backendOf(const QString &provider) {
  if (const std::optional<Backend> backend = backendOfProvider(provider))
    return *backend;
  throw DataError(QStringLiteral("Provider \"%1\" is not supported. db.udl may name SQLOLEDB (SQL "
                                 "Server), MSDASQL (ODBC), PostgreSQL or SQLite.")
                      .arg(provider));
}

// OLE DB's spellings of a boolean property; nullopt for anything else.
std::optional<bool> booleanOf(const QString &value) {
  static const QStringList yes = {"true", "yes", "1", "-1"};
  static const QStringList no = {"false", "no", "0"};
  if (yes.contains(value, Qt::CaseInsensitive))
    return true;
  if (no.contains(value, Qt::CaseInsensitive))
    return false;
  return std::nullopt;
}

QString registeredDriver(const QStringList &drivers, const QString &name) {
  for (const QString &driver : drivers)
    if (driver.compare(name, Qt::CaseInsensitive) == 0)
      return driver;
  return {};
}

QString braced(const QString &value) {
  return QLatin1Char('{') + QString(value).replace(QLatin1Char('}'), QLatin1String("}}")) +
         QLatin1Char('}');
}

// OLE DB's "host", "host\instance", "host,port" (optionally "tcp:host"), as
// the chosen driver takes them. Microsoft's driver reads them as OLE DB does;
// FreeTDS knows no "tcp:", and an instance together with a port confuses it.
QStringList serverAttributes(const QString &dataSource, bool freeTds) {
  static const QRegularExpression parts(
      QStringLiteral("^(tcp:)?([^\\\\,]*)(\\\\[^,]*)?(,\\s*(\\d+))?$"),
      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = parts.match(dataSource);
  if (!match.hasMatch())
    return {QStringLiteral("Server=") + odbcQuoted(dataSource)};
  // The OLE DB providers take a missing server, "(local)" and "." as the
  // local default instance: here the one on this machine's TCP port.
  QString host = match.captured(2).trimmed();
  if (host.isEmpty() || host == QLatin1String(".") ||
      host.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0)
    host = QStringLiteral("localhost");
  const QString instance = match.captured(3);
  const QString port = match.captured(5);
  if (!freeTds)
    return {QStringLiteral("Server=") +
            odbcQuoted(match.captured(1) + host + instance + match.captured(4))};
  if (!port.isEmpty()) // a port makes the instance name irrelevant
    return {QStringLiteral("Server=") + odbcQuoted(host), QStringLiteral("Port=") + port};
  return {QStringLiteral("Server=") + odbcQuoted(host + instance)};
}

QString sqlServerConnectionString(const InitProperties &properties, const QStringList &drivers,
                                  bool *viaFreeTds) {
  QString driver;
  for (const QString &name : {QStringLiteral("ODBC Driver 18 for SQL Server"),
                              QStringLiteral("ODBC Driver 17 for SQL Server")}) {
    driver = registeredDriver(drivers, name);
    if (!driver.isEmpty())
      break;
  }
  *viaFreeTds = driver.isEmpty();
  if (*viaFreeTds) {
    // Used even when unregistered: the connect error then names it.
    driver = registeredDriver(drivers, QStringLiteral("FreeTDS"));
    if (driver.isEmpty())
      driver = QStringLiteral("FreeTDS");
  }

  QStringList attributes{QStringLiteral("Driver=") + braced(driver)};
  attributes += serverAttributes(properties.value(QStringLiteral("Data Source")), *viaFreeTds);
  const QString database = properties.value(QStringLiteral("Initial Catalog"));
  if (!database.isEmpty())
    attributes << QStringLiteral("Database=") + odbcQuoted(database);

  // Integrated security outranks a user name, as with the OLE DB providers
  // (the default db.udl names both). Both drivers then log in by Kerberos:
  // FreeTDS answers a trusted connection with GSSAPI.
  const QString integrated = properties.value(QStringLiteral("Integrated Security"));
  if (integrated.compare(QLatin1String("SSPI"), Qt::CaseInsensitive) == 0 ||
      booleanOf(integrated).value_or(false)) {
    attributes << QStringLiteral("Trusted_Connection=yes");
  } else {
    const QString user = properties.value(QStringLiteral("User ID"));
    const QString password = properties.value(QStringLiteral("Password"));
    if (!user.isEmpty())
      attributes << QStringLiteral("UID=") + odbcQuoted(user);
    if (!password.isEmpty())
      attributes << QStringLiteral("PWD=") + odbcQuoted(password);
  }

  // Left to the driver's own default (Driver 18 encrypts) unless asked.
  if (const auto encrypt = booleanOf(properties.value(QStringLiteral("Use Encryption for Data"))))
    attributes << QStringLiteral("Encrypt=") + (*encrypt ? "yes" : "no");
  if (!*viaFreeTds) {
    if (const auto trust = booleanOf(properties.value(QStringLiteral("Trust Server Certificate"))))
      attributes << QStringLiteral("TrustServerCertificate=") + (*trust ? "yes" : "no");
  }

  if (*viaFreeTds) {
    // TDS 7.4 carries the (max) types as such; text arrives as UTF-8, the
    // locale's 8-bit encoding, whatever freetds.conf says.
    attributes << QStringLiteral("TDS_Version=7.4") << QStringLiteral("ClientCharset=UTF-8");
  }
  return attributes.join(QLatin1Char(';'));
}

QString odbcConnectionString(const InitProperties &properties, bool *viaFreeTds) {
  const std::vector<OdbcAttribute> extended =
      splitOdbcString(properties.value(QStringLiteral("Extended Properties")));
  const bool namesSource = findOdbcAttribute(extended, QStringLiteral("DSN")) ||
                           findOdbcAttribute(extended, QStringLiteral("DRIVER")) ||
                           findOdbcAttribute(extended, QStringLiteral("FILEDSN"));
  const QString dataSource = properties.value(QStringLiteral("Data Source"));
  if (!namesSource && dataSource.isEmpty())
    throw DataError(QStringLiteral("db.udl names no ODBC data source: give Data Source (a DSN) or "
                                   "Extended Properties (an ODBC connection string)."));

  const OdbcAttribute *driverAttribute = findOdbcAttribute(extended, QStringLiteral("DRIVER"));
  const QString driver = driverAttribute ? driverAttribute->value : QString();
  const auto driverIs = [&](std::initializer_list<const char *> marks) {
    for (const char *mark : marks)
      if (driver.contains(QLatin1String(mark), Qt::CaseInsensitive))
        return true;
    return false;
  };
  *viaFreeTds = driverIs({"FreeTDS", "tdsodbc"});
  // psqlodbc must report bytea and text as the long types, which the field
  // kinds take as large values like SQL Server's image and text, and
  // booleans as booleans rather than as short strings. A DSN alone
  // does not tell its driver, so the keys go in then too: other drivers
  // ignore unknown keywords (at most a 01S00 warning).
  const bool postgres = driver.isEmpty() || driverIs({"PostgreSQL", "psqlodbc"});
  // Its sizes too: varchar(n) is reported with its n for every n PostgreSQL
  // allows, a varchar without a length (json, arrays, ...) as one size
  // longer, and text as longer still, so no declared text is taken for a
  // short one.
  const std::pair<QString, QString> pinned[] = {
      {QStringLiteral("ByteaAsLongVarBinary"), "1"},
      {QStringLiteral("TextAsLongVarchar"), "1"},
      {QStringLiteral("BoolsAsChar"), "0"},
      {QStringLiteral("UnknownSizes"), "0"},
      {QStringLiteral("MaxVarcharSize"), "10485761"},
      {QStringLiteral("MaxLongVarcharSize"), "1073741823"}};
  const auto isPinned = [&](const QString &key) {
    return std::any_of(std::begin(pinned), std::end(pinned), [&](const auto &entry) {
      return entry.first.compare(key, Qt::CaseInsensitive) == 0;
    });
  };

  QStringList attributes;
  // Extended Properties that name their own source outrank Data Source.
  if (!namesSource)
    attributes << QStringLiteral("DSN=") + odbcQuoted(dataSource);
  for (const OdbcAttribute &attribute : extended) {
    // Drivers disagree on whether the first or the last repetition of a key
    // counts, so a pinned key appears once only.
    if (postgres && isPinned(attribute.key))
      continue;
    attributes << attribute.text;
  }
  const QString user = properties.value(QStringLiteral("User ID"));
  const QString password = properties.value(QStringLiteral("Password"));
  if (!user.isEmpty() && !findOdbcAttribute(extended, QStringLiteral("UID")))
    attributes << QStringLiteral("UID=") + odbcQuoted(user);
  if (!password.isEmpty() && !findOdbcAttribute(extended, QStringLiteral("PWD")))
    attributes << QStringLiteral("PWD=") + odbcQuoted(password);
  if (postgres)
    for (const auto &[key, value] : pinned)
      attributes << key + QLatin1Char('=') + value;
  return attributes.join(QLatin1Char(';'));
}

// The libpq keywords of a PostgreSQL data link: Data Source is host[:port]
// ("[::1]:5433" for an address with colons), Initial Catalog the database,
// User ID and Password the login; other keys that are not OLE DB's own go
// on under their own names.
std::vector<std::pair<QString, QString>> postgresParameters(const InitProperties &properties,
                                                            int loginTimeoutSeconds) {
  static const QStringList oledbKeys = {
      "Provider",           "Data Source",           "Initial Catalog",     "User ID",
      "Password",           "Persist Security Info", "Integrated Security", "Connect Timeout",
      "Extended Properties"};
  std::vector<std::pair<QString, QString>> parameters;
  QString host = properties.value(QStringLiteral("Data Source"));
  QString port;
  static const QRegularExpression withPort(QStringLiteral("^(\\[[^\\]]*\\]|[^:]*):(\\d+)$"));
  if (const QRegularExpressionMatch match = withPort.match(host); match.hasMatch()) {
    host = match.captured(1);
    port = match.captured(2);
  }
  if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
    host = host.mid(1, host.size() - 2);
  const auto add = [&](const char *keyword, const QString &value) {
    if (!value.isEmpty())
      parameters.emplace_back(QLatin1String(keyword), value);
  };
  add("host", host);
  add("port", port);
  add("dbname", properties.value(QStringLiteral("Initial Catalog")));
  add("user", properties.value(QStringLiteral("User ID")));
  add("password", properties.value(QStringLiteral("Password")));
  if (loginTimeoutSeconds > 0)
    add("connect_timeout", QString::number(loginTimeoutSeconds));
  for (const auto &[key, value] : properties.pairs())
    if (!oledbKeys.contains(key, Qt::CaseInsensitive))
      parameters.emplace_back(key, value);
  return parameters;
}

} // namespace

std::vector<OdbcAttribute> splitOdbcString(const QString &s) {
  std::vector<OdbcAttribute> attributes;
  const qsizetype n = s.size();
  qsizetype i = 0;
  while (i < n) {
    if (s[i] == QLatin1Char(';') || s[i].isSpace()) {
      ++i;
      continue;
    }
    const qsizetype start = i;
    OdbcAttribute attribute;
    while (i < n && s[i] != QLatin1Char('=') && s[i] != QLatin1Char(';'))
      ++i;
    if (i < n && s[i] == QLatin1Char('=')) {
      attribute.key = s.mid(start, i - start).trimmed();
      ++i;
      while (i < n && s[i] == QLatin1Char(' '))
        ++i;
      if (i < n && s[i] == QLatin1Char('{')) {
        // Braced: up to a '}' that ends the value; "}}" is one '}'.
        ++i;
        while (i < n) {
          if (s[i] == QLatin1Char('}')) {
            if (i + 1 < n && s[i + 1] == QLatin1Char('}')) {
              attribute.value += QLatin1Char('}');
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          attribute.value += s[i++];
        }
        while (i < n && s[i] != QLatin1Char(';'))
          ++i;
      } else {
        const qsizetype valueStart = i;
        while (i < n && s[i] != QLatin1Char(';'))
          ++i;
        attribute.value = s.mid(valueStart, i - valueStart).trimmed();
      }
    }
    attribute.text = s.mid(start, i - start).trimmed();
    attributes.push_back(attribute);
  }
  return attributes;
}

const OdbcAttribute *findOdbcAttribute(const std::vector<OdbcAttribute> &attributes,
                                       const QString &key) {
  for (const OdbcAttribute &attribute : attributes)
    if (attribute.key.compare(key, Qt::CaseInsensitive) == 0)
      return &attribute;
  return nullptr;
}

std::optional<ConnectionSettings::Backend> backendOfProvider(const QString &provider) {
  // OLE DB names a provider by its ProgID, optionally with a version suffix.
  static const QRegularExpression sqlServer(
      QStringLiteral("^(SQLOLEDB|SQLNCLI\\d*|MSOLEDBSQL\\d*)(\\.\\d+)?$"),
      QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression odbc(QStringLiteral("^MSDASQL(\\.\\d+)?$"),
                                       QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression sqlite(QStringLiteral("^SQLite(\\.\\d+)?$"),
                                         QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression postgres(QStringLiteral("^PostgreSQL(\\.\\d+)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
  // Without a Provider, OLE DB falls back to its ODBC provider.
  if (provider.isEmpty() || odbc.match(provider).hasMatch())
    return Backend::Odbc;
  if (sqlServer.match(provider).hasMatch())
    return Backend::SqlServer;
  if (sqlite.match(provider).hasMatch())
    return Backend::Sqlite;
  if (postgres.match(provider).hasMatch())
    return Backend::Postgres;
  return std::nullopt;
}

InitProperties InitProperties::parse(const QString &s) {
  InitProperties result;
  const qsizetype n = s.size();
  qsizetype i = 0;
  while (i < n) {
    if (s[i] == QLatin1Char(';') || s[i].isSpace()) {
      ++i;
      continue;
    }
    const qsizetype keyStart = i;
    QString key;
    for (;;) {
      if (i >= n || s[i] == QLatin1Char(';'))
        malformedAt(keyStart);
      if (s[i] == QLatin1Char('=')) {
        if (i + 1 < n && s[i + 1] == QLatin1Char('=')) {
          key += QLatin1Char('=');
          i += 2;
          continue;
        }
        break;
      }
      key += s[i++];
    }
    ++i;
    key = key.trimmed();
    if (key.isEmpty())
      malformedAt(keyStart);

    while (i < n && s[i].isSpace())
      ++i;
    QString value;
    if (i < n && (s[i] == QLatin1Char('"') || s[i] == QLatin1Char('\''))) {
      const QChar quote = s[i];
      const qsizetype quoteAt = i++;
      for (;;) {
        if (i >= n)
          malformedAt(quoteAt);
        if (s[i] == quote) {
          if (i + 1 < n && s[i + 1] == quote) {
            value += quote;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += s[i++];
      }
      while (i < n && s[i].isSpace())
        ++i;
      if (i < n && s[i] != QLatin1Char(';'))
        malformedAt(i);
    } else {
      const qsizetype valueStart = i;
      while (i < n && s[i] != QLatin1Char(';'))
        ++i;
      value = s.mid(valueStart, i - valueStart).trimmed();
    }

    auto existing = std::find_if(result.pairs_.begin(), result.pairs_.end(), [&](const auto &pair) {
      return pair.first.compare(key, Qt::CaseInsensitive) == 0;
    });
    if (existing != result.pairs_.end())
      existing->second = value;
    else
      result.pairs_.emplace_back(key, value);
  }
  return result;
}

std::optional<QString> InitProperties::find(const QString &key) const {
  for (const auto &[name, value] : pairs_)
    if (name.compare(key, Qt::CaseInsensitive) == 0)
      return value;
  return std::nullopt;
}

void InitProperties::set(const QString &key, const QString &value) {
  if (key.isEmpty() || key.contains(QLatin1Char(';')) || key.front().isSpace() ||
      key.back().isSpace())
    throw DataError(
        QStringLiteral("\"%1\" cannot be a key of an OLE DB initialization string.").arg(key));
  for (auto &[name, existing] : pairs_) {
    if (name.compare(key, Qt::CaseInsensitive) == 0) {
      existing = value;
      return;
    }
  }
  pairs_.emplace_back(key, value);
}

void InitProperties::remove(const QString &key) {
  std::erase_if(
      pairs_, [&](const auto &pair) { return pair.first.compare(key, Qt::CaseInsensitive) == 0; });
}

QString InitProperties::toString() const {
  QStringList parts;
  for (const auto &[key, value] : pairs_) {
    QString part = QString(key).replace(QLatin1Char('='), QLatin1String("=="));
    part += QLatin1Char('=');
    // Unquoted, parse() would end the value at ';', trim its blanks, take a
    // leading quote as the start of a quoted value or a leading '=' as part
    // of an "==" in the key.
    const bool quoted = !value.isEmpty() &&
                        (value.front().isSpace() || value.back().isSpace() ||
                         value.front() == QLatin1Char('=') || value.contains(QLatin1Char(';')) ||
                         value.contains(QLatin1Char('"')) || value.contains(QLatin1Char('\'')));
    if (quoted)
      part += QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
              QLatin1Char('"');
    else
      part += value;
    parts << part;
  }
  return parts.join(QLatin1Char(';'));
}

QString postgresInitStringFromOdbc(const QString &odbc) {
  const std::vector<OdbcAttribute> attributes = splitOdbcString(odbc);
  const auto value = [&](const char *key) {
    const OdbcAttribute *found = findOdbcAttribute(attributes, QLatin1String(key));
    return found ? found->value : QString();
  };
  InitProperties properties;
  properties.set(QStringLiteral("Provider"), QStringLiteral("PostgreSQL"));
  const QString port = value("Port");
  properties.set(QStringLiteral("Data Source"),
                 port.isEmpty() ? value("Server") : value("Server") + QLatin1Char(':') + port);
  properties.set(QStringLiteral("Initial Catalog"), value("Database"));
  properties.set(QStringLiteral("User ID"), value("Uid"));
  properties.set(QStringLiteral("Password"), value("Pwd"));
  return properties.toString();
}

QString odbcQuoted(const QString &value) {
  static const QRegularExpression awkward(QStringLiteral("[;{}=]|^\\s|\\s$"));
  return value.contains(awkward) ? braced(value) : value;
}

ConnectionSettings connectionSettingsFrom(const QString &initString, const QString &dataLinkDir,
                                          const QStringList &odbcDrivers) {
  const InitProperties properties = InitProperties::parse(initString);
  ConnectionSettings settings;
  settings.provider = properties.value(QStringLiteral("Provider"));
  settings.backend = backendOf(settings.provider);

  if (const auto timeout = properties.find(QStringLiteral("Connect Timeout"))) {
    bool ok = false;
    const int seconds = timeout->toInt(&ok);
    if (ok && seconds >= 0)
      settings.loginTimeoutSeconds = seconds;
  }

  switch (settings.backend) {
  case Backend::SqlServer:
    settings.odbcConnectionString =
        sqlServerConnectionString(properties, odbcDrivers, &settings.viaFreeTds);
    break;
  case Backend::Odbc:
    settings.odbcConnectionString = odbcConnectionString(properties, &settings.viaFreeTds);
    break;
  case Backend::Postgres:
    settings.postgresParameters = postgresParameters(properties, settings.loginTimeoutSeconds);
    break;
  case Backend::Sqlite: {
    const QString file = properties.value(QStringLiteral("Data Source"));
    if (file.isEmpty())
      throw DataError(QStringLiteral("db.udl names no SQLite database file: its Data Source is "
                                     "empty."));
    settings.sqliteFile = QDir::cleanPath(QDir(dataLinkDir).absoluteFilePath(file));
    break;
  }
  }
  return settings;
}

} // namespace quillon::data
