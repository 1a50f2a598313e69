#include "settings/WindowPlacement.h"
#include "settings/SettingsError.h"

#include "support/QtPrinters.h"

#include <QHash>

#include <gtest/gtest.h>

using namespace quillon::settings;

namespace {

const QSize screen(1024, 768);
constexpr int dpi = 96;

using Values = QHash<QString, QString>;

// Stored values by name; reading `failing` fails as a value of another
// type does. Every name asked for is noted in `asked`.
struct FakeStore {
  Values values;
  QString failing;
  QStringList asked;

  StoredPlacementLookup lookup() {
    return [this](const QString &name) -> std::optional<QString> {
      asked.append(name);
      if (name == failing)
        throw SettingsError(QStringLiteral("Invalid data type for '%1'").arg(name));
      if (!values.contains(name))
        return std::nullopt;
      return values.value(name);
    };
  }
};

Values valuesOf(const QList<PlacementValue> &list) {
  Values values;
  for (const PlacementValue &value : list)
    values.insert(value.name, value.text);
  return values;
}

WindowPlacement current() {
  WindowPlacement placement;
  placement.flags = 0;
  placement.minimizedPosition = QPoint(-1, -1);
  placement.maximizedPosition = QPoint(-4, -4);
  placement.normalFrame = {192, 114, 832, 594};
  return placement;
}

PlacementRestore restore(const Values &values, QSize size = screen, int pixelsPerInch = dpi) {
  FakeStore store{values, {}, {}};
  return placementToRestore(store.lookup(), current(), size, pixelsPerInch);
}

TEST(PlacementValues, SaveWritesTheNineValuesInOrder) {
  WindowPlacement placement;
  placement.flags = RestoreToMaximized;
  placement.showCommand = ShowMaximized;
  placement.minimizedPosition = QPoint(-32000, -32000);
  placement.maximizedPosition = QPoint(-4, -4);
  placement.normalFrame = {100, 200, 500, 600};
  placement.pixelsPerInch = 120;
  const QList<PlacementValue> expected = {
      {"FormVersion", "0"},
      {"Flags", "2"},
      {"ShowCmd", "3"},
      {"PixelsPerInch", "120"},
      {"MinMaxPos(1024x768)", "-32000,-32000,-4,-4"},
      {"MinMaxPos", "-32000,-32000,-4,-4"},
      {"NormPos(1024x768)", "100,200,500,600"},
      {"NormPos", "100,200,500,600"},
      {"Visible", "0"},
  };
  EXPECT_EQ(placementValuesToWrite(placement, screen), expected);
  placement.visible = true;
  EXPECT_EQ(placementValuesToWrite(placement, QSize(1920, 1080)).last(),
            (PlacementValue{"Visible", "1"}));
  EXPECT_EQ(placementValuesToWrite(placement, QSize(1920, 1080))[4].name,
            QStringLiteral("MinMaxPos(1920x1080)"));
}

TEST(PlacementValues, WordsAreSeparatedByRunsOfCommasAndBlanks) {
  const struct {
    const char *text;
    QStringList words;
  } cases[] = {
      {"100,200,500,600", {"100", "200", "500", "600"}},
      {"100 200,  500  600", {"100", "200", "500", "600"}},
      {"100, 200,  500  600", {"100", "200", "500", "600"}},
      {" ,100 ,, 200, ", {"100", "200"}},
      {"-4,-4", {"-4", "-4"}},
      {"", {}},
      {"1\t2", {"1\t2"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(splitPlacementWords(QString::fromLatin1(c.text)), c.words) << c.text;
}

TEST(PlacementValues, ShowCommandsMapToThreeStates) {
  for (int command : {1, 5, 9, 0, 4, 8, 10, -1})
    EXPECT_EQ(showStateFor(command), WindowShowState::Normal) << command;
  for (int command : {2, 6, 7})
    EXPECT_EQ(showStateFor(command), WindowShowState::Minimized) << command;
  EXPECT_EQ(showStateFor(3), WindowShowState::Maximized);
}

TEST(PlacementRestore, SavedPlacementsComeBackInTheirState) {
  WindowPlacement normal = current();
  normal.normalFrame = {10, 20, 410, 320};
  WindowPlacement minimised = normal;
  minimised.flags = SetMinimizedPosition;
  minimised.showCommand = ShowMinimized;
  minimised.minimizedPosition = QPoint(0, 740);
  WindowPlacement maximised = normal;
  maximised.flags = RestoreToMaximized;
  maximised.showCommand = ShowMaximized;
  const struct {
    WindowPlacement saved;
    WindowShowState state;
  } cases[] = {{normal, WindowShowState::Normal},
               {minimised, WindowShowState::Minimized},
               {maximised, WindowShowState::Maximized}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.saved.showCommand);
    const PlacementRestore restored = restore(valuesOf(placementValuesToWrite(c.saved, screen)));
    ASSERT_TRUE(restored.position.has_value());
    EXPECT_EQ(restored.position->flags, c.saved.flags);
    EXPECT_EQ(restored.position->minimizedPosition, c.saved.minimizedPosition);
    EXPECT_EQ(restored.position->maximizedPosition, c.saved.maximizedPosition);
    EXPECT_EQ(restored.position->normalFrame, c.saved.normalFrame);
    EXPECT_EQ(restored.state, c.state);
    EXPECT_EQ(restored.error, std::nullopt);
  }
}

TEST(PlacementRestore, NothingStoredLeavesTheDesignPlaceInTheNormalState) {
  const PlacementRestore restored = restore({});
  EXPECT_EQ(restored.position, std::nullopt);
  EXPECT_EQ(restored.state, WindowShowState::Normal);
  // Empty texts count as not found.
  EXPECT_EQ(restore({{"NormPos(1024x768)", ""}, {"NormPos", ""}, {"MinMaxPos", ""}}).position,
            std::nullopt);
}

TEST(PlacementRestore, OnlyALaterVersionIsRefused) {
  const Values stored = {{"NormPos", "10,20,410,320"}, {"ShowCmd", "3"}};
  for (const char *version : {"0", "1", "abc", ""}) {
    Values values = stored;
    values.insert("FormVersion", QString::fromLatin1(version));
    EXPECT_TRUE(restore(values).position.has_value()) << version;
  }
  Values older = stored;
  older.insert("FormVersion", "-1");
  const PlacementRestore refused = restore(older);
  EXPECT_EQ(refused.position, std::nullopt);
  EXPECT_EQ(refused.state, std::nullopt);
}

TEST(PlacementRestore, ThisScreenSizeFirstThenTheLastSaved) {
  const Values values = {{"NormPos(1024x768)", "1,2,3,4"},
                         {"NormPos", "10,20,30,40"},
                         {"MinMaxPos(1024x768)", "5,6,7,8"},
                         {"MinMaxPos", "50,60,70,80"}};
  const PlacementRestore here = restore(values);
  EXPECT_EQ(here.position.value().normalFrame, (FrameRect{1, 2, 3, 4}));
  EXPECT_EQ(here.position.value().maximizedPosition, QPoint(7, 8));
  const PlacementRestore elsewhere = restore(values, QSize(1920, 1080));
  EXPECT_EQ(elsewhere.position.value().normalFrame, (FrameRect{10, 20, 30, 40}));
  EXPECT_EQ(elsewhere.position.value().minimizedPosition, QPoint(50, 60));
  Values emptyHere = values;
  emptyHere["NormPos(1024x768)"] = "";
  EXPECT_EQ(restore(emptyHere).position.value().normalFrame, (FrameRect{10, 20, 30, 40}));
}

TEST(PlacementRestore, PositionNeedsTheSamePixelsPerInchAndAWidth) {
  const Values values = {{"NormPos", "100,200,500,600"}, {"ShowCmd", "3"}};
  Values otherDpi = values;
  otherDpi.insert("PixelsPerInch", "120");
  const PlacementRestore moved = restore(otherDpi);
  EXPECT_EQ(moved.position, std::nullopt);
  EXPECT_EQ(moved.state, WindowShowState::Maximized);
  EXPECT_TRUE(restore(otherDpi, screen, 120).position.has_value());
  for (const char *pixelsPerInch : {"96", "abc", ""}) {
    Values same = values;
    same.insert("PixelsPerInch", QString::fromLatin1(pixelsPerInch));
    EXPECT_TRUE(restore(same).position.has_value()) << pixelsPerInch;
  }
  EXPECT_EQ(restore({{"NormPos", "500,200,500,600"}}).position, std::nullopt);
  EXPECT_EQ(restore({{"NormPos", "501,200,500,600"}}).position, std::nullopt);
  // A lone left takes the present right.
  EXPECT_TRUE(restore({{"NormPos", "831"}}).position.has_value());
  EXPECT_EQ(restore({{"NormPos", "832"}}).position, std::nullopt);
}

TEST(PlacementRestore, MissingAndDamagedNumbersTakeTheirDefaults) {
  const struct {
    const char *normPos;
    FrameRect frame;
  } frames[] = {
      {"100, 200,  500  600", {100, 200, 500, 600}},
      {"100,x", {100, 114, 832, 594}},
      {"1.5,2,3e2,+4", {192, 2, 832, 4}},
      {",,,", {192, 114, 832, 594}},
      {"-50,-60,400,300,999", {-50, -60, 400, 300}},
      {"99999999999,1,900,3", {192, 1, 900, 3}},
  };
  for (const auto &c : frames)
    EXPECT_EQ(restore({{"NormPos", QString::fromLatin1(c.normPos)}}).position.value().normalFrame,
              c.frame)
        << c.normPos;

  const PlacementRestore positions = restore({{"MinMaxPos", "5"}, {"Flags", "x"}});
  EXPECT_EQ(positions.position.value().minimizedPosition, QPoint(5, 0));
  EXPECT_EQ(positions.position.value().maximizedPosition, QPoint(0, 0));
  EXPECT_EQ(positions.position.value().normalFrame, current().normalFrame);
  EXPECT_EQ(positions.position.value().flags, current().flags);

  // Without a position text, flags and positions stay the window's own.
  const PlacementRestore onlyFrame = restore({{"NormPos", "1,2,3,4"}, {"Flags", "1"}});
  EXPECT_EQ(onlyFrame.position.value().flags, 1);
  EXPECT_EQ(onlyFrame.position.value().maximizedPosition, current().maximizedPosition);
  EXPECT_EQ(restore({{"ShowCmd", "two"}}).state, WindowShowState::Normal);
}

TEST(PlacementRestore, ReadsInOrderAndStopsAtAValueItCannotRead) {
  FakeStore store{{{"NormPos(1024x768)", "10,20,410,320"}}, {}, {}};
  placementToRestore(store.lookup(), current(), screen, dpi);
  // The plain position text is asked for only when this screen has none.
  EXPECT_EQ(store.asked, QStringList({"FormVersion", "Flags", "MinMaxPos(1024x768)", "MinMaxPos",
                                      "NormPos(1024x768)", "PixelsPerInch", "ShowCmd"}));

  store.asked.clear();
  store.failing = QStringLiteral("ShowCmd");
  const PlacementRestore late = placementToRestore(store.lookup(), current(), screen, dpi);
  EXPECT_EQ(late.position.value().normalFrame, (FrameRect{10, 20, 410, 320}));
  EXPECT_EQ(late.state, std::nullopt);
  EXPECT_EQ(late.error, QStringLiteral("Invalid data type for 'ShowCmd'"));

  store.failing = QStringLiteral("MinMaxPos");
  const PlacementRestore early = placementToRestore(store.lookup(), current(), screen, dpi);
  EXPECT_EQ(early.position, std::nullopt);
  EXPECT_EQ(early.state, std::nullopt);
  EXPECT_EQ(early.error, QStringLiteral("Invalid data type for 'MinMaxPos'"));

  store.failing = QStringLiteral("NormPos");
  EXPECT_EQ(placementToRestore(store.lookup(), current(), screen, dpi).error, std::nullopt);
}

} // namespace
