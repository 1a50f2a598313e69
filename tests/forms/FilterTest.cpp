#include "forms/WindowsFixture.h"
#include "forms/uCondition.h"
#include "forms/uFilter.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

const QString kWrongLimit = QStringLiteral("Введите целое положительное число");
const QString kSure = QStringLiteral("Вы уверены ?");

// What the condition editor showed when it opened.
struct EditorShown {
  QStringList fields;
  QString field, op, value;
};

// The filter window and its condition editor, shown the way the user sees
// them: modally, from the main window's filter command.
class FilterTest : public WindowsFixture {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    setMessageBoxOverride([this](BoxKind kind, const QString &text) {
      messages.append({kind, text});
      return answer;
    });
  }

  // Runs the steps while the filter window is open; a window the steps
  // leave open is closed with "Закрыть" afterwards.
  void inFilterWindow(const std::function<void()> &steps) {
    bool ran = false;
    QTimer::singleShot(0, frmFilter, [&] {
      ran = true;
      EXPECT_TRUE(QTest::qWaitForWindowActive(frmFilter));
      steps();
      if (frmFilter->isVisible())
        frmFilter->btnClose->click();
    });
    runCommand(frmMainForm->AShowFilter);
    ASSERT_TRUE(ran);
    EXPECT_FALSE(frmFilter->isVisible());
  }

  // Answers the condition editor the next time it opens; an editor the
  // answer leaves open is cancelled.
  void onEditor(const std::function<void(TfrmCondition &)> &reply, int attempts = 500) {
    QTimer::singleShot(0, frmCondition, [this, reply, attempts] {
      // Events run before the editor opens (waiting for the filter window),
      // so wait for it a while.
      if (!frmCondition->isVisible()) {
        if (attempts > 0)
          onEditor(reply, attempts - 1);
        return;
      }
      ++editorOpenings;
      EXPECT_TRUE(QTest::qWaitForWindowActive(frmCondition));
      TfrmCondition &e = *frmCondition;
      shown = {
          {}, e.cmbFields->currentText(), e.cmbCondition->currentText(), e.memValue->toPlainText()};
      for (int i = 0; i < e.cmbFields->count(); ++i)
        shown.fields << e.cmbFields->itemText(i);
      reply(e);
      if (e.isVisible())
        e.btnCloseCondition->click();
    });
  }

  // Types a condition into the editor and saves it with Enter.
  static std::function<void(TfrmCondition &)> typing(const QString &field, const QString &op,
                                                     const QStringList &valueLines) {
    return [=](TfrmCondition &e) {
      e.cmbFields->lineEdit()->clear();
      QTest::keyClicks(e.cmbFields, field);
      e.cmbCondition->setCurrentIndex(e.cmbCondition->findText(op));
      e.memValue->clear();
      for (int i = 0; i < valueLines.size(); ++i) {
        if (i > 0)
          QTest::keyClick(e.memValue, Qt::Key_Return);
        QTest::keyClicks(e.memValue, valueLines[i]);
      }
      QTest::keyClick(e.cmbFields, Qt::Key_Return);
    };
  }

  // The grid's cells, checked against the filter state they show.
  QList<QStringList> grid() const {
    QList<QStringList> cells;
    const QTableWidget *g = frmFilter->sgdFilter;
    for (int row = 0; row < g->rowCount(); ++row) {
      QStringList line;
      for (int column = 0; column < 3; ++column)
        line << (g->item(row, column) ? g->item(row, column)->text() : QString());
      cells << line;
    }
    QList<QStringList> state;
    for (const auto &row : frmFilter->filter.rows)
      state << QStringList{row.field, row.op, row.value};
    EXPECT_EQ(cells, state) << "the grid and the filter state differ";
    return cells;
  }

  // A key pressed in the grid, once the window has the keyboard again.
  void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    EXPECT_TRUE(QTest::qWaitForWindowActive(frmFilter));
    QTest::keyClick(frmFilter->sgdFilter, Qt::Key(key), modifiers);
  }

  void typeLimit(const QString &text) {
    frmFilter->cmbTop->lineEdit()->clear();
    QTest::keyClicks(frmFilter->cmbTop, text);
  }

  void setFieldChooser(const QStringList &names) {
    frmMainForm->clbFields->clear();
    frmMainForm->clbFields->addItems(names);
  }

  Answer answer = Answer::Yes;
  int editorOpenings = 0;
  EditorShown shown;
};

