#include "forms/uBlobFormFile.h"

#include "data/DataError.h"
#include "data/DataLink.h"
#include "forms/CommandPictures.h"
#include "forms/CommandRouter.h"
#include "forms/Controls.h"
#include "forms/DataLinkEditor.h"
#include "forms/FieldChooser.h"
#include "forms/HelpFile.h"
#include "forms/LinkLabel.h"
#include "forms/MessageBoxes.h"
#include "forms/OpenWith.h"
#include "forms/ProgramPicker.h"
#include "forms/RecordNavigator.h"
#include "forms/ResultGrid.h"
#include "forms/SecondaryWindow.h"
#include "forms/UTarnwickAbout.h"
#include "forms/ValueTransfers.h"
#include "forms/ViewerRefresh.h"
#include "forms/WindowPlacementKeeper.h"
#include "forms/Windows.h"
#include "forms/uFilter.h"
#include "forms/uOwnWindow.h"
#include "forms/uSettings.h"
#include "platform/ShellRequest.h"
#include "query/ParameterMarkers.h"
#include "query/StatementComposer.h"
#include "settings/PlacementStorage.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTableView>

namespace quillon::forms {

namespace {

// Distances of the controls that grow with the window from its bottom edge.
constexpr int kBottomBarHeight = 39;
constexpr int kGridTop = 128;
constexpr int kMemoTop = 240;
constexpr int kMemoBottomGap = 61;

} // namespace

QString builtInConnectionString() {
  return QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security "
                        "Info=False;Initial Catalog=Quillon;Data Source=localhost");
}

TfrmMainForm::TfrmMainForm(const QString &programDir, QWidget *parent)
    : QWidget(parent), ADOConn(QStringLiteral("ADOConn")),
      qrTables(QStringLiteral("qrTables"), ADOConn), qrList(QStringLiteral("qrList"), ADOConn),
      programDir_(programDir) {
  setObjectName(QStringLiteral("frmMainForm"));
  setWindowTitle(QStringLiteral("Quillon"));
  setWindowIcon(programIcon());
  setFont(uiFont());
  setAutoFillBackground(true);
  resize(kClientWidth, kClientHeight);

  buildCommands();
  buildBanner();
  buildTableRow();
  buildCommandRow();
  buildGrid();
  buildBottomBar();
  buildFloatingPanels();
  setTabOrder();

  ADOConn.beforeConnect = [this] { ADOConnBeforeConnect(); };
  ADOConn.afterConnect = [this] { ADOConnAfterConnect(); };
  qrTables.afterOpen = [this](data::Query &) { fillTablePicker(); };
  qrTables.setRerunnable(true);
  // The connection is open by the time a statement is prepared.
  const auto markParameters = [this](const QString &text) {
    const bool casts = data::SqlDialect::of(ADOConn.dialect()).doubleColonIsCast();
    return query::markParameters(text, casts).text;
  };
  qrTables.prepareCommand = markParameters;
  qrList.prepareCommand = markParameters;
  qrList.beforeOpen = [this](data::Query &) { qrListBeforeOpen(); };
  qrList.afterOpen = [this](data::Query &) { qrListAfterOpen(); };
  qrList.afterScroll = [this](data::Query &) { qrListAfterScroll(); };

  viewerRefresh_ = std::make_unique<ViewerRefresh>(qrList, *grid_);
  fieldChooser_ = std::make_unique<FieldChooser>(*clbFields, qrList);
  transfers_ = std::make_unique<ValueTransfers>(
      ValueTransfers::Context{qrList, *grid_, this, OpenDialog, SaveDialog,
                              [this] { return freeQueryMode(); }, [this] { ShowCurrentValue(); }});

  router_ = new CommandRouter(this, ActionList, this);
  FormPlacement1 = new WindowPlacementKeeper(this, settings::mainWindowPlacementKey,
                                             WindowPlacementKeeper::Kind::MainWindow);
  // Width fixed, height free from 300 up: the outer frame's, whatever the
  // window manager's frame takes of it.
  FormPlacement1->setFrameSizeLimits(QSize(kFrameWidth, kMinFrameHeight),
                                     QSize(kFrameWidth, QWIDGETSIZE_MAX));
  FormPlacement1->setDesignFrame(QRect(232, 122, kFrameWidth, kFrameHeight));
  router_->addContextMenu(grdList, pupGrid);

  platform::setDocumentHandler(QStringLiteral("udl"), [this](const QString &path) {
    return DataLinkEditor::openForEditing(path, this);
  });
  FormCreate();
}

