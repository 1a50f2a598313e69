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

QByteArray patterned(qint64 size, quint32 seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  quint32 state = seed;
  for (qint64 i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = char(state >> 24);
  }
  return bytes;
}

} // namespace quillon::test
