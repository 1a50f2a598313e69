#pragma once

#include "forms/SecondaryWindow.h"
#include "query/FilterState.h"

#include <QStringList>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillon::forms {

// The editor of one condition row, opened modally from the filter window.
// It only holds the inputs; the filter window presets and stores them.
class TfrmCondition : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmCondition(QWidget *parent = nullptr);

  // The operators offered, in their order.
  static const QStringList &operators();

  // Replaces the field box's list; the box shows it sorted.
  void setFieldNames(QStringList names);
  // Shows the given cells in the three inputs; an operator not in the list
  // leaves none selected.
  void preset(const query::ConditionRow &row);
  // The three inputs as typed, the value's line breaks as CR LF.
  query::ConditionRow typed() const;

  QLabel *Label1, *Label2, *Label3;
  QComboBox *cmbFields;
  QComboBox *cmbCondition;
  QPlainTextEdit *memValue;
  QPushButton *btnCloseCondition;
  QPushButton *btnOk;

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  void placeControls();
};

} // namespace quillon::forms
