// The About window, its links, and the help buttons that open Readme.txt.
#include "forms/HelpFile.h"
#include "forms/UTarnwickAbout.h"
#include "forms/WindowsFixture.h"
#include "forms/uFilter.h"
#include "forms/uSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

class About : public WindowsFixture {
protected:
  // Opens the About window as the banner's click does and runs `steps`
  // while it is shown modally; answers whether the steps ended the modal
  // showing. When they did not, it is ended for them, so the test goes on.
  bool whileShown(const std::function<void()> &steps) {
    bool ran = false;
    bool endedBySteps = false;
    QTimer::singleShot(0, frmAbout, [&] {
      ran = true;
      EXPECT_TRUE(QTest::qWaitForWindowExposed(frmAbout));
      steps();
      endedBySteps = !frmAbout->isVisible();
      if (!endedBySteps)
        frmAbout->done(QDialog::Accepted);
    });
    QTest::mouseClick(frmMainForm->Label2, Qt::LeftButton);
    EXPECT_TRUE(ran);
    return endedBySteps && !frmAbout->isVisible();
  }
};

// --- layout and texts --------------------------------------------------------

TEST_F(About, ShowsTitleVersionPictureAndTheMakersLinks) {
  start();
  TfrmAbout &a = *frmAbout;
  EXPECT_EQ(a.windowTitle(), QStringLiteral("О программе"));
  EXPECT_EQ(a.size(), QSize(409, 233));
  EXPECT_EQ(a.minimumSize(), a.maximumSize());
  EXPECT_FALSE(a.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(a.windowFlags() & Qt::WindowMaximizeButtonHint);

  EXPECT_EQ(a.Panel1->geometry(), QRect(8, 8, 164, 218));
  EXPECT_EQ(a.Image1->parentWidget(), a.Panel1);
  EXPECT_EQ(a.Image1->geometry(), QRect(1, 1, 162, 216));
  EXPECT_EQ(a.Image1->pixmap().size(), QSize(162, 216));

  EXPECT_EQ(a.RxLabel1->text(), QStringLiteral("Quillon"));
  EXPECT_EQ(a.RxLabel1->geometry(), QRect(184, 8, 198, 31));
  EXPECT_EQ(a.RxLabel1->font().pixelSize(), 27);
  EXPECT_TRUE(a.RxLabel1->font().bold());

  EXPECT_EQ(a.Label3->text(), QStringLiteral("версия 1.2"));
  EXPECT_TRUE(a.Label3->alignment() & Qt::AlignRight);
  EXPECT_EQ(a.Label3->geometry().right() + 1, 331 + 54);
  EXPECT_EQ(a.Label3->y(), 36);

  EXPECT_EQ(a.Label4->text(), TfrmAbout::webAddress);
  EXPECT_EQ(a.Label4->pos(), QPoint(184, 96));
  EXPECT_EQ(a.lblMail->text(), TfrmAbout::mailAddress);
  EXPECT_EQ(a.lblMail->pos(), QPoint(280, 96));
  // Side by side, neither running into the other nor out of the window.
  EXPECT_LT(a.Label4->geometry().right(), a.lblMail->x());
  EXPECT_LE(a.lblMail->geometry().right(), 401);
  for (QLabel *link : {static_cast<QLabel *>(a.Label4), static_cast<QLabel *>(a.lblMail)}) {
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->font().pixelSize(), 13);
    EXPECT_EQ(link->palette().color(link->foregroundRole()), QColor(Qt::blue));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    const QImage drawn = link->grab().toImage();
    int blue = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) {
        const QColor pixel = drawn.pixelColor(x, y);
        blue += pixel.blue() > 200 && pixel.red() < 80 && pixel.green() < 80;
      }
    EXPECT_GT(blue, 20) << link->objectName().toStdString();
  }
  EXPECT_FALSE(TfrmAbout::webAddress.contains(QLatin1String("://")));

  EXPECT_EQ(a.Bevel1->geometry(), QRect(184, 192, 217, 9));
  EXPECT_EQ(a.Button1->text(), QStringLiteral("Закрыть"));
  EXPECT_EQ(a.Button1->geometry(), QRect(320, 200, 81, 25));
}

TEST_F(About, TitleHasAOnePixelShadowTowardTheLowerRight) {
  start();
  ShadowLabel &title = *frmAbout->RxLabel1;
  QPalette colours = title.palette();
  colours.setColor(QPalette::Light, Qt::red);
  colours.setColor(QPalette::WindowText, Qt::black);
  title.setPalette(colours);
  const QImage image = title.grab().toImage();

  // One pixel below and to the right of every solid text pixel lies solid
  // shadow, maybe with text drawn over it: red, black or a blend of the two,
  // never the background.
  int text = 0, shadow = 0, shadowed = 0;
  for (int y = 0; y + 1 < image.height(); ++y)
    for (int x = 0; x + 1 < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel == Qt::red)
        ++shadow;
      if (pixel != Qt::black)
        continue;
      ++text;
      const QColor below = image.pixelColor(x + 1, y + 1);
      if (below.green() == 0 && below.blue() == 0)
        ++shadowed;
    }
  ASSERT_GT(text, 50);
  EXPECT_GT(shadow, 10);
  EXPECT_EQ(shadowed, text);
}

// --- links -------------------------------------------------------------------

