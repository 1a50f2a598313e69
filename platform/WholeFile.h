#pragma once

#include <QString>
#include <QtGlobal>

namespace quillon::platform {

// A new file that appears under its name only once it is whole: it is
// written under a hidden temporary name in the same folder and renamed at
// commit; destroyed before that, it leaves nothing behind. Nothing is
// flushed to the disk file by file (see syncFileSystem), so that writing
// thousands of files does not wait on the disk for each.
class WholeFile {
public:
  explicit WholeFile(QString path) : path_(std::move(path)) {}
  ~WholeFile();
  WholeFile(const WholeFile &) = delete;
  WholeFile &operator=(const WholeFile &) = delete;

  // Each false with errorString() set.
  bool open();
  bool write(const char *bytes, qint64 count);
  // Renames the file into place. Without `replace`, a file of that name,
  // even one another program made meanwhile, is never replaced: the commit
  // fails and nameTaken() says why.
  bool commit(bool replace);

  bool nameTaken() const { return nameTaken_; }
  QString errorString() const { return error_; }

private:
  void discard();

  QString path_;
  QString temporary_;
  int fd_ = -1;
  bool nameTaken_ = false;
  QString error_;
};

// Flushes what was written to the file system that holds `folder`; false
// with `error` set when it cannot.
bool syncFileSystem(const QString &folder, QString *error);

} // namespace quillon::platform
