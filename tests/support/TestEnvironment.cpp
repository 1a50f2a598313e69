#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace quillon::test {

QString postgresConnectionString() {
  return qEnvironmentVariable("QUILLON_TEST_PG");
}

QString sqlServerConnectionString() {
  return qEnvironmentVariable("QUILLON_TEST_MSSQL");
}

ScratchDir::ScratchDir() {
  EXPECT_TRUE(dir_.isValid()) << dir_.errorString().toStdString();
}

} // namespace quillon::test