TfrmMainForm::~TfrmMainForm() {
  platform::setDocumentHandler(QStringLiteral("udl"), {});
  qrList.close();
  qrTables.close();
  ADOConn.close();
}

void TfrmMainForm::connectWindows() {
  if (frmOwnWindow) {
    router_->addWindow(frmOwnWindow);
    connect(frmOwnWindow, &SecondaryWindow::closedByUser, this,
            [this] { btnOwnWindow->setChecked(false); });
  }
}

QAction *TfrmMainForm::makeCommand(const char *name, const QString &caption, QKeySequence key,
                                   int picture, void (TfrmMainForm::*handler)()) {
  auto *command = new QAction(caption, this);
  command->setObjectName(QLatin1String(name));
  command->setShortcut(key);
  // The router delivers command keys; the shortcut is shown in menus only.
  command->setShortcutContext(Qt::WidgetShortcut);
  if (picture >= 0)
    command->setIcon(commandPicture(picture));
  connect(command, &QAction::triggered, this,
          [this, handler] { guarded([&] { (this->*handler)(); }); });
  ActionList.append(command);
  return command;
}

void TfrmMainForm::buildCommands() {
  using M = TfrmMainForm;
  AExit = makeCommand("AExit", QStringLiteral("Выход"), {}, 6, &M::AExitExecute);
  ASetUDL = makeCommand("ASetUDL", QStringLiteral("Настроить подкючение к базе ..."), {}, 7,
                        &M::ASetUDLExecute);
  ARefresh =
      makeCommand("ARefresh", QStringLiteral("Обновить"), Qt::Key_F5, 10, &M::ARefreshExecute);
  AShowFilter =
      makeCommand("AShowFilter", QStringLiteral("Фильтр"), {}, 11, &M::AShowFilterExecute);
  AFields = makeCommand("AFields", QStringLiteral("Поля ..."), {}, 12, &M::AFieldsExecute);
  AFromFile = makeCommand("AFromFile", QStringLiteral("Из файла"), Qt::CTRL | Qt::Key_O, 8,
                          &M::AFromFileExecute);
  AToFile =
      makeCommand("AToFile", QStringLiteral("В файл"), Qt::CTRL | Qt::Key_S, 9, &M::AToFileExecute);
  ARunFilter = makeCommand("ARunFilter", QString(), {}, 13, &M::ARunFilterExecute);
  AShowAbout =
      makeCommand("AShowAbout", QStringLiteral("О программе ..."), {}, -1, &M::AShowAboutExecute);
  ACheckAll = makeCommand("ACheckAll", QString(), {}, 15, &M::ACheckAllExecute);
  AUnChecAll = makeCommand("AUnChecAll", QString(), {}, 14, &M::AUnChecAllExecute);
  AReConnect =
      makeCommand("AReConnect", QString(), Qt::SHIFT | Qt::Key_F5, 10, &M::AReConnectExecute);
  AToClipBoard = makeCommand("AToClipBoard", QStringLiteral("В буфер"), Qt::CTRL | Qt::Key_C, 16,
                             &M::AToClipBoardExecute);
  AFromClipBoard = makeCommand("AFromClipBoard", QStringLiteral("Из буфера"), Qt::CTRL | Qt::Key_V,
                               17, &M::AFromClipBoardExecute);
  ASettings =
      makeCommand("ASettings", QStringLiteral("&Настройки"), Qt::Key_F2, 3, &M::ASettingsExecute);
  AShowOwnWindow = makeCommand("AShowOwnWindow", QString(), {}, 18, &M::AShowOwnWindowExecute);
  AShowSQL = makeCommand("AShowSQL", QStringLiteral("SQL"), {}, -1, &M::AShowSQLExecute);
  ACheckSQL =
      makeCommand("ACheckSQL", QStringLiteral("По запросу SQL"), {}, -1, &M::ACheckSQLExecute);
  ARun = makeCommand("ARun", QString(), Qt::CTRL | Qt::Key_R, 19, &M::ARunExecute);

  ACheckAll->setToolTip(QStringLiteral("Отметить все"));
  AUnChecAll->setToolTip(QStringLiteral("Снять все"));
  // The checked flag flips on every trigger; the handler shows it.
  ARunFilter->setCheckable(true);
  ARunFilter->setChecked(true);
  for (QAction *transfer : {AFromFile, AToFile, AToClipBoard, AFromClipBoard})
    transfer->setEnabled(false);
}

