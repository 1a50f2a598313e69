#pragma once

// A connection to one back-end of the test run, with tables of the test's
// own that are dropped at its end.
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"

#include "support/TestBackends.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace quillon::test {

using data::Connection;
using data::DataError;
using data::Query;

inline void writeBytes(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString &path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return file.readAll();
}

class DatabaseTest : public testing::TestWithParam<Backend> {
protected:
  void SetUp() override {
    QUILLON_REQUIRE_BACKEND(GetParam());
    if (GetParam() != Backend::Sqlite) {
      initString_ = serverInitString(GetParam());
    } else {
      const QString file = scratch_.file(QStringLiteral("test.db"));
      writeBytes(file, {}); // an empty file is an empty SQLite database
      initString_ = QStringLiteral("Provider=SQLite;Data Source=%1").arg(file);
    }
    connection_.setConnectionString(initString_);
    ASSERT_NO_THROW(connection_.open());
    // Each test gets its own table names, so parallel runs do not meet.
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    suffix_ = QString::number(qHash(QString::fromUtf8(info->name())) % 100000);
  }

  void TearDown() override {
    for (const QString &table : created_) {
      try {
        connection_.driver().execute(QStringLiteral("DROP TABLE %1").arg(table));
      } catch (const DataError &) {
      }
    }
  }

  bool postgres() const { return isPostgres(GetParam()); }

  // A table name unique to this test; dropped at the end.
  QString table(const QString &base) {
    const QString name = base + QLatin1Char('_') + suffix_;
    exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    created_ << name;
    return name;
  }

  void exec(const QString &sql) {
    try {
      connection_.driver().execute(sql);
    } catch (const DataError &e) {
      FAIL() << "statement failed: " << sql.toStdString() << "\n" << e.what();
    }
  }

  std::unique_ptr<Query> open(const QString &sql) {
    auto query = std::make_unique<Query>(QStringLiteral("qrList"), connection_);
    query->setSQL({sql});
    query->open();
    return query;
  }

  // A value read back through a fresh query.
  QByteArray readBack(const QString &sql, const QString &field) {
    auto query = open(sql);
    EXPECT_EQ(query->recordCount(), 1);
    return query->fieldByName(field).asString();
  }

  QString blobType() const { return postgres() ? "bytea" : "image"; }
  QString serialKey() const {
    return postgres() ? "id serial primary key" : "id integer primary key";
  }

  ScratchDir scratch_;
  QString initString_;
  Connection connection_;
  QString suffix_;
  QStringList created_;
};

} // namespace quillon::test
