#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace quillon::data {

// A sequential reader over a value of known size, read in chunks so that a
// large value never has to be held in memory whole.
class ByteSource {
public:
  virtual ~ByteSource() = default;
  virtual qint64 size() const = 0;
  // Reads up to `max` bytes into `buffer`; returns the count read, 0 at the
  // end. Throws DataError when the underlying read fails.
  virtual qint64 read(char *buffer, qint64 max) = 0;
  // Where the value is in memory already and none of it has been read,
  // gives it whole without a copy and leaves the source at its end.
  virtual bool takeWhole(QByteArray * /*bytes*/) { return false; }
};

// A source over bytes held in memory.
class MemoryByteSource : public ByteSource {
public:
  explicit MemoryByteSource(QByteArray bytes) : bytes_(std::move(bytes)) {}
  qint64 size() const override { return bytes_.size(); }
  qint64 read(char *buffer, qint64 max) override {
    const qint64 n = qMin(max, qint64(bytes_.size()) - position_);
    if (n > 0) {
      std::copy_n(bytes_.constData() + position_, n, buffer);
      position_ += n;
    }
    return qMax<qint64>(n, 0);
  }
  bool takeWhole(QByteArray *bytes) override {
    if (position_ != 0)
      return false;
    *bytes = bytes_;
    position_ = bytes_.size();
    return true;
  }

private:
  QByteArray bytes_;
  qint64 position_ = 0;
};

// Takes a value's bytes a chunk at a time; it may throw to stop.
using ChunkSink = std::function<void(const char *bytes, qint64 count)>;

// Told after every chunk how many of a transfer's bytes have moved; it may
// throw (TransferCancelled) to stop the transfer.
using TransferObserver = std::function<void(qint64 done, qint64 total)>;

// What watches and runs the large values that move between files and the
// database. Each part may be empty.
struct TransferHooks {
  // Sees the bytes as the engine takes or gives them.
  TransferObserver observer;
  // Runs the long part of a transfer (the write of a row, the copy to a
  // file); the work is run at once without one. A runner on another thread
  // must rethrow what the work threw.
  std::function<void(const std::function<void()> &work)> run;
  // Told just before the transfer's write becomes final (a commit, a file
  // renamed into place), from where it runs; it may throw TransferCancelled
  // to undo it instead.
  std::function<void()> committing;
};

// A source that reports its reads to an observer.
class ObservedSource : public ByteSource {
public:
  ObservedSource(std::unique_ptr<ByteSource> source, TransferObserver observer)
      : source_(std::move(source)), observer_(std::move(observer)) {}
  qint64 size() const override { return source_->size(); }
  qint64 read(char *buffer, qint64 max) override {
    const qint64 n = source_->read(buffer, max);
    done_ += qMax<qint64>(n, 0);
    observer_(done_, source_->size());
    return n;
  }

private:
  std::unique_ptr<ByteSource> source_;
  TransferObserver observer_;
  qint64 done_ = 0;
};

// Wraps `source` so that `observer` sees its reads; no wrapper without one.
inline std::unique_ptr<ByteSource> observed(std::unique_ptr<ByteSource> source,
                                            const TransferObserver &observer) {
  if (!observer)
    return source;
  return std::make_unique<ObservedSource>(std::move(source), observer);
}

// Reads exactly `count` bytes into `buffer`; throws DataError when the value
// ends sooner.
void readExactly(ByteSource &source, char *buffer, qint64 count);
// Reads a whole source into memory.
QByteArray readAll(ByteSource &source);
// The chunk size used when moving large values.
constexpr qint64 kTransferChunk = 1 << 20;

// Reads the first `wanted` bytes of a source (all of a shorter one) one
// chunk a call, for a caller that must return to its own work in between.
class ChunkedRead {
public:
  ChunkedRead(std::unique_ptr<ByteSource> source, qint64 wanted);
  // Reads the next chunk of at most `most` bytes; true once all wanted
  // bytes are held. Throws DataError when the value ends sooner.
  bool readNextChunk(qint64 most = kTransferChunk);
  qint64 sourceSize() const { return sourceSize_; }
  qint64 wanted() const { return wanted_; }
  // The bytes read so far.
  QByteArray held() const { return bytes_.left(held_); }
  // The bytes read, for a caller done reading.
  QByteArray takeBytes();

private:
  std::unique_ptr<ByteSource> source_;
  qint64 sourceSize_;
  qint64 wanted_;
  QByteArray bytes_;
  qint64 held_ = 0;
};

// Hands the whole source to `write` chunk by chunk, so that only one chunk
// is held in memory; throws DataError when the value ends early. `write`
// throws to stop the copy.
void copyInChunks(ByteSource &source, const std::function<void(const char *, qint64)> &write);
// The same for the next `count` bytes of a source already partly read.
void copyInChunks(ByteSource &source, qint64 count,
                  const std::function<void(const char *, qint64)> &write);

} // namespace quillon::data