void TfrmMainForm::buildBanner() {
  pnlTop = new QFrame(this);
  pnlTop->setObjectName(QStringLiteral("pnlTop"));
  pnlTop->setGeometry(0, 0, kClientWidth, 49);
  pnlTop->setAutoFillBackground(true);
  QPalette white = pnlTop->palette();
  white.setColor(QPalette::Window, Qt::white);
  pnlTop->setPalette(white);

  Label3 =
      makeLabel(pnlTop, "Label3",
                QStringLiteral("Позволяет загружать BLOB поля из файла и буфера обмена"), {16, 0});
  Label3->setFont(pixelFont(12, true));
  Label3->adjustSize();
  lblDB = makeLabel(pnlTop, "lblDB", QStringLiteral("Текущая база:"), {40, 16});
  lblUser = makeLabel(pnlTop, "lblUser", QStringLiteral("Пользователь:"), {40, 32});
  Label2 = new LinkLabel(QStringLiteral("О программе ..."), pnlTop);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
  // Right-aligned and sized to its text: it grows to the left of 544 + 80.
  Label2->adjustSize();
  Label2->setGeometry(544 + 80 - qMax(80, Label2->width()), 32, qMax(80, Label2->width()),
                      Label2->height());
  connect(Label2, &LinkLabel::clicked, this, [this] { guarded([this] { AShowAboutExecute(); }); });
}

void TfrmMainForm::buildTableRow() {
  Label1 = makeLabel(this, "Label1", QStringLiteral("Таблица"), {8, 56});
  // Clear of the table picker at 56.
  shrinkFontToFit(Label1, 44);
  Label1->adjustSize();
  cbTables = new QComboBox(this);
  cbTables->setObjectName(QStringLiteral("cbTables"));
  cbTables->setGeometry(56, 56, 273, 21);
  cbTables->setEditable(false);
  cbTables->setMaxVisibleItems(7);
  // Styles that open the list like a menu show every name, however many.
  cbTables->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
  cbTables->installEventFilter(this);

  btnSQL = makeButton(this, "btnSQL", QString(), {336, 56, 49, 22});
  btnSQL->setCheckable(true);
  QFont bold = uiFont();
  bold.setBold(true);
  btnSQL->setFont(bold);
  bindToCommand(btnSQL, AShowSQL, Face::Caption);
  btnUDL = makeButton(this, "btnUDL", QString(), {392, 56, 201, 25});
  bindToCommand(btnUDL, ASetUDL, Face::CaptionAndPicture);
  shrinkFontToFit(btnUDL, btnUDL->width());
  btnRefreshConn = makeButton(this, "btnRefreshConn", QString(), {600, 56, 25, 25});
  bindToCommand(btnRefreshConn, AReConnect, Face::Picture);
  Bevel1 = makeLine(this, "Bevel1", {8, 80, 617, 9}, EdgeLine::Edge::Bottom);
}

