// The main window and the viewer keep their place, size and state across
// runs. A run is simulated by creating the six windows, closing the main
// window and destroying them, as main() does; the screen is a stand-in, so
// that its size and pixels per inch can change between runs.
#include "forms/WindowPlacementKeeper.h"
#include "forms/WindowsFixture.h"
#include "forms/uOwnWindow.h"
#include "settings/SettingsFolder.h"
#include "settings/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

const QString kMain = QStringLiteral("TfrmMainForm");
const QString kViewer = QStringLiteral("TfrmOwnWindow");

// The record's text of a window's outer frame: left, top, right, bottom.
QString frameText(const QRect &frame) {
  return settings::formatNormPos(
      {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()});
}

// How far the frame reaches beyond the client on the left and at the bottom.
QPoint sizingFrame(const QWidget *window) {
  return {window->geometry().left() - window->frameGeometry().left(),
          window->frameGeometry().bottom() - window->geometry().bottom()};
}

class Placement : public WindowsFixture {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    setScreenMetricsOverride([this] { return screen; });
  }

  void TearDown() override {
    WindowsFixture::TearDown();
    setScreenMetricsOverride({});
  }

  // A run of the program up to its message loop, with the launcher's
  // request to show the main window as `showMain` does.
  void launch(void (QWidget::*showMain)() = &QWidget::show) {
    createWindows(programDir.path());
    InitStartupState();
    (frmMainForm->*showMain)();
  }

  // The end of a run: the main window closes, Qt closes the windows still
  // shown on its way out of the event loop, then the windows go.
  void quit() {
    frmMainForm->close();
    for (QWidget *window : QApplication::topLevelWidgets())
      if (window->isVisible())
        window->close();
    destroyWindows();
  }

  void restart() {
    quit();
    launch();
  }

  std::optional<QString> stored(const QString &window, const QString &name) const {
    QSettings file(settingsFolder.configFile(), QSettings::IniFormat);
    const QString key = window + u'/' + name;
    if (!file.contains(key))
      return std::nullopt;
    return file.value(key).toString();
  }

  QStringList storedNames(const QString &window) const {
    QSettings file(settingsFolder.configFile(), QSettings::IniFormat);
    file.beginGroup(window);
    QStringList names = file.childKeys();
    names.sort();
    return names;
  }

  QList<std::pair<BoxKind, QString>> errors() const {
    QList<std::pair<BoxKind, QString>> found;
    for (const auto &message : messages)
      if (message.first == BoxKind::GeneralError)
        found.append(message);
    return found;
  }

  ScreenMetrics screen{QSize(1024, 768), 96};
};

// --- first start and what a close writes ---------------------------------

TEST_F(Placement, FirstStartOpensBothWindowsAtTheirDesignPlacesInTheNormalState) {
  launch();
  // Outer frames, whatever the frame takes of them.
  EXPECT_EQ(frmMainForm->frameGeometry(), QRect(232, 122, 640, 480));
  EXPECT_EQ(frmMainForm->windowState(), Qt::WindowNoState);
  EXPECT_EQ(frmOwnWindow->frameGeometry(), QRect(621, 414, 400, 300));
  EXPECT_EQ(frmOwnWindow->windowState(), Qt::WindowNoState);
  EXPECT_TRUE(errors().isEmpty());
  // Showing reads; nothing is written before a window closes.
  EXPECT_TRUE(storedNames(kMain).isEmpty());
  EXPECT_TRUE(storedNames(kViewer).isEmpty());
}

