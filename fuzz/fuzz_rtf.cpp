// libFuzzer target: reading any bytes as RTF or as plain text must not
// crash, hang or take more than linear time.
#include "viewer/RtfReader.h"
#include "viewer/TextValue.h"

#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace quillon::viewer;
  const QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
  if (auto document = readRtf(bytes)) {
    (void)(*document)->toPlainText();
  } else {
    // Most mutations lose the prefix; read the body anyway so they still
    // reach the parser.
    if (auto prefixed = readRtf(QByteArray("{\\rtf1 ") + bytes))
      (void)(*prefixed)->toPlainText();
  }
  // Every line end, whatever its form, comes out as '\n'.
  if (plainTextOf(bytes).contains(u'\r'))
    std::abort();
  return 0;
}
