#include "forms/ProgramPicker.h"
#include "forms/ResultGrid.h"
#include "forms/WindowsFixture.h"
#include "forms/uSettings.h"
#include "platform/ExclusiveFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTableView>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

QByteArray readBytes(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Ctrl+R on the demo table: the current value goes into TempFile in the
// current directory, and the chosen program is started on it.
class RunProgramTest : public WindowsFixture {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    previousDirectory = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    writeFile(programDir.file(QStringLiteral("run.db")), {});
    sqliteExec(programDir.file(QStringLiteral("run.db")),
               "CREATE TABLE Docs (id integer primary key, img image, n int);"
               "INSERT INTO Docs (img, n) VALUES (NULL, 7);"
               "INSERT INTO Docs (img, n) VALUES (x'00ff00fe', 8);");
    writeDataLink(QStringLiteral("Provider=SQLite;Data Source=run.db"));
    start();
    w = frmMainForm;
    runCommand(w->AReConnect);
    w->cbTables->setCurrentIndex(w->cbTables->findText(QStringLiteral("Docs")));
    runCommand(w->ARefresh);
    ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();

    // The recording program lies in a folder with a blank in its name.
    const QString folder = programsDir.file(QStringLiteral("my tools"));
    ASSERT_TRUE(QDir().mkpath(folder));
    recorder = folder + QStringLiteral("/record.sh");
    writeFile(recorder, "#!/bin/sh\n"
                        "out=\"$(dirname \"$0\")\"\n"
                        "pwd > \"$out/cwd\"\n"
                        "cat \"$1\" > \"$out/bytes\"\n"
                        "printf '%s\\n' \"$#\" \"$@\" > \"$out/args.part\"\n"
                        "mv \"$out/args.part\" \"$out/args\"\n");
    ASSERT_TRUE(
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    frmSettings->cmbProgramList->setCurrentIndex(frmSettings->AddProgram(recorder));
  }

  void TearDown() override {
    QDir::setCurrent(previousDirectory);
    WindowsFixture::TearDown();
  }

  void moveTo(int row, const char *fieldName) {
    const data::Field &field = w->qrList.fieldByName(QLatin1String(fieldName));
    const int column = w->resultGrid()->model()->columnOf(&field);
    ASSERT_GE(column, 0);
    w->grdList->setCurrentIndex(w->grdList->model()->index(row, column));
  }

  QString recorded(const char *name) const {
    return programsDir.file(QStringLiteral("my tools/")) + QLatin1String(name);
  }

  // Waits for the started recorder to write down what it was given. The
  // bound only keeps a program that never starts from hanging the test.
  void waitForRecorder() const {
    ASSERT_TRUE(QTest::qWaitFor([this] { return QFileInfo::exists(recorded("args")); }, 300000))
        << "the program was not started";
  }

  QString tempFile() const { return workDir.file(QStringLiteral("TempFile")); }

  ScratchDir workDir, programsDir;
  QString previousDirectory;
  QString recorder;
  TfrmMainForm *w = nullptr;
};

TEST_F(RunProgramTest, StartsTheProgramOnTheValueInTheCurrentDirectory) {
  platform::setShellOverride({}); // the real desktop: the recorder runs
  moveTo(1, "img");
  runCommand(w->ARun);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].first, BoxKind::Confirmation);
  EXPECT_EQ(messages[0].second, QStringLiteral("Открыть файл с помощью record.sh ?"));
  waitForRecorder();
  EXPECT_EQ(readBytes(tempFile()), QByteArray("\x00\xff\x00\xfe", 4));
  EXPECT_EQ(readBytes(recorded("bytes")), QByteArray("\x00\xff\x00\xfe", 4));
  EXPECT_EQ(readBytes(recorded("args")), QByteArray("1\nTempFile\n"));
  EXPECT_EQ(QString::fromLocal8Bit(readBytes(recorded("cwd"))).trimmed(),
            QFileInfo(workDir.path()).canonicalFilePath());
}

TEST_F(RunProgramTest, NullValueGivesAnEmptyFileAndTheProgramStillStarts) {
  writeFile(tempFile(), "left from last time");
  moveTo(0, "img");
  runCommand(w->ARun);
  EXPECT_EQ(readBytes(tempFile()), QByteArray());
  ASSERT_EQ(shellRequests.size(), 1);
  EXPECT_EQ(shellRequests[0].file, recorder);
  EXPECT_EQ(shellRequests[0].parameters, QStringLiteral("TempFile"));
  EXPECT_EQ(shellRequests[0].show, platform::ShowCommand::Maximized);
  EXPECT_EQ(shellRequests[0].owner, w);
}

