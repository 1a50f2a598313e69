#pragma once

#include <QImage>
#include <QPicture>
#include <QWidget>

namespace quillon::viewer {
struct Picture;
} // namespace quillon::viewer

namespace quillon::forms {

// Draws one picture at its own size, centred, never scaled: a bitmap, a
// metafile or an icon. A picture larger than the widget shows its middle.
class PictureView : public QWidget {
  Q_OBJECT
public:
  enum class Type { Bitmap, Metafile, Icon };

  explicit PictureView(QWidget *parent = nullptr);

  // `image` may be the part at `origin` of a picture of `size` (its own
  // size when not given): the middle of a picture larger than the view.
  void setBitmap(const QImage &image, QSize size = QSize(), QPoint origin = QPoint());
  void setIcon(const QImage &image);
  // `drawn`, when not null, is the recording already drawn in its part at
  // `origin`, shown instead of playing the recording at each paint.
  void setMetafile(const QPicture &picture, QSize size, const QImage &drawn = {},
                   QPoint origin = {});
  // Empties the picture; its type stays.
  void clear();

  bool isEmpty() const { return image_.isNull() && metafile_.isNull(); }
  Type type() const { return type_; }
  QSize pictureSize() const;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  Type type_ = Type::Bitmap;
  QImage image_;
  QSize imageSize_;
  QPoint imageOrigin_;
  QPicture metafile_;
  QSize metafileSize_;
};

// Puts a decoded picture into the view; Type::None empties it.
void showPicture(PictureView &view, const viewer::Picture &picture);
// Decodes a whole value into the view: a value of no picture format empties
// it; a value of a picture format that cannot be decoded throws
// std::runtime_error and leaves the view as it was.
void showPicture(PictureView &view, const QByteArray &value);

} // namespace quillon::forms
