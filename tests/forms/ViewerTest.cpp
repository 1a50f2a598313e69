#include "forms/DbTextPane.h"
#include "forms/PictureView.h"
#include "forms/ResultGrid.h"
#include "forms/WindowsFixture.h"
#include "forms/uFilter.h"
#include "forms/uOwnWindow.h"
#include "viewer/RtfReader.h"
#include "viewer/TextValue.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFrame>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTextBlock>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

const QString kMakeDemoDb = QStringLiteral(QUILLON_MAKE_DEMO_DB);

void sqliteStoreBlob(const QString &file, const char *sql, const QByteArray &blob) {
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
  sqlite3_stmt *statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_bind_blob(statement, 1, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
  EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(db);
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

// Every picture pixel is unique over 1000 by 800: the drawn pixels tell
// which part of the picture is visible.
QRgb codedPixel(int x, int y) {
  return qRgb(x % 256, y % 256, (x / 256) * 16 + y / 256);
}

QByteArray codedBitmap(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, codedPixel(x, y));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes;
}

class ViewerStart : public WindowsFixture {};

TEST_F(ViewerStart, ViewerIsShownOnTopWithTheEmptyPicturePane) {
  start();
  TfrmOwnWindow *viewer = frmOwnWindow;
  EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Quillon - Просмотр"));
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(viewer->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(viewer->frameGeometry().size(), QSize(400, 300));
  EXPECT_TRUE(frmMainForm->btnOwnWindow->isChecked());
  // Both panes fill the window above the status bar; the picture lies on top.
  EXPECT_TRUE(viewer->DBRichEdit->isVisible());
  EXPECT_TRUE(viewer->pnlImage->isVisible());
  EXPECT_TRUE(viewer->Image1->isEmpty());
  EXPECT_EQ(viewer->StatusBar1->height(), 19);
  EXPECT_EQ(viewer->pnlImage->geometry().bottom() + 1, viewer->StatusBar1->geometry().top());
  EXPECT_EQ(viewer->pnlImage->geometry(), viewer->DBRichEdit->geometry());
  EXPECT_EQ(viewer->childAt(200, 100), viewer->Image1);
  EXPECT_TRUE(viewer->StatusBar1->currentMessage().isEmpty());
}

TEST_F(ViewerStart, CloseBoxHidesTheViewerAndRaisesItsButton) {
  start();
  frmOwnWindow->close();
  EXPECT_FALSE(frmOwnWindow->isVisible());
  EXPECT_FALSE(frmMainForm->btnOwnWindow->isChecked());
  runCommand(frmMainForm->AShowOwnWindow);
  EXPECT_TRUE(frmOwnWindow->isVisible());
  EXPECT_TRUE(frmMainForm->btnOwnWindow->isChecked());
  runCommand(frmMainForm->AShowOwnWindow);
  EXPECT_FALSE(frmOwnWindow->isVisible());
  EXPECT_FALSE(frmMainForm->btnOwnWindow->isChecked());
}

TEST_F(ViewerStart, EscapeLeavesTheViewerOpen) {
  start();
  frmOwnWindow->activateWindow();
  QTest::keyClick(frmOwnWindow, Qt::Key_Escape);
  EXPECT_TRUE(frmOwnWindow->isVisible());
  EXPECT_TRUE(frmMainForm->btnOwnWindow->isChecked());
}

// The viewer over the demo database: Docs holds one value of each format in
// its image column and a description in its text column.
class ViewerTest : public WindowsFixture {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    database = programDir.file(QStringLiteral("demo.db"));
    QProcess tool;
    tool.start(kMakeDemoDb, {database});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    writeDataLink(QStringLiteral("Provider=SQLite;Data Source=demo.db"));
  }

  void open(const QString &table) {
    start();
    openTable(table);
  }

  void openTable(const QString &table) {
    w = frmMainForm;
    viewer = frmOwnWindow;
    runCommand(w->AReConnect);
    const int index = w->cbTables->findText(table);
    ASSERT_GE(index, 0) << table.toStdString();
    w->cbTables->setCurrentIndex(index);
    runCommand(w->ARefresh);
    ASSERT_TRUE(messages.isEmpty()) << messages[0].second.toStdString();
    ASSERT_TRUE(w->qrList.active());
  }

  // Makes the cell current without letting the viewer finish with it.
  void select(int row, const QString &fieldName) {
    const data::Field &field = w->qrList.fieldByName(fieldName);
    const int column = w->resultGrid()->model()->columnOf(&field);
    ASSERT_GE(column, 0) << fieldName.toStdString();
    w->grdList->setCurrentIndex(w->grdList->model()->index(row, column));
    ASSERT_EQ(w->qrList.recNo(), row);
    ASSERT_EQ(w->resultGrid()->currentField(), &field);
  }

  void moveTo(int row, const QString &fieldName) {
    select(row, fieldName);
    waitForViewer();
  }

  bool textShown() const { return viewer->DBRichEdit->isVisible(); }
  bool pictureShown() const { return viewer->pnlImage->isVisible(); }
  QString text() const { return viewer->DBRichEdit->toPlainText(); }
  QImage panes() const {
    return viewer->grab(QRect(QPoint(0, 0), viewer->pnlImage->size())).toImage();
  }

  QString database;
  TfrmMainForm *w = nullptr;
  TfrmOwnWindow *viewer = nullptr;
};

TEST_F(ViewerTest, EachPictureFormatShowsInThePicturePaneAtItsOwnSize) {
  open(QStringLiteral("Docs"));
  struct Expected {
    int row;
    PictureView::Type type;
  };
  for (const Expected &e : {Expected{0, PictureView::Type::Bitmap},   // JPEG
                            Expected{1, PictureView::Type::Bitmap},   // GIF
                            Expected{2, PictureView::Type::Bitmap},   // BMP
                            Expected{3, PictureView::Type::Metafile}, // WMF
                            Expected{4, PictureView::Type::Icon}}) {  // ICO
    SCOPED_TRACE(e.row);
    moveTo(e.row, QStringLiteral("Data"));
    EXPECT_TRUE(pictureShown());
    EXPECT_FALSE(textShown());
    ASSERT_FALSE(viewer->Image1->isEmpty());
    EXPECT_EQ(viewer->Image1->type(), e.type);
  }
  EXPECT_EQ(viewer->Image1->pictureSize(), QSize(32, 32)); // the icon
  // A JPEG right after the icon is a bitmap again.
  moveTo(0, QStringLiteral("Data"));
  EXPECT_EQ(viewer->Image1->type(), PictureView::Type::Bitmap);
  EXPECT_FALSE(viewer->Image1->isEmpty());
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ViewerTest, ValuesOfNoPictureFormatShowAnEmptyPicturePane) {
  open(QStringLiteral("Docs"));
  for (int row : {5 /* PNG */, 6 /* RTF */, 9 /* NULL */}) {
    SCOPED_TRACE(row);
    moveTo(0, QStringLiteral("Data"));
    ASSERT_FALSE(viewer->Image1->isEmpty());
    moveTo(row, QStringLiteral("Data"));
    EXPECT_TRUE(pictureShown());
    EXPECT_FALSE(textShown());
    EXPECT_TRUE(viewer->Image1->isEmpty());
  }
  // One or two bytes match no signature, even the first bytes of one.
  sqliteExec(database, "UPDATE Docs SET Data = x'FFD8' WHERE ID = 1;"
                       "UPDATE Docs SET Data = x'42' WHERE ID = 2");
  runCommand(w->ARefresh);
  for (int row : {0, 1}) {
    moveTo(row, QStringLiteral("Data"));
    EXPECT_TRUE(pictureShown());
    EXPECT_TRUE(viewer->Image1->isEmpty());
  }
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ViewerTest, DamagedJpegLeavesNeitherPaneWithoutAMessage) {
  sqliteExec(database, "UPDATE Docs SET Data = substr(Data, 1, 600) WHERE ID = 1");
  open(QStringLiteral("Docs"));
  moveTo(1, QStringLiteral("Data"));
  ASSERT_TRUE(pictureShown());
  moveTo(0, QStringLiteral("Data"));
  EXPECT_FALSE(pictureShown());
  EXPECT_FALSE(textShown());
  EXPECT_TRUE(viewer->Image1->isEmpty());
  EXPECT_TRUE(messages.isEmpty());
  // The next good value brings the picture pane back.
  moveTo(2, QStringLiteral("Data"));
  EXPECT_TRUE(pictureShown());
  EXPECT_FALSE(viewer->Image1->isEmpty());
}

TEST_F(ViewerTest, TextColumnsShowInTheTextPaneAndFollowTheRow) {
  open(QStringLiteral("Docs"));
  moveTo(0, QStringLiteral("Notes"));
  EXPECT_TRUE(textShown());
  EXPECT_FALSE(pictureShown());
  EXPECT_TRUE(text().startsWith(QStringLiteral("Горный пейзаж"))) << text().toStdString();
  moveTo(1, QStringLiteral("Notes"));
  EXPECT_TRUE(text().startsWith(QStringLiteral("Bar chart"))) << text().toStdString();
  // A short string column is text too.
  moveTo(1, QStringLiteral("Name"));
  EXPECT_EQ(text(), QStringLiteral("Chart"));
  EXPECT_EQ(viewer->DBRichEdit->dataField(), QStringLiteral("Name"));
}

TEST_F(ViewerTest, OtherKindsKeepTheVisiblePaneButEmptyIt) {
  open(QStringLiteral("Docs"));
  moveTo(0, QStringLiteral("Notes"));
  ASSERT_FALSE(text().isEmpty());
  moveTo(0, QStringLiteral("Counter"));
  EXPECT_TRUE(textShown());
  EXPECT_FALSE(pictureShown());
  EXPECT_TRUE(text().isEmpty());
  EXPECT_TRUE(viewer->DBRichEdit->dataField().isEmpty());

  moveTo(0, QStringLiteral("Data"));
  ASSERT_FALSE(viewer->Image1->isEmpty());
  moveTo(0, QStringLiteral("ID"));
  EXPECT_TRUE(pictureShown());
  EXPECT_FALSE(textShown());
  EXPECT_TRUE(viewer->Image1->isEmpty());
}

TEST_F(ViewerTest, RtfIsFormattedAndPlainTextLineEndsAreEqual) {
  sqliteExec(database,
             "CREATE TABLE Lines (ID integer primary key, Body text);"
             "INSERT INTO Lines VALUES (1, 'one' || char(10) || 'two' || char(10) || 'three');"
             "INSERT INTO Lines VALUES (2, 'one' || char(13, 10) || 'two' || char(13, 10) || "
             "'three');"
             "INSERT INTO Lines VALUES (3, 'one' || char(13) || 'two' || char(13) || 'three');"
             "INSERT INTO Lines VALUES (4, '{\\rtf1\\ansi plain {\\b bold} end\\par}');");
  open(QStringLiteral("Lines"));
  for (int row : {0, 1, 2}) {
    SCOPED_TRACE(row);
    moveTo(row, QStringLiteral("Body"));
    EXPECT_EQ(text(), QStringLiteral("one\ntwo\nthree"));
  }
  moveTo(3, QStringLiteral("Body"));
  EXPECT_EQ(text().trimmed(), QStringLiteral("plain bold end"));
  const QTextDocument *document = viewer->DBRichEdit->document();
  bool boldSeen = false;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it)
      if (it.fragment().text().contains(QStringLiteral("bold")))
        boldSeen = it.fragment().charFormat().fontWeight() >= QFont::Bold;
  EXPECT_TRUE(boldSeen);
}

