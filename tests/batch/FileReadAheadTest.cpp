#include "batch/FileReadAhead.h"
#include "data/ByteSource.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace quillon;
using quillon::batch::FileReadAhead;

void writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

class FileReadAheadTest : public ::testing::TestWithParam<int> {
protected:
  // Sizes around the largest file read whole, empty ones, and enough files
  // that the readers must wait for the consumer many times.
  static std::vector<qint64> sizes() {
    std::vector<qint64> sizes{0, 1, data::kTransferChunk, data::kTransferChunk + 1, 0};
    for (int i = 0; i < 60; ++i)
      sizes.push_back(qint64(i) * 7919 % 300000);
    return sizes;
  }

  test::ScratchDir scratch_;
};

TEST_P(FileReadAheadTest, HandsOutEveryFileInOrderAndNamesOneThatVanished) {
  const std::vector<qint64> sizes = this->sizes();
  QStringList paths;
  for (size_t i = 0; i < sizes.size(); ++i) {
    paths << scratch_.file(QStringLiteral("f%1").arg(i));
    writeFile(paths.back(), test::patterned(sizes[i], quint32(i)));
  }
  // Listed, then gone before it is read.
  const qsizetype vanished = 7;
  QFile::remove(paths[vanished]);

  FileReadAhead reader(paths, GetParam());
  for (qsizetype i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(i);
    FileReadAhead::Opened file = reader.next();
    if (i == vanished) {
      EXPECT_FALSE(file.value);
      EXPECT_TRUE(file.error.contains(paths[i])) << file.error.toStdString();
      continue;
    }
    ASSERT_TRUE(file.value) << file.error.toStdString();
    EXPECT_EQ(file.value->path(), paths[i]);
    EXPECT_EQ(file.value->size(), sizes[size_t(i)]);
    const QByteArray expected = test::patterned(sizes[size_t(i)], quint32(i));
    if (sizes[size_t(i)] <= data::kTransferChunk) {
      EXPECT_TRUE(file.whole);
      EXPECT_TRUE(file.bytes == expected);
    } else {
      EXPECT_FALSE(file.whole) << "a large file is streamed, not held";
      EXPECT_TRUE(file.bytes.isEmpty());
      EXPECT_TRUE(data::readAll(*file.value->reader()) == expected);
    }
  }
}

TEST_P(FileReadAheadTest, StopsWhenLeftBeforeTheEnd) {
  QStringList paths;
  for (int i = 0; i < 200; ++i) {
    paths << scratch_.file(QStringLiteral("g%1").arg(i));
    writeFile(paths.back(), test::patterned(50000, quint32(i)));
  }
  FileReadAhead reader(paths, GetParam());
  EXPECT_TRUE(reader.next().bytes == test::patterned(50000, 0));
  EXPECT_TRUE(reader.next().bytes == test::patterned(50000, 1));
  // Leaving it joins the readers, which wait for room, without reading the
  // rest.
}

INSTANTIATE_TEST_SUITE_P(Threads, FileReadAheadTest, ::testing::Values(0, 1, 3),
                         [](const auto &param) { return "threads" + std::to_string(param.param); });

} // namespace
