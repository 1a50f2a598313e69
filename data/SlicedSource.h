#pragma once

#include "data/ByteSource.h"

#include <QByteArray>

#include <functional>

namespace quillon::data {

// Slices of large values read at a time: bytes of binary values,
// characters of text (of at most four bytes each). The first slice is
// small and each next one twice as long up to the largest, so that a
// reader wanting only the first part of a value (the viewer) fetches
// little, and one wanting all of it soon fetches in large slices.
inline constexpr qint64 kByteSlice = 8 << 20;
inline constexpr qint64 kCharacterSlice = 2 << 20;
inline constexpr qint64 kFirstByteSlice = 256 << 10;
inline constexpr qint64 kFirstCharacterSlice = 64 << 10;

// A large value of a known size read from its row in slices, so that no
// driver holds more than one of them. `fetch` gives the slice at a 1-based
// start (bytes for binary values, characters for text) of a length; an
// empty one past the end. Every slice is held against the size the engine
// reported: a value that changed while it was read is an error, never a
// shorter or longer copy.
class SlicedSource : public ByteSource {
public:
  using Fetch = std::function<QByteArray(qint64 start, qint64 length)>;
  SlicedSource(qint64 size, bool textual, Fetch fetch);

  qint64 size() const override { return size_; }
  qint64 read(char *buffer, qint64 max) override;

private:
  void refill();

  qint64 size_;
  bool textual_;
  Fetch fetch_;
  qint64 asked_ = 0; // bytes or characters already fetched
  qint64 sliceLength_;
  QByteArray chunk_;
  qint64 offset_ = 0;
  qint64 delivered_ = 0;
};

} // namespace quillon::data