TEST_F(ViewerTest, RefreshClearsTheViewerAndKeepsThePaneVisible) {
  open(QStringLiteral("Docs"));
  moveTo(0, QStringLiteral("Data"));
  ASSERT_FALSE(viewer->Image1->isEmpty());
  frmFilter->filter.rows = {{"ID", "=", "-1"}};
  runCommand(w->ARefresh);
  ASSERT_TRUE(w->qrList.active());
  EXPECT_EQ(w->qrList.recordCount(), 0);
  EXPECT_TRUE(pictureShown());
  EXPECT_TRUE(viewer->Image1->isEmpty());

  frmFilter->filter.rows = {};
  runCommand(w->ARefresh);
  moveTo(0, QStringLiteral("Data"));
  ASSERT_FALSE(viewer->Image1->isEmpty());
  frmFilter->filter.rows = {{"NoSuchColumn", "=", "1"}};
  runCommand(w->ARefresh);
  EXPECT_EQ(messages.size(), 1);
  EXPECT_TRUE(pictureShown());
  EXPECT_TRUE(viewer->Image1->isEmpty());
}

TEST_F(ViewerTest, HiddenViewerStillFollowsTheCurrentCell) {
  open(QStringLiteral("Docs"));
  runCommand(w->AShowOwnWindow);
  ASSERT_FALSE(viewer->isVisible());
  moveTo(4, QStringLiteral("Data"));
  EXPECT_EQ(viewer->Image1->type(), PictureView::Type::Icon);
  EXPECT_FALSE(viewer->Image1->isEmpty());
}

