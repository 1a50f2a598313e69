#pragma once

#include <QString>

namespace quillon::platform {

// A file opened for this process alone: open(2) plus a non-blocking
// exclusive flock, so a file another program holds counts as unavailable.
class ExclusiveFile {
public:
  enum class Mode { Read, ReadWrite };

  ExclusiveFile() = default;
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile &) = delete;
  ExclusiveFile &operator=(const ExclusiveFile &) = delete;
  ExclusiveFile(ExclusiveFile &&other) noexcept;
  ExclusiveFile &operator=(ExclusiveFile &&other) noexcept;

  // Opens an existing file; false with errorString() set when it is missing,
  // unreadable or held by another program.
  bool open(const QString &path, Mode mode = Mode::Read);
  // Creates the file, or empties an existing one once it is locked, for
  // reading and writing. A symbolic link at the path is refused rather than
  // followed, as is anything but a regular file.
  bool create(const QString &path);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  QString errorString() const { return error_; }
  QString path() const { return path_; }

  qint64 size() const;
  // The size when it was opened, without asking the file system again.
  qint64 sizeWhenOpened() const { return sizeWhenOpened_; }
  // Reads at an absolute position, so several readers can share the file.
  // Returns the count read, 0 at the end, -1 on failure.
  qint64 readAt(qint64 position, char *buffer, qint64 max) const;
  // Appends all `count` bytes at the current position; false with
  // errorString() set when they could not all be written.
  bool write(const char *buffer, qint64 count);
  // Flushes what was written to the disk; false with errorString() set.
  bool sync();

private:
  bool lockOpened(int fd);

  int fd_ = -1;
  qint64 sizeWhenOpened_ = -1;
  QString path_;
  QString error_;
};

// How a save may replace the file at a path.
struct SaveTarget {
  // Set when the path names something that is not a regular file (a FIFO,
  // a socket, a device, a folder): nothing may be written there.
  QString refusal;
  // The file must be written where it is: it has other names (hard links),
  // or its folder may not be written, so a new file cannot be renamed over
  // it. Such a save is not atomic.
  bool inPlace = false;
};
SaveTarget saveTargetFor(const QString &path);

// Whether another program holds `path` locked; false for a missing file.
bool isHeldByAnotherProgram(const QString &path);

} // namespace quillon::platform
