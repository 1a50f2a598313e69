#include "forms/PictureView.h"

#include "viewer/PictureDecoders.h"

#include <QPainter>

#include <stdexcept>

namespace quillon::forms {

PictureView::PictureView(QWidget *parent) : QWidget(parent) {}

void PictureView::setBitmap(const QImage &image) {
  type_ = Type::Bitmap;
  metafile_ = QPicture();
  // Bitmaps are drawn opaque: a transparent colour shows as a colour.
  image_ = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_RGB32) : image;
  update();
}

void PictureView::setIcon(const QImage &image) {
  type_ = Type::Icon;
  metafile_ = QPicture();
  image_ = image;
  update();
}

void PictureView::setMetafile(const QPicture &picture, QSize size) {
  type_ = Type::Metafile;
  image_ = QImage();
  metafile_ = picture;
  metafileSize_ = size;
  update();
}

void PictureView::clear() {
  image_ = QImage();
  metafile_ = QPicture();
  metafileSize_ = QSize();
  update();
}

QSize PictureView::pictureSize() const {
  if (type_ == Type::Metafile)
    return metafile_.isNull() ? QSize() : metafileSize_;
  return image_.size();
}

void PictureView::paintEvent(QPaintEvent *) {
  if (isEmpty())
    return;
  QPainter painter(this);
  const QSize size = pictureSize();
  const QPoint origin((width() - size.width()) / 2, (height() - size.height()) / 2);
  if (type_ == Type::Metafile) {
    painter.setClipRect(QRect(origin, size));
    painter.translate(origin);
    painter.drawPicture(0, 0, metafile_);
  } else {
    painter.drawImage(origin, image_);
  }
}

void showPicture(PictureView &view, const QByteArray &value) {
  const viewer::DecodeResult decoded = viewer::decodePicture(value);
  if (!decoded.ok())
    throw std::runtime_error(decoded.error.toStdString());
  const viewer::Picture &picture = *decoded.picture;
  switch (picture.type) {
  case viewer::Picture::Type::None:
    view.clear();
    break;
  case viewer::Picture::Type::Bitmap:
    view.setBitmap(picture.image);
    break;
  case viewer::Picture::Type::Icon:
    view.setIcon(picture.image);
    break;
  case viewer::Picture::Type::Metafile:
    view.setMetafile(picture.metafile, picture.size);
    break;
  }
}

} // namespace quillon::forms
