#pragma once

#include <QByteArray>
#include <QString>

namespace quillon::batch {

// How many of a value's first bytes extensionFor looks at.
constexpr qsizetype kTypeProbeBytes = 64 * 1024;

// The usual extension of a value, told by its first bytes (at most
// kTypeProbeBytes of them): the viewer's pictures (jpg, gif, bmp, wmf, ico),
// png, pdf, rtf; a zip archive as docx, xlsx or pptx when its parts are an
// Office document's, else zip; text (UTF-8, or an 8-bit code page, without
// control characters) as txt; anything else as bin.
QString extensionFor(const QByteArray &firstBytes);

} // namespace quillon::batch
