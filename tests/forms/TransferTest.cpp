#include "data/DataError.h"
#include "forms/DbTextPane.h"
#include "forms/FileDialog.h"
#include "forms/PictureView.h"
#include "forms/ResultGrid.h"
#include "forms/TransferProgress.h"
#include "forms/WindowsFixture.h"
#include "forms/uOwnWindow.h"
#include "platform/ClipboardBytes.h"
#include "platform/ExclusiveFile.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

QByteArray fileBytes(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray bitmapBytes() {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes;
}

// The four transfer commands through the main window, on SQLite and on the
// live PostgreSQL server. Files are chosen through the dialog override.
class TransferTest : public WindowsFixture, public testing::WithParamInterface<Backend> {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    // Every transfer shows its dialog at once: the tests never race it.
    TransferProgress::setShowDelay(std::chrono::milliseconds(0));
    setFileDialogOverride([this](FileDialog::Kind kind, const QString &) {
      ++dialogsShown;
      return kind == FileDialog::Kind::Open ? openAnswer : saveAnswer;
    });
    QUILLON_REQUIRE_BACKEND(GetParam());
    const bool pg = isPostgres(GetParam());
    if (pg) {
      writeServerDataLink(GetParam());
    } else {
      writeFile(programDir.file(QStringLiteral("xfer.db")), {});
      writeDataLink(QStringLiteral("Provider=SQLite;Data Source=xfer.db"));
    }
    start();
    w = frmMainForm;
    w->ADOConn.open();
    exec("DROP TABLE IF EXISTS xfer");
    exec(pg ? "CREATE TABLE xfer (id serial primary key, img bytea, notes text, "
              "name varchar(8), n integer)"
            : "CREATE TABLE xfer (id integer primary key, img image, notes text, "
              "name varchar(8), n int)");
    exec("INSERT INTO xfer (img, notes, name, n) VALUES (NULL, 'old notes', 'first', 1)");
    exec("INSERT INTO xfer (img, notes, name, n) VALUES (NULL, 'second notes', 'second', 2)");
    runCommand(w->AReConnect);
    refresh();
  }

  void TearDown() override {
    TransferProgress::setShowDelay(std::chrono::milliseconds(500));
    setFileDialogOverride({});
    if (w && w->ADOConn.connected()) {
      w->qrList.close();
      exec("DROP TABLE IF EXISTS xfer");
    }
    WindowsFixture::TearDown();
  }

  void exec(const QString &sql) { w->ADOConn.driver().execute(sql); }

  void refresh() {
    const int index = w->cbTables->findText(QStringLiteral("xfer"));
    ASSERT_GE(index, 0);
    w->cbTables->setCurrentIndex(index);
    runCommand(w->ARefresh);
    ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
    ASSERT_EQ(w->qrList.recordCount(), 2);
  }

  // Moves to the cell of a row given by its id: updated rows may come back
  // in another order.
  void moveTo(int id, const char *fieldName) {
    const int idColumn = w->qrList.fieldByName(QStringLiteral("id")).index();
    int row = 0;
    while (row < w->qrList.recordCount() && w->qrList.cell(row, idColumn).asInteger() != id)
      ++row;
    ASSERT_LT(row, w->qrList.recordCount()) << "no row " << id;
    const data::Field &field = w->qrList.fieldByName(QLatin1String(fieldName));
    const int column = w->resultGrid()->model()->columnOf(&field);
    ASSERT_GE(column, 0);
    w->grdList->setCurrentIndex(w->grdList->model()->index(row, column));
    ASSERT_EQ(w->resultGrid()->currentField(), &field);
  }

  // What the database holds, read past the result's cache.
  data::CellValue stored(const char *column, int id = 1) {
    auto result = w->ADOConn.driver().execute(
        QStringLiteral("SELECT %1 FROM xfer WHERE id = %2").arg(QLatin1String(column)).arg(id));
    EXPECT_TRUE(result->fetch());
    return result->value(0, std::numeric_limits<qint64>::max());
  }

  QString lastMessage() const { return messages.isEmpty() ? QString() : messages.last().second; }

  QString file(const char *name) const { return programDir.file(QLatin1String(name)); }

  // Loads `path` into the current cell and saves it to `out`.
  void roundTrip(const QString &path, const QString &out) {
    messages.clear();
    openAnswer = path;
    runCommand(w->AFromFile);
    ASSERT_EQ(lastMessage(), QStringLiteral("Значение загружено из файла") + path);
    saveAnswer = out;
    runCommand(w->AToFile);
    ASSERT_EQ(lastMessage(), QStringLiteral("Значение сохранено в файл ") + out);
  }

  // The progress dialog while it is shown.
  QProgressDialog *progressDialog() const {
    auto *dialog = w->findChild<QProgressDialog *>();
    return dialog && dialog->isVisible() ? dialog : nullptr;
  }

  // Clicks the progress dialog's Cancel the first time `ready` holds of
  // it, then calls `after`; the dialog's label and bar at that moment are
  // kept.
  void cancelProgressWhen(QTimer &timer, std::function<bool(QProgressDialog &)> ready,
                          std::function<void()> after = {}) {
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [this, &timer, ready, after] {
      QProgressDialog *dialog = progressDialog();
      auto *cancel = dialog ? dialog->findChild<QPushButton *>() : nullptr;
      if (!cancel || !cancel->isEnabled() || !ready(*dialog))
        return;
      timer.stop();
      labelAtCancel = dialog->labelText();
      barAtCancel = {dialog->maximum(), dialog->value()};
      cancel->click();
      if (after)
        after();
    });
    timer.start();
  }
  void cancelProgressWhenShown(QTimer &timer) {
    cancelProgressWhen(timer, [](QProgressDialog &) { return true; });
  }

  QString labelAtCancel;
  std::pair<int, int> barAtCancel;

  TfrmMainForm *w = nullptr;
  QString openAnswer, saveAnswer;
  int dialogsShown = 0;
};

