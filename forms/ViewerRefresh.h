#pragma once

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>

class QByteArray;

namespace quillon::data {
class ChunkedRead;
class Field;
class Query;
} // namespace quillon::data

namespace quillon::forms {

class ResultGrid;

// Shows the current cell in the viewer window (frmOwnWindow): text kinds in
// its text pane and large binary values in its picture pane when their
// first bytes name a picture format; other kinds leave both panes empty.
// Showing a value never reports anything: the viewer shows what it reached.
//
// The user-interface thread never waits on a value: a large one is read a
// chunk at a time between events, and laid out or decoded on a worker
// thread; each move starts afresh and drops the work for the cell before.
class ViewerRefresh : public QObject {
  Q_OBJECT
public:
  ViewerRefresh(data::Query &query, const ResultGrid &grid);
  ~ViewerRefresh() override;

  // Empties both panes.
  void ClearViewer();
  void ShowCurrentValue();

  // True while a value is still being read, or work on the worker has not
  // come back (also work for a cell left behind, which is then dropped);
  // `settled` follows when the panes show all they will for the cell.
  bool busy() const;

signals:
  // The value is read and handed to the worker.
  void valueRead();
  void settled();

private:
  enum class Pane { Text, Picture };
  struct Prepared;

  void HideViewerPanes();
  void ShowAsText();
  void ShowAsPicture();
  void LoadPictureFromBlob();

  // Reads what the pane needs of the value and shows it: at once when it
  // is little, else read in chunks between events and prepared by the
  // worker.
  void readFor(Pane pane, std::unique_ptr<data::ChunkedRead> read);
  void readNextChunk();
  void prepare(Pane pane, QByteArray bytes, qint64 valueSize);
  void show(Pane pane, Prepared prepared);
  void pictureFailed();
  void abandonWork();

  data::Query &query_;
  const ResultGrid &grid_;
  // The field ShowCurrentValue found; its steps work on it.
  data::Field *shownField_ = nullptr;

  // Counts the moves: work that finishes for an earlier one is dropped.
  quint64 move_ = 0;
  std::shared_ptr<std::atomic<bool>> abandoned_;
  std::unique_ptr<data::ChunkedRead> reading_;
  Pane readingFor_ = Pane::Text;
  QTimer readTimer_;
  // Work handed to the worker whose result has not come back.
  int outstanding_ = 0;
  // One worker: work for a cell left behind waits in line and is skipped.
  QThreadPool workers_;
};

} // namespace quillon::forms
