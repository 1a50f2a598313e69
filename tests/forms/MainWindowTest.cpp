#include "data/DataLink.h"
#include "forms/CommandRouter.h"
#include "forms/Controls.h"
#include "forms/DataLinkEditor.h"
#include "forms/MessageBoxes.h"
#include "forms/Windows.h"
#include "forms/WindowsFixture.h"
#include "forms/uBlobFormFile.h"
#include "forms/uFilter.h"
#include "forms/uOwnWindow.h"
#include "forms/uSettings.h"
#include "platform/ApplicationTitle.h"
#include "platform/ExclusiveFile.h"
#include "platform/ShellRequest.h"

#include <gtest/gtest.h>

#include <QDir>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <sqlite3.h>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

using MainWindowTest = WindowsFixture;

TEST_F(MainWindowTest, StartsWithTheViewerShownAndNothingConnected) {
  start();
  TfrmMainForm &w = *frmMainForm;
  EXPECT_TRUE(frmOwnWindow->isVisible());
  EXPECT_TRUE(w.btnOwnWindow->isChecked());
  EXPECT_TRUE(w.btnFilterRun->isChecked());
  EXPECT_TRUE(w.ARunFilter->isChecked());
  EXPECT_FALSE(w.btnSQL->isChecked());
  EXPECT_TRUE(w.memSQL->isHidden());
  EXPECT_TRUE(w.pnlFields->isHidden());
  for (QAction *transfer : {w.AFromFile, w.AToFile, w.AToClipBoard, w.AFromClipBoard}) {
    EXPECT_FALSE(transfer->isEnabled()) << transfer->objectName().toStdString();
  }
  EXPECT_FALSE(w.btnLoadFromFile->isEnabled());
  EXPECT_EQ(w.cbTables->count(), 0);
  EXPECT_EQ(w.lblDB->text(), QStringLiteral("Текущая база:"));
  EXPECT_EQ(w.lblUser->text(), QStringLiteral("Пользователь:"));
  EXPECT_FALSE(w.ADOConn.connected());
  EXPECT_EQ(frmSettings->dirDefaultDir->text(), QDir::tempPath() + u'/');
  EXPECT_EQ(w.ActionList.size(), 19);
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindowTest, CreatesTheDefaultDataLinkOnceAndNeverRewritesIt) {
  start();
  const QString path = data::dataLinkPathIn(programDir.path());
  QFile created(path);
  ASSERT_TRUE(created.open(QIODevice::ReadOnly));
  EXPECT_EQ(created.readAll(), data::defaultDataLinkContent());
  EXPECT_EQ(frmMainForm->ADOConn.connectionString(), QStringLiteral("FILE NAME=") + path);
  destroyWindows();

  writeFile(path, "damaged");
  start();
  QFile kept(path);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("damaged"));
}

TEST_F(MainWindowTest, DataLinkThatCannotBeCreatedIsReportedAndStartUpGoesOn) {
  // A folder below a plain file can be made by nobody, root included.
  writeFile(programDir.file(QStringLiteral("plain")), "x");
  const QString unusable = programDir.file(QStringLiteral("plain/program"));
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", programDir.file(QStringLiteral("plain/config")).toUtf8());
  start(unusable);
  qputenv("XDG_CONFIG_HOME", oldConfig);

  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].first, BoxKind::Message);
  EXPECT_EQ(messages[0].second, QStringLiteral("Не могу создать файл DB.udl. Скорее всего каталог "
                                               "имеет атрибут \"только для чтения\""));
  EXPECT_EQ(frmMainForm->ADOConn.connectionString(), builtInConnectionString());
  EXPECT_TRUE(frmMainForm->isVisible());
}

