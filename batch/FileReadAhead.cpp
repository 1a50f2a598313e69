#include "batch/FileReadAhead.h"

#include "data/DataError.h"

namespace quillon::batch {

namespace {

// Each file read ahead holds a descriptor open, empty ones too.
constexpr qsizetype kFilesPerThread = 16;

} // namespace

FileReadAhead::FileReadAhead(QStringList paths, int threads)
    : paths_(std::move(paths)), budget_(threads * data::kTransferChunk),
      filesAhead_(threads * kFilesPerThread) {
  for (int i = 0; i < threads; ++i)
    threads_.emplace_back([this] { work(); });
}

FileReadAhead::~FileReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  room_.notify_all();
  for (std::thread &thread : threads_)
    thread.join();
}

FileReadAhead::Opened FileReadAhead::next() {
  if (threads_.empty())
    return open(paths_.at(handed_++));
  std::unique_lock lock(mutex_);
  waiting_ = true;
  readied_.wait(lock, [&] { return ready_.contains(handed_); });
  waiting_ = false;
  const auto found = ready_.find(handed_);
  Opened opened = std::move(found->second);
  ready_.erase(found);
  ++handed_;
  readyBytes_ -= opened.bytes.size();
  // Waking the readers only once half the budget is free lets them read a
  // run of files per wake rather than one.
  const bool wake = readyBytes_ <= budget_ / 2 && claimed_ - handed_ <= filesAhead_ / 2;
  lock.unlock();
  if (wake)
    room_.notify_all();
  return opened;
}

FileReadAhead::Opened FileReadAhead::open(const QString &path) {
  Opened opened;
  try {
    opened.value = data::FileValue::open(path);
    if (opened.value->size() <= data::kTransferChunk) {
      opened.bytes = data::readAll(*opened.value->reader());
      opened.whole = true;
    }
  } catch (const data::DataError &error) {
    opened.value.reset();
    opened.error = error.message();
  }
  return opened;
}

void FileReadAhead::work() {
  for (;;) {
    qsizetype index = 0;
    {
      std::unique_lock lock(mutex_);
      room_.wait(lock,
                 [&] { return stopping_ || (claimed_ < paths_.size() && readyBytes_ < budget_); });
      if (stopping_)
        return;
      index = claimed_++;
    }
    Opened opened = open(paths_.at(index));
    std::unique_lock lock(mutex_);
    readyBytes_ += opened.bytes.size();
    ready_.emplace(index, std::move(opened));
    const bool wake = waiting_ && index == handed_;
    lock.unlock();
    if (wake)
      readied_.notify_one();
  }
}

} // namespace quillon::batch
