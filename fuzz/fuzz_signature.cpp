// libFuzzer target: the signature test and the viewer's whole picture path
// (decodePicture, which dispatches on it) on any bytes.
#include "FuzzChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace quillon::viewer;
  const QByteArray value =
      QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
  const PictureFormat format = pictureFormatOf(value);
  if (size < 2 && format != PictureFormat::None)
    quillon::fuzz::broken("a signature shorter than two bytes matched");
  if (pictureFormatOf(value.left(kSignatureBytes)) != format)
    quillon::fuzz::broken("bytes after the first sixteen changed the format");
  quillon::fuzz::checkResult(decodePicture(value), format);
  return 0;
}
