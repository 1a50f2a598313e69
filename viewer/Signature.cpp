#include "viewer/Signature.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quillon::viewer {

namespace {

struct Signature {
  PictureFormat format;
  const char *bytes;
  int length;
};

// The placeable metafile key is 0x9AC6CDD7, stored little-endian; ICO is
// the icon directory's reserved word 0 and the low byte of type 1.
constexpr std::array<Signature, 5> kSignatures{{
    {PictureFormat::Jpeg, "\xFF\xD8\xFF", 3},
    {PictureFormat::Gif, "GIF", 3},
    {PictureFormat::Bmp, "BM", 2},
    {PictureFormat::Wmf, "\xD7\xCD\xC6", 3},
    {PictureFormat::Ico, "\x00\x00\x01", 3},
}};

} // namespace

PictureFormat pictureFormatOf(const QByteArray &firstBytes) {
  const qsizetype length = std::min<qsizetype>(firstBytes.size(), kSignatureBytes);
  for (const Signature &signature : kSignatures)
    if (length >= signature.length &&
        std::memcmp(firstBytes.constData(), signature.bytes, std::size_t(signature.length)) == 0)
      return signature.format;
  return PictureFormat::None;
}

const char *pictureFormatName(PictureFormat format) {
  switch (format) {
  case PictureFormat::Jpeg:
    return "JPEG";
  case PictureFormat::Gif:
    return "GIF";
  case PictureFormat::Bmp:
    return "BMP";
  case PictureFormat::Wmf:
    return "WMF";
  case PictureFormat::Ico:
    return "ICO";
  case PictureFormat::None:
    break;
  }
  return "";
}

} // namespace quillon::viewer
