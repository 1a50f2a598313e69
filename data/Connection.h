#pragma once

#include "data/Driver.h"

#include <QString>

#include <functional>
#include <memory>

namespace quillon::data {

// The program's database connection. Its connection string is either
// "FILE NAME=" and the path of a data-link file, read anew at every connect,
// or an OLE DB initialization string itself. Connecting never asks the user
// anything: credentials come from the string alone.
class Connection {
public:
  explicit Connection(QString name = QStringLiteral("ADOConn"));
  ~Connection();
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  QString name() const { return name_; }
  void setConnectionString(const QString &text) { connectionString_ = text; }
  QString connectionString() const { return connectionString_; }

  bool connected() const { return driver_ != nullptr; }
  // false closes, true opens.
  void setConnected(bool connected);
  // Runs the before-connect hook, connects and runs the after-connect hook.
  // A failure throws DataError and leaves the connection closed.
  void open();
  void close();

  // The database the open connection is in, as the server reports it.
  QString defaultDatabase();
  Dialect dialect() const;
  // The open driver; throws DataError when closed.
  Driver &driver();

  std::function<void()> beforeConnect;
  std::function<void()> afterConnect;

private:
  QString name_;
  QString connectionString_;
  std::unique_ptr<Driver> driver_;
};

// Opens the driver that an initialization string names. `dataLinkDir` is
// the folder relative SQLite paths are taken from.
std::unique_ptr<Driver> openDriver(const QString &initString, const QString &dataLinkDir);

} // namespace quillon::data
