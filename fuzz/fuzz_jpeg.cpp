// libFuzzer target: the JPEG decoder on any bytes.
#include "FuzzChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace quillon::viewer;
  const QByteArray value =
      QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
  quillon::fuzz::checkResult(decodeJpeg(value), PictureFormat::Jpeg);
  return 0;
}
