#pragma once

#include "data/ByteSource.h"
#include "data/DataError.h"
#include "data/FieldKind.h"

#include <QtGlobal>

#include <functional>
#include <optional>

namespace quillon::data {

// Finds, in a value fed chunk by chunk, the first byte that a column
// checking its text would refuse: a zero byte, which would end the value
// there; and, where `utf8`, a byte that begins no well-formed UTF-8
// character as the engine checks it (no overlong forms, no surrogates,
// nothing above U+10FFFF, no character cut at the end).
class TextCheck {
public:
  using Fault = TextRefused::Fault;
  struct Refusal {
    Fault fault;
    qint64 offset; // of the zero byte, or of the first byte of the character
  };

  explicit TextCheck(bool utf8) : utf8_(utf8) {}

  // The first refusal in the next `count` bytes; once one is found the
  // check is over.
  std::optional<Refusal> feed(const char *bytes, qint64 count);
  // A character the value's end cuts short.
  std::optional<Refusal> finish() const;

private:
  bool utf8_;
  qint64 offset_ = 0; // of the next byte
  int pending_ = 0;   // continuation bytes the current character still needs
  qint64 leadOffset_ = 0;
  uchar low_ = 0x80; // the range of the next continuation byte
  uchar high_ = 0xbf;
};

class Driver;

// Throws TextRefused for the first byte of a value, handed over chunk by
// chunk by `chunks`, that `driver`'s engine would refuse in a column of
// `kind` (whose type `typeName` names): a zero byte or, where the
// database's encoding is UTF-8, a byte that begins no character. Nothing
// where the column keeps any bytes.
void refuseUnstorableText(Driver &driver, FieldKind kind, const QString &typeName,
                          const std::function<void(const ChunkSink &)> &chunks);

} // namespace quillon::data
