#pragma once

class QListWidget;

namespace quillon::data {
class Query;
} // namespace quillon::data

namespace quillon::forms {

// The field chooser's check list over a result: one item per field, named
// after it, checked for the fields the grid shows.
class FieldChooser {
public:
  FieldChooser(QListWidget &list, data::Query &query);

  // One item per field of the result, all checked or all unchecked.
  void refill(bool checked);
  // The checks become the fields' visibility; nothing without an open
  // result.
  void applyToFields();
  // The fields' visibility becomes the checks; nothing without an open
  // result.
  void readFromFields();
  void setAllChecked(bool checked);

private:
  QListWidget &list_;
  data::Query &query_;
};

} // namespace quillon::forms