TEST_P(TransferTest, FileRoundTripsKeepEveryByte) {
  moveTo(1, "img");
  for (qint64 size : {qint64(1), qint64(64512), qint64(64513), qint64(16) << 20}) {
    SCOPED_TRACE(size);
    const QByteArray value = patterned(size, quint32(size));
    writeFile(file("in.bin"), value);
    roundTrip(file("in.bin"), file("out.bin"));
    EXPECT_TRUE(stored("img").data() == value);
    EXPECT_TRUE(fileBytes(file("out.bin")) == value);
    EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
  }
  // The other row was not touched.
  EXPECT_TRUE(stored("img", 2).isNull());
}

TEST_P(TransferTest, HundredMegabyteFileRoundTrip) {
  moveTo(2, "img");
  const QByteArray value = patterned(qint64(100) << 20);
  writeFile(file("big.bin"), value);
  roundTrip(file("big.bin"), file("big-out.bin"));
  EXPECT_EQ(stored("img", 2).size(), value.size());
  EXPECT_TRUE(fileBytes(file("big-out.bin")) == value);
}

TEST_P(TransferTest, EmptyFileStoresNullAndNullSavesAnEmptyFile) {
  exec(isPostgres(GetParam()) ? "UPDATE xfer SET img = '\\x0102'::bytea WHERE id = 1"
                              : "UPDATE xfer SET img = x'0102' WHERE id = 1");
  refresh();
  moveTo(1, "img");
  writeFile(file("empty.bin"), {});
  writeFile(file("longer.bin"), patterned(5000));
  ASSERT_EQ(w->qrList.fieldByName(QStringLiteral("img")).asString(), QByteArray("\x01\x02"));
  roundTrip(file("empty.bin"), file("longer.bin"));
  EXPECT_TRUE(stored("img").isNull());
  // Saving over a longer file replaces it whole.
  EXPECT_EQ(QFileInfo(file("longer.bin")).size(), 0);
}