using Rows = QList<QStringList>;

TEST_F(FilterTest, FilterWindowLayout) {
  start();
  TfrmFilter &f = *frmFilter;
  inFilterWindow([&] {
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Quillon - фильтр"));
    EXPECT_EQ(f.size(), QSize(392, 273));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_EQ(f.pos(), QPoint(289, 125));
    EXPECT_EQ(f.pnlTop->geometry(), QRect(0, 0, 392, 37));
    EXPECT_EQ(f.pnlBottom->geometry(), QRect(0, 232, 392, 41));
    const QToolButton *speed[] = {f.SpeedButton1, f.SpeedButton2, f.SpeedButton3};
    const QAction *commands[] = {f.AAdd, f.AEdit, f.ADelete};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(speed[i]->geometry(), QRect(8 + 24 * i, 7, 23, 22));
      EXPECT_EQ(speed[i]->defaultAction(), commands[i]);
      EXPECT_FALSE(speed[i]->icon().isNull());
      EXPECT_EQ(speed[i]->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(f.AAdd->shortcut(), QKeySequence(Qt::Key_Insert));
    EXPECT_EQ(f.AEdit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Return));
    EXPECT_EQ(f.ADelete->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    EXPECT_EQ(f.Label1->text(), QStringLiteral("Первые"));
    EXPECT_EQ(f.Label1->pos(), QPoint(96, 8));
    EXPECT_EQ(f.Label2->text(), QStringLiteral("строк"));
    EXPECT_EQ(f.Label2->pos(), QPoint(216, 8));

    EXPECT_EQ(f.cmbTop->geometry().topLeft(), QPoint(144, 8));
    EXPECT_EQ(f.cmbTop->width(), 65);
    EXPECT_TRUE(f.cmbTop->isEditable());
    QStringList limits;
    for (int i = 0; i < f.cmbTop->count(); ++i)
      limits << f.cmbTop->itemText(i);
    EXPECT_EQ(limits, QStringList({"1", "10", "100", "1000"}));
    EXPECT_EQ(f.cmbTop->currentText(), "10");
    EXPECT_EQ(f.filter.topCount, 10u);

    const QTableWidget *g = f.sgdFilter;
    EXPECT_EQ(g->geometry(), QRect(8, 48, 377, 177));
    ASSERT_EQ(g->columnCount(), 3);
    EXPECT_EQ(g->horizontalHeaderItem(0)->text(), QStringLiteral("Поле"));
    EXPECT_EQ(g->horizontalHeaderItem(1)->text(), QStringLiteral("Условие"));
    EXPECT_EQ(g->horizontalHeaderItem(2)->text(), QStringLiteral("Значение"));
    EXPECT_EQ(g->columnWidth(0), 98);
    EXPECT_EQ(g->columnWidth(1), 59);
    EXPECT_EQ(g->columnWidth(2), 213);
    EXPECT_EQ(g->rowHeight(0), 16);
    EXPECT_EQ(g->horizontalHeader()->height(), 16);
    EXPECT_FALSE(g->verticalHeader()->isVisible());
    EXPECT_TRUE(g->showGrid());
    EXPECT_EQ(g->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(g->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid(), Rows({{"", "", ""}}));

    const struct {
      QPushButton *button;
      const char *caption;
      int x;
    } buttons[] = {{f.btnHelp, "Справка ...", 8},
                   {f.btnApplay, "Применить", 232},
                   {f.btnClose, "Закрыть", 312}};
    for (const auto &b : buttons) {
      EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
      EXPECT_EQ(b.button->geometry(), QRect(b.x, 8, 75, 25));
    }
    EXPECT_TRUE(f.btnApplay->isDefault());
    EXPECT_FALSE(f.btnClose->isDefault());

    // Tab order: the limit, the grid, then the buttons left to right.
    f.cmbTop->setFocus();
    QList<QWidget *> order{QApplication::focusWidget()};
    for (int i = 0; i < 5; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      order << QApplication::focusWidget();
    }
    EXPECT_EQ(order, (QList<QWidget *>{f.cmbTop, f.sgdFilter, f.btnHelp, f.btnApplay, f.btnClose,
                                       f.cmbTop}));
    // Moved by the user, the window shows there again.
    f.move(300, 200);
  });
  inFilterWindow([&] { EXPECT_EQ(f.pos(), QPoint(300, 200)); });
}

TEST_F(FilterTest, ConditionEditorLayout) {
  start();
  TfrmCondition &e = *frmCondition;
  EXPECT_EQ(e.cmbCondition->currentText(), "<");
  inFilterWindow([&] {
    onEditor([&](TfrmCondition &) {
      EXPECT_EQ(e.windowTitle(), QStringLiteral("Редактирование условия"));
      EXPECT_EQ(e.size(), QSize(295, 167));
      EXPECT_EQ(e.minimumSize(), e.maximumSize());
      EXPECT_EQ(e.pos(), QPoint(245, 139));
      EXPECT_TRUE(e.isModal());
      EXPECT_EQ(e.Label1->text(), QStringLiteral("Поле"));
      EXPECT_EQ(e.Label1->pos(), QPoint(8, 8));
      EXPECT_EQ(e.Label2->text(), QStringLiteral("Условие"));
      EXPECT_EQ(e.Label2->pos(), QPoint(8, 32));
      EXPECT_EQ(e.Label3->text(), QStringLiteral("Значение"));
      EXPECT_EQ(e.Label3->pos(), QPoint(8, 56));
      EXPECT_EQ(e.cmbFields->geometry().topLeft(), QPoint(64, 8));
      EXPECT_EQ(e.cmbFields->width(), 225);
      EXPECT_TRUE(e.cmbFields->isEditable());
      EXPECT_EQ(e.cmbCondition->geometry().topLeft(), QPoint(64, 32));
      EXPECT_EQ(e.cmbCondition->width(), 73);
      EXPECT_FALSE(e.cmbCondition->isEditable());
      QStringList operators;
      for (int i = 0; i < e.cmbCondition->count(); ++i)
        operators << e.cmbCondition->itemText(i);
      EXPECT_EQ(operators, QStringList({"<", "<=", "<>", "=", ">", ">=", "IN", "LIKE"}));
      EXPECT_EQ(e.memValue->geometry(), QRect(8, 72, 281, 57));
      EXPECT_EQ(e.btnCloseCondition->text(), QStringLiteral("Отменить"));
      EXPECT_EQ(e.btnCloseCondition->geometry(), QRect(216, 136, 73, 25));
      EXPECT_EQ(e.btnOk->text(), QStringLiteral("Сохранить"));
      EXPECT_EQ(e.btnOk->geometry(), QRect(136, 136, 75, 25));
      EXPECT_TRUE(e.btnOk->isDefault());

      EXPECT_EQ(QApplication::focusWidget(), e.cmbFields);
      QList<QWidget *> order{e.cmbFields};
      for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget();
      }
      EXPECT_EQ(order, (QList<QWidget *>{e.cmbFields, e.cmbCondition, e.memValue,
                                         e.btnCloseCondition, e.btnOk, e.cmbFields}));
      // Escape cancels, even from the value box.
      QTest::keyClick(e.memValue, Qt::Key_Escape);
      EXPECT_FALSE(e.isVisible());
    });
    key(Qt::Key_Insert);
  });
  EXPECT_EQ(editorOpenings, 1);
  EXPECT_EQ(grid(), Rows({{"", "", ""}}));
}

TEST_F(FilterTest, RowLimitParsesOnApplyAndAlwaysCloses) {
  start();
  TfrmFilter &f = *frmFilter;
  const struct {
    const char *typed;
    bool accepted;
    quint32 limit;
  } cases[] = {
      {" 100", true, 100},
      {"100 ", false, 100},
      {"$10", true, 16},
      {"abc", false, 16},
      {"0", true, 0},
      {"-5", false, 0},
      {"4294967291", false, 0},
      {"2147483647", true, 2147483647u},
      {"2147483648", false, 2147483647u},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.typed);
    messages.clear();
    inFilterWindow([&] {
      typeLimit(QString::fromUtf8(c.typed));
      QTest::mouseClick(f.btnApplay, Qt::LeftButton);
      EXPECT_FALSE(f.isVisible());
    });
    EXPECT_EQ(f.filter.topCount, c.limit);
    if (c.accepted) {
      EXPECT_TRUE(messages.isEmpty());
    } else {
      ASSERT_EQ(messages.size(), 1);
      EXPECT_EQ(messages[0], std::make_pair(BoxKind::Message, kWrongLimit));
    }
    // The box keeps what was typed, applied or not.
    inFilterWindow([&] { EXPECT_EQ(f.cmbTop->currentText(), QString::fromUtf8(c.typed)); });
  }
}

