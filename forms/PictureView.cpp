#include "forms/PictureView.h"

#include "viewer/PictureDecoders.h"

#include <QPainter>

#include <stdexcept>

namespace quillon::forms {

PictureView::PictureView(QWidget *parent) : QWidget(parent) {}

void PictureView::setBitmap(const QImage &image, QSize size, QPoint origin) {
  type_ = Type::Bitmap;
  metafile_ = QPicture();
  // Bitmaps are drawn opaque: a transparent colour shows as a colour.
  image_ = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_RGB32) : image;
  imageSize_ = size.isValid() ? size : image.size();
  imageOrigin_ = origin;
  update();
}

void PictureView::setIcon(const QImage &image) {
  type_ = Type::Icon;
  metafile_ = QPicture();
  image_ = image;
  imageSize_ = image.size();
  imageOrigin_ = QPoint();
  update();
}

void PictureView::setMetafile(const QPicture &picture, QSize size, const QImage &drawn,
                              QPoint origin) {
  type_ = Type::Metafile;
  image_ = drawn;
  imageOrigin_ = origin;
  metafile_ = picture;
  metafileSize_ = size;
  update();
}

void PictureView::clear() {
  image_ = QImage();
  imageSize_ = QSize();
  imageOrigin_ = QPoint();
  metafile_ = QPicture();
  metafileSize_ = QSize();
  update();
}

QSize PictureView::pictureSize() const {
  if (type_ == Type::Metafile)
    return metafile_.isNull() ? QSize() : metafileSize_;
  return image_.isNull() ? QSize() : imageSize_;
}

void PictureView::paintEvent(QPaintEvent *) {
  if (isEmpty())
    return;
  QPainter painter(this);
  const QSize size = pictureSize();
  const QPoint origin((width() - size.width()) / 2, (height() - size.height()) / 2);
  if (type_ == Type::Metafile && !image_.isNull()) {
    painter.drawImage(origin + imageOrigin_, image_);
  } else if (type_ == Type::Metafile) {
    painter.setClipRect(QRect(origin, size));
    painter.translate(origin);
    painter.drawPicture(0, 0, metafile_);
  } else {
    painter.drawImage(origin + imageOrigin_, image_);
  }
}

void showPicture(PictureView &view, const QByteArray &value) {
  const viewer::DecodeResult decoded = viewer::decodePicture(value);
  if (!decoded.ok())
    throw std::runtime_error(decoded.error.toStdString());
  showPicture(view, *decoded.picture);
}

void showPicture(PictureView &view, const viewer::Picture &picture) {
  switch (picture.type) {
  case viewer::Picture::Type::None:
    view.clear();
    break;
  case viewer::Picture::Type::Bitmap:
    view.setBitmap(picture.image, picture.size, picture.origin);
    break;
  case viewer::Picture::Type::Icon:
    view.setIcon(picture.image);
    break;
  case viewer::Picture::Type::Metafile:
    view.setMetafile(picture.metafile, picture.size, picture.drawn, picture.origin);
    break;
  }
}

} // namespace quillon::forms