TEST_P(TransferTest, TextColumnLoadsAndSavesLikeAnImageColumn) {
  moveTo(1, "notes");
  const QByteArray text = "Строка первая\r\nsecond line\nthird";
  writeFile(file("notes.txt"), text);
  roundTrip(file("notes.txt"), file("notes-out.txt"));
  EXPECT_EQ(stored("notes").data(), text);
  EXPECT_EQ(fileBytes(file("notes-out.txt")), text);
  // The viewer shows the loaded text.
  waitForViewer();
  EXPECT_TRUE(frmOwnWindow->DBRichEdit->toPlainText().startsWith(QStringLiteral("Строка первая")));
}

TEST_P(TransferTest, LoadedPictureShowsInTheViewer) {
  moveTo(1, "img");
  writeFile(file("pic.bmp"), bitmapBytes());
  openAnswer = file("pic.bmp");
  runCommand(w->AFromFile);
  waitForViewer();
  EXPECT_FALSE(frmOwnWindow->Image1->isEmpty());
  EXPECT_EQ(frmOwnWindow->Image1->pictureSize(), QSize(40, 30));
}

TEST_P(TransferTest, OnlyYesLoads) {
  moveTo(1, "notes");
  writeFile(file("new.txt"), "new notes");
  openAnswer = file("new.txt");
  platform::setClipboardBytes("clipboard notes");
  for (Answer answer : {Answer::No, Answer::Cancel}) {
    setMessageBoxOverride([&](BoxKind kind, const QString &text) {
      messages.append({kind, text});
      return answer;
    });
    messages.clear();
    runCommand(w->AFromFile);
    runCommand(w->AFromClipBoard);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], std::make_pair(BoxKind::Confirmation, QStringLiteral("Вы уверены ?")));
    EXPECT_EQ(messages[1].first, BoxKind::Confirmation);
    EXPECT_EQ(stored("notes").data(), "old notes");
    EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
  }
}

TEST_P(TransferTest, GuardsStopSilently) {
  writeFile(file("new.txt"), "new");
  openAnswer = file("new.txt");
  saveAnswer = file("saved.txt");
  platform::setClipboardBytes("7");

  // A column the file commands do not take: their dialog, then nothing.
  moveTo(1, "n");
  runCommand(w->AFromFile);
  runCommand(w->AToFile);
  EXPECT_EQ(dialogsShown, 2);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_FALSE(QFile::exists(saveAnswer));

  // A read-only column: the file load after its dialog, the clipboard load
  // at once, both without a question; saving still works.
  moveTo(1, "notes");
  w->qrList.fieldByName(QStringLiteral("notes")).setReadOnly(true);
  runCommand(w->AFromFile);
  runCommand(w->AFromClipBoard);
  EXPECT_EQ(dialogsShown, 3);
  EXPECT_TRUE(messages.isEmpty());
  runCommand(w->AToFile);
  EXPECT_EQ(fileBytes(saveAnswer), "old notes");
  EXPECT_EQ(stored("notes").data(), "old notes");

  // Dialog cancelled: nothing.
  messages.clear();
  saveAnswer.clear();
  runCommand(w->AToFile);
  EXPECT_TRUE(messages.isEmpty());
}

TEST_P(TransferTest, FreeQueriesCanOnlyBeReadOut) {
  QTest::mouseClick(w->cbSQL, Qt::LeftButton);
  w->memSQL->setPlainText(QStringLiteral("SELECT id, notes FROM xfer ORDER BY id"));
  runCommand(w->ARefresh);
  ASSERT_TRUE(messages.isEmpty());
  EXPECT_FALSE(w->AFromFile->isEnabled());
  EXPECT_FALSE(w->AFromClipBoard->isEnabled());
  EXPECT_TRUE(w->AToFile->isEnabled());
  EXPECT_TRUE(w->AToClipBoard->isEnabled());
  moveTo(1, "notes");
  // Invoked anyway, the loads do nothing.
  writeFile(file("new.txt"), "new");
  openAnswer = file("new.txt");
  w->AFromFileExecute();
  w->AFromClipBoardExecute();
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(stored("notes").data(), "old notes");

  saveAnswer = file("free.txt");
  runCommand(w->AToFile);
  EXPECT_EQ(fileBytes(saveAnswer), "old notes");
  runCommand(w->AToClipBoard);
  EXPECT_EQ(platform::clipboardBytes(), "old notes");
}