TEST_F(MainWindowTest, OuterWidthIsFixedAndGridAndQueryBoxGrowWithTheHeight) {
  start();
  TfrmMainForm &w = *frmMainForm;
  // The limits are the outer frame's: the client gets what the frame leaves.
  const QSize border = w.frameGeometry().size() - w.size();
  ASSERT_FALSE(border.isNull());
  EXPECT_EQ(w.minimumWidth() + border.width(), TfrmMainForm::kFrameWidth);
  EXPECT_EQ(w.maximumWidth() + border.width(), TfrmMainForm::kFrameWidth);
  EXPECT_EQ(w.minimumHeight() + border.height(), TfrmMainForm::kMinFrameHeight);
  // The grid keeps its design margin of 7 to the right edge.
  EXPECT_EQ(w.grdList->geometry().right() + 1 + 7, w.width());
  EXPECT_EQ(w.pnlBottom->width(), w.width());

  runCommand(w.AShowSQL);
  const int gridHeight = w.grdList->height();
  const int memoHeight = w.memSQL->height();
  w.resize(900, w.height() + 100);
  EXPECT_EQ(w.frameGeometry().width(), TfrmMainForm::kFrameWidth);
  EXPECT_EQ(w.grdList->height(), gridHeight + 100);
  EXPECT_EQ(w.memSQL->height(), memoHeight + 100);
  EXPECT_EQ(w.pnlBottom->geometry().bottom(), w.height() - 1);
  w.resize(w.width(), 100);
  EXPECT_EQ(w.frameGeometry().height(), TfrmMainForm::kMinFrameHeight);
}

TEST_F(MainWindowTest, TableRowCaptionsFitTheirPlaces) {
  start();
  TfrmMainForm &w = *frmMainForm;
  // The desktop's font is wider than the one the row was laid out for.
  EXPECT_LE(w.btnUDL->sizeHint().width(), w.btnUDL->width());
  EXPECT_EQ(w.btnUDL->text(), QStringLiteral("Настроить подкючение к базе ..."));
  EXPECT_LT(w.Label1->geometry().right(), w.cbTables->x() - 2);
  EXPECT_EQ(w.Label1->text(), QStringLiteral("Таблица"));
  // The line lies along the bottom of its rectangle, just above the row
  // of commands.
  QImage drawn(w.Bevel1->size(), QImage::Format_ARGB32);
  drawn.fill(Qt::transparent);
  w.Bevel1->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
  EXPECT_NE(drawn.pixel(10, w.Bevel1->height() - 2), 0u);
  EXPECT_EQ(drawn.pixel(10, 0), 0u);
  EXPECT_EQ(drawn.pixel(10, w.Bevel1->height() / 2), 0u);
}

// Message boxes and the other modal windows open in the viewer's
// stay-on-top layer while it is shown, where the newer window lies above.
TEST_F(MainWindowTest, ModalWindowsOpenAboveTheViewerWhileItIsShown) {
  start();
  ASSERT_TRUE(frmOwnWindow->isVisible());
  const auto stayingOnTop = [](QWidget *dialog) {
    bool onTop = false;
    QTimer::singleShot(0, dialog, [dialog, &onTop] {
      onTop = dialog->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
      dialog->close();
    });
    static_cast<QDialog *>(dialog)->exec();
    return onTop;
  };
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillon"), QStringLiteral("text"));
  EXPECT_TRUE(stayingOnTop(&box));
  EXPECT_TRUE(stayingOnTop(frmSettings));

  // With the viewer hidden, a modal window takes its ordinary place.
  frmOwnWindow->hide();
  EXPECT_FALSE(stayingOnTop(&box));
}

