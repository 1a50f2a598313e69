#pragma once

// Small helpers over the POSIX calls the platform's file classes make.

#include <QString>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace quillon::platform {

// "path: the system's text for `error`".
inline QString systemError(const QString &path, int error) {
  return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Writes all `count` bytes, again after interruptions; 0, or the error
// (ENOSPC when the device takes nothing more).
inline int writeAll(int fd, const char *bytes, qint64 count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, bytes, size_t(count));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n < 0 ? errno : ENOSPC;
    bytes += n;
    count -= n;
  }
  return 0;
}

} // namespace quillon::platform
