#pragma once

#include "forms/SecondaryWindow.h"
#include "query/FilterState.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace quillon::forms {

// The filter window: the row limit and the condition rows of the table
// query. The grid shows `filter`, which the editing commands change and the
// main window reads at every refresh.
class TfrmFilter : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmFilter(QWidget *parent = nullptr);

  // The row limit and the condition rows the table query is filtered by.
  // Set from outside while the window is hidden, it shows at the next
  // showing.
  query::FilterState filter;

  // Applies the row-limit box's text to the limit; a text that is not a
  // whole number from 0 up is reported and leaves the limit as it was.
  // Answers whether the window may close, which it always may.
  bool ApplyTopCount();
  // Writes the condition editor's inputs into the given condition row
  // (0 is the first), unless no field name was typed.
  void StoreCondition(int row);

  QFrame *pnlTop;
  QToolButton *SpeedButton1, *SpeedButton2, *SpeedButton3;
  QLabel *Label1, *Label2;
  QComboBox *cmbTop;
  QTableWidget *sgdFilter;
  QFrame *pnlBottom;
  QPushButton *btnHelp, *btnApplay, *btnClose;

  QAction *AAdd, *AEdit, *ADelete;

  void done(int result) override;

protected:
  void showEvent(QShowEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FormCreate();
  bool FormCloseQuery(int modalResult);
  bool cmbTopKeyDown(QKeyEvent *key, bool inList);
  void AAddExecute();
  void AEditExecute();
  void ADeleteExecute();
  void btnHelpClick();

  QAction *makeCommand(const char *name, QList<QKeySequence> keys, const QIcon &picture,
                       void (TfrmFilter::*handler)());
  QToolButton *makeSpeedButton(const char *name, int x, QAction *command);
  // Opens the condition editor on the row's cells; stores them unless the
  // editor was cancelled. Answers whether a condition was stored.
  bool editCondition(int row, const query::ConditionRow &preset);
  // Shows `filter` in the grid, with the given row as the current one.
  void showRows(int current);
  int currentRow() const;
};

} // namespace quillon::forms