TEST_P(TransferTest, ResultWithoutRowsDisablesAllFour) {
  exec("DELETE FROM xfer");
  runCommand(w->ARefresh);
  for (QAction *command : {w->AFromFile, w->AToFile, w->AToClipBoard, w->AFromClipBoard})
    EXPECT_FALSE(command->isEnabled()) << command->objectName().toStdString();
}

TEST_P(TransferTest, ClipboardCarriesRawBytesUpToTheFirstZero) {
  const QByteArray value("abc\0def", 7);
  exec(isPostgres(GetParam()) ? "UPDATE xfer SET img = '\\x61626300646566'::bytea"
                              : "UPDATE xfer SET img = x'61626300646566'");
  refresh();
  moveTo(1, "img");
  runCommand(w->AToClipBoard);
  EXPECT_EQ(lastMessage(), QStringLiteral("Значение скопировано в буфер обмена"));
  // The whole value goes on; readers see it up to the zero byte.
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")), value);
  moveTo(2, "img");
  runCommand(w->AFromClipBoard);
  EXPECT_EQ(lastMessage(), QStringLiteral("Значение загружено из буфера обмена"));
  EXPECT_EQ(stored("img", 2).data(), "abc");

  // A clipboard without text stores the empty text: NULL.
  auto *picture = new QMimeData;
  picture->setImageData(QImage(4, 4, QImage::Format_RGB32));
  QGuiApplication::clipboard()->setMimeData(picture);
  runCommand(w->AFromClipBoard);
  EXPECT_TRUE(stored("img", 2).isNull());
}

TEST_P(TransferTest, ClipboardTextGoesThroughTheFieldsConversion) {
  // Longer than varchar(8): never cut. SQLite keeps it whole; PostgreSQL
  // refuses it, the command says so and the row keeps its text.
  moveTo(1, "name");
  platform::setClipboardBytes("abcdefghijkl");
  runCommand(w->AFromClipBoard);
  if (isPostgres(GetParam())) {
    EXPECT_EQ(lastMessage(), QStringLiteral("AFromClipBoardExecute: error"));
    EXPECT_EQ(stored("name").data(), "first");
  } else {
    EXPECT_EQ(lastMessage(), QStringLiteral("Значение загружено из буфера обмена"));
    EXPECT_EQ(stored("name").data(), "abcdefghijkl");
  }

  // Letters for a number: the error, and nothing left to be posted later.
  moveTo(1, "n");
  platform::setClipboardBytes("many");
  messages.clear();
  runCommand(w->AFromClipBoard);
  EXPECT_EQ(lastMessage(), QStringLiteral("AFromClipBoardExecute: error"));
  EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
  moveTo(2, "n");
  EXPECT_EQ(stored("n").asInteger(), 1);

  // Copying a number puts its text form on the clipboard.
  moveTo(1, "n");
  runCommand(w->AToClipBoard);
  EXPECT_EQ(platform::clipboardBytes(), "1");
}

TEST_P(TransferTest, CopyKeyInTheTextPaneCopiesTheWholeValue) {
  moveTo(1, "notes");
  DbTextPane *pane = frmOwnWindow->DBRichEdit;
  frmOwnWindow->activateWindow();
  pane->setFocus();
  pane->selectAll();
  QTextCursor cursor = pane->textCursor();
  cursor.setPosition(1);
  cursor.setPosition(3, QTextCursor::KeepAnchor);
  pane->setTextCursor(cursor);
  QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(platform::clipboardBytes(), "old notes");
  EXPECT_EQ(lastMessage(), QStringLiteral("Значение скопировано в буфер обмена"));
}

