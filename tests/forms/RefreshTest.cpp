#include "forms/FileDialog.h"
#include "forms/RecordNavigator.h"
#include "forms/ResultGrid.h"
#include "forms/WindowsFixture.h"
#include "forms/uFilter.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

// Refreshing the result through the main window, on SQLite and on the live
// PostgreSQL server.
class RefreshTest : public WindowsFixture, public testing::WithParamInterface<Backend> {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    QUILLON_REQUIRE_BACKEND(GetParam());
    if (isPostgres(GetParam())) {
      writeServerDataLink(GetParam());
    } else {
      const QString file = programDir.file(QStringLiteral("grid.db"));
      writeFile(file, {});
      writeDataLink(QStringLiteral("Provider=SQLite;Data Source=grid.db"));
    }
    start();
    w = frmMainForm;
    w->ADOConn.open();
    const bool pg = isPostgres(GetParam());
    for (const char *table : {"grid_docs", "\"grid lines\"", "grid_log"})
      exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(table)));
    exec(pg ? "CREATE TABLE grid_docs (id serial primary key, name varchar(255), img bytea, "
              "notes text, n integer)"
            : "CREATE TABLE grid_docs (id integer primary key, name varchar(255), img image, "
              "notes text, n int)");
    for (int i = 1; i <= 12; ++i)
      exec(QStringLiteral(
               "INSERT INTO grid_docs (name, img, notes, n) VALUES ('doc %1', %2, %3, %1)")
               .arg(i)
               .arg(i % 2 ? (pg ? "'\\x0102'::bytea" : "x'0102'") : "NULL")
               .arg(i % 3 ? "'text'" : "NULL"));
    exec("CREATE TABLE \"grid lines\" (n int)");
    exec("INSERT INTO \"grid lines\" VALUES (7)");
    exec("CREATE TABLE grid_log (n int)");
    runCommand(w->AReConnect);
    ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  }

  void TearDown() override {
    if (w && w->ADOConn.connected()) {
      w->qrList.close();
      for (const char *table : {"grid_docs", "\"grid lines\"", "grid_log"})
        exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(table)));
    }
    WindowsFixture::TearDown();
  }

  void exec(const QString &sql) { w->ADOConn.driver().execute(sql); }

  void pick(const QString &table) {
    const int index = w->cbTables->findText(table);
    ASSERT_GE(index, 0) << table.toStdString();
    w->cbTables->setCurrentIndex(index);
  }

  void freeQuery(const QString &text) {
    if (!w->cbSQL->isChecked())
      QTest::mouseClick(w->cbSQL, Qt::LeftButton);
    w->memSQL->setPlainText(text);
  }

  QString cell(int row, int column) const {
    return w->grdList->model()->index(row, column).data().toString();
  }
  QString title(int column) const {
    return w->grdList->model()->headerData(column, Qt::Horizontal).toString();
  }
  int columns() const { return w->grdList->model()->columnCount(); }

  TfrmMainForm *w = nullptr;
};

TEST_P(RefreshTest, TableQueryShowsTheFirstTenRowsWithKindTexts) {
  pick("grid_docs");
  QTest::keyClick(w->cbTables, Qt::Key_F5);
  ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  ASSERT_TRUE(w->qrList.active());
  EXPECT_EQ(w->qrList.recordCount(), 10);
  ASSERT_EQ(columns(), 5);
  EXPECT_EQ(title(1), "name");
  EXPECT_EQ(cell(0, 1), "doc 1");
  EXPECT_EQ(cell(0, 2), "(BLOB)");
  EXPECT_EQ(cell(1, 2), "(Blob)");
  EXPECT_EQ(cell(0, 3), "(MEMO)");
  EXPECT_EQ(cell(2, 3), "(Memo)");
  // The transfer commands follow the rows of an open result.
  EXPECT_TRUE(w->AFromFile->isEnabled());
  EXPECT_TRUE(w->AToClipBoard->isEnabled());

  // varchar(255) is capped at 160 pixels; the int column keeps its width.
  EXPECT_EQ(w->grdList->columnWidth(1), 160);
  const int intWidth = w->grdList->columnWidth(4);
  EXPECT_LT(intWidth, 160);
  EXPECT_EQ(intWidth, w->resultGrid()->defaultWidth(w->qrList.fieldByName("n")));

  // The filter off: every row.
  runCommand(w->ARunFilter);
  QTest::keyClick(w->cbTables, Qt::Key_Return);
  EXPECT_EQ(w->qrList.recordCount(), 12);
}

