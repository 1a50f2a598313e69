#include "forms/ViewerRefresh.h"

#include "data/ByteSource.h"
#include "data/Query.h"
#include "forms/DbTextPane.h"
#include "forms/MessageBoxes.h"
#include "forms/PictureView.h"
#include "forms/ResultGrid.h"
#include "forms/Windows.h"
#include "forms/uOwnWindow.h"
#include "viewer/PictureDecoders.h"
#include "viewer/Signature.h"
#include "viewer/TextValue.h"

#include <QFrame>
#include <QScreen>
#include <QTextDocument>
#include <QThread>

namespace quillon::forms {

namespace {

// Values up to this size are read, laid out and decoded at once: quicker
// than the way through the worker, and no empty pane flashes between two
// moves.
constexpr qint64 kShownAtOnce = 64 << 10;
// How often a read held back by a transfer looks again.
constexpr int kWaitForTransferMs = 50;

// The largest part of a picture the view can show: it may grow to the
// screen, and a JPEG is decoded only in its middle of this size.
QSize largestShownSize(const PictureView &view) {
  QSize size = view.size();
  if (const QScreen *screen = view.screen())
    size = size.expandedTo(screen->size());
  return size;
}

} // namespace

// What was made of a value for its pane.
struct ViewerRefresh::Prepared {
  std::unique_ptr<QTextDocument> document;
  viewer::DecodeResult picture;

