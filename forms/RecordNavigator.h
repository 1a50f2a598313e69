#pragma once

#include <QList>
#include <QWidget>

namespace quillon::data {
class Query;
} // namespace quillon::data

namespace quillon::forms {

// Four picture buttons, nbFirst, nbPrior, nbNext and nbLast, that move a
// result to its first, prior, next and last row; each is enabled only where
// it can move the current row.
class RecordNavigator : public QWidget {
  Q_OBJECT
public:
  RecordNavigator(data::Query &query, QWidget *parent);

  // The four buttons, first to last: each is a stop of the Tab order while
  // it is enabled, and Space presses it.
  QList<QWidget *> buttons() const { return buttons_; }

private:
  void moveRow(void (data::Query::*goTo)());
  void updateButtons();

  data::Query &query_;
  // First, prior, next, last.
  QList<QWidget *> buttons_;
};

} // namespace quillon::forms