TEST_F(ViewerTest, LargePictureShowsItsMiddleUnscaled) {
  sqliteStoreBlob(database, "UPDATE Docs SET Data = ? WHERE ID = 3", codedBitmap(1000, 800));
  open(QStringLiteral("Docs"));
  moveTo(2, QStringLiteral("Data"));
  ASSERT_EQ(viewer->Image1->pictureSize(), QSize(1000, 800));
  const QImage drawn = viewer->Image1->grab().toImage();
  ASSERT_LT(drawn.width(), 1000);
  ASSERT_LT(drawn.height(), 800);
  const int left = (1000 - drawn.width()) / 2;
  const int top = (800 - drawn.height()) / 2;
  for (const QPoint at : {QPoint(0, 0), QPoint(drawn.width() - 1, drawn.height() - 1),
                          QPoint(drawn.width() / 2, drawn.height() / 3)}) {
    SCOPED_TRACE(at.x() * 10000 + at.y());
    EXPECT_EQ(drawn.pixel(at) & 0xffffff, codedPixel(left + at.x(), top + at.y()) & 0xffffff);
  }
}

TEST_F(ViewerTest, TheEmptyPicturePaneLooksTheSameAtStartAndLater) {
  start();
  viewer = frmOwnWindow;
  const QImage atStart = panes();
  openTable(QStringLiteral("Docs"));
  moveTo(5, QStringLiteral("Data")); // a PNG: no picture
  ASSERT_TRUE(pictureShown());
  ASSERT_FALSE(textShown());
  EXPECT_TRUE(panes() == atStart);
}

