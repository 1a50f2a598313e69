#include "data/Connection.h"

#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/DataLink.h"
#include "data/drivers/OdbcDriver.h"
#include "data/drivers/PostgresDriver.h"
#include "data/drivers/SqliteDriver.h"

#include <QDir>
#include <QFileInfo>

namespace quillon::data {

namespace {

const QLatin1String kFileNameKey("FILE NAME=");

} // namespace

std::unique_ptr<Driver> openDriver(const QString &initString, const QString &dataLinkDir) {
  using Backend = ConnectionSettings::Backend;
  const ConnectionSettings settings =
      connectionSettingsFrom(initString, dataLinkDir, OdbcDriver::installedDrivers());
  if (settings.backend == Backend::Sqlite)
    return SqliteDriver::connect(settings);
  if (settings.backend == Backend::Postgres)
    return PostgresDriver::connect(settings);
  return OdbcDriver::connect(settings.odbcConnectionString, settings);
}

Connection::Connection(QString name) : name_(std::move(name)) {}

Connection::~Connection() = default;

void Connection::setConnected(bool connected) {
  if (connected)
    open();
  else
    close();
}

void Connection::open() {
  if (driver_)
    return;
  if (beforeConnect)
    beforeConnect();
  if (connectionString_.startsWith(kFileNameKey, Qt::CaseInsensitive)) {
    const QString path = connectionString_.mid(kFileNameKey.size()).trimmed();
    const std::optional<QString> text = readDataLinkText(path);
    if (!text)
      throw DataError(QStringLiteral("Cannot read the data-link file %1").arg(path));
    driver_ = openDriver(initStringOf(*text), QFileInfo(path).absolutePath());
  } else {
    driver_ = openDriver(connectionString_, QDir::currentPath());
  }
  if (afterConnect)
    afterConnect();
}

void Connection::close() {
  driver_.reset();
}

QString Connection::defaultDatabase() {
  return driver().defaultDatabase();
}

Dialect Connection::dialect() const {
  return driver_ ? driver_->dialect() : Dialect::Other;
}

Driver &Connection::driver() {
  if (!driver_)
    throw DataError(QStringLiteral("%1: the connection is closed").arg(name_));
  return *driver_;
}

} // namespace quillon::data
