#include "platform/ClipboardBytes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace quillon::platform {

namespace {
const QString kPlainText = QStringLiteral("text/plain");
} // namespace

void setClipboardBytes(const QByteArray &bytes) {
  auto *data = new QMimeData;
  data->setData(kPlainText, bytes);
  QGuiApplication::clipboard()->setMimeData(data);
}

QByteArray clipboardBytes() {
  const QMimeData *data = QGuiApplication::clipboard()->mimeData();
  if (!data)
    return {};
  QByteArray bytes;
  if (data->hasFormat(kPlainText))
    bytes = data->data(kPlainText);
  else if (data->hasText())
    bytes = data->text().toUtf8();
  const qsizetype zero = bytes.indexOf('\0');
  if (zero >= 0)
    bytes.truncate(zero);
  return bytes;
}

} // namespace quillon::platform
