#pragma once

#include <QByteArray>

namespace quillon::viewer {

// The picture formats the viewer recognises by a value's first bytes.
enum class PictureFormat { None, Jpeg, Gif, Bmp, Wmf, Ico };

// How many of a value's first bytes the viewer reads to recognise it.
constexpr int kSignatureBytes = 16;

// The format whose signature the value starts with, tested in the order
// JPEG, GIF, BMP, placeable WMF, ICO; the first match decides. A value
// shorter than a signature does not match it.
PictureFormat pictureFormatOf(const QByteArray &firstBytes);

// The format's usual name ("JPEG", "WMF"); empty for None.
const char *pictureFormatName(PictureFormat format);

} // namespace quillon::viewer
