#pragma once

#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace quillon::test {

// The user's settings in a scratch folder for one test. Qt reads
// XDG_CONFIG_HOME once per process and caches files by name, so each test
// also moves the path explicitly to a folder of its own.
class SettingsFolder {
public:
  SettingsFolder() {
    qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
  }

  QString path() const { return dir_.path(); }
  QString configFile() const { return dir_.file(QStringLiteral("Tarnwick/Quillon.conf")); }

  // The file as a user or another program may have left it.
  void writeConfig(const QByteArray &content) const {
    QDir().mkpath(dir_.file(QStringLiteral("Tarnwick")));
    QFile file(configFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
  }

  QByteArray readConfig() const {
    QFile file(configFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

private:
  ScratchDir dir_;
};

} // namespace quillon::test