void TfrmMainForm::buildCommandRow() {
  btnRefreshList = makeButton(this, "btnRefreshList", QString(), {8, 96, 81, 25});
  bindToCommand(btnRefreshList, ARefresh, Face::CaptionAndPicture);

  DBNavigator = new RecordNavigator(qrList, this);
  DBNavigator->setObjectName(QStringLiteral("DBNavigator"));
  DBNavigator->setGeometry(96, 96, 104, 25);

  btnFields = makeButton(this, "btnFields", QString(), {208, 96, 73, 25});
  bindToCommand(btnFields, AFields, Face::CaptionAndPicture);
  btnFilter = makeButton(this, "btnFilter", QString(), {288, 96, 73, 25});
  bindToCommand(btnFilter, AShowFilter, Face::CaptionAndPicture);
  btnFilterRun = makeButton(this, "btnFilterRun", QString(), {368, 96, 25, 25});
  btnFilterRun->setCheckable(true);
  btnFilterRun->setChecked(true);
  bindToCommand(btnFilterRun, ARunFilter, Face::Picture);

  cbSQL = new QCheckBox(ACheckSQL->text(), this);
  cbSQL->setObjectName(QStringLiteral("cbSQL"));
  cbSQL->setGeometry(400, 98, qMax(105, cbSQL->sizeHint().width()), 17);
  connect(cbSQL, &QCheckBox::clicked, ACheckSQL, [this] { runCommand(ACheckSQL); });
  connect(ACheckSQL, &QAction::changed, cbSQL,
          [this] { cbSQL->setEnabled(ACheckSQL->isEnabled()); });

  btnOwnWindow = makeButton(this, "btnOwnWindow", QString(), {512, 96, 25, 25});
  btnOwnWindow->setCheckable(true);
  bindToCommand(btnOwnWindow, AShowOwnWindow, Face::Picture);
  btnRun = makeButton(this, "btnRun", QString(), {544, 96, 25, 25});
  bindToCommand(btnRun, ARun, Face::Picture);
}

void TfrmMainForm::buildGrid() {
  grdList = new QTableView(this);
  grdList->setObjectName(QStringLiteral("grdList"));
  grdList->setGeometry(8, kGridTop, 617, 279);
  grdList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdList->setSelectionMode(QAbstractItemView::SingleSelection);
  grdList->setSelectionBehavior(QAbstractItemView::SelectItems);
  grdList->horizontalHeader()->setSectionsMovable(false);
  grdList->verticalHeader()->setDefaultSectionSize(17);
  grdList->setContextMenuPolicy(Qt::CustomContextMenu);
  grid_ = new ResultGrid(grdList, qrList, this);
  connect(grid_, &ResultGrid::columnEntered, this,
          [this] { guarded([this] { grdListColEnter(); }); });

  pupGrid = new QMenu(this);
  pupGrid->setObjectName(QStringLiteral("pupGrid"));
  N3 = AToFile;
  N1 = AFromFile;
  N4 = AToClipBoard;
  N2 = AFromClipBoard;
  for (QAction *item : {N3, N1, N4, N2})
    pupGrid->addAction(item);
  connect(grdList, &QWidget::customContextMenuRequested, this,
          [this](QPoint at) { pupGrid->popup(grdList->viewport()->mapToGlobal(at)); });
}

void TfrmMainForm::buildBottomBar() {
  pnlBottom = new QFrame(this);
  pnlBottom->setObjectName(QStringLiteral("pnlBottom"));
  pnlBottom->setGeometry(0, kClientHeight - kBottomBarHeight, kClientWidth, kBottomBarHeight);
  btnHelp = makeButton(pnlBottom, "btnHelp", QString(), {8, 8, 73, 24});
  btnHelp->setText(QStringLiteral("Справка ..."));
  connect(btnHelp, &QPushButton::clicked, this, [this] { guarded([this] { btnHelpClick(); }); });
  btnSettings = makeButton(pnlBottom, "btnSettings", QString(), {88, 8, 89, 24});
  bindToCommand(btnSettings, ASettings, Face::CaptionAndPicture);
  btnToClipBoard = makeButton(pnlBottom, "btnToClipBoard", QString(), {200, 8, 73, 24});
  bindToCommand(btnToClipBoard, AToClipBoard, Face::CaptionAndPicture);
  btnFromClipBoard = makeButton(pnlBottom, "btnFromClipBoard", QString(), {280, 8, 89, 24});
  bindToCommand(btnFromClipBoard, AFromClipBoard, Face::CaptionAndPicture);
  btnSaveToFile = makeButton(pnlBottom, "btnSaveToFile", QString(), {384, 8, 73, 24});
  bindToCommand(btnSaveToFile, AToFile, Face::CaptionAndPicture);
  btnLoadFromFile = makeButton(pnlBottom, "btnLoadFromFile", QString(), {464, 8, 81, 24});
  bindToCommand(btnLoadFromFile, AFromFile, Face::CaptionAndPicture);
  btnClose = makeButton(pnlBottom, "btnClose", QString(), {560, 8, 64, 24});
  bindToCommand(btnClose, AExit, Face::Caption);
}