TEST_F(MainWindowTest, TogglesShowTheStateTheyGovern) {
  start();
  TfrmMainForm &w = *frmMainForm;

  QTest::mouseClick(w.btnFilterRun, Qt::LeftButton);
  EXPECT_FALSE(w.btnFilterRun->isChecked());
  EXPECT_FALSE(w.ARunFilter->isChecked());
  QTest::mouseClick(w.btnFilterRun, Qt::LeftButton);
  EXPECT_TRUE(w.btnFilterRun->isChecked());
  EXPECT_TRUE(w.ARunFilter->isChecked());

  QTest::mouseClick(w.btnSQL, Qt::LeftButton);
  EXPECT_TRUE(w.btnSQL->isChecked());
  EXPECT_FALSE(w.memSQL->isHidden());
  EXPECT_FALSE(w.AShowFilter->isEnabled());
  EXPECT_FALSE(w.ARunFilter->isEnabled());
  EXPECT_FALSE(w.btnFilter->isEnabled());
  EXPECT_TRUE(w.ARunFilter->isChecked());
  QTest::mouseClick(w.btnSQL, Qt::LeftButton);
  EXPECT_FALSE(w.btnSQL->isChecked());
  EXPECT_TRUE(w.memSQL->isHidden());
  EXPECT_TRUE(w.AShowFilter->isEnabled());
  EXPECT_TRUE(w.ARunFilter->isEnabled());
  EXPECT_TRUE(w.ARunFilter->isChecked());

  frmOwnWindow->close();
  EXPECT_TRUE(frmOwnWindow->isHidden());
  EXPECT_FALSE(w.btnOwnWindow->isChecked());
  QTest::mouseClick(w.btnOwnWindow, Qt::LeftButton);
  EXPECT_TRUE(frmOwnWindow->isVisible());
  EXPECT_TRUE(w.btnOwnWindow->isChecked());
}

TEST_F(MainWindowTest, CommandKeysReachTheirCommands) {
  start();
  TfrmMainForm &w = *frmMainForm;
  auto refresh = spyOn(w.ARefresh);
  auto reconnect = spyOn(w.AReConnect);

  w.cbTables->setFocus();
  QTest::keyClick(w.cbTables, Qt::Key_F5);
  EXPECT_EQ(refresh->count(), 1);
  QTest::keyClick(w.cbTables, Qt::Key_Return);
  EXPECT_EQ(refresh->count(), 2);
  QTest::keyClick(w.cbTables, Qt::Key_Enter, Qt::ControlModifier);
  EXPECT_EQ(refresh->count(), 3);
  EXPECT_EQ(reconnect->count(), 0);

  // Shift+F5 is the reconnect, never the refresh (the db.udl here is the
  // default one, which cannot connect on this machine).
  QTest::keyClick(w.cbTables, Qt::Key_F5, Qt::ShiftModifier);
  EXPECT_EQ(reconnect->count(), 1);
  EXPECT_EQ(refresh->count(), 3);

  // The viewer has no commands of its own: the main window's keys work there.
  QTest::keyClick(frmOwnWindow, Qt::Key_F5);
  EXPECT_EQ(refresh->count(), 4);
}

TEST_F(MainWindowTest, F2InTheGridOpensTheSettingsAndNoKeyWorksWhileAModalWindowIsOpen) {
  start();
  TfrmMainForm &w = *frmMainForm;
  auto refresh = spyOn(w.ARefresh);
  bool settingsShown = false;
  QTimer::singleShot(0, [&] {
    settingsShown = QApplication::activeModalWidget() == frmSettings;
    // Keys typed at the main window and at the viewer while the modal
    // settings window is open.
    QTest::keyClick(w.grdList, Qt::Key_F5);
    QTest::keyClick(frmOwnWindow, Qt::Key_F5);
    frmSettings->close();
  });
  w.grdList->setFocus();
  QTest::keyClick(w.grdList, Qt::Key_F2);
  EXPECT_TRUE(settingsShown);
  EXPECT_EQ(refresh->count(), 0);
  EXPECT_TRUE(frmSettings->isHidden());
}

