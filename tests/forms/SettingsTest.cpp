#include "forms/ProgramPicker.h"
#include "forms/WindowsFixture.h"
#include "forms/uSettings.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QWindow>

using namespace quillon;
using namespace quillon::forms;
using namespace quillon::test;

namespace {

// The settings window's program list over a settings folder of the test's
// own, restarted as the program would be.
class SettingsWindowTest : public WindowsFixture {
protected:
  void SetUp() override {
    WindowsFixture::SetUp();
    setFileDialogOverride([this](FileDialog::Kind kind, const QString &) {
      EXPECT_EQ(kind, FileDialog::Kind::OpenProgram);
      return chosenFile;
    });
  }

  void TearDown() override {
    setFileDialogOverride({});
    WindowsFixture::TearDown();
  }

  void restart() {
    destroyWindows();
    start();
  }

  TfrmSettings *s() const { return frmSettings; }

  QStringList hiddenList() const {
    QStringList paths;
    for (int i = 0; i < s()->lbProgramList->count(); ++i)
      paths << s()->lbProgramList->item(i)->text();
    return paths;
  }

  // The picker as "name:number" items in their shown order.
  QStringList picker() const {
    QStringList items;
    for (int i = 0; i < s()->cmbProgramList->count(); ++i)
      items << QStringLiteral("%1:%2")
                   .arg(s()->cmbProgramList->itemText(i))
                   .arg(s()->cmbProgramList->numberAt(i));
    return items;
  }

  void browse(const QString &file) {
    chosenFile = file;
    s()->btnBrowseProgram->click();
  }

  // The stored value as the settings file holds it; "<absent>" when absent.
  QString stored(const char *name) const {
    QSettings file(settingsFolder.configFile(), QSettings::IniFormat);
    return file.contains(QLatin1String(name)) ? file.value(QLatin1String(name)).toString()
                                              : QStringLiteral("<absent>");
  }

