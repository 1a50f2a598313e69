#pragma once

#include <QString>

#include <functional>
#include <memory>

class QFileDialog;
class QWidget;

namespace quillon::forms {

// A file dialog that starts with the file chosen last time in it. The main
// window's dialogs have no filter and ask nothing about overwriting; the
// open dialogs take a typed name of a missing file (the load says what is
// wrong with it). The program dialog shows programs (executable files and
// scripts) first and all files on request.
class FileDialog {
public:
  enum class Kind { Open, Save, OpenProgram };

  FileDialog(Kind kind, QWidget *parent) : kind_(kind), parent_(parent) {}

  // Shows the dialog; false when the user cancels it.
  bool execute();
  QString fileName() const { return fileName_; }
  void setFileName(const QString &fileName) { fileName_ = fileName; }

private:
  Kind kind_;
  QWidget *parent_;
  QString fileName_;
};

// The dialog that Kind::Open shows, not yet shown.
std::unique_ptr<QFileDialog> makeOpenDialog(QWidget *parent, const QString &last);

// Tests choose the files instead of a user: the function receives the
// dialog's kind and its last file and returns the chosen file, empty for
// Cancel.
void setFileDialogOverride(std::function<QString(FileDialog::Kind, const QString &)> override);

} // namespace quillon::forms