TEST_F(MainWindowTest, DisabledCommandLeavesItsKeyToTheFocusedControl) {
  start();
  TfrmMainForm &w = *frmMainForm;
  runCommand(w.AShowSQL);
  w.memSQL->setPlainText(QStringLiteral("select 1"));
  w.memSQL->selectAll();
  w.memSQL->setFocus();
  QApplication::clipboard()->setText(QStringLiteral("before"));

  auto copy = spyOn(w.AToClipBoard);
  QTest::keyClick(w.memSQL, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(copy->count(), 0);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("select 1"));

  // Enabled, the command takes the key from the query box.
  QApplication::clipboard()->setText(QStringLiteral("before"));
  w.AToClipBoard->setEnabled(true);
  QTest::keyClick(w.memSQL, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(copy->count(), 1);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(MainWindowTest, GridMenuTakesItsKeysEvenWhileDisabled) {
  start();
  TfrmMainForm &w = *frmMainForm;
  // Outside the grid a disabled Ctrl+S reaches the query box as a key.
  runCommand(w.AShowSQL);
  w.memSQL->setPlainText(QString());
  w.memSQL->setFocus();
  QTest::keyClick(w.memSQL, Qt::Key_S, Qt::ControlModifier);
  auto save = spyOn(w.AToFile);
  w.grdList->setFocus();
  QTest::keyClick(w.grdList, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(save->count(), 0);
  w.AToFile->setEnabled(true);
  QTest::keyClick(w.grdList, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(save->count(), 1);
  EXPECT_EQ(w.pupGrid->actions(),
            (QList<QAction *>{w.AToFile, w.AFromFile, w.AToClipBoard, w.AFromClipBoard}));
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheProgramWithoutAQuestion) {
  start();
  QSignalSpy quit(qApp, &QCoreApplication::aboutToQuit);
  bool loopEnded = false;
  // Only a loop the command failed to end meets the watchdog, which goes
  // with `guard` when the test ends.
  QObject guard;
  QTimer::singleShot(0, &guard, [] { runCommand(frmMainForm->AExit); });
  QTimer::singleShot(60000, &guard, [] { QCoreApplication::exit(1); });
  loopEnded = QCoreApplication::exec() == 0;
  EXPECT_TRUE(loopEnded);
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindowTest, HelpAndDataLinkRequestsGoToTheShell) {
  start();
  TfrmMainForm &w = *frmMainForm;
  QTest::mouseClick(w.btnHelp, Qt::LeftButton);
  ASSERT_EQ(shellRequests.size(), 1);
  EXPECT_EQ(shellRequests[0].owner, &w);
  EXPECT_EQ(shellRequests[0].file, QStringLiteral("Readme.txt"));
  EXPECT_TRUE(shellRequests[0].parameters.isEmpty());
  EXPECT_EQ(shellRequests[0].show, platform::ShowCommand::Normal);

  QTest::mouseClick(w.btnUDL, Qt::LeftButton);
  ASSERT_EQ(shellRequests.size(), 2);
  EXPECT_EQ(shellRequests[1].file, data::dataLinkPathIn(programDir.path()));
  EXPECT_TRUE(messages.isEmpty());

  shellResult = false;
  QTest::mouseClick(w.btnUDL, Qt::LeftButton);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].second, QStringLiteral("ASetUDLExecute: Файл DB.udl не найден"));
}

TEST_F(MainWindowTest, DamagedDataLinkOpensInTheEditorWithItsOwnMessage) {
  writeDataLink(QStringLiteral("Provider=SQLite;Data Source=\"demo.db"));
  start();
  platform::setShellOverride({}); // the program's own handler opens .udl files
  QTest::mouseClick(frmMainForm->btnUDL, Qt::LeftButton);
  EXPECT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  auto *editor = frmMainForm->findChild<DataLinkEditor *>();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->isVisible());
  auto *box = editor->findChild<QMessageBox *>(QStringLiteral("msgDataLink"));
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_TRUE(box->text().startsWith(QStringLiteral("Строка подключения в файле ") +
                                     frmMainForm->dataLinkPath() + QStringLiteral(" повреждена")))
      << box->text().toStdString();
  editor->close();
}

TEST_F(MainWindowTest, ReconnectFillsTheBannerAndTheSortedTableList) {
  sqliteDatabase();
  writeDataLink(QStringLiteral("Provider=SQLite;Data Source=demo.db;User ID=tester"));
  start();
  TfrmMainForm &w = *frmMainForm;
  runCommand(w.AReConnect);
  ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  EXPECT_EQ(w.lblUser->text(), QStringLiteral("Пользователь:  tester"));
  EXPECT_EQ(w.lblDB->text(), QStringLiteral("Текущая база:  demo.db\\main"));
  EXPECT_EQ(tablePicker(), (QStringList{"Alpha", "Order Lines", "Zeta"}));

  // A failing reconnect shows only its message and keeps the labels.
  writeDataLink(QStringLiteral("Provider=Nowhere.1;User ID=other"));
  runCommand(w.AReConnect);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].first, BoxKind::Message);
  EXPECT_EQ(messages[0].second,
            QStringLiteral("Не могу подсоедениться к базе данных. Проверьте наличия файла DB.udl "
                           "в каталоге программы и правильность данных в нем."));
  EXPECT_EQ(w.lblUser->text(), QStringLiteral("Пользователь:  tester"));
  EXPECT_FALSE(w.ADOConn.connected());
}

