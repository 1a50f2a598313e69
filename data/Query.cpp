#include "data/Query.h"

#include "data/DataError.h"
#include "data/FileValue.h"
#include "data/SizedResults.h"

#include <limits>

namespace quillon::data {

namespace {

const CellValue kNull;

bool sameName(const QString &a, const QString &b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Unique field names: an unnamed column is COLUMN1, COLUMN2, ...; a repeated
// name gets _1, _2, ... with the lowest number still free.
QString uniqueFieldName(const QString &name, const QStringList &taken) {
  const auto isTaken = [&](const QString &candidate) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const QString &t) { return sameName(t, candidate); });
  };
  if (name.isEmpty()) {
    for (int n = 1;; ++n)
      if (const QString candidate = QStringLiteral("COLUMN%1").arg(n); !isTaken(candidate))
        return candidate;
  }
  if (!isTaken(name))
    return name;
  for (int n = 1;; ++n)
    if (const QString candidate = QStringLiteral("%1_%2").arg(name).arg(n); !isTaken(candidate))
      return candidate;
}

ColumnRef refOf(const Field &field) {
  return {field.column().baseColumn, field.dataType(), field.column().typeName};
}

} // namespace

Query::Query(QString name, Connection &connection, QObject *parent)
    : QObject(parent), name_(std::move(name)), connection_(connection) {}

Query::~Query() = default;

void Query::setSQL(const QStringList &lines) {
  if (active())
    fail(QStringLiteral("Operation not allowed on an open dataset"));
  sql_ = lines;
}

QString Query::commandText() const {
  QString text;
  for (const QString &line : sql_)
    text += line + QLatin1String("\r\n");
  return text;
}

void Query::fail(const QString &message) const {
  throw DataError(name_ + ": " + message);
}

