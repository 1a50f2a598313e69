#pragma once

#include <QByteArray>

namespace quillon::platform {

// The clipboard as 8-bit text: the bytes go on as `text/plain`, untouched.
void setClipboardBytes(const QByteArray &bytes);

// The clipboard's text as bytes, up to the first zero byte; empty when the
// clipboard holds no text.
QByteArray clipboardBytes();

} // namespace quillon::platform
