#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace quillon::query {

// One condition of the table filter, typed by the user: the three cells go
// into the statement as they stand.
struct ConditionRow {
  QString field;
  QString op;
  QString value;
};

// The row limit and the condition rows of the table filter. There is always
// at least one row; the filter has no conditions while the first row's
// field is empty.
struct FilterState {
  quint32 topCount = 10;
  QList<ConditionRow> rows{ConditionRow{}};

  bool hasConditions() const { return !rows.isEmpty() && !rows.first().field.isEmpty(); }
};

} // namespace quillon::query
