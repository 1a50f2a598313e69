#pragma once

#include "data/Connection.h"
#include "data/Query.h"
#include "forms/FileDialog.h"

#include <QWidget>

#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace quillon::forms {

class CommandRouter;
class EdgeLine;
class FieldChooser;
class LinkLabel;
class RecordNavigator;
class ResultGrid;
class ValueTransfers;
class ViewerRefresh;
class WindowPlacementKeeper;

// The main window: banner, table picker, commands, result grid and the
// floating field chooser and free-query box. Its handlers delegate their
// work to the data and query layers.
class TfrmMainForm : public QWidget {
  Q_OBJECT
public:
  // `programDir` is the executable's folder, beside which db.udl lives.
  explicit TfrmMainForm(const QString &programDir, QWidget *parent = nullptr);
  ~TfrmMainForm() override;

  // The outer frame at the first start, and its smallest height.
  static constexpr int kFrameWidth = 640;
  static constexpr int kFrameHeight = 480;
  static constexpr int kMinFrameHeight = 300;
  // The client area the controls are laid out for.
  static constexpr int kClientWidth = 632;
  static constexpr int kClientHeight = 446;

  // Wires the windows created after this one (viewer, dialogs).
  void connectWindows();
  QString dataLinkPath() const { return dataLinkPath_; }
  CommandRouter *commandRouter() const { return router_; }

  // Banner.
  QFrame *pnlTop;
  QLabel *Label3, *lblDB, *lblUser;
  LinkLabel *Label2;
  // Table row.
  QLabel *Label1;
  QComboBox *cbTables;
  QPushButton *btnSQL, *btnUDL, *btnRefreshConn;
  EdgeLine *Bevel1;
  // Command row.
  QPushButton *btnRefreshList;
  RecordNavigator *DBNavigator;
  QPushButton *btnFields, *btnFilter, *btnFilterRun;
  QCheckBox *cbSQL;
  QPushButton *btnOwnWindow, *btnRun;
  // Grid and its menu.
  QTableView *grdList;
  QMenu *pupGrid;
  QAction *N1, *N2, *N3, *N4;
  // Bottom bar.
  QFrame *pnlBottom;
  QPushButton *btnHelp, *btnSettings, *btnToClipBoard, *btnFromClipBoard, *btnSaveToFile,
      *btnLoadFromFile, *btnClose;
  // Floating over the grid.
  QFrame *pnlFields;
  QPushButton *SpeedButton2, *SpeedButton3;
  QListWidget *clbFields;
  QPlainTextEdit *memSQL;

  // The command list, in list order.
  QAction *AExit, *ASetUDL, *ARefresh, *AShowFilter, *AFields, *AFromFile, *AToFile, *ARunFilter,
      *AShowAbout, *ACheckAll, *AUnChecAll, *AReConnect, *AToClipBoard, *AFromClipBoard, *ASettings,
      *AShowOwnWindow, *AShowSQL, *ACheckSQL, *ARun;
  QList<QAction *> ActionList;

  data::Connection ADOConn;
  data::Query qrTables;
  data::Query qrList;
  FileDialog OpenDialog{FileDialog::Kind::Open, this};
  FileDialog SaveDialog{FileDialog::Kind::Save, this};
  // Restores the window's place and state when it is shown at start-up;
  // saves them when it closes.
  WindowPlacementKeeper *FormPlacement1 = nullptr;

  // Handlers.
  void FormCreate();
  void AExitExecute();
  void ASetUDLExecute();
  void ARefreshExecute();
  void AShowFilterExecute();
  void AFieldsExecute();
  void AFromFileExecute();
  void AToFileExecute();
  void ARunFilterExecute();
  void AShowAboutExecute();
  void ACheckAllExecute();
  void AUnChecAllExecute();
  void AReConnectExecute();
  void AToClipBoardExecute();
  void AFromClipBoardExecute();
  void ASettingsExecute();
  void AShowOwnWindowExecute();
  void AShowSQLExecute();
  void ACheckSQLExecute();
  void ARunExecute();
  void btnHelpClick();
  void ADOConnBeforeConnect();
  void ADOConnAfterConnect();
  void qrListBeforeOpen();
  void qrListAfterOpen();
  void qrListAfterScroll();
  void grdListColEnter();
  void clbFieldsKeyDown();
  void SetAllFieldsChecked(bool checked);
  void UpdateTransferActions();
  void ClearViewer();
  void ShowCurrentValue();
  ViewerRefresh &viewerRefresh() const { return *viewerRefresh_; }

  // The field of the grid's selected column in the current row of qrList;
  // nullptr when there is none.
  data::Field *currentField() const;
  ResultGrid *resultGrid() const { return grid_; }

protected:
  void resizeEvent(QResizeEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  QAction *makeCommand(const char *name, const QString &caption, QKeySequence key, int picture,
                       void (TfrmMainForm::*handler)());
  void buildCommands();
  void buildBanner();
  void buildTableRow();
  void buildCommandRow();
  void buildGrid();
  void buildBottomBar();
  void buildFloatingPanels();
  void setTabOrder();
  void fillTablePicker();
  bool freeQueryMode() const;
  // Asks whether to open the current value with the program chosen in the
  // settings window, and does so on Yes.
  void RunExternalProgram();

  QString programDir_;
  QString dataLinkPath_;
  CommandRouter *router_ = nullptr;
  ResultGrid *grid_ = nullptr;
  std::unique_ptr<ViewerRefresh> viewerRefresh_;
  std::unique_ptr<FieldChooser> fieldChooser_;
  std::unique_ptr<ValueTransfers> transfers_;
};

// The connection string used when db.udl cannot be created.
QString builtInConnectionString();

} // namespace quillon::forms
