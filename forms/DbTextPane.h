#pragma once

#include <QPointer>
#include <QTextEdit>

namespace quillon::data {
class Query;
} // namespace quillon::data

namespace quillon::forms {

// A read-only text pane bound to one field of a result by name: it shows
// the field's value in the current row and follows the row while bound.
// Text values are offered as RTF first, then as plain text.
class DbTextPane : public QTextEdit {
  Q_OBJECT
public:
  explicit DbTextPane(QWidget *parent = nullptr);

  void setDataSource(data::Query *query);
  // The bound field's name; empty unbinds the pane, which then shows nothing.
  void setDataField(const QString &name);
  QString dataField() const { return dataField_; }

private:
  void reload();

  data::Query *query_ = nullptr;
  QString dataField_;
};

} // namespace quillon::forms
