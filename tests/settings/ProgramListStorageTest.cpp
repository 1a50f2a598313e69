#include "settings/ProgramListStorage.h"
#include "settings/RegistryStore.h"

#include "settings/SettingsFolder.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quillon::settings;
using quillon::test::SettingsFolder;

namespace {

TEST(SplitProgramPaths, BreaksAtCrLfLoneCrAndLoneLf) {
  const struct {
    const char *text;
    QStringList paths;
  } cases[] = {
      {"", {}},
      {"\r\n", {}},
      {"/usr/bin/gimp\r\n", {"/usr/bin/gimp"}},
      {"/a\r\n/b\r\n", {"/a", "/b"}},
      {"/a\r\n/b", {"/a", "/b"}},
      {"/a\n/b\r/c\r\n", {"/a", "/b", "/c"}},
      {"/a\n\r/b", {"/a", "/b"}},
      {"/a\r\r\n\n/b\r\n\r\n", {"/a", "/b"}},
      {"/opt/My Tools/edit \r\n \r\n", {"/opt/My Tools/edit ", " "}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(QString::fromLatin1(c.text).toHtmlEscaped().toStdString());
    EXPECT_EQ(splitProgramPaths(QString::fromLatin1(c.text)), c.paths);
  }
}

TEST(JoinProgramPaths, EndsEveryPathWithCrLfAndSplitsBack) {
  EXPECT_EQ(joinProgramPaths({}), QString());
  const QStringList paths = {"/usr/bin/zeta", "/usr/bin/alpha", "/opt/Редактор/mid"};
  EXPECT_EQ(joinProgramPaths(paths),
            QStringLiteral("/usr/bin/zeta\r\n/usr/bin/alpha\r\n/opt/Редактор/mid\r\n"));
  EXPECT_EQ(splitProgramPaths(joinProgramPaths(paths)), paths);
}

TEST(ParseProgramIndex, TakesDecimalPositionsElseNone) {
  const struct {
    const char *text;
    int index;
  } cases[] = {{"0", 0},           {"2", 2},
               {"+3", 3},          {"-1", -1},
               {"-5", -1},         {"", -1},
               {"abc", -1},        {"1a", -1},
               {" 1", -1},         {"1 ", -1},
               {"$1", -1},         {"0x1", -1},
               {"-", -1},          {"2147483647", 2147483647},
               {"2147483648", -1}, {"99999999999999999999", -1}};
  for (const auto &c : cases)
    EXPECT_EQ(parseProgramIndex(QString::fromLatin1(c.text)), c.index) << '"' << c.text << '"';
  EXPECT_EQ(parseProgramIndex(formatProgramIndex(-1)), -1);
  EXPECT_EQ(parseProgramIndex(formatProgramIndex(7)), 7);
}

TEST(ProgramListStore, FirstStartFindsNothingChosen) {
  SettingsFolder folder;
  RegistryStore store;
  const LoadedProgramList loaded = loadProgramList(store);
  EXPECT_EQ(loaded.programs, StoredProgramList{});
  EXPECT_EQ(loaded.error, std::nullopt);
}

TEST(ProgramListStore, SavedListLoadsBackAndEmptiedListIsStoredEmpty) {
  SettingsFolder folder;
  const StoredProgramList programs{{"/usr/bin/zeta", "/usr/bin/alpha", "/usr/bin/mid"}, 1};
  {
    RegistryStore store;
    saveProgramList(store, programs);
  }
  {
    RegistryStore store;
    EXPECT_EQ(store.programKey().readString(QStringLiteral("Programs")),
              QStringLiteral("/usr/bin/zeta\r\n/usr/bin/alpha\r\n/usr/bin/mid\r\n"));
    EXPECT_EQ(store.programKey().readString(QStringLiteral("ProgramIndex")), QStringLiteral("1"));
    EXPECT_EQ(loadProgramList(store).programs, programs);
    saveProgramList(store, StoredProgramList{});
  }
  RegistryStore store;
  EXPECT_EQ(store.programKey().readString(QStringLiteral("Programs")), QString());
  EXPECT_EQ(store.programKey().readString(QStringLiteral("ProgramIndex")), QStringLiteral("-1"));
  EXPECT_EQ(loadProgramList(store).programs, StoredProgramList{});
}

TEST(ProgramListStore, NonStringValuesAreReportedAndLeaveWhatWasRead) {
  SettingsFolder folder;
  folder.writeConfig("[General]\nPrograms=@ByteArray(/usr/bin/gimp)\nProgramIndex=0\n");
  {
    RegistryStore store;
    const LoadedProgramList loaded = loadProgramList(store);
    EXPECT_EQ(loaded.programs, StoredProgramList{});
    EXPECT_EQ(loaded.error, QStringLiteral("Invalid data type for 'Programs'"));
  }
  SettingsFolder other;
  other.writeConfig("[General]\nPrograms=\"/a\\r\\n/b\\r\\n\"\n"
                    "ProgramIndex=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n");
  RegistryStore store;
  const LoadedProgramList loaded = loadProgramList(store);
  EXPECT_EQ(loaded.programs, (StoredProgramList{{"/a", "/b"}, -1}));
  EXPECT_EQ(loaded.error, QStringLiteral("Invalid data type for 'ProgramIndex'"));
}

} // namespace