TEST_F(Placement, ClosingTheMainWindowWritesItsNineValues) {
  launch();
  const QRect frame = frmMainForm->frameGeometry();
  const QPoint border = sizingFrame(frmMainForm);
  frmMainForm->close();

  EXPECT_EQ(storedNames(kMain),
            (QStringList{"Flags", "FormVersion", "MinMaxPos", "MinMaxPos(1024x768)", "NormPos",
                         "NormPos(1024x768)", "PixelsPerInch", "ShowCmd", "Visible"}));
  EXPECT_EQ(stored(kMain, "FormVersion"), "0");
  EXPECT_EQ(stored(kMain, "Flags"), "0");
  EXPECT_EQ(stored(kMain, "ShowCmd"), "1");
  EXPECT_EQ(stored(kMain, "PixelsPerInch"), "96");
  EXPECT_EQ(stored(kMain, "NormPos(1024x768)"), frameText(frame));
  EXPECT_EQ(stored(kMain, "NormPos"), frameText(frame));
  // Never minimised; maximised just beyond the screen's edge by the frame.
  const QString minMaxPos = QStringLiteral("-1,-1,%1,%2").arg(-border.x()).arg(-border.y());
  EXPECT_EQ(stored(kMain, "MinMaxPos(1024x768)"), minMaxPos);
  EXPECT_EQ(stored(kMain, "MinMaxPos"), minMaxPos);
  EXPECT_EQ(stored(kMain, "Visible"), "0");
  // The viewer's place waits for its own close or the program's end.
  EXPECT_TRUE(storedNames(kViewer).isEmpty());
  EXPECT_TRUE(errors().isEmpty());
}

TEST_F(Placement, MainWindowComesBackWhereItWasLeft) {
  launch();
  frmMainForm->move(40, 30);
  frmMainForm->resize(frmMainForm->width(), 350);
  const QRect left = frmMainForm->frameGeometry();
  restart();
  EXPECT_EQ(frmMainForm->frameGeometry(), left);
  EXPECT_EQ(frmMainForm->windowState(), Qt::WindowNoState);
}

// --- states ---------------------------------------------------------------

TEST_F(Placement, MaximisedWindowOpensMaximisedAndRestoresToItsSavedRectangle) {
  launch();
  frmMainForm->move(50, 60);
  frmMainForm->resize(frmMainForm->width(), 320);
  const QRect normal = frmMainForm->frameGeometry();
  frmMainForm->setWindowState(Qt::WindowMaximized);
  quit();
  EXPECT_EQ(stored(kMain, "ShowCmd"), "3");
  EXPECT_EQ(stored(kMain, "NormPos"), frameText(normal));

  launch();
  EXPECT_TRUE(frmMainForm->isMaximized());
  frmMainForm->setWindowState(Qt::WindowNoState);
  EXPECT_EQ(frmMainForm->frameGeometry(), normal);
}

TEST_F(Placement, LauncherRequestToMaximiseDoesNotPrevailOverTheStoredState) {
  launch(&QWidget::showMaximized);
  // Nothing stored: normal.
  EXPECT_EQ(frmMainForm->windowState(), Qt::WindowNoState);
  EXPECT_EQ(frmMainForm->frameGeometry(), QRect(232, 122, 640, 480));
  quit();
  launch(&QWidget::showMaximized);
  EXPECT_FALSE(frmMainForm->isMaximized());
}

TEST_F(Placement, MainWindowClosedMinimisedStartsTheProgramMinimised) {
  launch();
  frmMainForm->showMinimized();
  quit();
  EXPECT_EQ(stored(kMain, "ShowCmd"), "2");

  launch();
  // Shown normal first; the minimising request waits for the event loop.
  EXPECT_FALSE(frmMainForm->isMinimized());
  EXPECT_TRUE(frmMainForm->isVisible());
  QTRY_VERIFY(frmMainForm->isMinimized());
}

TEST_F(Placement, ViewerClosedMinimisedComesBackMinimised) {
  launch();
  frmOwnWindow->showMinimized();
  frmOwnWindow->close();
  EXPECT_EQ(stored(kViewer, "ShowCmd"), "2");
  runCommand(frmMainForm->AShowOwnWindow);
  EXPECT_TRUE(frmOwnWindow->isMinimized());
}

// --- screens --------------------------------------------------------------

