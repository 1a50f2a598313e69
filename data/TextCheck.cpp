#include "data/TextCheck.h"

#include "data/Driver.h"

#include <cstring>

namespace quillon::data {

std::optional<TextCheck::Refusal> TextCheck::feed(const char *bytes, qint64 count) {
  const auto *data = reinterpret_cast<const uchar *>(bytes);
  if (!utf8_) {
    const void *zero = std::memchr(data, 0, size_t(count));
    const qint64 start = offset_;
    offset_ += count;
    if (zero)
      return Refusal{Fault::ZeroByte, start + (static_cast<const uchar *>(zero) - data)};
    return std::nullopt;
  }
  for (qint64 i = 0; i < count; ++i, ++offset_) {
    const uchar byte = data[i];
    if (pending_ > 0) {
      if (byte < low_ || byte > high_)
        return Refusal{Fault::InvalidCharacter, leadOffset_};
      --pending_;
      low_ = 0x80;
      high_ = 0xbf;
      continue;
    }
    if (byte == 0)
      return Refusal{Fault::ZeroByte, offset_};
    if (byte < 0x80)
      continue;
    leadOffset_ = offset_;
    if (byte >= 0xc2 && byte <= 0xdf) {
      pending_ = 1;
    } else if (byte >= 0xe0 && byte <= 0xef) {
      pending_ = 2;
      if (byte == 0xe0)
        low_ = 0xa0; // shorter forms of the same characters
      else if (byte == 0xed)
        high_ = 0x9f; // surrogates
    } else if (byte >= 0xf0 && byte <= 0xf4) {
      pending_ = 3;
      if (byte == 0xf0)
        low_ = 0x90;
      else if (byte == 0xf4)
        high_ = 0x8f; // above U+10FFFF
    } else {
      return Refusal{Fault::InvalidCharacter, offset_};
    }
  }
  return std::nullopt;
}

std::optional<TextCheck::Refusal> TextCheck::finish() const {
  if (pending_ > 0)
    return Refusal{Fault::InvalidCharacter, leadOffset_};
  return std::nullopt;
}

void refuseUnstorableText(Driver &driver, FieldKind kind, const QString &typeName,
                          const std::function<void(const ChunkSink &)> &chunks) {
  if (!SqlDialect::of(driver.dialect()).checksText(kind))
    return;
  const QString encoding = driver.textEncoding();
  TextCheck check(encoding == QLatin1String("UTF8"));
  const auto refuse = [&](const std::optional<TextCheck::Refusal> &refusal) {
    if (refusal)
      throw TextRefused(refusal->fault, refusal->offset, typeName, encoding);
  };
  chunks([&](const char *bytes, qint64 count) { refuse(check.feed(bytes, count)); });
  refuse(check.finish());
}

} // namespace quillon::data
