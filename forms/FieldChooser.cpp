#include "forms/FieldChooser.h"

#include "data/Query.h"

#include <QListWidget>

namespace quillon::forms {

namespace {

Qt::CheckState checkState(bool checked) {
  return checked ? Qt::Checked : Qt::Unchecked;
}

} // namespace

FieldChooser::FieldChooser(QListWidget &list, data::Query &query) : list_(list), query_(query) {}

void FieldChooser::refill(bool checked) {
  list_.clear();
  for (const auto &field : query_.fields())
    (new QListWidgetItem(field->fieldName(), &list_))->setCheckState(checkState(checked));
}

void FieldChooser::applyToFields() {
  if (!query_.active())
    return;
  for (int i = 0; i < list_.count(); ++i) {
    const QListWidgetItem *item = list_.item(i);
    query_.fieldByName(item->text()).setVisible(item->checkState() == Qt::Checked);
  }
}

void FieldChooser::readFromFields() {
  if (!query_.active())
    return;
  for (int i = 0; i < list_.count(); ++i) {
    QListWidgetItem *item = list_.item(i);
    item->setCheckState(checkState(query_.fieldByName(item->text()).visible()));
  }
}

void FieldChooser::setAllChecked(bool checked) {
  list_.setUpdatesEnabled(false);
  for (int i = 0; i < list_.count(); ++i)
    list_.item(i)->setCheckState(checkState(checked));
  list_.setUpdatesEnabled(true);
}

} // namespace quillon::forms
