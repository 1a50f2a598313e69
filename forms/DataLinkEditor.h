#pragma once

#include "data/ConnectionSettings.h"

#include <QDialog>
#include <QMessageBox>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace quillon::forms {

// Opens the connection `initString` names the way the program does and
// closes it again: empty when it opens, else the driver's message.
// `dataLinkDir` is the folder of db.udl, which a relative SQLite file is
// taken from.
QString testConnection(const QString &initString, const QString &dataLinkDir);

// What the SQLite file field holds for a file the user picked: the path
// relative to db.udl's folder when the file lies in it or below, so that a
// portable folder stays movable; the absolute path otherwise.
QString sqliteDataSourceFor(const QString &chosenFile, const QString &dataLinkDir);

// The data-link editor: shows the provider, server, database,
// authentication and credentials of db.udl and writes them back in the
// file's own format. Non-modal; the caller owns it (set
// Qt::WA_DeleteOnClose for a window that goes away when closed).
class DataLinkEditor : public QDialog {
  Q_OBJECT
public:
  // The order of the provider list.
  using Provider = data::ConnectionSettings::Backend;

  DataLinkEditor(const QString &dataLinkPath, QWidget *parent = nullptr);

  // Shows an editor of its own over `path`, which goes away when closed; a
  // damaged file is shown all the same, with the editor's message, so the
  // user can mend it. False when the file cannot be read.
  static bool openForEditing(const QString &path, QWidget *parent);

  enum class LoadOutcome { Loaded, Damaged, Unreadable };
  // Reads the file and fills the controls. Damaged, with the reason, when
  // its initialization string is malformed: the controls then start empty,
  // so OK writes a fresh string. Unreadable, with the reason, when the file
  // cannot be read.
  LoadOutcome load(QString *error);

  // A non-modal message box over the editor, under the editor's title.
  void report(QMessageBox::Icon icon, const QString &text);

  // The initialization string the controls describe. Keys the editor does
  // not show and keys of fields the chosen provider does not use keep their
  // values and places; an untouched string comes back as it was read.
  QString initString() const;

  QString dataLinkPath() const { return path_; }

  // Writes the file; on failure says why and stays open.
  void accept() override;

private:
  void build();
  QWidget *buildSqlServerPage();
  QWidget *buildOdbcPage();
  QWidget *buildSqlitePage();
  QWidget *buildPostgresPage();
  std::optional<Provider> chosenProvider() const;
  void showProviderPage();
  void updateCredentials();
  void browseSqliteFile();
  void testClicked();
  void remember(const QString &initString);
  void fillControls();
  QString dataLinkDir() const;

  QString path_;
  // What the file held when it was read or last written.
  QString loadedText_;
  data::InitProperties loaded_;
  bool loadedParsed_ = false;
  std::optional<Provider> loadedProvider_;

  QLabel *lblFile_ = nullptr;
  QComboBox *cmbProvider_ = nullptr;
  QStackedWidget *stkProvider_ = nullptr;
  QLineEdit *edtServer_ = nullptr;
  QLineEdit *edtDatabase_ = nullptr;
  QRadioButton *rbIntegrated_ = nullptr;
  QRadioButton *rbUserPassword_ = nullptr;
  QLineEdit *edtUser_ = nullptr;
  QLineEdit *edtPassword_ = nullptr;
  QLineEdit *edtDsn_ = nullptr;
  QLineEdit *edtOdbcString_ = nullptr;
  QLineEdit *edtSqliteFile_ = nullptr;
  QLineEdit *edtPgServer_ = nullptr;
  QLineEdit *edtPgDatabase_ = nullptr;
  QLineEdit *edtPgUser_ = nullptr;
  QLineEdit *edtPgPassword_ = nullptr;
  QPushButton *btnBrowse_ = nullptr;
  QLabel *lblUnsupported_ = nullptr;
  QPushButton *btnTest_ = nullptr;
};

} // namespace quillon::forms
