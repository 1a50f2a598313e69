#include "settings/PlacementStorage.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsError.h"

#include "settings/SettingsFolder.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace quillon::settings;
using quillon::test::SettingsFolder;

namespace {

const QSize smallScreen(1024, 768);
const QSize wideScreen(1920, 1080);

// A window as it stands before its first restore: the design place.
WindowPlacement designPlacement() {
  WindowPlacement placement;
  placement.normalFrame = {192, 114, 192 + 640, 114 + 480};
  return placement;
}

WindowPlacement maximisedPlacement() {
  WindowPlacement placement;
  placement.flags = RestoreToMaximized;
  placement.showCommand = ShowMaximized;
  placement.minimizedPosition = QPoint(-1, -1);
  placement.maximizedPosition = QPoint(-4, -4);
  placement.normalFrame = {100, 200, 500, 600};
  return placement;
}

PlacementRestore restoreFrom(const QString &windowKey, QSize screen, int pixelsPerInch = 96) {
  RegistryStore store;
  return readPlacementToRestore(store, windowKey, designPlacement(), screen, pixelsPerInch);
}

TEST(PlacementStore, FirstCloseWritesAllNineValuesAndTheyRestore) {
  SettingsFolder folder;
  PlacementRestore first = restoreFrom(mainWindowPlacementKey, smallScreen);
  EXPECT_EQ(first.position, std::nullopt);
  EXPECT_EQ(first.state, WindowShowState::Normal);
  EXPECT_EQ(first.error, std::nullopt);

  {
    RegistryStore store;
    writePlacement(store, mainWindowPlacementKey, maximisedPlacement(), smallScreen);
  }
  QSettings written(folder.configFile(), QSettings::IniFormat);
  written.beginGroup(mainWindowPlacementKey);
  EXPECT_EQ(written.childKeys().size(), 9);
  EXPECT_EQ(written.value(QStringLiteral("NormPos(1024x768)")), QStringLiteral("100,200,500,600"));

  const PlacementRestore again = restoreFrom(mainWindowPlacementKey, smallScreen);
  ASSERT_TRUE(again.position.has_value());
  EXPECT_EQ(again.position->normalFrame, maximisedPlacement().normalFrame);
  EXPECT_EQ(again.position->flags, RestoreToMaximized);
  EXPECT_EQ(again.state, WindowShowState::Maximized);
  // The viewer's subkey is its own.
  EXPECT_EQ(restoreFrom(viewerPlacementKey, smallScreen).position, std::nullopt);
}

TEST(PlacementStore, NewScreenSizeAddsItsValuesBesideTheOld) {
  SettingsFolder folder;
  WindowPlacement onWide = maximisedPlacement();
  onWide.normalFrame = {300, 300, 1500, 900};
  {
    RegistryStore store;
    writePlacement(store, viewerPlacementKey, maximisedPlacement(), smallScreen);
    writePlacement(store, viewerPlacementKey, onWide, wideScreen);
  }
  EXPECT_EQ(restoreFrom(viewerPlacementKey, smallScreen).position.value().normalFrame,
            maximisedPlacement().normalFrame);
  EXPECT_EQ(restoreFrom(viewerPlacementKey, wideScreen).position.value().normalFrame,
            onWide.normalFrame);
  // A screen never saved on takes the last save's plain values.
  EXPECT_EQ(restoreFrom(viewerPlacementKey, QSize(800, 600)).position.value().normalFrame,
            onWide.normalFrame);
}

TEST(PlacementStore, HandEditedValuesReadLenientlyUnlessNotStrings) {
  SettingsFolder folder;
  // Quoted, the text is one string whatever its separators; unquoted, the
  // file format makes a list of it.
  folder.writeConfig("[TfrmMainForm]\nNormPos=\"100, 200,  500  600\"\nShowCmd=3\n"
                     "[TfrmOwnWindow]\nNormPos=100, 200,  500  600\n");
  const PlacementRestore main = restoreFrom(mainWindowPlacementKey, smallScreen);
  ASSERT_TRUE(main.position.has_value());
  EXPECT_EQ(main.position->normalFrame, (FrameRect{100, 200, 500, 600}));
  EXPECT_EQ(main.state, WindowShowState::Maximized);

  const PlacementRestore viewer = restoreFrom(viewerPlacementKey, smallScreen);
  EXPECT_EQ(viewer.position, std::nullopt);
  EXPECT_EQ(viewer.state, std::nullopt);
  EXPECT_EQ(viewer.error, QStringLiteral("Invalid data type for 'NormPos'"));
}

TEST(PlacementStore, ReadOnlyStoreCannotTakeTheSubkey) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  SettingsFolder folder;
  folder.writeConfig("[General]\nProgramIndex=0\n");
  ASSERT_TRUE(QFile::setPermissions(folder.configFile(), QFile::ReadOwner));
  RegistryStore store;
  try {
    writePlacement(store, mainWindowPlacementKey, maximisedPlacement(), smallScreen);
    ADD_FAILURE() << "the save went through";
  } catch (const SettingsError &error) {
    EXPECT_EQ(error.message(), QStringLiteral("Failed to create key TfrmMainForm"));
  }
}

} // namespace