void TfrmMainForm::buildFloatingPanels() {
  pnlFields = new QFrame(this);
  pnlFields->setObjectName(QStringLiteral("pnlFields"));
  pnlFields->setGeometry(208, 121, 265, 232);
  pnlFields->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnlFields->setAutoFillBackground(true);
  SpeedButton2 = makeButton(pnlFields, "SpeedButton2", QString(), {6, 4, 23, 22});
  SpeedButton2->setFlat(true);
  SpeedButton2->setToolTip(AUnChecAll->toolTip());
  bindToCommand(SpeedButton2, AUnChecAll, Face::Picture);
  SpeedButton3 = makeButton(pnlFields, "SpeedButton3", QString(), {30, 4, 23, 22});
  SpeedButton3->setFlat(true);
  SpeedButton3->setToolTip(ACheckAll->toolTip());
  bindToCommand(SpeedButton3, ACheckAll, Face::Picture);
  clbFields = new QListWidget(pnlFields);
  clbFields->setObjectName(QStringLiteral("clbFields"));
  clbFields->setGeometry(2, 27, 261, 203);
  clbFields->installEventFilter(this);
  pnlFields->hide();

  memSQL = new QPlainTextEdit(this);
  memSQL->setObjectName(QStringLiteral("memSQL"));
  memSQL->setGeometry(32, kMemoTop, 569, 145);
  memSQL->setFont(pixelFont(13, false, QStringLiteral("Courier New")));
  memSQL->setPlainText(QStringLiteral("Введите запрос на языке T-SQL"));
  memSQL->hide();
}

void TfrmMainForm::setTabOrder() {
  QList<QWidget *> order = {btnUDL, btnRefreshConn, cbTables, btnRefreshList};
  order << DBNavigator->buttons();
  order << QList<QWidget *>{btnFields,        btnFilter,     grdList,         btnToClipBoard,
                            btnFromClipBoard, btnSaveToFile, btnLoadFromFile, btnSettings,
                            btnHelp,          btnClose,      clbFields,       cbSQL,
                            btnRun,           memSQL};
  for (int i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1], order[i]);
  // Toggles and the picture-only buttons of the rows stay out of the tab
  // order, as speed buttons do.
  for (QWidget *button :
       {static_cast<QWidget *>(btnSQL), static_cast<QWidget *>(btnFilterRun),
        static_cast<QWidget *>(btnOwnWindow), static_cast<QWidget *>(SpeedButton2),
        static_cast<QWidget *>(SpeedButton3)})
    button->setFocusPolicy(Qt::NoFocus);
}

void TfrmMainForm::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  const int h = height();
  // The grid keeps its margins to both sides, whatever the frame leaves of
  // the window's fixed width.
  const int widthBeyondDesign = width() - kClientWidth;
  pnlTop->resize(width(), pnlTop->height());
  pnlBottom->setGeometry(0, h - kBottomBarHeight, width(), kBottomBarHeight);
  grdList->setGeometry(8, kGridTop, 617 + widthBeyondDesign,
                       qMax(0, h - kBottomBarHeight - kGridTop));
  memSQL->setGeometry(32, kMemoTop, 569, qMax(0, h - kMemoBottomGap - kMemoTop));
}

void TfrmMainForm::closeEvent(QCloseEvent *event) {
  QWidget::closeEvent(event);
  FormPlacement1->windowClosed();
  // Closing the main window ends the program; the other windows go with it,
  // and Qt closes those still shown on its way out.
  SecondaryWindow::runEnds();
  QCoreApplication::quit();
}

bool TfrmMainForm::eventFilter(QObject *watched, QEvent *event) {
  if (watched == clbFields && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
      clbFieldsKeyDown();
  }
  if (watched == cbTables && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
      runCommand(ARefresh);
  }
  return QWidget::eventFilter(watched, event);
}

// --- data-link file and connection -------------------------------------

void TfrmMainForm::FormCreate() {
  dataLinkPath_ = data::locateDataLinkFile(programDir_, data::userDataLinkDir());
  QString error;
  if (!data::ensureDataLinkFile(dataLinkPath_, &error)) {
    ADOConn.setConnectionString(builtInConnectionString());
    showMessage(QStringLiteral("Не могу создать файл DB.udl. Скорее всего каталог имеет атрибут "
                               "\"только для чтения\""));
    return;
  }
  ADOConn.setConnectionString(QStringLiteral("FILE NAME=") + dataLinkPath_);
}