TEST_F(About, WebLinkStartsTheBrowserMaximisedOnTheLabelsAddress) {
  start();
  shellResult = false; // a missing browser says nothing of ours
  QTest::mouseClick(frmAbout->Label4, Qt::LeftButton);
  ASSERT_EQ(shellRequests.size(), 1);
  EXPECT_EQ(shellRequests[0].owner, frmAbout);
  EXPECT_EQ(shellRequests[0].file, QStringLiteral("iexplore"));
  EXPECT_EQ(shellRequests[0].parameters, QStringLiteral("http://") + TfrmAbout::webAddress);
  EXPECT_EQ(shellRequests[0].show, platform::ShowCommand::Maximized);
  EXPECT_TRUE(messages.isEmpty());

  // The label's text at the moment of the click.
  frmAbout->Label4->setText(QStringLiteral("elsewhere.test"));
  QTest::mouseClick(frmAbout->Label4, Qt::LeftButton);
  ASSERT_EQ(shellRequests.size(), 2);
  EXPECT_EQ(shellRequests[1].parameters, QStringLiteral("http://elsewhere.test"));
}

TEST_F(About, MailLinkOpensANewMessageToTheLabelsAddress) {
  start();
  shellResult = false;
  QTest::mouseClick(frmAbout->lblMail, Qt::LeftButton);
  ASSERT_EQ(shellRequests.size(), 1);
  EXPECT_EQ(shellRequests[0].owner, frmAbout);
  EXPECT_EQ(shellRequests[0].file, QStringLiteral("mailto:") + TfrmAbout::mailAddress);
  EXPECT_TRUE(shellRequests[0].parameters.isEmpty());
  EXPECT_EQ(shellRequests[0].show, platform::ShowCommand::Maximized);
  EXPECT_TRUE(messages.isEmpty());

  // Only the left button follows a link.
  QTest::mouseClick(frmAbout->lblMail, Qt::RightButton);
  EXPECT_EQ(shellRequests.size(), 1);
}

// --- showing and closing -------------------------------------------------------

TEST_F(About, OpensModallyCentredWithTheCloseButtonFocusedAndEnterClosesIt) {
  start();
  const bool ended = whileShown([] {
    EXPECT_EQ(QApplication::activeModalWidget(), frmAbout);
    EXPECT_TRUE(frmAbout->Button1->hasFocus());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect outer = frmAbout->frameGeometry();
    EXPECT_LE(std::abs(outer.center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(outer.center().y() - screen.center().y()), 1);
    QTest::keyClick(frmAbout->Button1, Qt::Key_Return);
  });
  EXPECT_TRUE(ended);
  EXPECT_EQ(frmAbout->result(), QDialog::Rejected);
}

TEST_F(About, EscapeDoesNotCloseIt) {
  start();
  bool stayed = false;
  const bool ended = whileShown([&] {
    QTest::keyClick(frmAbout->Button1, Qt::Key_Escape);
    QTest::keyClick(frmAbout, Qt::Key_Escape);
    stayed = frmAbout->isVisible();
    frmAbout->Button1->click();
  });
  EXPECT_TRUE(stayed);
  EXPECT_TRUE(ended);
}

TEST_F(About, CloseBoxClosesIt) {
  start();
  const bool ended = whileShown([] { frmAbout->close(); });
  EXPECT_TRUE(ended);
  // Shown again, it opens as before.
  EXPECT_TRUE(whileShown([] { frmAbout->Button1->click(); }));
}

// --- help ----------------------------------------------------------------------

void expectHelpRequest(const platform::ShellRequest &request, const QWidget *owner) {
  EXPECT_EQ(request.owner, owner);
  EXPECT_EQ(request.file, QStringLiteral("Readme.txt"));
  EXPECT_TRUE(request.parameters.isEmpty());
  EXPECT_EQ(request.show, platform::ShowCommand::Normal);
}

TEST_F(About, HelpButtonsOfTheMainAndFilterWindowsOpenTheSameReadme) {
  start();
  shellResult = false;
  QTest::mouseClick(frmMainForm->btnHelp, Qt::LeftButton);
  frmFilter->show();
  QTest::mouseClick(frmFilter->btnHelp, Qt::LeftButton);
  frmFilter->hide();
  // What the settings window's help button calls.
  openHelpFile(frmSettings);
  ASSERT_EQ(shellRequests.size(), 3);
  expectHelpRequest(shellRequests[0], frmMainForm);
  expectHelpRequest(shellRequests[1], frmFilter);
  expectHelpRequest(shellRequests[2], frmSettings);
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(About, MissingReadmeChangesNothingAndSaysNothing) {
  start();
  platform::setShellOverride({});
  const QString before = QDir::currentPath();
  ScratchDir empty;
  ASSERT_TRUE(QDir::setCurrent(empty.path()));
  QTest::mouseClick(frmMainForm->btnHelp, Qt::LeftButton);
  QDir::setCurrent(before);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_TRUE(frmMainForm->isVisible());
}

// The build puts the guide beside the executable.
TEST(HelpFile, ReadmeLiesBesideTheProgramAndIsAUtf8Guide) {
  QFile copy(QStringLiteral(QUILLON_APP_DIR "/Readme.txt"));
  QFile source(QStringLiteral(QUILLON_SOURCE_DIR "/docs/Readme.txt"));
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  const QByteArray text = copy.readAll();
  EXPECT_EQ(text, source.readAll());
  const QString decoded = QString::fromUtf8(text);
  EXPECT_EQ(decoded.toUtf8(), text);
  for (const char *topic : {"db.udl", "Shift+F5", "Фильтр", "Из файла", "В файл", "В буфер",
                            "Из буфера", "Quillon - Просмотр", "F2", "Ctrl+R", "TempFile"})
    EXPECT_TRUE(decoded.contains(QString::fromUtf8(topic))) << topic;
}

} // namespace
