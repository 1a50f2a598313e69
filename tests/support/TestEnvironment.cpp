#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

namespace quillon::test {

QString postgresConnectionString() {
  return qEnvironmentVariable("QUILLON_TEST_PG");
}

QString sqlServerConnectionString() {
  return qEnvironmentVariable("QUILLON_TEST_MSSQL");
}

bool permissionsBind() {
  QTemporaryDir probe;
  if (!probe.isValid() || !QFile::setPermissions(probe.path(), QFile::ReadOwner | QFile::ExeOwner))
    return false;
  QFile file(probe.filePath(QStringLiteral("written")));
  const bool written = file.open(QIODevice::WriteOnly);
  file.close();
  QFile::setPermissions(probe.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return !written;
}

ScratchDir::ScratchDir() {
  EXPECT_TRUE(dir_.isValid()) << dir_.errorString().toStdString();
}

} // namespace quillon::test