TEST_F(MainWindowTest, TabReachesTheRecordNavigatorWhoseButtonsMoveWithSpace) {
  sqliteDatabase();
  sqliteExec(programDir.file(QStringLiteral("demo.db")),
             "INSERT INTO Zeta (id) VALUES (1), (2), (3)");
  writeDataLink(QStringLiteral("Provider=SQLite;Data Source=demo.db"));
  start();
  TfrmMainForm &w = *frmMainForm;
  runCommand(w.AReConnect);
  w.cbTables->setCurrentIndex(w.cbTables->findText(QStringLiteral("Zeta")));
  runCommand(w.ARefresh);
  ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  ASSERT_EQ(w.qrList.recNo(), 0);
  w.activateWindow();
  w.btnRefreshList->setFocus(Qt::TabFocusReason);
  // On the first row only "next" and "last" can move: Tab skips the others.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("nbNext"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(w.qrList.recNo(), 1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("nbLast"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w.btnFields);
}

TEST_F(MainWindowTest, UnreadableDataLinkAfterConnectKeepsTheLabelsAndTheConnection) {
  sqliteDatabase();
  writeDataLink(QStringLiteral("Provider=SQLite;Data Source=demo.db;User ID=tester"));
  start();
  TfrmMainForm &w = *frmMainForm;
  // Another program takes the file between the connect and the step after it.
  platform::ExclusiveFile holder;
  w.ADOConn.afterConnect = [&] {
    ASSERT_TRUE(holder.open(w.dataLinkPath()));
    w.ADOConnAfterConnect();
  };
  runCommand(w.AReConnect);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].second, QStringLiteral("Не могу прочитать файл DB.udl"));
  EXPECT_EQ(w.lblUser->text(), QStringLiteral("Пользователь:"));
  EXPECT_TRUE(w.ADOConn.connected());
  EXPECT_EQ(tablePicker().size(), 3);
}

class PostgresReconnect : public WindowsFixture, public testing::WithParamInterface<Backend> {};