TEST_P(RefreshTest, FailingFilterShowsTheTableModeMessage) {
  pick("grid_docs");
  frmFilter->filter.rows = {{"name", "=", "doc 1"}};
  runCommand(w->ARefresh);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].second,
            QStringLiteral("Скорее всего ошибка в фильтре.\rПроверте что "
                           "строковые значения заключены в одиночные кавычки."));
  EXPECT_FALSE(w->qrList.active());

  messages.clear();
  frmFilter->filter.rows = {{"name", "=", "'doc 3'"}};
  runCommand(w->ARefresh);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(w->qrList.recordCount(), 1);
}

TEST_P(RefreshTest, TableWhoseNameNeedsQuotingOpens) {
  pick("grid lines");
  runCommand(w->ARefresh);
  ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  EXPECT_EQ(w->qrList.recordCount(), 1);
  EXPECT_EQ(cell(0, 0), "7");
}

TEST_P(RefreshTest, FreeQueriesShowTheFirstResultOrTheFreeQueryMessage) {
  freeQuery("UPDATE grid_log SET n = 1;\nINSERT INTO grid_log VALUES (42);\n"
            "SELECT n FROM grid_log");
  runCommand(w->ARefresh);
  ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  ASSERT_EQ(w->qrList.recordCount(), 1);
  EXPECT_EQ(cell(0, 0), "42");
  // In free-query mode only the reading commands are available.
  EXPECT_FALSE(w->AFromFile->isEnabled());
  EXPECT_TRUE(w->AToFile->isEnabled());

  freeQuery("UPDATE grid_log SET n = 43");
  runCommand(w->ARefresh);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].second,
            QStringLiteral("Скорее всего ошибка в тексте запроса SQL\r\rОригинальное сообщение:\r"
                           "qrList: CommandText does not return a result set"));
  EXPECT_FALSE(w->qrList.active());

  // The update ran all the same.
  messages.clear();
  freeQuery("select count(*) from grid_log where n = 43");
  runCommand(w->ARefresh);
  ASSERT_TRUE(messages.isEmpty());
  EXPECT_EQ(cell(0, 0), "1");
}

// The grid lays out no more of a text than a cell can show: a megabyte in
// one line shows its first 4 KB, cut between characters. PostgreSQL gives
// such an expression a large-value kind, which shows its kind only.
TEST_P(RefreshTest, AHugeTextCellShowsOnlyItsBeginning) {
  const bool pg = isPostgres(GetParam());
  freeQuery(pg ? "select repeat('ж', 1000000) as t"
               : "select replace(hex(zeroblob(1000000)), '00', 'ж') as t");
  runCommand(w->ARefresh);
  ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  const QString shown = cell(0, 0);
  if (pg) {
    EXPECT_EQ(shown, QStringLiteral("(MEMO)"));
    return;
  }
  EXPECT_TRUE(shown.startsWith(QString(100, u'ж'))) << shown.left(20).toStdString();
  EXPECT_LE(shown.size(), 2049);
  EXPECT_TRUE(shown.endsWith(u'…'));
  EXPECT_FALSE(shown.contains(QChar::ReplacementCharacter));
}

TEST_P(RefreshTest, NothingRunsWithoutATableOrQueryText) {
  pick("grid_docs");
  runCommand(w->ARefresh);
  ASSERT_TRUE(w->qrList.active());
  w->cbTables->setCurrentIndex(-1);
  runCommand(w->ARefresh);
  EXPECT_TRUE(w->qrList.active());
  EXPECT_EQ(w->qrList.recordCount(), 10);
  freeQuery(QString());
  runCommand(w->ARefresh);
  EXPECT_TRUE(w->qrList.active());
  EXPECT_TRUE(messages.isEmpty());
}

