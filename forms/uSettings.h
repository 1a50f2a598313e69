#pragma once

#include "forms/FileDialog.h"
#include "forms/SecondaryWindow.h"
#include "platform/DesktopEntries.h"

#include <QList>
#include <QPixmap>

#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace quillon::forms {

class ProgramPicker;

// The settings window: the external programs a value can be opened with,
// and the default folder. The program list is held three times in step:
// the full paths in the order added (lbProgramList), their icons in the same
// order (imlIcons), and the picker sorted by file name whose items carry
// their position in the other two. It is loaded once at creation and stored
// only by "Применить".
class TfrmSettings : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmSettings(QWidget *parent = nullptr);

  // Lists a program; answers the picker position of its item, or -1 when the
  // path is listed already (compared without regard to case).
  int AddProgram(const QString &path);

  // The chosen program's full path; empty when none is chosen.
  QString chosenProgramPath() const;

  QLabel *Label1;
  ProgramPicker *cmbProgramList;
  QPushButton *btnBrowseProgram, *btnDeleteItem;
  QLabel *Label2;
  QLineEdit *dirDefaultDir;
  QToolButton *btnDefaultDir;
  QPushButton *btnHelp, *btnOK, *btnCancel;
  QListWidget *lbProgramList;
  QList<QPixmap> imlIcons;
  FileDialog OpenDialog{FileDialog::Kind::OpenProgram, this};

protected:
  void showEvent(QShowEvent *event) override;

private:
  void FormCreate();
  void btnBrowseProgramClick();
  void btnDeleteItemClick();
  void btnOKClick();
  void btnHelpClick();
  void chooseDefaultDir();
  QStringList programPaths() const;

  std::optional<platform::DesktopEntryIcons> desktopIcons_;
};

// The icon a program is listed with: `desktopIcon`, the Icon value of the
// desktop entry that starts it (a theme name or a file), else the built-in
// default; a null pixmap when neither exists.
QPixmap programListIcon(const QString &desktopIcon);

} // namespace quillon::forms