TEST_F(ViewerTest, AMoveDropsTheWorkForTheCellBefore) {
  // Read in chunks between events: 2.4 MB. Read in the first: 180 KB.
  sqliteStoreBlob(database, "UPDATE Docs SET Data = ? WHERE ID = 3", codedBitmap(1000, 800));
  sqliteStoreBlob(database, "UPDATE Docs SET Data = ? WHERE ID = 4", codedBitmap(300, 200));
  open(QStringLiteral("Docs"));
  // Left while the picture is read.
  select(2, QStringLiteral("Data"));
  EXPECT_TRUE(w->viewerRefresh().busy());
  moveTo(5, QStringLiteral("Data")); // a PNG: the empty pane
  EXPECT_TRUE(pictureShown());
  EXPECT_TRUE(viewer->Image1->isEmpty());
  // Left once it is read, with its decoding handed on: neither the picture
  // nor a failure of the dropped work reaches the pane.
  QSignalSpy read(&w->viewerRefresh(), &ViewerRefresh::valueRead);
  select(3, QStringLiteral("Data"));
  while (read.isEmpty())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  moveTo(5, QStringLiteral("Data"));
  EXPECT_TRUE(pictureShown());
  EXPECT_TRUE(viewer->Image1->isEmpty());
  // Left alone, each shows.
  moveTo(2, QStringLiteral("Data"));
  EXPECT_EQ(viewer->Image1->pictureSize(), QSize(1000, 800));
  moveTo(3, QStringLiteral("Data"));
  EXPECT_EQ(viewer->Image1->pictureSize(), QSize(300, 200));
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ViewerTest, AnUnbrokenLineOfMegabytesShowsItsFirstPartInShortLines) {
  // 3,000,005 characters without a break.
  sqliteExec(database, "UPDATE Docs SET Notes = 'START' || hex(zeroblob(1500000)) WHERE ID = 1");
  open(QStringLiteral("Docs"));
  moveTo(0, QStringLiteral("Notes"));
  const QTextDocument *document = viewer->DBRichEdit->document();
  ASSERT_GT(document->blockCount(), 1000);
  EXPECT_TRUE(document->firstBlock().text().startsWith(QStringLiteral("START000")));
  EXPECT_EQ(document->lastBlock().text(),
            QStringLiteral("(Показаны первые 2097152 байт из 3000005. Всё значение сохраняет "
                           "команда «В файл».)"));
  qint64 shown = 0;
  for (QTextBlock block = document->firstBlock(); block != document->lastBlock();
       block = block.next()) {
    EXPECT_LE(block.length() - 1, viewer::kMaxRtfBlockLength);
    shown += block.length() - 1;
  }
  EXPECT_EQ(shown, viewer::kShownTextBytes);
}

TEST_F(ViewerTest, TextThatIsNotUtf8ShowsAsWindows1251) {
  sqliteStoreBlob(database, "UPDATE Docs SET Notes = ? WHERE ID = 2",
                  QByteArray("\xd2\xe8\xf8\xe5 \xe5\xe4\xe5\xf8\xfc"));
  open(QStringLiteral("Docs"));
  moveTo(1, QStringLiteral("Notes"));
  EXPECT_EQ(text(), QStringLiteral("Тише едешь"));
}

} // namespace