TEST_P(RefreshTest, FieldChooserHidesAndShowsColumns) {
  pick("grid_docs");
  runCommand(w->ARefresh);
  runCommand(w->AFields);
  ASSERT_FALSE(w->pnlFields->isHidden());
  ASSERT_EQ(w->clbFields->count(), 5);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(w->clbFields->item(i)->checkState(), Qt::Checked);

  w->clbFields->item(1)->setCheckState(Qt::Unchecked);
  w->clbFields->item(3)->setCheckState(Qt::Unchecked);
  QTest::keyClick(w->clbFields, Qt::Key_Return);
  EXPECT_TRUE(w->pnlFields->isHidden());
  ASSERT_EQ(columns(), 3);
  EXPECT_EQ(title(1), "img");

  runCommand(w->AFields);
  EXPECT_EQ(w->clbFields->item(1)->checkState(), Qt::Unchecked);
  // A column shown again comes back at its default width, not capped.
  w->clbFields->item(1)->setCheckState(Qt::Checked);
  runCommand(w->AFields);
  EXPECT_EQ(w->grdList->columnWidth(1),
            w->resultGrid()->defaultWidth(w->qrList.fieldByName("name")));
  EXPECT_GT(w->grdList->columnWidth(1), 160);

  // "Снять все" hides every column: one empty column, no current cell.
  runCommand(w->AFields);
  QTest::mouseClick(w->SpeedButton2, Qt::LeftButton);
  runCommand(w->AFields);
  EXPECT_EQ(columns(), 1);
  EXPECT_TRUE(title(0).isEmpty());
  EXPECT_EQ(w->currentField(), nullptr);
  // A transfer then says so, in the program's language.
  messages.clear();
  setFileDialogOverride(
      [](FileDialog::Kind, const QString &) { return QStringLiteral("/dev/null"); });
  runCommand(w->AToFile);
  setFileDialogOverride({});
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].second.contains(QStringLiteral("Нет текущей ячейки: все поля скрыты")))
      << messages[0].second.toStdString();
}

TEST_P(RefreshTest, ChooserAfterAFailedRefreshDoesNothingHarmful) {
  pick("grid_docs");
  runCommand(w->ARefresh);
  frmFilter->filter.rows = {{"nosuchcolumn", "=", "1"}};
  runCommand(w->ARefresh);
  ASSERT_EQ(messages.size(), 1);
  runCommand(w->AFields);
  runCommand(w->AFields);
  EXPECT_EQ(messages.size(), 1);
  EXPECT_TRUE(w->pnlFields->isHidden());
  // The mode switch with no result open leaves the transfers off, silently.
  QTest::mouseClick(w->cbSQL, Qt::LeftButton);
  EXPECT_FALSE(w->AToFile->isEnabled());
  EXPECT_EQ(messages.size(), 1);
}

TEST_P(RefreshTest, UnnamedColumnIsColumn1AndTheNavigatorMovesTheRow) {
  if (GetParam() == Backend::Sqlite) {
    // A column the statement leaves without a name.
    freeQuery("select count(*) as \"\" from grid_docs");
    runCommand(w->ARefresh);
    ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
    EXPECT_EQ(title(0), "COLUMN1");
    EXPECT_EQ(cell(0, 0), "12");
    ASSERT_EQ(w->clbFields->count(), 1);
    EXPECT_EQ(w->clbFields->item(0)->text(), "COLUMN1");
  }

  freeQuery("select n from grid_docs order by n");
  runCommand(w->ARefresh);
  auto *last = w->DBNavigator->findChild<QPushButton *>("nbLast");
  QTest::mouseClick(last, Qt::LeftButton);
  EXPECT_EQ(w->qrList.recNo(), 11);
  EXPECT_EQ(w->grdList->currentIndex().row(), 11);
  EXPECT_FALSE(last->isEnabled());
  w->grdList->setCurrentIndex(w->grdList->model()->index(3, 0));
  EXPECT_EQ(w->qrList.recNo(), 3);
}

TEST_P(RefreshTest, PickerSearchesByTypedPrefixIgnoringCase) {
  w->cbTables->setFocus();
  w->cbTables->setCurrentIndex(-1);
  QTest::keyClick(w->cbTables, Qt::Key_Down);
  EXPECT_EQ(w->cbTables->currentText(), tablePicker().first());
  QTest::keyClicks(w->cbTables, "GRID_L");
  EXPECT_EQ(w->cbTables->currentText(), "grid_log");
  // A character that matches no name changes nothing.
  QTest::keyClick(w->cbTables, Qt::Key_Q);
  EXPECT_EQ(w->cbTables->currentText(), "grid_log");
  QTest::keyClick(w->cbTables, Qt::Key_Up);
  EXPECT_EQ(w->cbTables->currentText(), "grid_docs");
  EXPECT_FALSE(w->cbTables->isEditable());
}

INSTANTIATE_TEST_SUITE_P(Backends, RefreshTest, testing::ValuesIn(sqliteAndPostgres()),
                         BackendName());

} // namespace