void TfrmMainForm::ASetUDLExecute() {
  const bool opened =
      platform::shellExecute({this, dataLinkPath_, QString(), platform::ShowCommand::Normal});
  if (!opened)
    showMessage(QStringLiteral("ASetUDLExecute: Файл DB.udl не найден"));
}

void TfrmMainForm::AReConnectExecute() {
  ADOConn.close();
  try {
    ADOConn.open();
  } catch (const data::DataError &) {
    showMessage(QStringLiteral("Не могу подсоедениться к базе данных. Проверьте наличия файла "
                               "DB.udl в каталоге программы и правильность данных в нем."));
    return;
  }
  // The picked table stays picked where the new list still has it.
  const QString picked = cbTables->currentText();
  qrTables.close();
  fillTablePicker();
  qrTables.setSQL({data::SqlDialect::of(ADOConn.dialect()).tableListStatement()});
  qrTables.open();
  cbTables->setCurrentIndex(cbTables->findText(picked, Qt::MatchExactly));
}

void TfrmMainForm::ADOConnBeforeConnect() {}

void TfrmMainForm::ADOConnAfterConnect() {
  const std::optional<QString> text = data::readDataLinkText(dataLinkPath_);
  if (!text) {
    showMessage(QStringLiteral("Не могу прочитать файл DB.udl"));
    return;
  }
  lblUser->setText(QStringLiteral("Пользователь:  ") +
                   data::GetConnectionParam(*text, QStringLiteral("User ID=")));
  QString database;
  try {
    database = ADOConn.defaultDatabase();
  } catch (const data::DataError &) {
  }
  lblDB->setText(QStringLiteral("Текущая база:  ") +
                 data::GetConnectionParam(*text, QStringLiteral("Data Source=")) +
                 QLatin1Char('\\') + database);
  lblUser->adjustSize();
  lblDB->adjustSize();
}

void TfrmMainForm::fillTablePicker() {
  cbTables->clear();
  if (!qrTables.active() || qrTables.fields().empty())
    return;
  data::Field &name = qrTables.fieldByName(QStringLiteral("Name"));
  QStringList names;
  for (int row = 0; row < qrTables.recordCount(); ++row) {
    qrTables.moveTo(row);
    names << QString::fromUtf8(name.asString());
  }
  cbTables->addItems(names);
  cbTables->setCurrentIndex(-1);
}

// --- windows and toggles ------------------------------------------------

void TfrmMainForm::AExitExecute() {
  close();
}

void TfrmMainForm::AShowAboutExecute() {
  frmAbout->exec();
}

void TfrmMainForm::ASettingsExecute() {
  frmSettings->exec();
}

void TfrmMainForm::AShowFilterExecute() {
  frmFilter->exec();
}

void TfrmMainForm::ARunFilterExecute() {
  btnFilterRun->setChecked(ARunFilter->isChecked());
}

void TfrmMainForm::AShowOwnWindowExecute() {
  frmOwnWindow->setVisible(frmOwnWindow->isHidden());
  btnOwnWindow->setChecked(!frmOwnWindow->isHidden());
}

void TfrmMainForm::AShowSQLExecute() {
  memSQL->raise();
  memSQL->setVisible(memSQL->isHidden());
  btnSQL->setChecked(!memSQL->isHidden());
  AShowFilter->setEnabled(!btnSQL->isChecked());
  ARunFilter->setEnabled(AShowFilter->isEnabled());
}

void TfrmMainForm::btnHelpClick() {
  openHelpFile(this);
}

// --- query, grid and field chooser -------------------------------------

bool TfrmMainForm::freeQueryMode() const {
  return cbSQL->isChecked();
}