TEST_P(TransferTest, RowChangedElsewhereRefusesTheLoadAndKeepsTheOldValue) {
  moveTo(1, "notes");
  exec("UPDATE xfer SET notes = 'changed elsewhere' WHERE id = 1");
  writeFile(file("new.txt"), "new notes");
  openAnswer = file("new.txt");
  runCommand(w->AFromFile);
  ASSERT_EQ(messages.size(), 2);
  EXPECT_EQ(messages[1].first, BoxKind::GeneralError);
  EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
  // The cell reads what the row holds now, never the refused file.
  EXPECT_EQ(w->qrList.fieldByName(QStringLiteral("notes")).asString(), "changed elsewhere");
  EXPECT_EQ(stored("notes").data(), "changed elsewhere");
  // No success message came before the refusal.
  for (const auto &[kind, text] : messages)
    EXPECT_FALSE(text.startsWith(QStringLiteral("Значение загружено")));
}

TEST_P(TransferTest, UnreadableFilesFailWithTheCommandsError) {
  moveTo(1, "notes");
  writeFile(file("held.txt"), "held");
  platform::ExclusiveFile holder;
  ASSERT_TRUE(holder.open(file("held.txt")));
  for (const QString &path : {file("held.txt"), file("missing.txt")}) {
    messages.clear();
    openAnswer = path;
    runCommand(w->AFromFile);
    EXPECT_EQ(lastMessage(), QStringLiteral("AFromFileExecute: error"));
    EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
    EXPECT_EQ(stored("notes").data(), "old notes");
  }
  // A save into a folder that does not exist.
  messages.clear();
  saveAnswer = file("no-such-folder/out.txt");
  runCommand(w->AToFile);
  EXPECT_EQ(lastMessage(), QStringLiteral("AToFileExecute: error"));
  EXPECT_FALSE(QFile::exists(saveAnswer));
}

// Zero bytes and bytes that are no UTF-8: a PostgreSQL text column would
// end the value at the first zero or refuse the value, so the load is
// refused, with the offset, and nothing written; SQLite text and every
// binary column keep them.
TEST_P(TransferTest, TextTheColumnCannotHoldIsRefusedBeforeAnythingIsWritten) {
  const bool cut = isPostgres(GetParam());
  QByteArray utf16;
  for (const char c : QByteArray("Notepad text\r\n"))
    utf16.append(c).append('\0');
  QByteArray large(3 * 1024 * 1024, 'A');
  large[2 * 1024 * 1024 + 5] = '\0';
  // Valid UTF-8 with a character across the first chunk's end, then an
  // overlong form of '/'.
  QByteArray longText = QByteArray(1024 * 1024 - 1, 'a') + "\xd0\xaf" + QByteArray(100, 'b');
  const qint64 overlong = longText.size();
  longText += "\xc0\xaf tail";
  const struct {
    const char *name;
    QByteArray bytes;
    bool zero;
    qint64 offset;
  } files[] = {{"zeros.txt", QByteArray("a\0b\r\nc\0\0d\r\n", 11), true, 1},
               {"utf16.txt", QByteArray("\xff\xfe", 2) + utf16, false, 0},
               {"large-zero.txt", large, true, 2 * 1024 * 1024 + 5},
               {"cp1251.txt", QByteArray("Note: \xcf\xf0\xe8\xe2\xe5\xf2\r\n"), false, 6},
               {"long-overlong.txt", longText, false, overlong}};
  for (size_t i = 0; i < std::size(files); ++i) {
    SCOPED_TRACE(files[i].name);
    const QString path = file(files[i].name);
    writeFile(path, files[i].bytes);
    moveTo(1, "notes");
    const QByteArray before = stored("notes").data();
    openAnswer = path;
    messages.clear();
    runCommand(w->AFromFile);
    if (cut) {
      const QString reason =
          files[i].zero
              ? QStringLiteral("в нём нулевой байт (смещение %1), а поле типа text не может его "
                               "хранить.")
              : QStringLiteral("байт со смещением %1 не начинает символ в кодировке UTF8, а поле "
                               "типа text хранит только такой текст.");
      EXPECT_EQ(lastMessage(), QStringLiteral("Файл %1 не загружен: %2 Ничего не записано.")
                                   .arg(path, reason.arg(files[i].offset)));
      EXPECT_EQ(stored("notes").data(), before);
      EXPECT_EQ(w->qrList.fieldByName(QStringLiteral("notes")).asString(), before);
    } else {
      EXPECT_EQ(lastMessage(), QStringLiteral("Значение загружено из файла") + path);
      EXPECT_TRUE(stored("notes").data() == files[i].bytes);
    }
    // A binary column keeps them on every engine.
    moveTo(1, "img");
    runCommand(w->AFromFile);
    EXPECT_EQ(lastMessage(), QStringLiteral("Значение загружено из файла") + path);
    EXPECT_TRUE(stored("img").data() == files[i].bytes);
  }
}

