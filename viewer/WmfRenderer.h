#pragma once

#include <QByteArray>
#include <QPicture>
#include <QSize>
#include <QString>

#include <atomic>

namespace quillon::viewer {

// A placeable Windows metafile drawn into a recording.
struct WmfRendering {
  QPicture picture; // drawn in pixels from (0, 0) to `size`
  QSize size;       // the header's bounding box at 96 pixels an inch
  QString error;    // why there is no picture; empty on success

  bool ok() const { return error.isEmpty(); }
};

// Plays the metafile's records onto a QPainter recording at the size its
// placeable header gives. The header's checksum must hold and every record
// must lie within the value up to the end-of-file record: a record of fewer
// than 3 words, one running past the value, a value ending without an
// end-of-file record, or a bitmap inside a record that cannot be read fails
// the whole picture. Records the renderer does not draw are skipped by
// their size. Text is drawn only when a QGuiApplication exists. Nothing is
// drawn outside the header's box. When `abandoned` turns true the playing
// stops and fails.
WmfRendering renderWmf(const QByteArray &value, const std::atomic<bool> *abandoned = nullptr);

} // namespace quillon::viewer