TEST_P(PostgresReconnect, ReachesTheServerAndFillsTheBanner) {
  QUILLON_REQUIRE_BACKEND(GetParam());
  const QString init = serverInitString(GetParam()) + QStringLiteral(";User ID=quillon");
  writeDataLink(init);
  start();
  TfrmMainForm &w = *frmMainForm;
  ASSERT_NO_THROW(w.ADOConn.open());
  w.ADOConn.driver().execute(QStringLiteral("DROP TABLE IF EXISTS window_b"));
  w.ADOConn.driver().execute(QStringLiteral("DROP TABLE IF EXISTS window_a"));
  w.ADOConn.driver().execute(QStringLiteral("CREATE TABLE window_b (n int)"));
  w.ADOConn.driver().execute(QStringLiteral("CREATE TABLE window_a (n int)"));
  runCommand(w.AReConnect);
  ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
  EXPECT_EQ(w.lblUser->text(), QStringLiteral("Пользователь:  quillon"));
  // The banner shows the data link's own Data Source (none for ODBC).
  EXPECT_TRUE(w.lblDB->text().startsWith(QStringLiteral("Текущая база:  ") +
                                         data::GetConnectionParam(init, "Data Source=") + "\\"))
      << w.lblDB->text().toStdString();
  EXPECT_TRUE(w.lblDB->text().endsWith(QStringLiteral("quillon_test")))
      << w.lblDB->text().toStdString();
  const QStringList tables = tablePicker();
  EXPECT_LT(tables.indexOf("window_a"), tables.indexOf("window_b"));
  EXPECT_GE(tables.indexOf("window_a"), 0);
  w.ADOConn.driver().execute(QStringLiteral("DROP TABLE window_a"));
  w.ADOConn.driver().execute(QStringLiteral("DROP TABLE window_b"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, PostgresReconnect, testing::ValuesIn(postgresBackends()),
                         BackendName());

TEST(GeneralErrorBox, AddsAFullStopOnlyAfterCharactersAboveIt) {
  EXPECT_EQ(generalErrorText(QStringLiteral("Table missing")), QStringLiteral("Table missing."));
  EXPECT_EQ(generalErrorText(QStringLiteral("Done.")), QStringLiteral("Done."));
  EXPECT_EQ(generalErrorText(QStringLiteral("What?")), QStringLiteral("What?."));
  EXPECT_EQ(generalErrorText(QStringLiteral("(x)")), QStringLiteral("(x)"));
  EXPECT_EQ(generalErrorText(QStringLiteral("a-")), QStringLiteral("a-"));
  EXPECT_EQ(generalErrorText(QString()), QString());
}

TEST(GeneralErrorBox, GuardShowsWhatEscapesAHandler) {
  QStringList shown;
  setMessageBoxOverride([&](BoxKind kind, const QString &text) {
    EXPECT_EQ(kind, BoxKind::GeneralError);
    shown << text;
    return Answer::Yes;
  });
  guarded([] { throw std::runtime_error("relation \"x\" does not exist"); });
  guarded([] {});
  setMessageBoxOverride({});
  EXPECT_EQ(shown, QStringList{QStringLiteral("relation \"x\" does not exist.")});
}

// Answers the next real message box with `action` once it is shown and
// remembers what it showed.
struct BoxSeen {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
};

void answerNextBox(BoxSeen &seen, std::function<void(QMessageBox *)> action) {
  QTimer::singleShot(0, [&seen, action] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton *button : box->buttons())
      seen.buttons << button->text();
    action(box);
  });
}

TEST(MessageBoxes, ConfirmationAnswersYesNoAndCancel) {
  BoxSeen seen;
  answerNextBox(seen, [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
  EXPECT_EQ(confirm(QStringLiteral("Вы уверены ?")), Answer::Yes);
  EXPECT_EQ(seen.caption, QStringLiteral("Confirm"));
  EXPECT_EQ(seen.text, QStringLiteral("Вы уверены ?"));
  EXPECT_EQ(seen.icon, QMessageBox::Question);
  EXPECT_EQ(seen.buttons, (QStringList{"&Yes", "&No"}));

  answerNextBox(seen, [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(confirm(QStringLiteral("Вы уверены ?")), Answer::No);
  answerNextBox(seen, [](QMessageBox *box) { box->close(); });
  EXPECT_EQ(confirm(QStringLiteral("Вы уверены ?")), Answer::Cancel);
}

TEST(MessageBoxes, PlainAndErrorBoxesCarryTheApplicationTitle) {
  BoxSeen seen;
  answerNextBox(seen, [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
  showMessage(QStringLiteral("Значение загружено из файла"));
  const QString title = seen.caption;
  EXPECT_FALSE(title.isEmpty());
  EXPECT_EQ(title.at(0), title.at(0).toUpper());
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons.size(), 1);

  answerNextBox(seen, [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
  showGeneralError(QStringLiteral("Disk full"));
  EXPECT_EQ(seen.caption, title);
  EXPECT_EQ(seen.text, QStringLiteral("Disk full."));
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

TEST(ApplicationTitle, FileNameUpToItsFirstFullStopWithOneCapital) {
  EXPECT_EQ(platform::applicationTitleFor(QStringLiteral("/usr/bin/quillon")),
            QStringLiteral("Quillon"));
  EXPECT_EQ(platform::applicationTitleFor(QStringLiteral("C:/Apps/QUILLON.EXE")),
            QStringLiteral("Quillon"));
  EXPECT_EQ(platform::applicationTitleFor(QStringLiteral("/opt/x/blob.tool.bin")),
            QStringLiteral("Blob"));
  EXPECT_EQ(platform::applicationTitleFor(QStringLiteral("/opt/.hidden")), QString());
}

} // namespace