TEST_F(Placement, NewScreenSizeUsesThePlainValuesAndAddsItsOwnBesideTheOld) {
  launch();
  frmOwnWindow->move(100, 120);
  const QRect onSmall = frmOwnWindow->frameGeometry();
  frmOwnWindow->close();
  EXPECT_EQ(stored(kViewer, "NormPos(1024x768)"), frameText(onSmall));

  screen.size = QSize(1920, 1080);
  restart();
  // Nothing saved for this size yet: the values saved last, on any screen.
  EXPECT_EQ(frmOwnWindow->frameGeometry(), onSmall);
  frmOwnWindow->move(900, 500);
  const QRect onWide = frmOwnWindow->frameGeometry();
  frmOwnWindow->close();
  EXPECT_EQ(stored(kViewer, "NormPos(1920x1080)"), frameText(onWide));
  EXPECT_EQ(stored(kViewer, "NormPos(1024x768)"), frameText(onSmall));
  EXPECT_EQ(stored(kViewer, "NormPos"), frameText(onWide));
  EXPECT_TRUE(stored(kViewer, "MinMaxPos(1024x768)").has_value());
  EXPECT_TRUE(stored(kViewer, "MinMaxPos(1920x1080)").has_value());

  // Back on the small screen, its own values win over the plain ones.
  screen.size = QSize(1024, 768);
  restart();
  EXPECT_EQ(frmOwnWindow->frameGeometry(), onSmall);
}

TEST_F(Placement, NewPixelsPerInchRestoresTheStateButNotThePlace) {
  launch();
  frmMainForm->move(10, 20);
  frmMainForm->setWindowState(Qt::WindowMaximized);
  quit();
  EXPECT_EQ(stored(kMain, "PixelsPerInch"), "96");

  screen.pixelsPerInch = 120;
  launch();
  EXPECT_TRUE(frmMainForm->isMaximized());
  frmMainForm->setWindowState(Qt::WindowNoState);
  EXPECT_EQ(frmMainForm->frameGeometry(), QRect(232, 122, 640, 480));
  quit();
  EXPECT_EQ(stored(kMain, "PixelsPerInch"), "120");
}

// --- the viewer's lifecycle -------------------------------------------------

TEST_F(Placement, ViewerHiddenAndShownByTheButtonJumpsBackToItsLastSavedPlace) {
  launch();
  frmOwnWindow->move(300, 200);
  const QRect saved = frmOwnWindow->frameGeometry();
  frmOwnWindow->close();
  QTest::mouseClick(frmMainForm->btnOwnWindow, Qt::LeftButton);
  ASSERT_TRUE(frmOwnWindow->isVisible());

  frmOwnWindow->move(500, 400);
  QTest::mouseClick(frmMainForm->btnOwnWindow, Qt::LeftButton);
  ASSERT_TRUE(frmOwnWindow->isHidden());
  // Hiding by the button saves nothing.
  EXPECT_EQ(stored(kViewer, "NormPos"), frameText(saved));
  QTest::mouseClick(frmMainForm->btnOwnWindow, Qt::LeftButton);
  EXPECT_EQ(frmOwnWindow->frameGeometry(), saved);
}

TEST_F(Placement, ViewerHiddenByTheButtonAtProgramEndIsSavedAsVisible) {
  launch();
  frmOwnWindow->move(150, 160);
  const QRect left = frmOwnWindow->frameGeometry();
  QTest::mouseClick(frmMainForm->btnOwnWindow, Qt::LeftButton);
  ASSERT_TRUE(frmOwnWindow->isHidden());
  quit();
  EXPECT_EQ(stored(kViewer, "Visible"), "1");
  EXPECT_EQ(stored(kViewer, "NormPos"), frameText(left));
  EXPECT_EQ(storedNames(kViewer).size(), 9);
}

TEST_F(Placement, ViewerStillShownAtProgramEndIsSavedAsVisibleWhereItStands) {
  launch();
  frmOwnWindow->move(170, 180);
  const QRect left = frmOwnWindow->frameGeometry();
  quit();
  EXPECT_EQ(stored(kViewer, "Visible"), "1");
  EXPECT_EQ(stored(kViewer, "NormPos"), frameText(left));
}

TEST_F(Placement, ViewerClosedByItsCloseBoxIsNotSavedAgainAtProgramEnd) {
  launch();
  frmOwnWindow->move(150, 160);
  frmOwnWindow->close();
  EXPECT_EQ(stored(kViewer, "Visible"), "0");
  quit();
  EXPECT_EQ(stored(kViewer, "Visible"), "0");
  // The main window is saved on its close only.
  EXPECT_EQ(stored(kMain, "Visible"), "0");
}