  // Lays out the first bytes of a text of `valueSize` bytes, or decodes a
  // whole picture.
  static Prepared of(Pane pane, const QByteArray &bytes, qint64 valueSize,
                     const viewer::DecodeLimits &limits) {
    Prepared prepared;
    if (pane == Pane::Text)
      prepared.document = viewer::shownDocumentOf(bytes, valueSize);
    else
      prepared.picture = viewer::decodePicture(bytes, limits);
    return prepared;
  }
};

ViewerRefresh::ViewerRefresh(data::Query &query, const ResultGrid &grid)
    : query_(query), grid_(grid), abandoned_(std::make_shared<std::atomic<bool>>(false)) {
  readTimer_.setInterval(0);
  connect(&readTimer_, &QTimer::timeout, this, &ViewerRefresh::readNextChunk);
  workers_.setMaxThreadCount(1);
}

ViewerRefresh::~ViewerRefresh() {
  abandonWork();
  workers_.waitForDone();
}

bool ViewerRefresh::busy() const {
  return reading_ || outstanding_ > 0;
}

void ViewerRefresh::abandonWork() {
  ++move_;
  abandoned_->store(true);
  abandoned_ = std::make_shared<std::atomic<bool>>(false);
  readTimer_.stop();
  reading_.reset();
}

void ViewerRefresh::ClearViewer() {
  abandonWork();
  frmOwnWindow->DBRichEdit->setDataField(QString());
  frmOwnWindow->Image1->clear();
}

void ViewerRefresh::ShowCurrentValue() {
  try {
    ClearViewer();
    shownField_ = grid_.currentField();
  } catch (const std::exception &) {
    showMessage(QStringLiteral("grdListColEnter: nil"));
    return;
  }
  if (shownField_) {
    switch (shownField_->dataType()) {
    case data::FieldKind::ftString:
    case data::FieldKind::ftWideString:
    case data::FieldKind::ftMemo:
    case data::FieldKind::ftFmtMemo:
      ShowAsText();
      break;
    case data::FieldKind::ftBlob:
    case data::FieldKind::ftGraphic:
      ShowAsPicture();
      break;
    default:
      break;
    }
  }
  if (!busy())
    emit settled();
}

void ViewerRefresh::HideViewerPanes() {
  frmOwnWindow->DBRichEdit->hide();
  frmOwnWindow->pnlImage->hide();
}

void ViewerRefresh::ShowAsText() {
  HideViewerPanes();
  frmOwnWindow->DBRichEdit->setDataField(shownField_->fieldName());
  frmOwnWindow->DBRichEdit->show();
  try {
    if (shownField_->isNull())
      return;
    if (!shownField_->isLargeValue()) {
      // The display text of a short string, never taken for RTF.
      frmOwnWindow->DBRichEdit->showDocument(
          viewer::plainDocumentOf(QString::fromUtf8(shownField_->asString())));
      return;
    }
    readFor(Pane::Text, std::make_unique<data::ChunkedRead>(query_.createBlobStream(*shownField_),
                                                            viewer::kShownTextBytes));
  } catch (const std::exception &) {
    // A value that cannot be read leaves the pane empty.
  }
}

void ViewerRefresh::ShowAsPicture() {
  HideViewerPanes();
  // The empty pane shows while the picture is read and decoded; a picture
  // that fails hides it again.
  frmOwnWindow->pnlImage->show();
  try {
    LoadPictureFromBlob();
  } catch (const std::exception &) {
    pictureFailed();
  }
}

void ViewerRefresh::LoadPictureFromBlob() {
  auto read = std::make_unique<data::ChunkedRead>(query_.createBlobStream(*shownField_),
                                                  viewer::kLargestPictureValue);
  read->readNextChunk(viewer::kSignatureBytes);
  if (viewer::pictureFormatOf(read->held()) == viewer::PictureFormat::None)
    return;
  readFor(Pane::Picture, std::move(read));
}

void ViewerRefresh::readFor(Pane pane, std::unique_ptr<data::ChunkedRead> read) {
  if (read->wanted() <= kShownAtOnce) {
    while (!read->readNextChunk()) {
    }
    const qint64 size = read->sourceSize();
    show(pane,
         Prepared::of(pane, read->takeBytes(), size, {largestShownSize(*frmOwnWindow->Image1)}));
    return;
  }
  reading_ = std::move(read);
  readingFor_ = pane;
  readTimer_.start();
}

void ViewerRefresh::readNextChunk() {
  // A transfer has the connection: the read waits, without spinning.
  if (query_.transferRunning()) {
    readTimer_.setInterval(kWaitForTransferMs);
    return;
  }
  readTimer_.setInterval(0);
  try {
    if (!reading_->readNextChunk())
      return;
  } catch (const std::exception &) {
    readTimer_.stop();
    reading_.reset();
    if (readingFor_ == Pane::Picture)
      pictureFailed();
    emit settled();
    return;
  }
  readTimer_.stop();
  const std::unique_ptr<data::ChunkedRead> read = std::move(reading_);
  prepare(readingFor_, read->takeBytes(), read->sourceSize());
  emit valueRead();
}

void ViewerRefresh::prepare(Pane pane, QByteArray bytes, qint64 valueSize) {
  ++outstanding_;
  const quint64 move = move_;
  const std::shared_ptr<std::atomic<bool>> abandoned = abandoned_;
  const viewer::DecodeLimits limits{largestShownSize(*frmOwnWindow->Image1), abandoned.get()};
  QThread *const home = thread();
  workers_.start([this, pane, bytes, valueSize, move, abandoned, limits, home] {
    // Shared, so that a result nobody takes is still deleted.
    auto prepared = std::make_shared<Prepared>();
    // Skipped when the cell was left while this waited in line.
    if (!abandoned->load()) {
      *prepared = Prepared::of(pane, bytes, valueSize, limits);
      if (prepared->document)
        prepared->document->moveToThread(home);
    }
    // Every piece of work reports back, so the count of those out is exact.
    QMetaObject::invokeMethod(
        this,
        [this, pane, move, prepared] {
          --outstanding_;
          if (move != move_)
            return;
          show(pane, std::move(*prepared));
          emit settled();
        },
        Qt::QueuedConnection);
  });
}

void ViewerRefresh::show(Pane pane, Prepared prepared) {
  if (pane == Pane::Text)
    frmOwnWindow->DBRichEdit->showDocument(std::move(prepared.document));
  else if (prepared.picture.ok())
    showPicture(*frmOwnWindow->Image1, *prepared.picture.picture);
  else
    pictureFailed();
}

void ViewerRefresh::pictureFailed() {
  frmOwnWindow->Image1->clear();
  frmOwnWindow->pnlImage->hide();
}

} // namespace quillon::forms
