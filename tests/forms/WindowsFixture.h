#pragma once

#include "data/DataLink.h"
#include "forms/CommandRouter.h"
#include "forms/MessageBoxes.h"
#include "forms/ViewerRefresh.h"
#include "forms/Windows.h"
#include "forms/uBlobFormFile.h"
#include "platform/ShellRequest.h"
#include "settings/SettingsFolder.h"
#include "support/QtPrinters.h"
#include "support/TestBackends.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

#include <memory>

namespace quillon::test {

using namespace quillon::forms;

inline void writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

inline void sqliteExec(const QString &file, const char *sql) {
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
  char *error = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

// The six windows over a program folder of the test's own, with every
// message box answered by the test.
class WindowsFixture : public testing::Test {
protected:
  void SetUp() override {
    setMessageBoxOverride([this](BoxKind kind, const QString &text) {
      messages.append({kind, text});
      return Answer::Yes;
    });
    platform::setShellOverride([this](const platform::ShellRequest &request) {
      shellRequests.append(request);
      return shellResult;
    });
  }

  void TearDown() override {
    destroyWindows();
    setMessageBoxOverride({});
    platform::setShellOverride({});
  }

  void start(const QString &folder) {
    createWindows(folder);
    InitStartupState();
    frmMainForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frmMainForm));
  }
  void start() { start(programDir.path()); }

  // A db.udl in the program folder naming `initString`.
  void writeDataLink(const QString &initString) {
    writeFile(data::dataLinkPathIn(programDir.path()), data::encodeDataLinkFile(initString));
  }

  // A db.udl reaching a server back-end through ODBC; the caller has made
  // sure this run has it (QUILLON_REQUIRE_BACKEND).
  void writeServerDataLink(Backend backend) { writeDataLink(serverInitString(backend)); }

  QString sqliteDatabase() {
    const QString file = programDir.file(QStringLiteral("demo.db"));
    writeFile(file, {});
    sqliteExec(file, "CREATE TABLE Zeta (id integer primary key, v image);"
                     "CREATE TABLE \"Order Lines\" (n int);"
                     "CREATE TABLE Alpha (t text);");
    return file;
  }

  QStringList tablePicker() const {
    QStringList names;
    for (int i = 0; i < frmMainForm->cbTables->count(); ++i)
      names << frmMainForm->cbTables->itemText(i);
    return names;
  }

  // Lets the viewer finish the current cell's value, which it reads between
  // events and prepares on a worker thread; every wake-up is an event the
  // work posted, so the loop ends as soon as the work does.
  static void waitForViewer() {
    while (frmMainForm->viewerRefresh().busy())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }

  // Counts the runs of a command without running its work.
  static std::unique_ptr<QSignalSpy> spyOn(QAction *command) {
    return std::make_unique<QSignalSpy>(command, &QAction::triggered);
  }

  // Declared first: the windows read and write the user's settings.
  SettingsFolder settingsFolder;
  ScratchDir programDir;
  QList<std::pair<BoxKind, QString>> messages;
  QList<platform::ShellRequest> shellRequests;
  bool shellResult = true;
};

} // namespace quillon::test
