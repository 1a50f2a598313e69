#include "platform/WholeFile.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using quillon::platform::WholeFile;
using quillon::test::ScratchDir;

namespace {

QByteArray contentOf(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void write(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QStringList entries(const ScratchDir &dir) {
  return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

TEST(WholeFileTest, AppearsOnlyWholeAndNeverOverAFileUnlessAsked) {
  ScratchDir dir;
  const QString path = dir.file("value.bin");
  {
    WholeFile file(path);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("half", 4));
    EXPECT_FALSE(QFile::exists(path)) << "the name shows before the file is whole";
  } // never committed
  EXPECT_TRUE(entries(dir).isEmpty()) << "a temporary file was left";

  {
    WholeFile file(path);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("first", 5));
    ASSERT_TRUE(file.commit(false)) << file.errorString().toStdString();
  }
  EXPECT_EQ(contentOf(path), "first");

  // A file of the name, made meanwhile by anyone, stays.
  WholeFile late(path);
  ASSERT_TRUE(late.open());
  ASSERT_TRUE(late.write("second", 6));
  write(path, "theirs");
  EXPECT_FALSE(late.commit(false));
  EXPECT_TRUE(late.nameTaken());
  EXPECT_TRUE(late.errorString().contains("value.bin"));
  EXPECT_EQ(contentOf(path), "theirs");
  EXPECT_EQ(entries(dir), QStringList{"value.bin"});

  WholeFile replacing(path);
  ASSERT_TRUE(replacing.open());
  ASSERT_TRUE(replacing.write("third", 5));
  ASSERT_TRUE(replacing.commit(true));
  EXPECT_EQ(contentOf(path), "third");
  EXPECT_EQ(entries(dir), QStringList{"value.bin"});
}

TEST(WholeFileTest, AFolderThatIsNotThereFailsWithItsName) {
  ScratchDir dir;
  WholeFile file(dir.file("missing/value.bin"));
  EXPECT_FALSE(file.open());
  EXPECT_TRUE(file.errorString().contains("missing/value.bin"));
  QString error;
  EXPECT_FALSE(quillon::platform::syncFileSystem(dir.file("missing"), &error));
  EXPECT_TRUE(error.contains("missing"));
  EXPECT_TRUE(quillon::platform::syncFileSystem(dir.path(), &error));
}

} // namespace
