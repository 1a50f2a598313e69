#include "data/SlicedSource.h"

#include "data/DataError.h"

#include <algorithm>
#include <cstring>

namespace quillon::data {

SlicedSource::SlicedSource(qint64 size, bool textual, Fetch fetch)
    : size_(size), textual_(textual), fetch_(std::move(fetch)),
      sliceLength_(textual ? kFirstCharacterSlice : kFirstByteSlice) {}

qint64 SlicedSource::read(char *buffer, qint64 max) {
  qint64 done = 0;
  while (done < max && delivered_ < size_) {
    if (offset_ == chunk_.size())
      refill();
    const qint64 n = std::min({max - done, qint64(chunk_.size()) - offset_, size_ - delivered_});
    std::memcpy(buffer + done, chunk_.constData() + offset_, size_t(n));
    offset_ += n;
    done += n;
    delivered_ += n;
  }
  return done;
}

void SlicedSource::refill() {
  const qint64 length = sliceLength_;
  // The old slice goes first: a driver holds the new one more than once
  // while it fetches it.
  chunk_ = QByteArray();
  chunk_ = fetch_(asked_ + 1, length);
  offset_ = 0;
  asked_ += length;
  sliceLength_ = std::min(2 * length, textual_ ? kCharacterSlice : kByteSlice);
  if (chunk_.isEmpty())
    throw DataError(QStringLiteral("The value ended after %1 of its %2 bytes: it changed while it "
                                   "was read")
                        .arg(delivered_)
                        .arg(size_));
  if (delivered_ + chunk_.size() > size_)
    throw DataError(
        QStringLiteral("The value grew beyond its %1 bytes while it was read").arg(size_));
}

} // namespace quillon::data