TEST_F(FilterTest, FailedLimitSendsTheFocusBackToTheBox) {
  start();
  TfrmFilter &f = *frmFilter;
  inFilterWindow([&] {
    typeLimit("x1");
    f.sgdFilter->setFocus();
    EXPECT_TRUE(f.ApplyTopCount());
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(QApplication::focusWidget(), f.cmbTop);
    EXPECT_TRUE(f.isVisible());

    typeLimit("7");
    f.sgdFilter->setFocus();
    EXPECT_TRUE(f.ApplyTopCount());
    EXPECT_EQ(f.filter.topCount, 7u);
    EXPECT_EQ(QApplication::focusWidget(), f.sgdFilter);
    EXPECT_EQ(messages.size(), 1);
  });
}

TEST_F(FilterTest, CancelNeverAppliesTheLimitAndKeepsTheConditions) {
  start();
  TfrmFilter &f = *frmFilter;
  const std::function<void()> closings[] = {
      [&] { QTest::mouseClick(f.btnClose, Qt::LeftButton); },
      [&] { QTest::keyClick(f.sgdFilter, Qt::Key_Escape); },
      [&] { f.close(); },
  };
  int conditions = 0;
  for (const auto &closeWindow : closings) {
    inFilterWindow([&] {
      onEditor(typing("ID", "=", {QString::number(++conditions)}));
      key(Qt::Key_Insert);
      typeLimit("abc");
      closeWindow();
      EXPECT_FALSE(f.isVisible());
    });
    EXPECT_EQ(f.filter.topCount, 10u);
    EXPECT_EQ(f.filter.rows.size(), conditions);
  }
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(grid(), Rows({{"ID", "=", "1"}, {"ID", "=", "2"}, {"ID", "=", "3"}}));
}

