#pragma once

#include "data/Connection.h"
#include "data/Field.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace quillon::data {

class FileValue;

// Large values up to this size are kept in the row cache; larger ones only
// by their size. Where the row can be found again its values are read from
// it when used, and the cache serves to check that the row is unchanged
// when it is written.
constexpr qint64 kInlineValueLimit = 1 << 20;
// Once the cache holds this many bytes of large values, further ones are
// read again when needed too, so that a result of many pictures does not
// hold them all.
constexpr qint64 kInlineValueBudget = 16 << 20;

// A query over the connection whose whole result is fetched into a client
// side cache of rows. It has a current row, an edit state and posting: an
// edited row is written back to the row of the base table it came from.
// The layer's own errors read as the query's name, ": " and the message.
class Query : public QObject {
  Q_OBJECT

public:
  enum class State { Inactive, Browse, Edit };

  Query(QString name, Connection &connection, QObject *parent = nullptr);
  ~Query() override;

  QString name() const { return name_; }
  Connection &connection() const { return connection_; }

  // The statement as lines; sent with every line followed by CR LF.
  void setSQL(const QStringList &lines);
  QStringList sql() const { return sql_; }
  QString commandText() const;

  // Runs the before-open hook, connects when needed, runs the statement,
  // fetches every row, makes the fields, lets the bound controls rebuild,
  // runs the after-open hook and, when there is a row, the after-scroll
  // hook. A failure throws DataError and leaves the query closed; one that
  // lost the connection leaves it closed too, and a rerunnable statement
  // is then run once more on a new connection.
  void open();
  // Whether the statement changes nothing, so that it may run again after
  // the connection was lost under it. Off unless set.
  void setRerunnable(bool rerunnable) { rerunnable_ = rerunnable; }
  // Destroys the fields and the rows; nothing when closed.
  void close();
  bool active() const { return state_ != State::Inactive; }
  State state() const { return state_; }

  int recordCount() const;
  const std::vector<std::unique_ptr<Field>> &fields() const { return fields_; }
  Field *findField(const QString &name) const;
  Field &fieldByName(const QString &name) const;

  // The current row, -1 when the result has none.
  int recNo() const { return current_; }
  bool isEmpty() const { return rows_.empty(); }
  void first() { moveTo(0); }
  void prior() { moveTo(current_ - 1); }
  void next() { moveTo(current_ + 1); }
  void last() { moveTo(int(rows_.size()) - 1); }
  // Moves to a row (clamped to the rows there are); posts a pending edit.
  void moveTo(int row);

  // Suspends the bound controls; the matching resume refreshes them once.
  void disableControls();
  void enableControls();
  bool controlsDisabled() const { return controlsDisabled_ > 0; }

  void edit();
  // Writes the changed fields back; a refused post throws and the row stays
  // in edit state.
  void post();
  void cancel();
  // In edit state: posts when a field changed, else leaves edit state.
  void checkBrowseMode();
  bool modified() const { return !pending_.empty(); }

  // A reader over the whole large value of a field in the current row.
  std::unique_ptr<ByteSource> createBlobStream(const Field &field) const;

  // A value of any row as the cache holds it (for showing rows).
  const CellValue &cell(int row, int field) const;

  // Watch and run the large values that move between files and the
  // database: a post (its file values are observed) and a value saved to a
  // file.
  TransferHooks transfer;
  // Runs `work`, a transfer's long part, through the hooks; meanwhile
  // transferRunning() is true and nothing else may use the connection.
  void runTransfer(const std::function<void()> &work);
  bool transferRunning() const { return transferRunning_; }

  // Turns the command text into what is sent (parameter markers).
  std::function<QString(const QString &)> prepareCommand;
  std::function<void(Query &)> beforeOpen;
  std::function<void(Query &)> afterOpen;
  std::function<void(Query &)> afterScroll;

signals:
  // Fields, rows or their visibility changed: bound controls rebuild.
  void layoutChanged();
  // The values of one row changed.
  void rowChanged(int row);
  void currentRowChanged(int row);

private:
  friend class Field;

  // A new value in the edit buffer: held in memory or in a file.
  struct Pending {
    CellValue value;
    std::shared_ptr<FileValue> file;
  };
  // A base table the result reads, with how its rows are found again.
  struct Table {
    QString name;
    std::vector<int> fields;    // fields that come from this table
    std::vector<int> keyFields; // fields that identify a row
    bool uniqueKey = false;     // the key fields are a primary or unique key
    int versionSlot = -1;       // where rows keep the row's version, if read
  };

  [[noreturn]] void fail(const QString &message) const;
  void fetchResult();
  void requireActive() const;
  void requireEditable(const Field &field) const;
  void makeFields(const std::vector<ColumnInfo> &columns, std::vector<int> &columnOfField);
  void findTables();
  // Makes the fields of the columns the engine computes read-only.
  void markReadOnly(const Table &table);
  const Table *tableOf(const Field &field) const;
  std::vector<Criterion> locate(const Table &table, int row) const;
  // The key criteria of the current row as the pending values leave it.
  std::vector<Criterion> keyAfterPost(const Table &table) const;
  const CellValue &currentValue(const Field &field) const;
  const Pending *pendingFor(const Field &field) const;
  void setPending(const Field &field, Pending value);
  void notifyLayout();
  void notifyRow(int row);
  void clear();

  QString name_;
  Connection &connection_;
  QStringList sql_;
  State state_ = State::Inactive;
  std::vector<std::unique_ptr<Field>> fields_;
  // The values of each row by field, then the row versions of the tables
  // that have them.
  std::vector<std::vector<CellValue>> rows_;
  std::vector<Table> tables_;
  int current_ = -1;
  std::map<int, Pending> pending_;
  int controlsDisabled_ = 0;
  bool layoutOutdated_ = false;
  bool rerunnable_ = false;
  bool transferRunning_ = false;
};

} // namespace quillon::data