// --- stored texts -----------------------------------------------------------

TEST_F(Placement, PositionWordsSplitAtCommasAndRunsOfBlanks) {
  settingsFolder.writeConfig("[TfrmOwnWindow]\nNormPos=\"100, 200,  500  600\"\n");
  launch();
  EXPECT_EQ(frmOwnWindow->frameGeometry(), QRect(100, 200, 400, 400));
  EXPECT_TRUE(errors().isEmpty());
}

TEST_F(Placement, DamagedTextsFallBackToTheirDefaultsWithoutAWord) {
  // Two words only; the state and the pixels per inch not numbers.
  settingsFolder.writeConfig("[TfrmOwnWindow]\nNormPos=\"70,80\"\nShowCmd=abc\nPixelsPerInch=\n"
                             "MinMaxPos=x\n");
  launch();
  // Right and bottom default to the present edges of the frame.
  const QRect frame = frmOwnWindow->frameGeometry();
  EXPECT_EQ(frame.topLeft(), QPoint(70, 80));
  EXPECT_EQ(frame.left() + frame.width(), 621 + 400);
  EXPECT_EQ(frmOwnWindow->windowState(), Qt::WindowNoState);
  EXPECT_TRUE(errors().isEmpty());
  frmOwnWindow->close();
  EXPECT_EQ(stored(kViewer, "MinMaxPos"), stored(kViewer, "MinMaxPos(1024x768)"));
}

TEST_F(Placement, ValueThatIsNotAStringIsReportedAndTheWindowShownAllTheSame) {
  settingsFolder.writeConfig(
      "[TfrmMainForm]\nFlags=0\nNormPos=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n"
      "ShowCmd=3\n");
  launch();
  ASSERT_EQ(errors().size(), 1);
  EXPECT_EQ(errors()[0].second, QStringLiteral("Invalid data type for 'NormPos'"));
  EXPECT_TRUE(frmMainForm->isVisible());
  // Nothing after the damaged value was applied.
  EXPECT_FALSE(frmMainForm->isMaximized());
  EXPECT_EQ(frmMainForm->frameGeometry(), QRect(232, 122, 640, 480));

  // The next close replaces the damaged value.
  frmMainForm->close();
  EXPECT_EQ(stored(kMain, "NormPos"), frameText(frmMainForm->frameGeometry()));
}