// A save where the folder may not be written but the file may: the file is
// written where it is; a file that may not be written either stays.
TEST_P(TransferTest, SaveIntoAReadOnlyFolderWritesAWritableFileInPlace) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  QDir(programDir.path()).mkdir(QStringLiteral("locked"));
  const QString writable = file("locked/out.txt");
  const QString readOnly = file("locked/kept.txt");
  writeFile(writable, "old file, longer than the value that replaces it");
  writeFile(readOnly, "old file");
  QFile::setPermissions(readOnly, QFile::ReadOwner);
  QFile::setPermissions(file("locked"), QFile::ReadOwner | QFile::ExeOwner);
  moveTo(1, "notes");
  const QByteArray value = w->qrList.fieldByName(QStringLiteral("notes")).asString();
  saveAnswer = writable;
  runCommand(w->AToFile);
  EXPECT_EQ(lastMessage(), QStringLiteral("Значение сохранено в файл ") + writable);
  EXPECT_EQ(fileBytes(writable), value);
  saveAnswer = readOnly;
  runCommand(w->AToFile);
  EXPECT_EQ(lastMessage(), QStringLiteral("AToFileExecute: error"));
  QFile::setPermissions(file("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_EQ(fileBytes(readOnly), "old file");
  EXPECT_EQ(QDir(file("locked")).entryList(QDir::Files).size(), 2);
}

// A file with a second name is written in place, so both names keep
// showing one file.
TEST_P(TransferTest, SaveOverAFileWithASecondNameKeepsTheLink) {
  const QString target = file("linked.txt");
  writeFile(target, "old");
  ASSERT_EQ(::link(QFile::encodeName(target).constData(),
                   QFile::encodeName(file("second-name.txt")).constData()),
            0);
  moveTo(1, "notes");
  saveAnswer = target;
  runCommand(w->AToFile);
  const QByteArray value = w->qrList.fieldByName(QStringLiteral("notes")).asString();
  EXPECT_EQ(fileBytes(target), value);
  EXPECT_EQ(fileBytes(file("second-name.txt")), value);
}

// Opens a FIFO for both ends when the program has not come back from it
// after a long while, so that a test of a program that would block on it
// still ends, and fails.
class FifoWatchdog {
public:
  explicit FifoWatchdog(const QString &path)
      : path_(QFile::encodeName(path)), thread_([this] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, std::chrono::seconds(60), [this] { return finished_; })) {
            blocked_ = true;
            const int fd = ::open(path_.constData(), O_RDWR | O_NONBLOCK);
            if (fd >= 0)
              ::close(fd);
          }
        }) {}
  ~FifoWatchdog() { finish(); }
  // Whether the program had to be freed.
  bool finish() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    if (thread_.joinable())
      thread_.join();
    return blocked_;
  }

private:
  QByteArray path_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  bool blocked_ = false;
  std::thread thread_;
};

TEST_P(TransferTest, AFifoIsRefusedForLoadAndSaveWithoutWaitingForAPeer) {
  const QString fifo = file("pipe");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  moveTo(1, "notes");
  const QByteArray before = stored("notes").data();
  {
    FifoWatchdog watchdog(fifo);
    openAnswer = fifo;
    runCommand(w->AFromFile);
    EXPECT_FALSE(watchdog.finish()) << "the load waited for a writer";
  }
  EXPECT_EQ(lastMessage(), QStringLiteral("AFromFileExecute: error"));
  EXPECT_EQ(stored("notes").data(), before);
  {
    FifoWatchdog watchdog(fifo);
    saveAnswer = fifo;
    runCommand(w->AToFile);
    EXPECT_FALSE(watchdog.finish()) << "the save waited for a reader";
  }
  EXPECT_EQ(lastMessage(), QStringLiteral("AToFileExecute: error"));
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO was replaced";
}

