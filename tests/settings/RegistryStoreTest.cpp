#include "settings/RegistryStore.h"
#include "settings/SettingsError.h"

#include "settings/SettingsFolder.h"
#include "support/QtPrinters.h"

#include <QFileInfo>

#include <functional>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace quillon::settings;
using quillon::test::SettingsFolder;

namespace {

QString failureOf(const std::function<void()> &action) {
  try {
    action();
  } catch (const SettingsError &error) {
    return error.message();
  }
  return QStringLiteral("(no failure)");
}

TEST(RegistryStore, OpeningCreatesTheProgramKeyUnderTheConfigFolder) {
  SettingsFolder folder;
  ASSERT_FALSE(QFileInfo::exists(folder.configFile()));
  RegistryStore store;
  EXPECT_EQ(store.location(), folder.configFile());
  EXPECT_TRUE(QFileInfo(folder.configFile()).isFile());
  EXPECT_EQ(store.programKey().readString(QStringLiteral("Programs")), std::nullopt);
  EXPECT_EQ(store.subkey(QStringLiteral("TfrmMainForm")).readString(QStringLiteral("Flags")),
            std::nullopt);
}

TEST(RegistryStore, StringsComeBackExactlyFromKeyAndSubkeys) {
  SettingsFolder folder;
  const QString texts[] = {QString(),
                           QStringLiteral("/usr/bin/gimp\r\n/opt/Мой редактор/bin/edit\r\n"),
                           QStringLiteral("100, 200,  500  600"),
                           QStringLiteral("@ByteArray(not really)"), QStringLiteral(" -8;=[x] ")};
  {
    RegistryStore store;
    RegistryKey main = store.createSubkey(QStringLiteral("TfrmMainForm"));
    for (int i = 0; i < int(std::size(texts)); ++i) {
      store.programKey().writeString(QStringLiteral("Value%1").arg(i), texts[i]);
      main.writeString(QStringLiteral("Value%1").arg(i), texts[i] + u'!');
    }
  }
  // A fresh store reads what the first one left in the file.
  RegistryStore store;
  for (int i = 0; i < int(std::size(texts)); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(store.programKey().readString(QStringLiteral("Value%1").arg(i)), texts[i]);
    EXPECT_EQ(
        store.subkey(QStringLiteral("TfrmMainForm")).readString(QStringLiteral("Value%1").arg(i)),
        texts[i] + u'!');
  }
  EXPECT_TRUE(folder.readConfig().contains("[TfrmMainForm]"));
}

TEST(RegistryStore, ValuesOfAnotherTypeAreRefusedByName) {
  SettingsFolder folder;
  folder.writeConfig("[General]\n"
                     "Programs=@ByteArray(/usr/bin/gimp)\n"
                     "ProgramIndex=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n"
                     "Listed=/usr/bin/a, /usr/bin/b\n"
                     "Nothing=@Invalid()\n"
                     "Plain=kept\n"
                     "[TfrmOwnWindow]\n"
                     "NormPos=@Rect(1 2 3 4)\n");
  RegistryStore store;
  const RegistryKey key = store.programKey();
  for (const char *name : {"Programs", "ProgramIndex", "Listed", "Nothing"}) {
    EXPECT_EQ(failureOf([&] { key.readString(QString::fromLatin1(name)); }),
              QStringLiteral("Invalid data type for '%1'").arg(QString::fromLatin1(name)));
  }
  EXPECT_EQ(failureOf([&] {
              store.subkey(QStringLiteral("TfrmOwnWindow")).readString(QStringLiteral("NormPos"));
            }),
            QStringLiteral("Invalid data type for 'NormPos'"));
  EXPECT_EQ(key.readString(QStringLiteral("Plain")), QStringLiteral("kept"));
}

TEST(RegistryStore, KeyThatCannotBeMadeFailsToOpen) {
  // A file where the folder must go blocks the key for every user, root too.
  SettingsFolder folder;
  QFile blocker(folder.path() + QStringLiteral("/Tarnwick"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  EXPECT_EQ(failureOf([] { RegistryStore store; }),
            QStringLiteral("Failed to create key Software\\Tarnwick\\Quillon"));
}

// Files of this process cannot grow beyond `bytes` while it lives: a write
// that fails for every user, root too.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }

private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST(RegistryStore, FailedWriteReportsTheValueAndKeepsTheStoredOne) {
  SettingsFolder folder;
  folder.writeConfig("[General]\nPrograms=/usr/bin/gimp\\r\\n\n");
  const QString longPath = QStringLiteral("/opt/") + QString(300, u'x');
  {
    RegistryStore store;
    QString failure;
    {
      FileSizeLimit limit(64);
      failure =
          failureOf([&] { store.programKey().writeString(QStringLiteral("Programs"), longPath); });
    }
    EXPECT_EQ(failure, QStringLiteral("Failed to set data for 'Programs'"));
    EXPECT_EQ(store.programKey().readString(QStringLiteral("Programs")),
              QStringLiteral("/usr/bin/gimp\r\n"));
  }
  RegistryStore store;
  EXPECT_EQ(store.programKey().readString(QStringLiteral("Programs")),
            QStringLiteral("/usr/bin/gimp\r\n"));
}

TEST(RegistryStore, ReadOnlyStoreRefusesWrites) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  SettingsFolder folder;
  folder.writeConfig("[General]\nPrograms=/usr/bin/gimp\\r\\n\n");
  ASSERT_TRUE(QFile::setPermissions(folder.configFile(), QFile::ReadOwner));
  RegistryStore store;
  EXPECT_EQ(failureOf([&] {
              store.programKey().writeString(QStringLiteral("Programs"), QStringLiteral("x"));
            }),
            QStringLiteral("Failed to set data for 'Programs'"));
  EXPECT_EQ(store.programKey().readString(QStringLiteral("Programs")),
            QStringLiteral("/usr/bin/gimp\r\n"));
}

} // namespace
