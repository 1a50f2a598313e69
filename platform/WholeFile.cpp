#include "platform/WholeFile.h"

#include "platform/PosixIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillon::platform {

WholeFile::~WholeFile() {
  discard();
}

void WholeFile::discard() {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
  if (!temporary_.isEmpty())
    ::unlink(QFile::encodeName(temporary_).constData());
  temporary_.clear();
}

bool WholeFile::open() {
  const QFileInfo info(path_);
  QByteArray name =
      QFile::encodeName(info.dir().filePath(QLatin1Char('.') + info.fileName() + ".XXXXXX"));
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error_ = systemError(path_, errno);
    return false;
  }
  temporary_ = QFile::decodeName(name);
  return true;
}

bool WholeFile::write(const char *bytes, qint64 count) {
  if (const int error = writeAll(fd_, bytes, count)) {
    error_ = systemError(path_, error);
    return false;
  }
  return true;
}

bool WholeFile::commit(bool replace) {
  if (::close(std::exchange(fd_, -1)) != 0) {
    error_ = systemError(path_, errno);
    discard();
    return false;
  }
  const QByteArray from = QFile::encodeName(temporary_);
  const QByteArray to = QFile::encodeName(path_);
  const int done =
      replace ? ::rename(from.constData(), to.constData())
              : ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
  if (done != 0) {
    nameTaken_ = errno == EEXIST;
    error_ = systemError(path_, errno);
    discard();
    return false;
  }
  temporary_.clear();
  return true;
}

bool syncFileSystem(const QString &folder, QString *error) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || ::syncfs(fd) != 0) {
    *error = systemError(folder, errno);
    if (fd >= 0)
      ::close(fd);
    return false;
  }
  ::close(fd);
  return true;
}

} // namespace quillon::platform
