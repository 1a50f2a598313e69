#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Bounded little-endian reading for the decoders; not part of the viewer's
// interface.
namespace quillon::viewer::detail {

// Why a value could not be decoded; thrown inside a decoder and turned into
// its result's error before the decoder returns.
struct Damaged {
  QString reason;
};

[[noreturn]] inline void damaged(const QString &reason) {
  throw Damaged{reason};
}

// A window onto bytes that a decoder does not own. Every read is checked
// against the window, so a decoder cannot read past the value.
class Bytes {
public:
  Bytes() = default;
  Bytes(const char *data, qsizetype size)
      : data_(reinterpret_cast<const unsigned char *>(data)), size_(size < 0 ? 0 : size) {}
  explicit Bytes(const QByteArray &bytes) : Bytes(bytes.constData(), bytes.size()) {}

  qsizetype size() const { return size_; }
  const unsigned char *data() const { return data_; }

  bool has(qint64 offset, qint64 count) const {
    return offset >= 0 && count >= 0 && offset <= size_ && count <= size_ - offset;
  }

  // The bytes from `offset` on, `count` of them; fails with `what` when
  // they are not all there.
  Bytes mid(qint64 offset, qint64 count, const char *what) const {
    need(offset, count, what);
    return Bytes(reinterpret_cast<const char *>(data_) + offset, qsizetype(count));
  }
  Bytes from(qint64 offset, const char *what) const {
    need(offset, 0, what);
    return mid(offset, size_ - offset, what);
  }

  void need(qint64 offset, qint64 count, const char *what) const {
    if (!has(offset, count))
      damaged(QStringLiteral("%1 runs past the end of the value").arg(QLatin1String(what)));
  }

  std::uint8_t u8(qint64 offset) const {
    need(offset, 1, "a field");
    return data_[offset];
  }
  std::uint16_t u16(qint64 offset) const {
    need(offset, 2, "a field");
    return std::uint16_t(data_[offset] | data_[offset + 1] << 8);
  }
  std::int16_t i16(qint64 offset) const { return std::int16_t(u16(offset)); }
  std::uint32_t u32(qint64 offset) const {
    need(offset, 4, "a field");
    return std::uint32_t(data_[offset]) | std::uint32_t(data_[offset + 1]) << 8 |
           std::uint32_t(data_[offset + 2]) << 16 | std::uint32_t(data_[offset + 3]) << 24;
  }
  std::int32_t i32(qint64 offset) const { return std::int32_t(u32(offset)); }

private:
  const unsigned char *data_ = nullptr;
  qsizetype size_ = 0;
};

} // namespace quillon::viewer::detail
