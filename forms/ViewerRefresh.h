#pragma once

namespace quillon::data {
class Field;
class Query;
} // namespace quillon::data

namespace quillon::forms {

class ResultGrid;

// Shows the current cell in the viewer window (frmOwnWindow): text kinds in
// its text pane, bound to the field, and large binary values in its picture
// pane when their first bytes name a picture format; other kinds leave both
// panes empty. Showing a value never reports anything: the viewer shows
// what it reached.
class ViewerRefresh {
public:
  ViewerRefresh(data::Query &query, const ResultGrid &grid);

  // Empties both panes.
  void ClearViewer();
  void ShowCurrentValue();

private:
  void HideViewerPanes();
  void ShowAsText();
  void ShowAsPicture();
  void LoadPictureFromBlob();

  data::Query &query_;
  const ResultGrid &grid_;
  // The field ShowCurrentValue found; its steps work on it.
  data::Field *shownField_ = nullptr;
};

} // namespace quillon::forms