  QString chosenFile;
};

TEST_F(SettingsWindowTest, FirstStartCreatesTheKeyWithAnEmptyList) {
  start();
  EXPECT_TRUE(QFileInfo::exists(settingsFolder.configFile()));
  EXPECT_EQ(s()->cmbProgramList->count(), 0);
  EXPECT_EQ(s()->cmbProgramList->currentIndex(), -1);
  EXPECT_TRUE(s()->cmbProgramList->currentText().isEmpty());
  EXPECT_TRUE(s()->chosenProgramPath().isEmpty());
  EXPECT_EQ(stored("Programs"), QStringLiteral("<absent>"));
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(s()->windowTitle(), QStringLiteral("Quillon - Настройки"));
  EXPECT_EQ(s()->size(), QSize(392, 170));
  EXPECT_TRUE(s()->dirDefaultDir->text().endsWith(QDir::separator()));
}

TEST_F(SettingsWindowTest, PickerSortsByNameAndRemovalRenumbers) {
  start();
  EXPECT_EQ(s()->AddProgram(QStringLiteral("/x/zeta")), 0);
  EXPECT_EQ(s()->AddProgram(QStringLiteral("/y/alpha")), 0);
  EXPECT_EQ(s()->AddProgram(QStringLiteral("/z/mid")), 1);
  EXPECT_EQ(picker(), QStringList({"alpha:1", "mid:2", "zeta:0"}));
  EXPECT_EQ(s()->cmbProgramList->currentIndex(), -1) << "adding selects nothing by itself";
  EXPECT_EQ(s()->imlIcons.size(), 3);

  s()->cmbProgramList->setCurrentIndex(0);
  EXPECT_EQ(s()->chosenProgramPath(), QStringLiteral("/y/alpha"));
  s()->btnDeleteItem->click();
  EXPECT_EQ(hiddenList(), QStringList({"/x/zeta", "/z/mid"}));
  EXPECT_EQ(picker(), QStringList({"mid:1", "zeta:0"}));
  EXPECT_EQ(s()->imlIcons.size(), 2);
  EXPECT_EQ(s()->cmbProgramList->currentIndex(), -1);
  EXPECT_TRUE(s()->chosenProgramPath().isEmpty());

  // "X" with nothing selected removes nothing.
  s()->btnDeleteItem->click();
  EXPECT_EQ(hiddenList().size(), 2);

  s()->cmbProgramList->setCurrentIndex(1);
  EXPECT_EQ(s()->chosenProgramPath(), QStringLiteral("/x/zeta"));
}

TEST_F(SettingsWindowTest, BrowsingAddsAndSelectsButNeverTwice) {
  start();
  browse(QStringLiteral("/usr/bin/Viewer"));
  EXPECT_EQ(s()->cmbProgramList->currentText(), QStringLiteral("Viewer"));
  EXPECT_EQ(s()->chosenProgramPath(), QStringLiteral("/usr/bin/Viewer"));

  browse(QStringLiteral("/USR/BIN/viewer"));
  EXPECT_EQ(hiddenList(), QStringList({"/usr/bin/Viewer"}));
  EXPECT_EQ(s()->cmbProgramList->currentIndex(), -1);
  EXPECT_TRUE(s()->cmbProgramList->currentText().isEmpty());

  // Same file name in another folder: both listed under one name.
  browse(QStringLiteral("/opt/other/Viewer"));
  EXPECT_EQ(picker(), QStringList({"Viewer:0", "Viewer:1"}));
  EXPECT_EQ(s()->chosenProgramPath(), QStringLiteral("/opt/other/Viewer"));

  // A cancelled dialog changes nothing.
  browse(QString());
  EXPECT_EQ(s()->chosenProgramPath(), QStringLiteral("/opt/other/Viewer"));
}

TEST_F(SettingsWindowTest, ApplyStoresWhileCloseKeepsChangesForTheRunOnly) {
  start();
  s()->AddProgram(QStringLiteral("/x/zeta"));
  s()->AddProgram(QStringLiteral("/y/alpha"));
  s()->cmbProgramList->setCurrentIndex(1);
  s()->btnCancel->click();
  EXPECT_EQ(stored("Programs"), QStringLiteral("<absent>"));
  EXPECT_EQ(s()->chosenProgramPath(), QStringLiteral("/x/zeta")) << "usable until exit";

  // A later "Применить" in the same run stores them.
  s()->open();
  s()->btnOK->click();
  EXPECT_FALSE(s()->isVisible());
  EXPECT_EQ(stored("Programs"), QStringLiteral("/x/zeta\r\n/y/alpha\r\n"));
  EXPECT_EQ(stored("ProgramIndex"), QStringLiteral("1"));

  restart();
  EXPECT_EQ(picker(), QStringList({"alpha:1", "zeta:0"}));
  EXPECT_EQ(s()->chosenProgramPath(), QStringLiteral("/x/zeta"));

  s()->AddProgram(QStringLiteral("/z/mid"));
  s()->btnCancel->click();
  restart();
  EXPECT_EQ(hiddenList(), QStringList({"/x/zeta", "/y/alpha"})) << "gone after a restart";
}

TEST_F(SettingsWindowTest, LaterShowingsKeepThePlaceWhereTheUserLeftTheWindow) {
  start();
  s()->open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(s()));
  const QRect area = s()->screen()->availableGeometry();
  EXPECT_NEAR(s()->frameGeometry().center().x(), area.center().x(), 2) << "centred at first";
  // Moved as the window manager moves it, which Qt does not count as a move
  // by the program.
  s()->windowHandle()->setPosition(40, 50);
  QCoreApplication::processEvents();
  const QPoint left = s()->pos();
  s()->btnCancel->click();
  ASSERT_FALSE(s()->isVisible());
  s()->open();
  EXPECT_EQ(s()->pos(), left);
  s()->btnCancel->click();
}

TEST_F(SettingsWindowTest, EmptiedListIsStoredEmptyWithNothingSelected) {
  settingsFolder.writeConfig("[General]\nPrograms=\"/a/one\\r\\n\"\nProgramIndex=0\n");
  start();
  ASSERT_EQ(s()->chosenProgramPath(), QStringLiteral("/a/one"));
  s()->btnDeleteItem->click();
  s()->btnOK->click();
  EXPECT_EQ(stored("Programs"), QString());
  EXPECT_EQ(stored("ProgramIndex"), QStringLiteral("-1"));
  restart();
  EXPECT_EQ(s()->cmbProgramList->count(), 0);
}

