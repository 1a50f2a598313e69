#include "forms/DbTextPane.h"

#include "data/ByteSource.h"
#include "data/Query.h"
#include "viewer/TextValue.h"

namespace quillon::forms {

DbTextPane::DbTextPane(QWidget *parent) : QTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
}

void DbTextPane::setDataSource(data::Query *query) {
  if (query_)
    disconnect(query_, nullptr, this, nullptr);
  query_ = query;
  if (query_) {
    connect(query_, &data::Query::currentRowChanged, this, &DbTextPane::reload);
    connect(query_, &data::Query::rowChanged, this, &DbTextPane::reload);
    connect(query_, &data::Query::layoutChanged, this, &DbTextPane::reload);
  }
  reload();
}

void DbTextPane::setDataField(const QString &name) {
  dataField_ = name;
  reload();
}

void DbTextPane::reload() {
  clear();
  setCurrentCharFormat(QTextCharFormat());
  if (dataField_.isEmpty() || !query_ || !query_->active() || query_->recNo() < 0)
    return;
  const data::Field *field = query_->findField(dataField_);
  if (!field || field->isNull())
    return;
  try {
    if (!field->isLargeValue()) {
      setPlainText(QString::fromUtf8(field->asString()));
      return;
    }
    const std::unique_ptr<data::ByteSource> value = query_->createBlobStream(*field);
    viewer::showTextValue(*document(), data::readAll(*value));
  } catch (const std::exception &) {
    // A value that cannot be read leaves the pane empty; the viewer never
    // reports errors of its own.
    clear();
  }
}

} // namespace quillon::forms
