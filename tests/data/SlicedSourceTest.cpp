#include "data/SlicedSource.h"
#include "data/DataError.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillon::data;

namespace {

// A value in memory fetched as the drivers fetch slices: 1-based starts.
struct SliceLog {
  QByteArray value;
  std::vector<qint64> lengths;

  SlicedSource::Fetch fetch() {
    return [this](qint64 start, qint64 length) {
      lengths.push_back(length);
      return value.mid(start - 1, length);
    };
  }
};

QByteArray patterned(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qint64 i = 0; i < size; ++i)
    bytes[i] = char(i * 7 + i / 251);
  return bytes;
}

TEST(SlicedSource, FirstSliceIsSmallAndTheNextGrowToTheLargest) {
  SliceLog log{patterned(40 << 20), {}};
  SlicedSource source(log.value.size(), false, log.fetch());
  QByteArray first(1000, Qt::Uninitialized);
  ASSERT_EQ(source.read(first.data(), first.size()), 1000);
  EXPECT_EQ(log.lengths, std::vector<qint64>{kFirstByteSlice});
  QByteArray rest(log.value.size() - first.size(), Qt::Uninitialized);
  readExactly(source, rest.data(), rest.size());
  EXPECT_EQ(source.read(rest.data(), 1), 0);
  EXPECT_EQ(first + rest, log.value);
  ASSERT_GE(log.lengths.size(), 3u);
  for (size_t i = 1; i < log.lengths.size(); ++i)
    EXPECT_EQ(log.lengths[i], std::min(2 * log.lengths[i - 1], kByteSlice)) << i;
  EXPECT_EQ(log.lengths.back(), kByteSlice);
}

TEST(SlicedSource, TextSlicesCountCharacters) {
  SliceLog log{QByteArray(100, 'x'), {}};
  SlicedSource source(100, true, log.fetch());
  EXPECT_EQ(readAll(source), log.value);
  EXPECT_EQ(log.lengths, std::vector<qint64>{kFirstCharacterSlice});
}

TEST(SlicedSource, AValueThatChangedWhileReadIsAnError) {
  const QByteArray value = patterned(kFirstByteSlice * 3);
  {
    SCOPED_TRACE("shorter than its size");
    SliceLog log{value.left(kFirstByteSlice), {}};
    SlicedSource source(value.size(), false, log.fetch());
    EXPECT_THROW(readAll(source), DataError);
  }
  {
    SCOPED_TRACE("longer than its size");
    SliceLog log{value, {}};
    SlicedSource source(value.size() - 10, false, log.fetch());
    EXPECT_THROW(readAll(source), DataError);
  }
}

} // namespace
