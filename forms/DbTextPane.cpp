#include "forms/DbTextPane.h"

#include <QTextDocument>

namespace quillon::forms {

DbTextPane::DbTextPane(QWidget *parent) : QTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
}

void DbTextPane::setDataField(const QString &name) {
  dataField_ = name;
  showDocument(nullptr);
}

void DbTextPane::showDocument(std::unique_ptr<QTextDocument> document) {
  if (!document) {
    document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
  }
  // Text without formats of its own takes the pane's font, as typed text would.
  document->setDefaultFont(font());
  // As the pane's child it is deleted when the next replaces it. Attaching
  // lays it out: quick while its lines are short.
  QTextDocument *shown = document.release();
  shown->setParent(this);
  setDocument(shown);
}

} // namespace quillon::forms
