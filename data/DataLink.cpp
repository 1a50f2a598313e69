#include "data/DataLink.h"

#include "platform/ExclusiveFile.h"

#include "platform/InstallLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace quillon::data {

namespace {

const QString kResourcePath = QStringLiteral(":/db.udl");
const QString kFileName = QStringLiteral("db.udl");
constexpr QChar kByteOrderMark(0xFEFF);
const QString kHeaderLines =
    QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n");

void appendUtf16le(QByteArray &bytes, QStringView text) {
  for (const QChar c : text) {
    bytes += char(c.unicode() & 0xFF);
    bytes += char(c.unicode() >> 8);
  }
}

// A directory entry counts as the file only when it is not a folder: a
// folder named db.udl is no data-link file and cannot be replaced by one.
bool fileExists(const QString &path) {
  const QFileInfo info(path);
  return info.exists() && !info.isDir();
}

bool writableFolder(const QString &dir) {
  const QFileInfo info(dir);
  return info.isDir() && info.isWritable();
}

} // namespace

QByteArray defaultDataLinkContent() {
  QFile resource(kResourcePath);
  if (!resource.open(QIODevice::ReadOnly))
    return {};
  return resource.readAll();
}

QString dataLinkPathIn(const QString &dir) {
  return dir + QLatin1Char('/') + kFileName;
}

QString userDataLinkDir() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Tarnwick/Quillon");
}

QString locateDataLinkFile(const QString &executableDir, const QString &configDir) {
  // An installed program's folder is never the user's, root's included.
  const bool installed = !platform::installedDataDir(executableDir).isEmpty();
  const QString besideExecutable = dataLinkPathIn(executableDir);
  if (!installed && (fileExists(besideExecutable) || writableFolder(executableDir)))
    return besideExecutable;
  const QString inConfig = dataLinkPathIn(configDir);
  if (fileExists(inConfig))
    return inConfig;
  if (QDir().mkpath(configDir) && writableFolder(configDir))
    return inConfig;
  return installed ? inConfig : besideExecutable;
}

namespace {

// Writes `content` under a temporary name beside `path` and renames it to
// `path`, so no half-written db.udl is ever left behind; QFile::rename
// never replaces an existing file, so one that appeared meanwhile is kept.
bool createWith(const QString &path, const QByteArray &content, QString *error) {
  const auto fail = [&](const QString &reason) {
    if (error)
      *error = QStringLiteral("Cannot create %1: %2").arg(path, reason);
    return false;
  };
  const QFileInfo target(path);
  if (target.exists() || target.isSymLink())
    return fail(QStringLiteral("a file of that name exists"));
  QTemporaryFile temporary(target.absolutePath() + QStringLiteral("/.db.udl.XXXXXX"));
  if (!temporary.open())
    return fail(temporary.errorString());
  if (temporary.write(content) != content.size() || !temporary.flush())
    return fail(temporary.errorString());
  temporary.close();
  QFile written(temporary.fileName());
  if (!written.rename(target.absoluteFilePath()))
    return fail(written.errorString());
  return true;
}

} // namespace

bool ensureDataLinkFile(const QString &path, QString *error) {
  if (fileExists(path))
    return true;
  const QByteArray content = defaultDataLinkContent();
  if (content.isEmpty()) {
    if (error)
      *error = QStringLiteral("Cannot create %1: the default content is missing from the program")
                   .arg(path);
    return false;
  }
  return createWith(path, content, error);
}

bool createDataLinkFile(const QString &path, const QString &initString, QString *error) {
  return createWith(path, encodeDataLinkFile(initString), error);
}

QString decodeDataLinkText(const QByteArray &bytes) {
  const qsizetype count = bytes.size() / 2;
  QString text(count, Qt::Uninitialized);
  const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
  for (qsizetype i = 0; i < count; ++i)
    text[i] = QChar(char16_t(data[2 * i] | (data[2 * i + 1] << 8)));
  return text;
}

std::optional<QString> readDataLinkText(const QString &path) {
  platform::ExclusiveFile file;
  if (!file.open(path))
    return std::nullopt;
  const qint64 size = file.size();
  if (size < 0)
    return std::nullopt;
  QByteArray bytes(size, Qt::Uninitialized);
  qint64 done = 0;
  while (done < size) {
    const qint64 n = file.readAt(done, bytes.data() + done, size - done);
    if (n < 0)
      return std::nullopt;
    if (n == 0) // shortened meanwhile: take what is there
      break;
    done += n;
  }
  bytes.truncate(done);
  return decodeDataLinkText(bytes);
}

QString GetConnectionParam(const QString &text, const QString &key) {
  if (key.isEmpty())
    return {};
  const qsizetype at = text.indexOf(key, 0, Qt::CaseSensitive);
  if (at < 0)
    return {};
  const qsizetype start = at + key.size();
  qsizetype end = start;
  while (end < text.size() && text[end] != QLatin1Char(';') && text[end] != QLatin1Char('\r'))
    ++end;
  return text.mid(start, end - start);
}

QString initStringOf(const QString &dataLinkText) {
  QStringView rest(dataLinkText);
  if (rest.startsWith(kByteOrderMark))
    rest = rest.mid(1);
  while (!rest.isEmpty()) {
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != QLatin1Char('\r') && rest[end] != QLatin1Char('\n'))
      ++end;
    const QStringView line = rest.left(end).trimmed();
    qsizetype next = end;
    if (next < rest.size() && rest[next] == QLatin1Char('\r'))
      ++next;
    if (next < rest.size() && rest[next] == QLatin1Char('\n'))
      ++next;
    rest = rest.mid(next);
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
        line.compare(QLatin1String("[oledb]"), Qt::CaseInsensitive) == 0)
      continue;
    return line.toString();
  }
  return {};
}

QByteArray encodeDataLinkFile(const QString &initString) {
  QByteArray bytes;
  bytes.reserve(2 * (1 + kHeaderLines.size() + initString.size() + 2));
  appendUtf16le(bytes, QStringView(&kByteOrderMark, 1));
  appendUtf16le(bytes, kHeaderLines);
  appendUtf16le(bytes, initString);
  appendUtf16le(bytes, u"\r\n");
  return bytes;
}

bool writeDataLinkFile(const QString &path, const QString &initString, QString *error) {
  const auto fail = [&](const QString &reason) {
    if (error)
      *error = QStringLiteral("Cannot write %1: %2").arg(path, reason);
    return false;
  };
  // A line break would end the string early for every reader of the file.
  if (initString.contains(QLatin1Char('\r')) || initString.contains(QLatin1Char('\n')))
    return fail(QStringLiteral("the initialization string must be a single line"));
  if (QFileInfo(path).isDir())
    return fail(QStringLiteral("a folder has that name"));
  const QByteArray content = encodeDataLinkFile(initString);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return fail(file.errorString());
  if (file.write(content) != content.size()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    return fail(reason);
  }
  if (!file.commit())
    return fail(file.errorString());
  return true;
}

} // namespace quillon::data
