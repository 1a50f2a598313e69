#include "forms/ResultGrid.h"

#include "data/DataError.h"
#include "data/Query.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

namespace quillon::forms {

namespace {

QString kindName(data::FieldKind kind) {
  switch (kind) {
  case data::FieldKind::ftBlob:
    return QStringLiteral("Blob");
  case data::FieldKind::ftMemo:
    return QStringLiteral("Memo");
  case data::FieldKind::ftGraphic:
    return QStringLiteral("Graphic");
  case data::FieldKind::ftFmtMemo:
    return QStringLiteral("FmtMemo");
  default:
    return QStringLiteral("Unknown");
  }
}

bool isBinaryKind(data::FieldKind kind) {
  return kind == data::FieldKind::ftBytes || kind == data::FieldKind::ftVarBytes;
}

// More than any cell can show, however wide: the view lays out the whole
// text to elide it, which takes minutes for a value of a gigabyte.
constexpr qsizetype kShownBytes = 4096;

QString shownUtf8(const QByteArray &bytes) {
  if (bytes.size() <= kShownBytes)
    return QString::fromUtf8(bytes);
  qsizetype end = kShownBytes;
  // Not within a character: continuation bytes are 10xxxxxx.
  while (end > 0 && (uchar(bytes[end]) & 0xC0) == 0x80)
    --end;
  return QString::fromUtf8(bytes.constData(), end) + QStringLiteral("…");
}

} // namespace

QString cellText(const data::Query &query, int row, int fieldIndex) {
  const data::Field &field = *query.fields()[size_t(fieldIndex)];
  const data::CellValue &value = query.cell(row, fieldIndex);
  if (field.isLargeValue()) {
    const QString text = QStringLiteral("(%1)").arg(kindName(field.dataType()));
    return value.isNull() ? text : text.toUpper();
  }
  if (value.isNull())
    return QString();
  // Short binary values are shown as hexadecimal, as database tools do.
  if (isBinaryKind(field.dataType())) {
    const QByteArray &bytes = value.data();
    return QStringLiteral("0x") +
           QString::fromLatin1(bytes.left(kShownBytes / 2).toHex().toUpper()) +
           (bytes.size() > kShownBytes / 2 ? QStringLiteral("…") : QString());
  }
  return shownUtf8(value.data());
}

ResultModel::ResultModel(data::Query &query, QObject *parent)
    : QAbstractTableModel(parent), query_(query) {
  connect(&query_, &data::Query::layoutChanged, this, &ResultModel::relayout);
  connect(&query_, &data::Query::rowChanged, this, [this](int row) {
    if (!columns_.empty())
      emit dataChanged(index(row, 0), index(row, columnCount() - 1));
  });
  connect(&query_, &data::Query::currentRowChanged, this, [this](int row) {
    const int previous = markedRow_;
    markedRow_ = row;
    for (int marked : {previous, row})
      if (marked >= 0 && marked < rowCount())
        emit headerDataChanged(Qt::Vertical, marked, marked);
  });
  relayout();
}

void ResultModel::relayout() {
  beginResetModel();
  columns_.clear();
  if (query_.active())
    for (const auto &field : query_.fields())
      if (field->visible())
        columns_.push_back(field.get());
  markedRow_ = query_.recNo();
  endResetModel();
  emit relaidOut();
}

int ResultModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() || !query_.active() ? 0 : query_.recordCount();
}

int ResultModel::columnCount(const QModelIndex &parent) const {
  if (parent.isValid() || !query_.active())
    return 0;
  return columns_.empty() ? 1 : int(columns_.size());
}

data::Field *ResultModel::fieldAt(int column) const {
  return column >= 0 && column < int(columns_.size()) ? columns_[size_t(column)] : nullptr;
}

int ResultModel::columnOf(const data::Field *field) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i] == field)
      return int(i);
  return -1;
}

QVariant ResultModel::data(const QModelIndex &index, int role) const {
  const data::Field *field = fieldAt(index.column());
  if (role != Qt::DisplayRole || !field)
    return {};
  return cellText(query_, index.row(), field->index());
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole)
    return {};
  if (orientation == Qt::Vertical)
    return section == markedRow_ ? QStringLiteral("▶") : QString();
  const data::Field *field = fieldAt(section);
  return field ? field->fieldName() : QString();
}

ResultGrid::ResultGrid(QTableView *view, data::Query &query, QObject *parent)
    : QObject(parent), view_(view), query_(query), model_(new ResultModel(query, this)) {
  view_->setModel(model_);
  view_->setTabKeyNavigation(false);
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view_->horizontalHeader()->setStretchLastSection(false);
  connect(model_, &ResultModel::relaidOut, this, [this] {
    applyWidths();
    followQueryRow();
  });
  connect(view_->horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int column, int, int width) {
            if (const data::Field *field = model_->fieldAt(column))
              widths_[field] = width;
          });
  connect(&query_, &data::Query::currentRowChanged, this, &ResultGrid::followQueryRow);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex &current) {
            if (!current.isValid())
              return;
            // A move to another row shows the new cell through the row's
            // own notice; entering its column as well would show it twice.
            const bool rowMoved = current.row() != query_.recNo();
            if (rowMoved)
              query_.moveTo(current.row());
            if (current.column() != currentColumn_) {
              currentColumn_ = current.column();
              if (!rowMoved)
                emit columnEntered();
            }
          });
}

data::Field *ResultGrid::currentField() const {
  if (!query_.active() || query_.recNo() < 0)
    return nullptr;
  return model_->fieldAt(qMax(0, view_->currentIndex().column()));
}

data::Field &ResultGrid::requireCurrentField() const {
  data::Field *field = currentField();
  if (!field)
    throw data::DataError(QStringLiteral("Нет текущей ячейки: все поля скрыты"));
  return *field;
}

int ResultGrid::defaultWidth(const data::Field &field) const {
  const QFontMetrics metrics(view_->font());
  return metrics.horizontalAdvance(QLatin1Char('0')) * field.displayWidth() + 4;
}

void ResultGrid::capColumnWidths(int limit) {
  for (int column = 0; column < model_->columnCount(); ++column)
    if (view_->columnWidth(column) > limit)
      view_->setColumnWidth(column, limit);
}

void ResultGrid::applyWidths() {
  // Widths belong to the fields of one open; a closed result forgets them.
  if (!query_.active())
    widths_.clear();
  QHash<const data::Field *, int> kept;
  for (int column = 0; column < model_->columnCount(); ++column) {
    const data::Field *field = model_->fieldAt(column);
    if (!field)
      continue;
    const int width = widths_.value(field, defaultWidth(*field));
    kept[field] = width;
    view_->setColumnWidth(column, width);
  }
  widths_ = kept;
}

void ResultGrid::followQueryRow() {
  const int row = query_.recNo();
  if (row < 0 || model_->columnCount() == 0)
    return;
  const int column = qBound(0, view_->currentIndex().column(), model_->columnCount() - 1);
  const QModelIndex target = model_->index(row, column);
  if (view_->currentIndex() != target)
    view_->setCurrentIndex(target);
}

} // namespace quillon::forms
