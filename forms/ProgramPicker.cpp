#include "forms/ProgramPicker.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace quillon::forms {

ProgramPicker::ProgramPicker(const QList<QPixmap> &icons, QWidget *parent)
    : QComboBox(parent), icons_(icons) {
  setItemDelegate(new ProgramItemDelegate(this));
  setMaxVisibleItems(12);
}

int ProgramPicker::addSorted(const QString &name, int number) {
  int position = count();
  for (int i = 0; i < count(); ++i)
    if (QString::compare(name, itemText(i), Qt::CaseInsensitive) < 0) {
      position = i;
      break;
    }
  // Inserting into an empty list would select the new item.
  const int selected = currentIndex();
  insertItem(position, name, number);
  setCurrentIndex(selected >= position ? selected + 1 : selected);
  return position;
}

int ProgramPicker::numberAt(int position) const {
  return itemData(position).toInt();
}

void ProgramPicker::setNumberAt(int position, int number) {
  setItemData(position, number);
}

void ProgramPicker::paintItem(QPainter &painter, const QRect &rect, int position, bool selected,
                              bool focused) const {
  const QPalette &colours = palette();
  painter.fillRect(rect, selected ? colours.highlight() : colours.base());
  painter.setPen(selected ? colours.highlightedText().color() : colours.text().color());
  painter.setFont(font());
  painter.save();
  painter.setClipRect(rect);
  const QRect textRect(kTextLeft, rect.top() + 3, rect.right() - kTextLeft, rect.height() - 3);
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, itemText(position));
  painter.restore();
  const QRect iconRect(rect.left() + 2, rect.top() + 2, 16, 16);
  painter.fillRect(iconRect, window()->palette().window());
  const int number = numberAt(position);
  if (number >= 0 && number < icons_.size())
    painter.drawPixmap(iconRect, icons_[number]);
  if (focused) {
    QStyleOptionFocusRect frame;
    frame.rect = rect;
    frame.palette = colours;
    frame.state = QStyle::State_HasFocus;
    frame.backgroundColor = selected ? colours.highlight().color() : colours.base().color();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
  }
}

void ProgramPicker::paintEvent(QPaintEvent *) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText.clear();
  option.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  if (currentIndex() < 0) {
    painter.fillRect(field, palette().base());
    return;
  }
  paintItem(painter, field, currentIndex(), hasFocus(), hasFocus());
}

ProgramItemDelegate::ProgramItemDelegate(ProgramPicker *picker)
    : QStyledItemDelegate(picker), picker_(picker) {}

void ProgramItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const {
  picker_->paintItem(*painter, option.rect, index.row(),
                     option.state.testFlag(QStyle::State_Selected),
                     option.state.testFlag(QStyle::State_HasFocus));
}

QSize ProgramItemDelegate::sizeHint(const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const {
  return {QStyledItemDelegate::sizeHint(option, index).width(), ProgramPicker::kItemHeight};
}

} // namespace quillon::forms
