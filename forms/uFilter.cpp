#include "forms/uFilter.h"

#include "forms/CommandRouter.h"
#include "forms/Controls.h"
#include "forms/HelpFile.h"
#include "forms/MessageBoxes.h"
#include "forms/Windows.h"
#include "forms/uBlobFormFile.h"
#include "forms/uCondition.h"
#include "query/FilterInput.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

namespace quillon::forms {

namespace {

enum class Glyph { Add, Edit, Delete };

// The speed buttons' 16 × 16 pictures, drawn again for each pixel density.
void drawGlyph(QPainter &p, Glyph glyph) {
  p.setRenderHint(QPainter::Antialiasing);
  switch (glyph) {
  case Glyph::Add:
    p.setPen(QPen(QColor(0x1d, 0x6b, 0x2a), 1));
    p.setBrush(QColor(0x4c, 0xb0, 0x5a));
    p.drawPolygon(QPolygonF({{6.5, 2.5},
                             {9.5, 2.5},
                             {9.5, 6.5},
                             {13.5, 6.5},
                             {13.5, 9.5},
                             {9.5, 9.5},
                             {9.5, 13.5},
                             {6.5, 13.5},
                             {6.5, 9.5},
                             {2.5, 9.5},
                             {2.5, 6.5},
                             {6.5, 6.5}}));
    break;
  case Glyph::Edit: {
    p.setPen(QPen(QColor(0x5a, 0x32, 0x10), 1));
    p.setBrush(QColor(0xe8, 0xb8, 0x4a));
    QPainterPath pencil;
    pencil.moveTo(2.5, 13.5);
    pencil.lineTo(3.5, 10.5);
    pencil.lineTo(11.5, 2.5);
    pencil.lineTo(13.5, 4.5);
    pencil.lineTo(5.5, 12.5);
    pencil.closeSubpath();
    p.drawPath(pencil);
    p.drawLine(QPointF(3.5, 10.5), QPointF(5.5, 12.5));
    break;
  }
  case Glyph::Delete:
    p.setPen(QPen(QColor(0xc0, 0x26, 0x26), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    break;
  }
}

QIcon glyphIcon(Glyph glyph) {
  QIcon icon;
  for (const int scale : {1, 2, 3}) {
    QPixmap pixmap(16 * scale, 16 * scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.scale(scale, scale);
    drawGlyph(p, glyph);
    p.end();
    pixmap.setDevicePixelRatio(scale);
    icon.addPixmap(pixmap);
  }
  return icon;
}

QFrame *makePanel(QWidget *parent, const char *name, QRect place) {
  auto *panel = new QFrame(parent);
  panel->setObjectName(QLatin1String(name));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setGeometry(place);
  return panel;
}

QPushButton *makeBottomButton(QWidget *parent, const char *name, const QString &caption, int x) {
  auto *button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(x, 8, 75, 25);
  return button;
}

bool isEnter(const QKeyEvent *key) {
  return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

QStringList fieldChooserNames() {
  QStringList names;
  if (frmMainForm)
    for (int i = 0; i < frmMainForm->clbFields->count(); ++i)
      names << frmMainForm->clbFields->item(i)->text();
  return names;
}

} // namespace

TfrmFilter::TfrmFilter(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Quillon - фильтр"), QSize(392, 273), parent) {
  setObjectName(QStringLiteral("frmFilter"));

  AAdd = makeCommand("AAdd", {Qt::Key_Insert}, glyphIcon(Glyph::Add), &TfrmFilter::AAddExecute);
  AEdit = makeCommand("AEdit", {Qt::ALT | Qt::Key_Return, Qt::ALT | Qt::Key_Enter},
                      glyphIcon(Glyph::Edit), &TfrmFilter::AEditExecute);
  ADelete = makeCommand("ADelete", {Qt::SHIFT | Qt::Key_Delete}, glyphIcon(Glyph::Delete),
                        &TfrmFilter::ADeleteExecute);

  pnlTop = makePanel(this, "pnlTop", {0, 0, 392, 37});
  SpeedButton1 = makeSpeedButton("SpeedButton1", 8, AAdd);
  SpeedButton2 = makeSpeedButton("SpeedButton2", 32, AEdit);
  SpeedButton3 = makeSpeedButton("SpeedButton3", 56, ADelete);
  Label1 = makeLabel(pnlTop, "Label1", QStringLiteral("Первые"), {96, 8});
  cmbTop = new QComboBox(pnlTop);
  cmbTop->setObjectName(QStringLiteral("cmbTop"));
  cmbTop->setEditable(true);
  // The list offers a few limits; what the user types is not added to it.
  cmbTop->setInsertPolicy(QComboBox::NoInsert);
  cmbTop->addItems(
      {QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("100"), QStringLiteral("1000")});
  cmbTop->setGeometry(144, 8, 65, cmbTop->sizeHint().height());
  Label2 = makeLabel(pnlTop, "Label2", QStringLiteral("строк"), {216, 8});

  sgdFilter = new QTableWidget(1, 3, this);
  sgdFilter->setObjectName(QStringLiteral("sgdFilter"));
  sgdFilter->setGeometry(8, 48, 377, 177);
  sgdFilter->setHorizontalHeaderLabels(
      {QStringLiteral("Поле"), QStringLiteral("Условие"), QStringLiteral("Значение")});
  sgdFilter->verticalHeader()->hide();
  for (QHeaderView *header : {sgdFilter->horizontalHeader(), sgdFilter->verticalHeader()}) {
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setMinimumSectionSize(16);
    header->setDefaultSectionSize(16);
    header->setHighlightSections(false);
  }
  sgdFilter->horizontalHeader()->setSectionsClickable(false);
  sgdFilter->horizontalHeader()->setFixedHeight(16);
  sgdFilter->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  sgdFilter->setColumnWidth(0, 98);
  sgdFilter->setColumnWidth(1, 59);
  sgdFilter->setColumnWidth(2, 213);
  sgdFilter->setShowGrid(true);
  sgdFilter->setWordWrap(false);
  sgdFilter->setSelectionBehavior(QAbstractItemView::SelectRows);
  sgdFilter->setSelectionMode(QAbstractItemView::SingleSelection);
  sgdFilter->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgdFilter->setTabKeyNavigation(false);

  pnlBottom = makePanel(this, "pnlBottom", {0, 273 - 41, 392, 41});
  btnHelp = makeBottomButton(pnlBottom, "btnHelp", QStringLiteral("Справка ..."), 8);
  btnApplay = makeBottomButton(pnlBottom, "btnApplay", QStringLiteral("Применить"), 232);
  btnApplay->setDefault(true);
  btnClose = makeBottomButton(pnlBottom, "btnClose", QStringLiteral("Закрыть"), 312);
  connect(btnHelp, &QPushButton::clicked, this, [this] { guarded([this] { btnHelpClick(); }); });
  connect(btnApplay, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(cmbTop, sgdFilter);
  setTabOrder(sgdFilter, btnHelp);
  setTabOrder(btnHelp, btnApplay);
  setTabOrder(btnApplay, btnClose);

  cmbTop->installEventFilter(this);
  cmbTop->lineEdit()->installEventFilter(this);
  // Installed after the list's own filter, so this one sees Enter first.
  cmbTop->view()->installEventFilter(this);
  sgdFilter->viewport()->installEventFilter(this);

  setFixedDialogBorder();
  setFramePlace([](QSize) { return QPoint(289, 125); }, Showings::First);
  FormCreate();
}

QAction *TfrmFilter::makeCommand(const char *name, QList<QKeySequence> keys, const QIcon &picture,
                                 void (TfrmFilter::*handler)()) {
  auto *command = new QAction(picture, QString(), this);
  command->setObjectName(QLatin1String(name));
  command->setShortcuts(keys);
  command->setShortcutContext(Qt::WindowShortcut);
  addAction(command);
  connect(command, &QAction::triggered, this,
          [this, handler] { guarded([&] { (this->*handler)(); }); });
  return command;
}

QToolButton *TfrmFilter::makeSpeedButton(const char *name, int x, QAction *command) {
  auto *button = new QToolButton(pnlTop);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(x, 7, 23, 22);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setDefaultAction(command);
  return button;
}

void TfrmFilter::FormCreate() {
  filter.topCount = 10;
  cmbTop->setCurrentIndex(cmbTop->findText(QStringLiteral("10")));
  showRows(0);
}

void TfrmFilter::done(int result) {
  if (FormCloseQuery(result))
    SecondaryWindow::done(result);
}

bool TfrmFilter::FormCloseQuery(int modalResult) {
  // Cancel never looks at the row-limit box.
  return modalResult != Accepted || ApplyTopCount();
}

bool TfrmFilter::ApplyTopCount() {
  if (const auto limit = query::parseRowLimit(cmbTop->currentText())) {
    filter.topCount = *limit;
  } else {
    showMessage(QStringLiteral("Введите целое положительное число"));
    cmbTop->setFocus();
  }
  return true;
}

void TfrmFilter::showEvent(QShowEvent *event) {
  SecondaryWindow::showEvent(event);
  // The filter may have been set from outside since the last showing.
  showRows(currentRow());
}

bool TfrmFilter::eventFilter(QObject *watched, QEvent *event) {
  const bool key = event->type() == QEvent::KeyPress;
  const bool shortcut = event->type() == QEvent::ShortcutOverride;
  // The dropped-down list takes Enter already as a shortcut override, so it
  // is handled there, ahead of the list's own handling.
  if (watched == cmbTop->view() && (key || shortcut))
    return cmbTopKeyDown(static_cast<QKeyEvent *>(event), true);
  const bool inBox = watched == cmbTop || watched == cmbTop->lineEdit();
  if (inBox && shortcut) {
    // The window's command keys win over the box's own editing keys
    // (Shift+Del would cut the text otherwise).
    const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
    for (const QAction *command : {AAdd, AEdit, ADelete})
      if (command->shortcuts().contains(pressed))
        return true;
    return false;
  }
  if (inBox && key)
    return cmbTopKeyDown(static_cast<QKeyEvent *>(event), false);
  if (event->type() == QEvent::MouseButtonDblClick && watched == sgdFilter->viewport()) {
    runCommand(AEdit);
    return true;
  }
  return SecondaryWindow::eventFilter(watched, event);
}

bool TfrmFilter::cmbTopKeyDown(QKeyEvent *key, bool inList) {
  if (!isEnter(key) || key->modifiers() & ~Qt::KeypadModifier)
    return false;
  if (inList) {
    if (cmbTop->view()->isVisible()) {
      // The box takes the item highlighted in the list; the window stays.
      const QModelIndex highlighted = cmbTop->view()->currentIndex();
      if (highlighted.isValid())
        cmbTop->setCurrentIndex(highlighted.row());
      cmbTop->hidePopup();
      guarded([this] { ApplyTopCount(); });
    }
    key->accept();
    return true;
  }
  btnApplay->click();
  return true;
}

int TfrmFilter::currentRow() const {
  return sgdFilter->currentRow();
}

void TfrmFilter::showRows(int current) {
  if (filter.rows.isEmpty())
    filter.rows.append(query::ConditionRow{});
  const int count = int(filter.rows.size());
  sgdFilter->setRowCount(count);
  for (int row = 0; row < count; ++row) {
    const query::ConditionRow &condition = filter.rows[row];
    const QString cells[] = {condition.field, condition.op, condition.value};
    for (int column = 0; column < 3; ++column) {
      auto *item = new QTableWidgetItem(cells[column]);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      sgdFilter->setItem(row, column, item);
    }
  }
  sgdFilter->setCurrentCell(qBound(0, current, count - 1), 0);
}

bool TfrmFilter::editCondition(int row, const query::ConditionRow &preset) {
  frmCondition->setFieldNames(fieldChooserNames());
  frmCondition->preset(preset);
  frmCondition->cmbFields->setFocus();
  const int result = frmCondition->exec();
  // Back from the editor the keys are this window's again, whatever the
  // desktop activates.
  activateWindow();
  if (result != Accepted)
    return false;
  const bool stored = !frmCondition->typed().field.isEmpty();
  StoreCondition(row);
  return stored;
}

void TfrmFilter::StoreCondition(int row) {
  const auto condition = query::conditionToStore(frmCondition->typed());
  if (!condition || row < 0 || row >= filter.rows.size())
    return;
  filter.rows[row] = *condition;
  showRows(row);
}

void TfrmFilter::AAddExecute() {
  // The first row is taken while the filter has no conditions.
  const bool grown = filter.hasConditions();
  if (grown) {
    filter.rows.append(query::ConditionRow{});
    showRows(int(filter.rows.size()) - 1);
  }
  const int target = grown ? int(filter.rows.size()) - 1 : 0;
  if (!editCondition(target, {QString(), QStringLiteral("="), QString()}) && grown) {
    // A blank row would break the next table query.
    filter.rows.removeAt(target);
    showRows(target - 1);
  }
}

void TfrmFilter::AEditExecute() {
  const int target = currentRow();
  if (target >= 0 && target < filter.rows.size())
    editCondition(target, filter.rows[target]);
}

void TfrmFilter::ADeleteExecute() {
  if (confirm(QStringLiteral("Вы уверены ?")) != Answer::Yes)
    return;
  const int current = currentRow();
  if (filter.rows.size() == 1)
    filter.rows[0] = {};
  else if (current >= 0 && current < filter.rows.size())
    filter.rows.removeAt(current);
  showRows(current);
}

void TfrmFilter::btnHelpClick() {
  openHelpFile(this);
}

} // namespace quillon::forms
