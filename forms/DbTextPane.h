#pragma once

#include <QTextEdit>

#include <memory>

class QTextDocument;

namespace quillon::forms {

// The viewer's read-only text pane. It shows the documents it is given and
// remembers which field they came from; the viewer refresh reads the value
// and makes the document, so the pane never reads on its own.
class DbTextPane : public QTextEdit {
  Q_OBJECT
public:
  explicit DbTextPane(QWidget *parent = nullptr);

  // The field whose value the pane shows; empty when it shows none. Setting
  // it empties the pane.
  void setDataField(const QString &name);
  QString dataField() const { return dataField_; }

  // Shows a document made for the pane (on any thread, and moved to this
  // one) and owns it until the next; none empties the pane.
  void showDocument(std::unique_ptr<QTextDocument> document);

private:
  QString dataField_;
};

} // namespace quillon::forms