void Query::requireActive() const {
  if (!active())
    fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Query::open() {
  if (active())
    return;
  if (beforeOpen)
    beforeOpen(*this);
  if (!connection_.connected())
    connection_.open();
  try {
    fetchResult();
  } catch (const DataError &error) {
    clear();
    if (!error.connectionLost())
      throw;
    // A lost connection counts as closed: the next open connects again,
    // and a statement that changes nothing runs again on a new one now.
    connection_.close();
    if (!rerunnable_)
      throw;
    connection_.open();
    try {
      fetchResult();
    } catch (const DataError &again) {
      clear();
      if (again.connectionLost())
        connection_.close();
      throw;
    }
  } catch (...) {
    clear();
    throw;
  }
  state_ = State::Browse;
  current_ = rows_.empty() ? -1 : 0;
  notifyLayout();
  if (afterOpen)
    afterOpen(*this);
  if (current_ >= 0 && afterScroll)
    afterScroll(*this);
}

void Query::fetchResult() {
  Driver &driver = connection_.driver();
  const QString command = prepareCommand ? prepareCommand(commandText()) : commandText();
  std::unique_ptr<ResultSet> result = openSized(driver, command, kInlineValueLimit);
  if (!result)
    fail(QStringLiteral("CommandText does not return a result set"));

  std::vector<int> columnOfField;
  makeFields(result->columns(), columnOfField);
  findTables();

  std::vector<qint64> inlineLimit(fields_.size(), std::numeric_limits<qint64>::max());
  for (const auto &field : fields_) {
    const Table *table = tableOf(*field);
    if (field->isLargeValue() && table && table->uniqueKey)
      inlineLimit[size_t(field->index())] = kInlineValueLimit;
  }
  std::vector<int> versionColumns; // by slot after the fields
  const std::vector<ColumnInfo> &columns = result->columns();
  for (size_t c = 0; c < columns.size(); ++c) {
    if (!columns[c].rowVersion)
      continue;
    for (Table &table : tables_)
      if (table.name == columns[c].baseTable && table.versionSlot < 0) {
        table.versionSlot = int(fields_.size() + versionColumns.size());
        versionColumns.push_back(int(c));
      }
  }
  qint64 held = 0; // bytes of large values kept so far
  while (result->fetch()) {
    std::vector<CellValue> row;
    row.reserve(fields_.size() + versionColumns.size());
    for (size_t f = 0; f < fields_.size(); ++f) {
      const bool rereadable = inlineLimit[f] == kInlineValueLimit;
      const qint64 limit = rereadable && held >= kInlineValueBudget ? 0 : inlineLimit[f];
      row.push_back(result->value(columnOfField[f], limit));
      if (rereadable && !row.back().isDeferred())
        held += row.back().size();
    }
    for (int column : versionColumns)
      row.push_back(result->value(column, std::numeric_limits<qint64>::max()));
    rows_.push_back(std::move(row));
  }
}

void Query::makeFields(const std::vector<ColumnInfo> &columns, std::vector<int> &columnOfField) {
  QStringList names;
  for (size_t c = 0; c < columns.size(); ++c) {
    const ColumnInfo &column = columns[c];
    if (column.rowId || column.kind == FieldKind::ftUnknown)
      continue;
    const QString fieldName = uniqueFieldName(column.name, names);
    names << fieldName;
    fields_.push_back(std::make_unique<Field>(*this, int(fields_.size()), column, fieldName));
    columnOfField.push_back(int(c));
  }
}

void Query::findTables() {
  for (const auto &field : fields_) {
    const QString &table = field->column().baseTable;
    if (table.isEmpty())
      continue;
    auto it = std::find_if(tables_.begin(), tables_.end(),
                           [&](const Table &t) { return t.name == table; });
    if (it == tables_.end()) {
      tables_.push_back({table, {}, {}, false});
      it = tables_.end() - 1;
    }
    it->fields.push_back(field->index());
  }

  for (Table &table : tables_) {
    QStringList key;
    try {
      key = connection_.driver().keyColumns(table.name);
    } catch (const DataError &) {
      key.clear(); // without key facts every column identifies the row
    }
    for (const QString &column : key) {
      const auto found = std::find_if(table.fields.begin(), table.fields.end(), [&](int f) {
        return sameName(fields_[size_t(f)]->column().baseColumn, column);
      });
      if (found == table.fields.end() || fields_[size_t(*found)]->isLargeValue()) {
        table.keyFields.clear();
        break;
      }
      table.keyFields.push_back(*found);
    }
    table.uniqueKey = !key.isEmpty() && !table.keyFields.empty();
    markReadOnly(table);
    if (!table.uniqueKey) {
      // No usable key: the row is identified by every column that can be
      // compared, and posting still insists on exactly one match.
      for (int f : table.fields)
        if (!fields_[size_t(f)]->isLargeValue())
          table.keyFields.push_back(f);
    }
  }
}

void Query::markReadOnly(const Table &table) {
  QStringList computed;
  try {
    computed = connection_.driver().readOnlyColumns(table.name);
  } catch (const DataError &) {
    return; // the write itself will tell
  }
  for (int f : table.fields) {
    Field &field = *fields_[size_t(f)];
    if (computed.contains(field.column().baseColumn, Qt::CaseInsensitive))
      field.setReadOnly(true);
  }
}

const Query::Table *Query::tableOf(const Field &field) const {
  for (const Table &table : tables_)
    if (table.name == field.column().baseTable)
      return &table;
  return nullptr;
}

std::vector<Criterion> Query::locate(const Table &table, int row) const {
  std::vector<Criterion> criteria;
  for (int f : table.keyFields)
    criteria.push_back({refOf(*fields_[size_t(f)]), rows_[size_t(row)][size_t(f)]});
  return criteria;
}

std::vector<Criterion> Query::keyAfterPost(const Table &table) const {
  std::vector<Criterion> criteria = locate(table, current_);
  for (size_t k = 0; k < criteria.size(); ++k)
    if (const Pending *pending = pendingFor(*fields_[size_t(table.keyFields[k])]))
      criteria[k].original = pending->value;
  return criteria;
}

void Query::close() {
  if (!active())
    return;
  clear();
  notifyLayout();
}

void Query::clear() {
  pending_.clear();
  rows_.clear();
  tables_.clear();
  fields_.clear();
  current_ = -1;
  state_ = State::Inactive;
}

int Query::recordCount() const {
  requireActive();
  return int(rows_.size());
}

Field *Query::findField(const QString &name) const {
  for (const auto &field : fields_)
    if (sameName(field->fieldName(), name))
      return field.get();
  return nullptr;
}

Field &Query::fieldByName(const QString &name) const {
  Field *field = findField(name);
  if (!field)
    fail(QStringLiteral("Field '%1' not found").arg(name));
  return *field;
}

void Query::moveTo(int row) {
  requireActive();
  if (rows_.empty())
    return;
  row = std::clamp(row, 0, int(rows_.size()) - 1);
  if (row == current_)
    return;
  checkBrowseMode();
  current_ = row;
  if (!controlsDisabled())
    emit currentRowChanged(current_);
  if (afterScroll)
    afterScroll(*this);
}

void Query::disableControls() {
  ++controlsDisabled_;
}

void Query::enableControls() {
  if (controlsDisabled_ == 0)
    return;
  if (--controlsDisabled_ == 0) {
    layoutOutdated_ = false;
    emit layoutChanged();
  }
}

void Query::notifyLayout() {
  if (controlsDisabled())
    layoutOutdated_ = true;
  else
    emit layoutChanged();
}

void Query::notifyRow(int row) {
  if (!controlsDisabled())
    emit rowChanged(row);
}

void Query::edit() {
  requireActive();
  if (state_ == State::Edit)
    return;
  if (rows_.empty())
    fail(QStringLiteral("Cannot edit: the result has no rows"));
  state_ = State::Edit;
}

void Query::cancel() {
  if (state_ != State::Edit)
    return;
  pending_.clear();
  state_ = State::Browse;
  notifyRow(current_);
}

void Query::checkBrowseMode() {
  if (state_ != State::Edit)
    return;
  if (modified())
    post();
  else
    cancel();
}

void Query::post() {
  if (state_ != State::Edit)
    fail(QStringLiteral("Dataset not in edit or insert mode"));
  std::vector<CellValue> &row = rows_[size_t(current_)];

  for (const Table &table : tables_) {
    RowUpdate update;
    update.table = table.name;
    update.criteria = locate(table, current_);
    for (const auto &[index, value] : pending_) {
      const Field &field = *fields_[size_t(index)];
      if (field.column().baseTable != table.name)
        continue;
      Assignment assignment{refOf(field), value.value, nullptr};
      if (value.file)
        assignment.stream = observed(value.file->reader(), transfer.observer);
      update.assignments.push_back(std::move(assignment));
      // A changed column must still hold what was read (optimistic locking).
      if (std::find(table.keyFields.begin(), table.keyFields.end(), index) == table.keyFields.end())
        update.criteria.push_back({refOf(field), row[size_t(index)]});
    }
    if (update.assignments.empty())
      continue;
    if (table.versionSlot >= 0) {
      // A value known only by its length is vouched for by the row's
      // version, which every write by another client changes.
      const CellValue &version = row[size_t(table.versionSlot)];
      const bool deferred = std::any_of(update.criteria.begin(), update.criteria.end(),
                                        [](const Criterion &c) { return c.original.isDeferred(); });
      if (deferred && !version.isNull())
        update.criteria.push_back({{}, version, true});
      update.keyAfter = keyAfterPost(table);
    }
    update.beforeCommit = transfer.committing;
    QByteArray version;
    runTransfer([&] { version = connection_.driver().updateRow(update); });
    if (table.versionSlot >= 0)
      row[size_t(table.versionSlot)] =
          version.isNull() ? CellValue::null() : CellValue::text(version);
  }

  for (auto &[index, value] : pending_) {
    const Field &field = *fields_[size_t(index)];
    if (!value.file) {
      row[size_t(index)] = value.value;
      continue;
    }
    const Table *table = tableOf(field);
    const bool textual = field.dataType() == FieldKind::ftMemo;
    if (table && table->uniqueKey && value.file->size() > kInlineValueLimit) {
      row[size_t(index)] = CellValue::deferred(value.file->size(), textual);
    } else {
      QByteArray bytes = readAll(*value.file->reader());
      row[size_t(index)] = textual ? CellValue::text(bytes) : CellValue::bytes(bytes);
    }
  }
  pending_.clear();
  state_ = State::Browse;
  notifyRow(current_);
}

void Query::runTransfer(const std::function<void()> &work) {
  struct Running {
    bool &flag;
    explicit Running(bool &f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(transferRunning_);
  if (transfer.run)
    transfer.run(work);
  else
    work();
}

const Query::Pending *Query::pendingFor(const Field &field) const {
  const auto found = pending_.find(field.index());
  return found == pending_.end() ? nullptr : &found->second;
}

const CellValue &Query::currentValue(const Field &field) const {
  if (current_ < 0)
    return kNull;
  if (const Pending *pending = pendingFor(field); pending && !pending->file)
    return pending->value;
  return rows_[size_t(current_)][size_t(field.index())];
}

const CellValue &Query::cell(int row, int field) const {
  if (row < 0 || row >= int(rows_.size()) || field < 0 || field >= int(fields_.size()))
    return kNull;
  if (row == current_)
    return currentValue(*fields_[size_t(field)]);
  return rows_[size_t(row)][size_t(field)];
}

void Query::requireEditable(const Field &field) const {
  requireActive();
  if (field.readOnly())
    fail(QStringLiteral("Field '%1' cannot be modified").arg(field.fieldName()));
  if (state_ != State::Edit)
    fail(QStringLiteral("Dataset not in edit or insert mode"));
}

void Query::setPending(const Field &field, Pending value) {
  requireEditable(field);
  pending_[field.index()] = std::move(value);
  notifyRow(current_);
}

std::unique_ptr<ByteSource> Query::createBlobStream(const Field &field) const {
  requireActive();
  if (!field.isLargeValue())
    fail(QStringLiteral("Field '%1' is not a BLOB field").arg(field.fieldName()));
  if (const Pending *pending = pendingFor(field)) {
    if (pending->file)
      return pending->file->reader();
    return std::make_unique<MemoryByteSource>(pending->value.data());
  }
  // A value of a table with a key is read from its row, whatever its size,
  // so that every value shown or saved is the row's own at that moment;
  // others come from the result as it was read, but for those too large to
  // be read with it, which come from the row its other columns find.
  const Table *table = tableOf(field);
  const CellValue &value = currentValue(field);
  if (!table || (!table->uniqueKey && !value.isDeferred()))
    return std::make_unique<MemoryByteSource>(value.data());
  return connection_.driver().readValue(table->name, refOf(field), locate(*table, current_));
}

} // namespace quillon::data
