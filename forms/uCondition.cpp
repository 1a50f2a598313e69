#include "forms/uCondition.h"

#include "forms/Controls.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace quillon::forms {

namespace {

constexpr QSize kClientSize(295, 167);

} // namespace

const QStringList &TfrmCondition::operators() {
  static const QStringList list = {
      QStringLiteral("<"), QStringLiteral("<="), QStringLiteral("<>"), QStringLiteral("="),
      QStringLiteral(">"), QStringLiteral(">="), QStringLiteral("IN"), QStringLiteral("LIKE")};
  return list;
}

TfrmCondition::TfrmCondition(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Редактирование условия"), kClientSize, parent) {
  setObjectName(QStringLiteral("frmCondition"));

  Label1 = makeLabel(this, "Label1", QStringLiteral("Поле"), {8, 8});
  Label2 = makeLabel(this, "Label2", QStringLiteral("Условие"), {8, 32});
  Label3 = makeLabel(this, "Label3", QStringLiteral("Значение"), {8, 56});

  cmbFields = new QComboBox(this);
  cmbFields->setObjectName(QStringLiteral("cmbFields"));
  cmbFields->setEditable(true);
  // The list is the current result's fields; a typed name is not added to it.
  cmbFields->setInsertPolicy(QComboBox::NoInsert);
  cmbFields->setGeometry(64, 8, 225, cmbFields->sizeHint().height());

  cmbCondition = new QComboBox(this);
  cmbCondition->setObjectName(QStringLiteral("cmbCondition"));
  cmbCondition->addItems(operators());
  cmbCondition->setCurrentIndex(0);
  cmbCondition->setGeometry(64, 32, 73, cmbCondition->sizeHint().height());

  memValue = new QPlainTextEdit(this);
  memValue->setObjectName(QStringLiteral("memValue"));
  // Enter starts a new line; Tab moves on, as in the other boxes.
  memValue->setTabChangesFocus(true);

  btnCloseCondition = new QPushButton(QStringLiteral("Отменить"), this);
  btnCloseCondition->setObjectName(QStringLiteral("btnCloseCondition"));
  connect(btnCloseCondition, &QPushButton::clicked, this, &QDialog::reject);

  btnOk = new QPushButton(QStringLiteral("Сохранить"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

  setTabOrder(cmbFields, cmbCondition);
  setTabOrder(cmbCondition, memValue);
  setTabOrder(memValue, btnCloseCondition);
  setTabOrder(btnCloseCondition, btnOk);

  setFixedDialogBorder();
  placeControls();
  setFramePlace([](QSize) { return QPoint(245, 139); }, Showings::First);
}

void TfrmCondition::resizeEvent(QResizeEvent *event) {
  SecondaryWindow::resizeEvent(event);
  placeControls();
}

void TfrmCondition::placeControls() {
  // The field box and the value grow with the window; "Отменить" keeps to
  // the bottom right corner.
  const int dw = width() - kClientSize.width();
  const int dh = height() - kClientSize.height();
  cmbFields->resize(225 + dw, cmbFields->height());
  memValue->setGeometry(8, 72, 281 + dw, 57 + dh);
  btnCloseCondition->setGeometry(216 + dw, 136 + dh, 73, 25);
  btnOk->setGeometry(136, 136, 75, 25);
}

void TfrmCondition::setFieldNames(QStringList names) {
  std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  cmbFields->clear();
  cmbFields->addItems(names);
}

void TfrmCondition::preset(const query::ConditionRow &row) {
  cmbFields->setCurrentIndex(-1);
  cmbFields->setEditText(row.field);
  cmbCondition->setCurrentIndex(cmbCondition->findText(row.op, Qt::MatchFixedString));
  memValue->setPlainText(row.value);
}

query::ConditionRow TfrmCondition::typed() const {
  QString value = memValue->toPlainText();
  value.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return {cmbFields->currentText(), cmbCondition->currentText(), value};
}

} // namespace quillon::forms