TEST_P(TransferTest, CancelledLargeTransfersLeaveRowAndFileAsTheyWere) {
  exec(isPostgres(GetParam()) ? "UPDATE xfer SET img = '\\x0102'::bytea WHERE id = 1"
                              : "UPDATE xfer SET img = x'0102' WHERE id = 1");
  refresh();
  moveTo(1, "img");
  const QByteArray large = patterned(32 << 20);
  writeFile(file("large.bin"), large);
  {
    QTimer canceller;
    cancelProgressWhenShown(canceller);
    openAnswer = file("large.bin");
    messages.clear();
    runCommand(w->AFromFile);
  }
  // Only the question was shown: a cancel is no error.
  EXPECT_EQ(messages.size(), 1);
  EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
  EXPECT_EQ(stored("img").data(), QByteArray("\x01\x02"));
  EXPECT_EQ(w->qrList.fieldByName(QStringLiteral("img")).asString(), QByteArray("\x01\x02"));

  // Saving: the old file stays, and no temporary file is left beside it.
  openAnswer = file("large.bin");
  moveTo(2, "img");
  runCommand(w->AFromFile);
  ASSERT_EQ(stored("img", 2).size(), large.size());
  QDir(programDir.path()).mkdir(QStringLiteral("out"));
  const QString target = file("out/target.bin");
  writeFile(target, "the old file");
  {
    QTimer canceller;
    cancelProgressWhenShown(canceller);
    saveAnswer = target;
    messages.clear();
    runCommand(w->AToFile);
  }
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(fileBytes(target), "the old file");
  EXPECT_EQ(QDir(file("out")).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("target.bin")});
}

// While the engine waits on another client's lock, nothing of the value is
// measured: the bar is busy, not full, and Cancel still undoes the load.
TEST_P(TransferTest, CancelWhileTheEngineWorksUnmeasuredLeavesTheRowAsItWas) {
  const bool pg = isPostgres(GetParam());
  exec(pg ? "UPDATE xfer SET img = '\\x0102'::bytea WHERE id = 1"
          : "UPDATE xfer SET img = x'0102' WHERE id = 1");
  refresh();
  moveTo(1, "img");
  const QByteArray large = patterned(16 << 20, 3);
  writeFile(file("large.bin"), large);

  data::Connection other(QStringLiteral("other"));
  other.setConnectionString(
      pg ? serverInitString(Backend::PostgresNative)
         : QStringLiteral("Provider=SQLite;Data Source=%1").arg(file("xfer.db")));
  other.open();
  // PostgreSQL takes all the bytes, then its UPDATE waits for the row;
  // SQLite waits for the database before it takes any.
  other.driver().execute(pg ? "BEGIN; SELECT id FROM xfer WHERE id = 1 FOR UPDATE"
                            : "BEGIN IMMEDIATE");
  {
    QTimer canceller;
    cancelProgressWhen(
        canceller,
        [pg](QProgressDialog &dialog) {
          return !pg || dialog.labelText().contains(QStringLiteral("ожидание завершения"));
        },
        [&] { other.driver().execute("COMMIT"); });
    openAnswer = file("large.bin");
    messages.clear();
    runCommand(w->AFromFile);
  }
  ASSERT_FALSE(labelAtCancel.isEmpty()) << "the dialog never let Cancel be pressed";
  EXPECT_EQ(barAtCancel.first, 0) << "the bar claimed to measure what the engine does not report";
  EXPECT_EQ(messages.size(), 1) << "a cancel is no error: " << lastMessage().toStdString();
  EXPECT_EQ(w->qrList.state(), data::Query::State::Browse);
  EXPECT_EQ(stored("img").data(), QByteArray("\x01\x02"));
}

INSTANTIATE_TEST_SUITE_P(Backends, TransferTest, testing::ValuesIn(sqliteAndPostgres()),
                         BackendName());

} // namespace
