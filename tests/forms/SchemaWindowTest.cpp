// The main window over schemas as users have them, on SQLite and on
// PostgreSQL through both ODBC drivers: every listed table opens and takes
// a load, the list is ordered and short, computed columns are left alone,
// and a connection the server ended is opened again by the next refresh.
#include "forms/ResultGrid.h"
#include "forms/WindowsFixture.h"
#include "platform/ClipboardBytes.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTableView>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

class SchemaWindowTest : public WindowsFixture, public testing::WithParamInterface<Backend> {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    QUILLON_REQUIRE_BACKEND(GetParam());
    if (pg()) {
      writeServerDataLink(GetParam());
    } else {
      writeFile(programDir.file(QStringLiteral("schema.db")), {});
      writeDataLink(QStringLiteral("Provider=SQLite;Data Source=schema.db"));
    }
    start();
    w = frmMainForm;
    w->ADOConn.open();
    dropTables();
    if (pg())
      exec("CREATE SCHEMA schema_win");
    const QString key = pg() ? "id serial primary key" : "id integer primary key";
    const QString blob = pg() ? "bytea" : "image";
    for (const QString &table : tables()) {
      exec(QStringLiteral("CREATE TABLE %1 (%2, \"Picture\" %3, n integer, twice integer "
                          "generated always as (n * 2)%4)")
               .arg(table, key, blob, pg() ? " stored" : ""));
      exec(QStringLiteral("INSERT INTO %1 (n) VALUES (1)").arg(table));
    }
  }

  void TearDown() override {
    if (w && w->ADOConn.connected()) {
      w->qrList.close();
      dropTables();
    }
    WindowsFixture::TearDown();
  }

  bool pg() const { return isPostgres(GetParam()); }

  // Names that need quoting, names that sort apart by case, and on
  // PostgreSQL a table of a schema off the search path.
  QStringList tables() const {
    QStringList names = {"\"MixedCase\"", "\"select\"", "b_schema_win", "\"A_schema_win\""};
    if (pg())
      names << "schema_win.orders";
    return names;
  }

  void dropTables() {
    for (const QString &table : tables())
      exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
    if (pg())
      exec("DROP SCHEMA IF EXISTS schema_win");
  }

  void exec(const QString &sql) { w->ADOConn.driver().execute(sql); }

  void pick(const QString &table) {
    const int index = w->cbTables->findText(table);
    ASSERT_GE(index, 0) << table.toStdString();
    w->cbTables->setCurrentIndex(index);
  }

  void refresh() {
    runCommand(w->ARefresh);
    ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  }

  void moveTo(const char *fieldName) {
    const data::Field &field = w->qrList.fieldByName(QLatin1String(fieldName));
    w->grdList->setCurrentIndex(
        w->grdList->model()->index(0, w->resultGrid()->model()->columnOf(&field)));
  }

  TfrmMainForm *w = nullptr;
};

TEST_P(SchemaWindowTest, EveryListedTableOpensAndTakesALoad) {
  runCommand(w->AReConnect);
  QStringList listed = {"MixedCase", "select"};
  if (pg())
    listed << "schema_win.orders";
  for (const QString &table : listed) {
    SCOPED_TRACE(table.toStdString());
    pick(table);
    refresh();
    ASSERT_EQ(w->qrList.recordCount(), 1);
    EXPECT_TRUE(w->AFromClipBoard->isEnabled());
    moveTo("Picture");
    platform::setClipboardBytes("picture of " + table.toUtf8());
    runCommand(w->AFromClipBoard);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1].second, QStringLiteral("Значение загружено из буфера обмена"));
    messages.clear();
    refresh();
    EXPECT_EQ(w->qrList.fieldByName(QStringLiteral("Picture")).asString(),
              "picture of " + table.toUtf8());
  }
}

TEST_P(SchemaWindowTest, TheListSortsWithoutRegardToCaseAndShowsSevenRows) {
  for (int i = 0; i < 12; ++i)
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (n integer)")
             .arg(QStringLiteral("filler_schema_win_%1").arg(i, 2, 10, QLatin1Char('0'))));
  runCommand(w->AReConnect);
  const QStringList names = tablePicker();
  EXPECT_LT(names.indexOf("A_schema_win"), names.indexOf("b_schema_win"));
  EXPECT_GE(names.indexOf("A_schema_win"), 0);
  w->cbTables->showPopup();
  const QAbstractItemView *view = w->cbTables->view();
  const int rowHeight = view->sizeHintForRow(0);
  ASSERT_GT(rowHeight, 0);
  EXPECT_LE(view->viewport()->height(), 7 * rowHeight + 2);
  EXPECT_GE(view->viewport()->height(), 7 * rowHeight - 2);
  w->cbTables->hidePopup();
  for (int i = 0; i < 12; ++i)
    exec(QStringLiteral("DROP TABLE %1")
             .arg(QStringLiteral("filler_schema_win_%1").arg(i, 2, 10, QLatin1Char('0'))));
}

TEST_P(SchemaWindowTest, ReconnectKeepsThePickedTable) {
  runCommand(w->AReConnect);
  pick("MixedCase");
  runCommand(w->AReConnect);
  EXPECT_EQ(w->cbTables->currentText(), "MixedCase");
  refresh();
  EXPECT_EQ(w->qrList.recordCount(), 1);
}

TEST_P(SchemaWindowTest, AComputedColumnIsLeftAloneWithoutAWord) {
  runCommand(w->AReConnect);
  pick("b_schema_win");
  refresh();
  EXPECT_TRUE(w->qrList.fieldByName(QStringLiteral("twice")).readOnly());
  moveTo("twice");
  platform::setClipboardBytes("8");
  runCommand(w->AFromClipBoard);
  EXPECT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
}

using PostgresWindowTest = SchemaWindowTest;

TEST_P(PostgresWindowTest, RefreshWorksAfterTheServerEndedTheConnection) {
  runCommand(w->AReConnect);
  pick("b_schema_win");
  refresh();
  // Another session ends this one's server process, as a restart does.
  auto pid = w->ADOConn.driver().execute("SELECT pg_backend_pid()");
  ASSERT_TRUE(pid->fetch());
  const QByteArray number = pid->value(0, 0).data();
  pid.reset();
  data::Connection other(QStringLiteral("other"));
  other.setConnectionString(serverInitString(GetParam()));
  other.open();
  other.driver().execute("SELECT pg_terminate_backend(" + QString::fromLatin1(number) + ")");

  refresh();
  EXPECT_EQ(w->qrList.recordCount(), 1);
  EXPECT_TRUE(w->ADOConn.connected());
  // The table list survived, so the next refresh finds its table.
  EXPECT_EQ(w->cbTables->currentText(), "b_schema_win");
}

TEST_P(SchemaWindowTest, FreeQueriesKeepPostgresCasts) {
  w->cbSQL->click();
  w->memSQL->setPlainText(pg() ? "select 1::int + 1 as two" : "select 1 + 1 as two");
  refresh();
  EXPECT_EQ(w->qrList.fieldByName(QStringLiteral("two")).asString(), "2");
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaWindowTest, testing::ValuesIn(sqliteAndPostgres()),
                         BackendName());
INSTANTIATE_TEST_SUITE_P(Drivers, PostgresWindowTest, testing::ValuesIn(postgresBackends()),
                         BackendName());

} // namespace