TEST_F(RunProgramTest, TenMegabyteValueArrivesByteForByte) {
  QByteArray value(10 << 20, Qt::Uninitialized);
  for (qsizetype i = 0; i < value.size(); ++i)
    value[i] = char((i * 2654435761u) >> 13);
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(programDir.file(QStringLiteral("run.db")).toUtf8().constData(), &db),
            SQLITE_OK);
  sqlite3_stmt *update = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE Docs SET img = ? WHERE id = 1", -1, &update, nullptr),
            SQLITE_OK);
  sqlite3_bind_blob(update, 1, value.constData(), int(value.size()), SQLITE_STATIC);
  EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
  sqlite3_finalize(update);
  sqlite3_close(db);
  runCommand(w->ARefresh);
  moveTo(0, "img");
  runCommand(w->ARun);
  EXPECT_TRUE(readBytes(tempFile()) == value);
  EXPECT_EQ(shellRequests.size(), 1);
}

TEST_F(RunProgramTest, NothingHappensWithoutAProgramOrWithoutYes) {
  writeFile(tempFile(), "kept");
  moveTo(1, "img");
  frmSettings->cmbProgramList->setCurrentIndex(-1);
  runCommand(w->ARun);
  EXPECT_TRUE(messages.isEmpty()) << "nothing is asked";

  frmSettings->cmbProgramList->setCurrentIndex(0);
  for (const Answer answer : {Answer::No, Answer::Cancel}) {
    setMessageBoxOverride([&](BoxKind kind, const QString &text) {
      messages.append({kind, text});
      return answer;
    });
    runCommand(w->ARun);
  }
  EXPECT_EQ(messages.size(), 2);
  EXPECT_EQ(readBytes(tempFile()), QByteArray("kept"));
  EXPECT_TRUE(shellRequests.isEmpty());

  // No result open.
  w->qrList.close();
  messages.clear();
  runCommand(w->ARun);
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RunProgramTest, IntegerColumnLeavesAnEmptyFileAndStartsNothing) {
  writeFile(tempFile(), "old");
  moveTo(1, "n");
  runCommand(w->ARun);
  EXPECT_EQ(readBytes(tempFile()), QByteArray());
  ASSERT_EQ(messages.size(), 2);
  EXPECT_EQ(messages[1].first, BoxKind::GeneralError);
  EXPECT_TRUE(messages[1].second.contains(QLatin1String("not a BLOB field")))
      << messages[1].second.toStdString();
  EXPECT_TRUE(shellRequests.isEmpty());

  // The file was closed: the next use on a large value works.
  moveTo(1, "img");
  runCommand(w->ARun);
  EXPECT_EQ(readBytes(tempFile()), QByteArray("\x00\xff\x00\xfe", 4));
  EXPECT_EQ(shellRequests.size(), 1);
}

TEST_F(RunProgramTest, TempFileInUseOrPlantedAsALinkIsRefused) {
  const QString busy = QStringLiteral("Файл TempFile занят другим приложением");
  moveTo(1, "img");

  // Held by another program.
  writeFile(tempFile(), "held");
  {
    platform::ExclusiveFile holder;
    ASSERT_TRUE(holder.open(tempFile()));
    runCommand(w->ARun);
  }
  ASSERT_EQ(messages.size(), 2);
  EXPECT_EQ(messages[1], std::make_pair(BoxKind::Message, busy));
  EXPECT_EQ(readBytes(tempFile()), QByteArray("held"));

  // A link to another file: that file stays as it was.
  ASSERT_TRUE(QFile::remove(tempFile()));
  const QString target = workDir.file(QStringLiteral("precious"));
  writeFile(target, "precious");
  ASSERT_TRUE(QFile::link(target, tempFile()));
  messages.clear();
  runCommand(w->ARun);
  ASSERT_EQ(messages.size(), 2);
  EXPECT_EQ(messages[1], std::make_pair(BoxKind::Message, busy));
  EXPECT_EQ(readBytes(target), QByteArray("precious"));

  // A dangling link creates nothing where it points.
  ASSERT_TRUE(QFile::remove(target));
  runCommand(w->ARun);
  EXPECT_FALSE(QFileInfo::exists(target));
  EXPECT_TRUE(shellRequests.isEmpty());
}

} // namespace
