#include "platform/ShellRequest.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QUrl>

namespace quillon::platform {

namespace {

std::function<bool(const ShellRequest &)> &shellOverride() {
  static std::function<bool(const ShellRequest &)> instance;
  return instance;
}

QHash<QString, std::function<bool(const QString &)>> &documentHandlers() {
  static QHash<QString, std::function<bool(const QString &)>> instance;
  return instance;
}

bool isAddress(const QString &file) {
  const QUrl url(file);
  return url.isValid() && url.scheme().size() > 1 && !QFileInfo(file).exists();
}

// "iexplore" with an address stands for the desktop's browser.
bool isBrowserName(const QString &file) {
  return QFileInfo(file).completeBaseName().compare(QLatin1String("iexplore"),
                                                    Qt::CaseInsensitive) == 0;
}

bool openDocument(const QString &file) {
  const QFileInfo info(QDir::current(), file);
  if (!info.exists())
    return false;
  const auto handler = documentHandlers().constFind(info.suffix().toLower());
  if (handler != documentHandlers().constEnd())
    return (*handler)(info.absoluteFilePath());
  return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

} // namespace

bool shellExecute(const ShellRequest &request) {
  if (shellOverride())
    return shellOverride()(request);
  if (isBrowserName(request.file) && !request.parameters.isEmpty())
    return QDesktopServices::openUrl(QUrl(request.parameters));
  if (request.parameters.isEmpty()) {
    if (isAddress(request.file))
      return QDesktopServices::openUrl(QUrl(request.file));
    const QFileInfo info(QDir::current(), request.file);
    if (!info.isExecutable() || info.isDir())
      return openDocument(request.file);
  }
  // A program: its parameters as one argument, as the shell passes a
  // single parameter string; the current directory is its working folder.
  QStringList arguments;
  if (!request.parameters.isEmpty())
    arguments << request.parameters;
  return QProcess::startDetached(request.file, arguments, QDir::currentPath());
}

void setDocumentHandler(const QString &suffix, std::function<bool(const QString &)> handler) {
  if (handler)
    documentHandlers().insert(suffix.toLower(), std::move(handler));
  else
    documentHandlers().remove(suffix.toLower());
}

void setShellOverride(std::function<bool(const ShellRequest &)> override) {
  shellOverride() = std::move(override);
}

} // namespace quillon::platform
