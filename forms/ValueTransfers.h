#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace quillon::data {
class Field;
class Query;
} // namespace quillon::data

namespace quillon::forms {

class FileDialog;
class ResultGrid;

// The work of the four transfer commands on the current cell: a file or the
// clipboard into the cell, the cell into a file or the clipboard. Each first
// tests its preconditions and does nothing when one fails; a failure shows
// the command's own message. A load writes the row back before it reports
// success.
class ValueTransfers {
public:
  struct Context {
    data::Query &query;
    const ResultGrid &grid;
    QWidget *owner; // of the progress dialog
    FileDialog &openDialog;
    FileDialog &saveDialog;
    std::function<bool()> freeQueryMode; // loads are refused in free-query mode
    std::function<void()> valueLoaded;   // after a load has been written
  };
  explicit ValueTransfers(Context context);

  void fromFile();
  void toFile();
  void toClipboard();
  void fromClipboard();

private:
  // Loads the file into the field of the row in edit state and posts it;
  // false when nothing was written (the edit is then cancelled).
  bool loadFileIntoRow(data::Field &field, const QString &path);

  Context c_;
};

} // namespace quillon::forms
