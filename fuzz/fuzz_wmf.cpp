// libFuzzer target: the placeable metafile renderer on any bytes, with
// fonts for its text; small pictures are also played back onto an image.
#include "FuzzChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  quillon::fuzz::startGuiApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace quillon::viewer;
  const QByteArray value =
      QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
  const DecodeResult result = decodeWmf(value);
  quillon::fuzz::checkResult(result, PictureFormat::Wmf);
  // Playing a recording back costs time in proportion to its area.
  if (result.ok() && result.picture->size.width() * result.picture->size.height() <= 256 * 256 &&
      pictureImage(*result.picture).size() != result.picture->size)
    quillon::fuzz::broken("a metafile's image differs from its size");
  return 0;
}
