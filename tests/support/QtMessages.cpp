#include "support/QtMessages.h"

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdio>

namespace quillon::test {

namespace {

bool isOffscreenPlatformNotice(const QString &message) {
  return message.startsWith(QLatin1String("This plugin does not support"));
}

void handleMessage(QtMsgType type, const QMessageLogContext &, const QString &message) {
  if (type == QtDebugMsg || type == QtInfoMsg) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return;
  }
  if (isOffscreenPlatformNotice(message))
    return;
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "Qt fatal: %s\n", qPrintable(message));
    std::abort();
  }
  ADD_FAILURE() << "Qt warned: " << message.toStdString();
}

} // namespace

void failTestsOnQtWarnings() {
  qInstallMessageHandler(handleMessage);
}

} // namespace quillon::test