TEST_F(SettingsWindowTest, StoredValuesThatCannotBeUsed) {
  // An index beyond the list selects nothing.
  settingsFolder.writeConfig("[General]\nPrograms=\"/a/one\\r\\n/b/two\"\nProgramIndex=2\n");
  start();
  EXPECT_EQ(hiddenList(), QStringList({"/a/one", "/b/two"}));
  EXPECT_EQ(s()->cmbProgramList->currentIndex(), -1);
  EXPECT_TRUE(messages.isEmpty());

  // A non-string index keeps the list with nothing selected and is reported.
  destroyWindows();
  settingsFolder.writeConfig("[General]\nPrograms=\"/a/one\\r\\n\"\n"
                             "ProgramIndex=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\0)\n");
  start();
  EXPECT_EQ(hiddenList(), QStringList({"/a/one"}));
  EXPECT_EQ(s()->cmbProgramList->currentIndex(), -1);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].first, BoxKind::GeneralError);
  EXPECT_EQ(messages[0].second, QStringLiteral("Invalid data type for 'ProgramIndex'"));

  // A non-string list leaves the list empty.
  destroyWindows();
  messages.clear();
  settingsFolder.writeConfig("[General]\nPrograms=@ByteArray(/a/one)\nProgramIndex=0\n");
  start();
  EXPECT_EQ(s()->cmbProgramList->count(), 0);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].second, QStringLiteral("Invalid data type for 'Programs'"));
}

TEST_F(SettingsWindowTest, FailedStoreIsReportedAndTheWindowStillCloses) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  start();
  s()->AddProgram(QStringLiteral("/a/one"));
  ASSERT_TRUE(QFile::setPermissions(settingsFolder.configFile(), QFile::ReadOwner));
  s()->open();
  s()->btnOK->click();
  EXPECT_FALSE(s()->isVisible());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].first, BoxKind::GeneralError);
  EXPECT_EQ(messages[0].second, QStringLiteral("Failed to set data for 'Programs'"));
}

// Icons come from the desktop entry that starts the program; a script
// without one gets the default icon, and removing an entry keeps the
// others' icons with them.
TEST_F(SettingsWindowTest, IconsStayWithTheirPrograms) {
  ScratchDir data;
  QDir(data.path()).mkpath(QStringLiteral("applications"));
  QImage red(32, 32, QImage::Format_ARGB32);
  red.fill(Qt::red);
  const QString iconFile = data.file(QStringLiteral("viewer-icon.png"));
  ASSERT_TRUE(red.save(iconFile));
  writeFile(data.file(QStringLiteral("applications/viewer.desktop")),
            QStringLiteral("[Desktop Entry]\nType=Application\nName=Viewer\n"
                           "Exec=\"/opt/my apps/viewer\" %f\nIcon=%1\n")
                .arg(iconFile)
                .toUtf8());
  const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", data.path().toUtf8());
  start();
  s()->AddProgram(QStringLiteral("/home/me/convert.sh"));
  s()->AddProgram(QStringLiteral("/opt/my apps/viewer"));
  qputenv("XDG_DATA_HOME", oldDataHome);

  ASSERT_EQ(s()->imlIcons.size(), 2);
  const QImage defaultIcon = programListIcon(QStringLiteral("/nowhere/none")).toImage();
  EXPECT_EQ(s()->imlIcons[0].toImage(), defaultIcon);
  EXPECT_EQ(s()->imlIcons[1].toImage().pixelColor(16, 16), QColor(Qt::red));

  s()->cmbProgramList->setCurrentIndex(0); // convert.sh
  s()->btnDeleteItem->click();
  ASSERT_EQ(s()->imlIcons.size(), 1);
  EXPECT_EQ(s()->imlIcons[0].toImage().pixelColor(16, 16), QColor(Qt::red));
  EXPECT_EQ(picker(), QStringList({"viewer:0"}));
}

TEST_F(SettingsWindowTest, PickerDrawsItsIconsOverTheWindowColour) {
  start();
  QImage blue(32, 32, QImage::Format_ARGB32);
  blue.fill(Qt::transparent);
  s()->AddProgram(QStringLiteral("/a/one"));
  s()->imlIcons[0] = QPixmap::fromImage(blue);
  ProgramPicker *picker = s()->cmbProgramList;
  picker->setCurrentIndex(0);
  QImage face(picker->size(), QImage::Format_ARGB32);
  {
    QPainter painter(&face);
    picker->paintItem(painter, QRect(0, 0, picker->width(), 20), 0, true, false);
  }
  // The transparent icon shows the window's colour, not the highlight.
  EXPECT_EQ(face.pixelColor(10, 10), s()->palette().window().color());
  EXPECT_EQ(face.pixelColor(40, 1), picker->palette().highlight().color());

  picker->showPopup();
  const QAbstractItemView *list = picker->view();
  EXPECT_EQ(list->visualRect(list->model()->index(0, 0)).height(), ProgramPicker::kItemHeight);
  picker->hidePopup();
}

} // namespace
