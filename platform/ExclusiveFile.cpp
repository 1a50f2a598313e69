#include "ExclusiveFile.h"

#include "platform/PosixIo.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

ExclusiveFile::~ExclusiveFile() {
  close();
}

ExclusiveFile::ExclusiveFile(ExclusiveFile &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), sizeWhenOpened_(std::exchange(other.sizeWhenOpened_, -1)),
      path_(std::move(other.path_)), error_(std::move(other.error_)) {}

ExclusiveFile &ExclusiveFile::operator=(ExclusiveFile &&other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    sizeWhenOpened_ = std::exchange(other.sizeWhenOpened_, -1);
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool ExclusiveFile::open(const QString &path, Mode mode) {
  close();
  path_ = path;
  const QByteArray name = QFile::encodeName(path);
  // Non-blocking, so that a FIFO or a device does not wait for a peer: it
  // is refused below as not a regular file.
  const int flags = (mode == Mode::Read ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
  const int fd = ::open(name.constData(), flags);
  if (fd < 0) {
    error_ = systemError(path, errno);
    return false;
  }
  return lockOpened(fd);
}

bool ExclusiveFile::create(const QString &path) {
  close();
  path_ = path;
  const QByteArray name = QFile::encodeName(path);
  // Not truncated on open: a file another program holds must stay whole.
  const int fd =
      ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    error_ = errno == ELOOP ? QStringLiteral("%1: is a symbolic link").arg(path)
                            : systemError(path, errno);
    return false;
  }
  if (!lockOpened(fd))
    return false;
  if (::ftruncate(fd_, 0) != 0) {
    error_ = systemError(path, errno);
    close();
    return false;
  }
  sizeWhenOpened_ = 0;
  return true;
}

bool ExclusiveFile::lockOpened(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error_ = QStringLiteral("%1: not a regular file").arg(path_);
    ::close(fd);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = QStringLiteral("%1: the file is in use by another program").arg(path_);
    ::close(fd);
    return false;
  }
  // A regular file: reads and writes may block as usual. No other status
  // flag was asked for, so clearing them all clears O_NONBLOCK.
  ::fcntl(fd, F_SETFL, 0);
  fd_ = fd;
  sizeWhenOpened_ = info.st_size;
  error_.clear();
  return true;
}

void ExclusiveFile::close() {
  if (fd_ >= 0) {
    ::close(fd_); // releases the lock: the descriptor is never shared
    fd_ = -1;
    sizeWhenOpened_ = -1;
  }
}

qint64 ExclusiveFile::size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0)
    return -1;
  return info.st_size;
}

qint64 ExclusiveFile::readAt(qint64 position, char *buffer, qint64 max) const {
  for (;;) {
    const ssize_t n = ::pread(fd_, buffer, size_t(max), off_t(position));
    if (n >= 0)
      return n;
    if (errno != EINTR)
      return -1;
  }
}

bool ExclusiveFile::write(const char *buffer, qint64 count) {
  if (const int error = writeAll(fd_, buffer, count)) {
    error_ = systemError(path_, error);
    return false;
  }
  return true;
}

bool ExclusiveFile::sync() {
  if (::fsync(fd_) == 0)
    return true;
  error_ = systemError(path_, errno);
  return false;
}

SaveTarget saveTargetFor(const QString &path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat info {};
  if (::stat(name.constData(), &info) != 0)
    return {};
  if (!S_ISREG(info.st_mode))
    return {QStringLiteral("%1: not a regular file").arg(path), false};
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  // A new file renamed over this one would split a file of several names,
  // and cannot be made where the folder may not be written.
  const bool inPlace = info.st_nlink > 1 || ::access(folder.constData(), W_OK | X_OK) != 0;
  return {QString(), inPlace};
}

bool isHeldByAnotherProgram(const QString &path) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

} // namespace quillon::platform
