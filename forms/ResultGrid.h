#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>

#include <vector>

class QTableView;

namespace quillon::data {
class Field;
class Query;
} // namespace quillon::data

namespace quillon::forms {

// The text a grid cell shows for a field's value in a row: large values
// show their kind, "(BLOB)" or "(Blob)" when NULL, others their text form,
// cut after its first 4 KB (followed by "…").
QString cellText(const data::Query &query, int row, int fieldIndex);

// The rows of a result, one column per visible field in field order; one
// column without a field when no field is visible. The current row of the
// result is marked in the row header.
class ResultModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit ResultModel(data::Query &query, QObject *parent = nullptr);

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The field a column shows; nullptr for the column without a field.
  data::Field *fieldAt(int column) const;
  int columnOf(const data::Field *field) const;

signals:
  void relaidOut();

private:
  void relayout();

  data::Query &query_;
  std::vector<data::Field *> columns_;
  int markedRow_ = -1;
};

// Binds a table view to a result: columns keep their widths across
// re-layouts, new ones get the default width of their field, the view's
// current row follows the result's and the other way round.
class ResultGrid : public QObject {
  Q_OBJECT
public:
  ResultGrid(QTableView *view, data::Query &query, QObject *parent = nullptr);

  // The field of the selected column in the current row; nullptr when that
  // column has none or nothing is open.
  data::Field *currentField() const;
  // The same for a command that needs one: throws data::DataError when
  // there is none.
  data::Field &requireCurrentField() const;
  // Narrows every column wider than `limit` pixels to exactly `limit`.
  void capColumnWidths(int limit);
  // The width a new column of `field` gets.
  int defaultWidth(const data::Field &field) const;
  ResultModel *model() const { return model_; }

signals:
  // The user (or the program) entered another column of the same row; a
  // move to another row is told by the query's own afterScroll.
  void columnEntered();

private:
  void applyWidths();
  void followQueryRow();

  QTableView *view_;
  data::Query &query_;
  ResultModel *model_;
  QHash<const data::Field *, int> widths_;
  int currentColumn_ = -1;
};

} // namespace quillon::forms