void TfrmMainForm::ARefreshExecute() {
  ClearViewer();
  const bool freeQuery = freeQueryMode();
  if (freeQuery ? memSQL->toPlainText().isEmpty() : cbTables->currentText().isEmpty())
    return;
  qrList.close();
  try {
    qrList.open();
  } catch (const data::DataError &e) {
    if (freeQueryMode())
      showMessage(QStringLiteral("Скорее всего ошибка в тексте запроса SQL\r\rОригинальное "
                                 "сообщение:\r") +
                  e.message());
    else
      showMessage(QStringLiteral("Скорее всего ошибка в фильтре.\rПроверте что строковые значения "
                                 "заключены в одиночные кавычки."));
  }
}

void TfrmMainForm::qrListBeforeOpen() {
  // Only the composed SELECT may run again after a lost connection.
  qrList.setRerunnable(!freeQueryMode());
  if (freeQueryMode()) {
    qrList.setSQL(memSQL->toPlainText().split(QLatin1Char('\n')));
    return;
  }
  // The statement follows the server's dialect, which is known once connected.
  if (!ADOConn.connected())
    ADOConn.open();
  qrList.setSQL({query::composeTableStatement(cbTables->currentText(), ARunFilter->isChecked(),
                                              frmFilter->filter, ADOConn.dialect())});
}

void TfrmMainForm::qrListAfterOpen() {
  UpdateTransferActions();
  qrList.disableControls();
  const auto resume = qScopeGuard([this] { qrList.enableControls(); });
  grid_->capColumnWidths(160);
  // While the chooser is shown, its checks follow the new fields, all visible.
  fieldChooser_->refill(!pnlFields->isHidden());
}

void TfrmMainForm::qrListAfterScroll() {
  ShowCurrentValue();
}

void TfrmMainForm::grdListColEnter() {
  ShowCurrentValue();
}

// --- the viewer -----------------------------------------------------------

void TfrmMainForm::ClearViewer() {
  viewerRefresh_->ClearViewer();
}

void TfrmMainForm::ShowCurrentValue() {
  viewerRefresh_->ShowCurrentValue();
}

data::Field *TfrmMainForm::currentField() const {
  return grid_->currentField();
}

void TfrmMainForm::AFieldsExecute() {
  pnlFields->raise();
  if (!pnlFields->isHidden())
    fieldChooser_->applyToFields();
  else
    fieldChooser_->readFromFields();
  pnlFields->setVisible(pnlFields->isHidden());
  if (!pnlFields->isHidden())
    clbFields->setFocus();
}

void TfrmMainForm::clbFieldsKeyDown() {
  runCommand(AFields);
}

void TfrmMainForm::ACheckAllExecute() {
  SetAllFieldsChecked(true);
}

void TfrmMainForm::AUnChecAllExecute() {
  SetAllFieldsChecked(false);
}

void TfrmMainForm::SetAllFieldsChecked(bool checked) {
  fieldChooser_->setAllChecked(checked);
}

void TfrmMainForm::ACheckSQLExecute() {
  UpdateTransferActions();
}

void TfrmMainForm::UpdateTransferActions() {
  // A closed result counts as one without rows.
  const bool rows = qrList.active() && qrList.recordCount() != 0;
  const bool freeQuery = freeQueryMode();
  AFromFile->setEnabled(rows && !freeQuery);
  AToFile->setEnabled(rows);
  AFromClipBoard->setEnabled(rows && !freeQuery);
  AToClipBoard->setEnabled(rows);
}

// --- transfer commands and opening a value with an external program -------

void TfrmMainForm::AFromFileExecute() {
  transfers_->fromFile();
}

void TfrmMainForm::AToFileExecute() {
  transfers_->toFile();
}

void TfrmMainForm::AToClipBoardExecute() {
  transfers_->toClipboard();
}

void TfrmMainForm::AFromClipBoardExecute() {
  transfers_->fromClipboard();
}

void TfrmMainForm::ARunExecute() {
  RunExternalProgram();
}

void TfrmMainForm::RunExternalProgram() {
  if (!qrList.active())
    return;
  const QString name = frmSettings->cmbProgramList->currentText();
  if (name.isEmpty())
    return;
  if (confirm(QStringLiteral("Открыть файл с помощью ") + name + QStringLiteral(" ?")) !=
      Answer::Yes)
    return;
  const QString program = frmSettings->chosenProgramPath();
  if (program.isEmpty())
    return;
  openCurrentValueWith(qrList, *grid_, this, program);
}

} // namespace quillon::forms
