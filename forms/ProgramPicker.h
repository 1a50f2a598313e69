#pragma once

#include <QComboBox>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace quillon::forms {

// The picker of external programs: a sorted drop-down list whose items show
// a program's file name beside its icon. Each item carries the position of
// its program in the window's hidden lists, which also index the icons.
class ProgramPicker : public QComboBox {
  Q_OBJECT
public:
  static constexpr int kItemHeight = 20;
  static constexpr int kTextLeft = 25;

  // `icons` is the image list the items' numbers index; it outlives the
  // picker.
  ProgramPicker(const QList<QPixmap> &icons, QWidget *parent);

  // Inserts an item at its sorted place (file names compared without regard
  // to case, a new name after its equals) and answers that place; the
  // selection stays as it was.
  int addSorted(const QString &name, int number);
  int numberAt(int position) const;
  void setNumberAt(int position, int number);

  // Draws one item into `rect`: background, name at x 25 of the drawing
  // area, icon stretched to 16 x 16 over a square of `iconBackground`.
  void paintItem(QPainter &painter, const QRect &rect, int position, bool selected,
                 bool focused) const;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  const QList<QPixmap> &icons_;
};

// Draws the picker's dropped-down items the way the picker draws its own.
class ProgramItemDelegate : public QStyledItemDelegate {
public:
  explicit ProgramItemDelegate(ProgramPicker *picker);
  void paint(QPainter *painter, const QStyleOptionViewItem &option,
             const QModelIndex &index) const override;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
  ProgramPicker *picker_;
};

} // namespace quillon::forms