// A file where the settings folder must go: no key for anyone, root too.
void blockStore(const SettingsFolder &settingsFolder) {
  QDir(settingsFolder.path() + QStringLiteral("/Tarnwick")).removeRecursively();
  QFile blocker(settingsFolder.path() + QStringLiteral("/Tarnwick"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
}

TEST_F(Placement, FailedSaveIsReportedAndTheWindowClosesAllTheSame) {
  launch();
  const qsizetype before = errors().size();
  blockStore(settingsFolder);
  frmMainForm->close();
  ASSERT_EQ(errors().size(), before + 1);
  EXPECT_EQ(errors().back().second,
            QStringLiteral("Failed to create key Software\\Tarnwick\\Quillon."));
  EXPECT_TRUE(frmMainForm->isHidden());
}

// One window with a keeper of its own, away from the program's windows.
class PlacementKeeper : public testing::Test {
protected:
  void SetUp() override {
    setMessageBoxOverride([this](BoxKind, const QString &text) {
      messages.append(text);
      return Answer::Yes;
    });
    setScreenMetricsOverride([] { return ScreenMetrics{QSize(1024, 768), 96}; });
    window.setGeometry(120, 130, 300, 200);
  }
  void TearDown() override {
    setMessageBoxOverride({});
    setScreenMetricsOverride({});
  }

  SettingsFolder folder;
  QWidget window;
  WindowPlacementKeeper *keeper = new WindowPlacementKeeper(
      &window, QStringLiteral("TfrmOwnWindow"), WindowPlacementKeeper::Kind::Other);
  QStringList messages;
};

TEST_F(PlacementKeeper, KeyThatCannotBeOpenedRestoresNothingAndSaysNothing) {
  blockStore(folder);
  window.show();
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.geometry(), QRect(120, 130, 300, 200));
  keeper->windowClosed();
  EXPECT_EQ(messages,
            QStringList{QStringLiteral("Failed to create key Software\\Tarnwick\\Quillon.")});
}

TEST_F(PlacementKeeper, WindowNeverShownSavesNothing) {
  keeper->windowClosed();
  keeper->windowDestroyed();
  EXPECT_FALSE(QFile::exists(folder.configFile()));
  window.show();
  keeper->windowDestroyed();
  QSettings file(folder.configFile(), QSettings::IniFormat);
  EXPECT_EQ(file.value(QStringLiteral("TfrmOwnWindow/Visible")), QStringLiteral("1"));
}

TEST_F(PlacementKeeper, WindowMinimisedFromMaximisedIsRecordedAsRestoringToMaximised) {
  window.show();
  window.setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
  const settings::WindowPlacement placement = keeper->placement();
  EXPECT_EQ(placement.showCommand, settings::ShowMinimized);
  EXPECT_EQ(placement.flags, settings::RestoreToMaximized);
  keeper->windowClosed();
  window.hide();
  window.setWindowState(Qt::WindowNoState);
  window.show();
  EXPECT_EQ(window.windowState(), Qt::WindowMinimized | Qt::WindowMaximized);
}

TEST(FrameOntoScreens, AFrameWhoseTitleBarIsOnNoScreenMovesOntoTheNearest) {
  const QList<QRect> screens{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1024, 768)};
  // Its title bar on a screen, although the rest is not: kept.
  EXPECT_EQ(frameOntoScreens(QRect(1200, 700, 640, 480), screens, 24), QRect(1200, 700, 640, 480));
  EXPECT_EQ(frameOntoScreens(QRect(-600, 1000, 640, 480), screens, 24),
            QRect(-600, 1000, 640, 480));
  // Title bar above every screen: the frame comes down onto the first.
  EXPECT_EQ(frameOntoScreens(QRect(232, -30, 640, 480), screens, 24), QRect(232, 0, 640, 480));
  // Beyond the right of the second screen: onto its right edge.
  EXPECT_EQ(frameOntoScreens(QRect(3000, 100, 640, 480), screens, 24),
            QRect(1280 + 1024 - 640, 100, 640, 480));
  // Below the shorter second screen, nearer to it than to the first.
  EXPECT_EQ(frameOntoScreens(QRect(2000, 900, 200, 100), screens, 24),
            QRect(2000, 768 - 100, 200, 100));
  // Larger than the screen: its top-left corner at the screen's.
  EXPECT_EQ(frameOntoScreens(QRect(-5000, -5000, 2000, 2000), {QRect(0, 0, 1024, 768)}, 24),
            QRect(0, 0, 2000, 2000));
  // No screen known: kept.
  EXPECT_EQ(frameOntoScreens(QRect(-5000, 0, 10, 10), {}, 24), QRect(-5000, 0, 10, 10));
}

TEST_F(Placement, AStoredPlaceOffEveryScreenOpensOnTheScreen) {
  launch();
  quit();
  {
    QSettings file(settingsFolder.configFile(), QSettings::IniFormat);
    for (const QString &name : {QStringLiteral("NormPos"), QStringLiteral("NormPos(1024x768)")})
      file.setValue(kMain + u'/' + name, QStringLiteral("-2000,-1500,-1360,-1020"));
  }
  launch();
  const QRect area = frmMainForm->screen()->availableGeometry();
  EXPECT_TRUE(area.contains(frmMainForm->frameGeometry().topLeft()))
      << frmMainForm->frameGeometry().x() << "," << frmMainForm->frameGeometry().y();
  EXPECT_EQ(frmMainForm->frameGeometry().height(), 480) << "its stored size is kept";
}

TEST(ClientRectForFrame, TakesTheFrameMarginsOffTheOuterRectangle) {
  EXPECT_EQ(clientRectForFrame({100, 200, 500, 600}, QMargins()), QRect(100, 200, 400, 400));
  EXPECT_EQ(clientRectForFrame({100, 200, 500, 600}, QMargins(4, 23, 4, 4)),
            QRect(104, 223, 392, 373));
}

} // namespace
