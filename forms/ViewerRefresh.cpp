#include "forms/ViewerRefresh.h"

#include "data/Query.h"
#include "forms/DbTextPane.h"
#include "forms/MessageBoxes.h"
#include "forms/PictureView.h"
#include "forms/ResultGrid.h"
#include "forms/Windows.h"
#include "forms/uOwnWindow.h"
#include "viewer/PictureDecoders.h"
#include "viewer/Signature.h"

#include <QFrame>

namespace quillon::forms {

ViewerRefresh::ViewerRefresh(data::Query &query, const ResultGrid &grid)
    : query_(query), grid_(grid) {}

void ViewerRefresh::ClearViewer() {
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
  if (!shownField_)
    return;
  try {
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
  } catch (const std::exception &) {
  }
}

void ViewerRefresh::HideViewerPanes() {
  frmOwnWindow->DBRichEdit->hide();
  frmOwnWindow->pnlImage->hide();
}

void ViewerRefresh::ShowAsText() {
  HideViewerPanes();
  frmOwnWindow->DBRichEdit->setDataField(shownField_->fieldName());
  frmOwnWindow->DBRichEdit->show();
}

void ViewerRefresh::ShowAsPicture() {
  HideViewerPanes();
  LoadPictureFromBlob();
  frmOwnWindow->pnlImage->show();
}

void ViewerRefresh::LoadPictureFromBlob() {
  const std::unique_ptr<data::ByteSource> value = query_.createBlobStream(*shownField_);
  const qint64 size = value->size();
  QByteArray bytes(qMin<qint64>(size, viewer::kSignatureBytes), Qt::Uninitialized);
  data::readExactly(*value, bytes.data(), bytes.size());
  if (viewer::pictureFormatOf(bytes) == viewer::PictureFormat::None)
    return;
  // The decoder takes the whole value: the first bytes, then the rest.
  const qint64 first = bytes.size();
  bytes.resize(size);
  data::readExactly(*value, bytes.data() + first, size - first);
  showPicture(*frmOwnWindow->Image1, bytes);
}

} // namespace quillon::forms