TEST_F(FilterTest, EnterInTheLimitBoxAppliesOrCloses) {
  start();
  TfrmFilter &f = *frmFilter;
  inFilterWindow([&] {
    // The list dropped down: the highlighted item is applied and the
    // window stays.
    typeLimit("5");
    f.cmbTop->showPopup();
    ASSERT_TRUE(f.cmbTop->view()->isVisible());
    f.cmbTop->view()->setCurrentIndex(f.cmbTop->model()->index(2, 0));
    QTest::keyClick(f.cmbTop->view(), Qt::Key_Return);
    EXPECT_FALSE(f.cmbTop->view()->isVisible());
    EXPECT_EQ(f.cmbTop->currentText(), "100");
    EXPECT_EQ(f.filter.topCount, 100u);
    EXPECT_TRUE(f.isVisible());

    // The list closed: Enter is "Применить".
    typeLimit("$20");
    QTest::keyClick(f.cmbTop, Qt::Key_Return);
    EXPECT_FALSE(f.isVisible());
  });
  EXPECT_EQ(frmFilter->filter.topCount, 32u);
  EXPECT_TRUE(messages.isEmpty());

  inFilterWindow([&] {
    // A failed parse with the list down keeps the window open.
    typeLimit("-1");
    f.cmbTop->showPopup();
    f.cmbTop->view()->setCurrentIndex(QModelIndex());
    QTest::keyClick(f.cmbTop->view(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.cmbTop->currentText(), "-1");
  });
  EXPECT_EQ(f.filter.topCount, 32u);
  // The typed texts never join the list.
  EXPECT_EQ(f.cmbTop->count(), 4);
}

TEST_F(FilterTest, AddFillsTheFirstRowThenAppendsAndOffersTheChoosersFields) {
  start();
  setFieldChooser({"name", "ID", "Kind"});
  inFilterWindow([&] {
    onEditor(typing("ID", "=", {"5"}));
    key(Qt::Key_Insert);
    EXPECT_EQ(shown.fields, QStringList({"ID", "Kind", "name"}));
    EXPECT_EQ(shown.field, "");
    EXPECT_EQ(shown.op, "=");
    EXPECT_EQ(shown.value, "");
    EXPECT_EQ(grid(), Rows({{"ID", "=", "5"}}));

    // The list follows the chooser at every opening; nothing typed before
    // shows again.
    setFieldChooser({"b", "A"});
    onEditor(typing("Name", "LIKE", {"'a%'"}));
    QTest::mouseClick(frmFilter->SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(shown.fields, QStringList({"A", "b"}));
    EXPECT_EQ(shown.field, "");
    EXPECT_EQ(shown.value, "");
    EXPECT_EQ(grid(), Rows({{"ID", "=", "5"}, {"Name", "LIKE", "'a%'"}}));
    EXPECT_EQ(frmFilter->sgdFilter->currentRow(), 1);

    // A value on two lines, and an IN list.
    onEditor(typing("Memo", "=", {"'a", "b'"}));
    key(Qt::Key_Insert);
    onEditor(typing("Kind", "IN", {"1,2"}));
    key(Qt::Key_Insert);
    EXPECT_EQ(grid(), Rows({{"ID", "=", "5"},
                            {"Name", "LIKE", "'a%'"},
                            {"Memo", "=", "'a b'"},
                            {"Kind", "IN", "(1,2)"}}));
  });
  EXPECT_EQ(editorOpenings, 4);
}

TEST_F(FilterTest, AddThatStoresNothingLeavesNoBlankRow) {
  start();
  inFilterWindow([&] {
    // Cancelled on an empty filter: row 1 stays blank.
    onEditor([](TfrmCondition &e) { QTest::keyClicks(e.cmbFields, "ID"); });
    key(Qt::Key_Insert);
    EXPECT_EQ(grid(), Rows({{"", "", ""}}));

    onEditor(typing("ID", ">", {"1"}));
    key(Qt::Key_Insert);
    // Cancelled, closed by the close box, saved without a field name: the
    // added row goes again.
    onEditor([](TfrmCondition &e) { QTest::keyClick(e.memValue, Qt::Key_Escape); });
    key(Qt::Key_Insert);
    onEditor([](TfrmCondition &e) { e.close(); });
    key(Qt::Key_Insert);
    onEditor(typing("", "=", {"5"}));
    key(Qt::Key_Insert);
    EXPECT_EQ(editorOpenings, 5);
    EXPECT_EQ(grid(), Rows({{"ID", ">", "1"}}));
  });
}

TEST_F(FilterTest, EditPresetsTheRowAndStoresOnlyOnSave) {
  start();
  frmFilter->filter.rows = {{"ID", ">=", "1"}, {"Kind", "IN", "(1,2)"}, {"Name", "=", "'x'"}};
  TfrmFilter &f = *frmFilter;
  inFilterWindow([&] {
    f.sgdFilter->setCurrentCell(1, 0);
    onEditor(typing("Kind", "<>", {"3"}));
    key(Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(shown.field, "Kind");
    EXPECT_EQ(shown.op, "IN");
    EXPECT_EQ(shown.value, "(1,2)");
    EXPECT_EQ(grid()[1], QStringList({"Kind", "<>", "3"}));

    // Cancel leaves the row as it was.
    onEditor([](TfrmCondition &e) {
      QTest::keyClicks(e.memValue, "999");
      QTest::mouseClick(e.btnCloseCondition, Qt::LeftButton);
    });
    QTest::mouseClick(f.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(grid()[1], QStringList({"Kind", "<>", "3"}));

    // A double-click edits the row it lands on; "Сохранить" stores.
    const QRect third = f.sgdFilter->visualRect(f.sgdFilter->model()->index(2, 2));
    onEditor([](TfrmCondition &e) {
      e.memValue->setPlainText("'y'");
      QTest::mouseClick(e.btnOk, Qt::LeftButton);
    });
    QTest::mouseClick(f.sgdFilter->viewport(), Qt::LeftButton, {}, third.center());
    QTest::mouseDClick(f.sgdFilter->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(shown.value, "'x'");
    EXPECT_EQ(grid(), Rows({{"ID", ">=", "1"}, {"Kind", "<>", "3"}, {"Name", "=", "'y'"}}));
    EXPECT_EQ(f.sgdFilter->currentRow(), 2);
  });
  EXPECT_EQ(editorOpenings, 3);
}

TEST_F(FilterTest, EditOnTheBlankFirstRowFillsIt) {
  start();
  inFilterWindow([&] {
    onEditor(typing("ID", "<", {"3"}));
    key(Qt::Key_Return, Qt::AltModifier);
    // The blank row names no operator, so none is selected.
    EXPECT_EQ(shown.op, "");
    EXPECT_EQ(grid(), Rows({{"ID", "<", "3"}}));
  });
}

TEST_F(FilterTest, DeleteAsksAndOnlyYesDeletes) {
  start();
  TfrmFilter &f = *frmFilter;
  f.filter.rows = {{"a", "=", "1"}, {"b", "=", "2"}, {"c", "=", "3"}};
  inFilterWindow([&] {
    f.sgdFilter->setCurrentCell(1, 0);
    for (const Answer a : {Answer::No, Answer::Cancel}) {
      answer = a;
      key(Qt::Key_Delete, Qt::ShiftModifier);
    }
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], std::make_pair(BoxKind::Confirmation, kSure));
    EXPECT_EQ(grid().size(), 3);

    // The rows below move up.
    answer = Answer::Yes;
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(grid(), Rows({{"a", "=", "1"}, {"c", "=", "3"}}));
    EXPECT_EQ(f.sgdFilter->currentRow(), 1);
    // The last row: the one above becomes current.
    QTest::mouseClick(f.SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(grid(), Rows({{"a", "=", "1"}}));
    EXPECT_EQ(f.sgdFilter->currentRow(), 0);
    // The only row is emptied, not removed, and the next Add fills it.
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(grid(), Rows({{"", "", ""}}));
    EXPECT_FALSE(f.filter.hasConditions());
    onEditor(typing("d", "=", {"4"}));
    key(Qt::Key_Insert);
    EXPECT_EQ(grid(), Rows({{"d", "=", "4"}}));
  });
  EXPECT_EQ(messages.size(), 5);
}

TEST_F(FilterTest, CommandKeysWorkFromTheLimitBox) {
  start();
  TfrmFilter &f = *frmFilter;
  f.filter.rows = {{"a", "=", "1"}, {"b", "=", "2"}};
  inFilterWindow([&] {
    typeLimit("123");
    f.cmbTop->lineEdit()->selectAll();
    QTest::keyClick(f.cmbTop, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(grid(), Rows({{"b", "=", "2"}}));
    EXPECT_EQ(f.cmbTop->currentText(), "123");
    onEditor(typing("c", "=", {"3"}));
    QTest::keyClick(f.cmbTop, Qt::Key_Insert);
    EXPECT_EQ(grid(), Rows({{"b", "=", "2"}, {"c", "=", "3"}}));
  });
  EXPECT_EQ(editorOpenings, 1);
}

TEST_F(FilterTest, HelpOpensTheHelpFileAndIgnoresTheOutcome) {
  start();
  shellResult = false;
  inFilterWindow([&] {
    QTest::mouseClick(frmFilter->btnHelp, Qt::LeftButton);
    EXPECT_TRUE(frmFilter->isVisible());
  });
  ASSERT_EQ(shellRequests.size(), 1);
  EXPECT_EQ(shellRequests[0].owner, frmFilter);
  EXPECT_EQ(shellRequests[0].file, QStringLiteral("Readme.txt"));
  EXPECT_TRUE(shellRequests[0].parameters.isEmpty());
  EXPECT_EQ(shellRequests[0].show, platform::ShowCommand::Normal);
  EXPECT_TRUE(messages.isEmpty());
}

// The filter typed in the window narrows the next refresh: on the demo
// database, and on the live PostgreSQL server with the same rows.
class FilterRefreshTest : public FilterTest, public testing::WithParamInterface<Backend> {
protected:
  void SetUp() override {
    FilterTest::SetUp();
    QUILLON_REQUIRE_BACKEND(GetParam());
    if (isPostgres(GetParam())) {
      writeServerDataLink(GetParam());
      table = QStringLiteral("filter_docs");
    } else {
      QProcess tool;
      tool.start(QStringLiteral(QUILLON_MAKE_DEMO_DB), {programDir.file("demo.db")});
      ASSERT_TRUE(tool.waitForFinished(60000));
      ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
      writeDataLink(QStringLiteral("Provider=SQLite;Data Source=demo.db"));
      table = QStringLiteral("Docs");
    }
    start();
    w = frmMainForm;
    if (isPostgres(GetParam())) {
      w->ADOConn.open();
      exec("DROP TABLE IF EXISTS filter_docs");
      exec("CREATE TABLE filter_docs (id serial primary key, name varchar(50), "
           "kind varchar(20), counter integer)");
      // Kinds and counters as in the demo database's Docs.
      exec("INSERT INTO filter_docs (name, kind, counter) VALUES ('Landscape', 'JPEG', 12), "
           "('Chart', 'GIF', 7), ('Face', 'BMP', 42), ('House', 'WMF', 3), "
           "('Quill', 'ICO', 1), ('Flower', 'PNG', 0), ('Letter', 'RTF', 5), "
           "('Russian text', 'Text', 8), ('English text', 'Text', 9), "
           "('Nothing', 'NULL', -1), ('Empty', 'Empty', 0)");
    }
    runCommand(w->AReConnect);
    const int index = w->cbTables->findText(table);
    ASSERT_GE(index, 0);
    w->cbTables->setCurrentIndex(index);
    ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  }

  void TearDown() override {
    if (w && isPostgres(GetParam()) && w->ADOConn.connected()) {
      w->qrList.close();
      exec("DROP TABLE IF EXISTS filter_docs");
    }
    FilterTest::TearDown();
  }

  void exec(const char *sql) { w->ADOConn.driver().execute(QString::fromUtf8(sql)); }

  // The values of one column over the shown rows, sorted.
  QStringList refreshAndRead(const QString &column) {
    QTest::keyClick(w->cbTables, Qt::Key_F5);
    EXPECT_TRUE(messages.isEmpty()) << (messages.isEmpty() ? "" : messages[0].second.toStdString());
    QStringList values;
    if (!w->qrList.active())
      return values;
    const data::Field &field = w->qrList.fieldByName(column);
    for (int row = 0; row < w->qrList.recordCount(); ++row) {
      w->qrList.moveTo(row);
      values << QString::fromUtf8(field.asString());
    }
    values.sort();
    return values;
  }

  QString table;
  TfrmMainForm *w = nullptr;
};

TEST_P(FilterRefreshTest, TypedConditionsAndLimitReachTheDatabase) {
  EXPECT_EQ(refreshAndRead("counter").size(), 10);
  QStringList fields;
  for (int i = 0; i < w->clbFields->count(); ++i)
    fields << w->clbFields->item(i)->text();
  fields.sort(Qt::CaseInsensitive);

  inFilterWindow([&] {
    onEditor(typing("Counter", ">", {"5"}));
    key(Qt::Key_Insert);
    typeLimit("3");
  });
  // Closed with "Закрыть": the condition counts, the limit does not.
  EXPECT_EQ(shown.fields, fields);
  EXPECT_EQ(refreshAndRead("counter"), QStringList({"12", "42", "7", "8", "9"}));

  inFilterWindow([&] {
    onEditor(typing("Kind", "IN", {"'JPEG',", "'GIF', 'BMP'"}));
    key(Qt::Key_Insert);
    typeLimit("2");
    QTest::keyClick(frmFilter->cmbTop, Qt::Key_Return);
  });
  const QStringList limited = refreshAndRead("kind");
  EXPECT_EQ(limited.size(), 2);
  for (const QString &kind : limited)
    EXPECT_TRUE(QStringList({"JPEG", "GIF", "BMP"}).contains(kind)) << kind.toStdString();

  // The filter off: neither the limit nor the conditions.
  runCommand(w->ARunFilter);
  EXPECT_EQ(refreshAndRead("counter").size(), 11);
  runCommand(w->ARunFilter);

  // Deleted down to the one emptied row: only the limit is left.
  inFilterWindow([&] {
    QTest::mouseClick(frmFilter->SpeedButton3, Qt::LeftButton);
    QTest::mouseClick(frmFilter->SpeedButton3, Qt::LeftButton);
  });
  ASSERT_EQ(messages.size(), 2);
  messages.clear();
  EXPECT_EQ(refreshAndRead("counter").size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, FilterRefreshTest, testing::ValuesIn(sqliteAndPostgres()),
                         BackendName());

} // namespace
