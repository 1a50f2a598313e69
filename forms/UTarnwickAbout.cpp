#include "forms/UTarnwickAbout.h"

#include "forms/MessageBoxes.h"
#include "platform/ShellRequest.h"

#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace quillon::forms {

namespace {

QFont titleFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Times New Roman")});
  font.setStyleHint(QFont::Serif);
  font.setPixelSize(27);
  font.setBold(true);
  return font;
}

QFont linkFont() {
  QFont font;
  // Narrow enough for both links to fit side by side where Tahoma is
  // missing.
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")});
  font.setPixelSize(13);
  font.setUnderline(true);
  return font;
}

} // namespace

void ShadowLabel::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setFont(font());
  const QRect area = contentsRect();
  painter.setPen(palette().color(QPalette::Light));
  painter.drawText(area.translated(1, 1), int(alignment()), text());
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(area, int(alignment()), text());
}

const QString TfrmAbout::webAddress = QStringLiteral("tarnwick.test");
const QString TfrmAbout::mailAddress = QStringLiteral("info@tarnwick.test");

TfrmAbout::TfrmAbout(QWidget *parent)
    : SecondaryWindow(QStringLiteral("О программе"), QSize(409, 233), parent) {
  setObjectName(QStringLiteral("frmAbout"));
  // The window's own background role is the button face already.
  setFixedDialogBorder();
  // Centred on the screen at every showing, whatever place it was left at.
  setFramePlace(&SecondaryWindow::centredOnScreen, Showings::Every);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(1);
  Panel1->setGeometry(8, 8, 164, 218);

  Image1 = new QLabel(Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(1, 1, 162, 216);
  Image1->setPixmap(QPixmap(QStringLiteral(":/seascape.jpg")));

  RxLabel1 = new ShadowLabel(QStringLiteral("Quillon"), this);
  RxLabel1->setObjectName(QStringLiteral("RxLabel1"));
  RxLabel1->setFont(titleFont());
  RxLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  RxLabel1->setGeometry(184, 8, 198, 31);

  // Right-aligned and sized to its text: the right edge stays put.
  Label3 = new QLabel(QStringLiteral("версия 1.2"), this);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label3->adjustSize();
  const int width = qMax(54, Label3->width());
  Label3->setGeometry(331 + 54 - width, 36, width, Label3->height());

  Label4 = new LinkLabel(webAddress, this);
  Label4->setObjectName(QStringLiteral("Label4"));
  Label4->setFont(linkFont());
  Label4->move(184, 96);
  Label4->adjustSize();
  connect(Label4, &LinkLabel::clicked, this, [this] { guarded([this] { Label4Click(Label4); }); });

  lblMail = new LinkLabel(mailAddress, this);
  lblMail->setObjectName(QStringLiteral("lblMail"));
  lblMail->setFont(linkFont());
  lblMail->move(280, 96);
  lblMail->adjustSize();
  connect(lblMail, &LinkLabel::clicked, this,
          [this] { guarded([this] { lblMailClick(lblMail); }); });

  Bevel1 = makeLine(this, "Bevel1", {184, 192, 217, 9}, EdgeLine::Edge::Top);

  Button1 = new QPushButton(QStringLiteral("Закрыть"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(320, 200, 81, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
  // The only control that takes the focus, so it is first in the tab order.
  Button1->setFocus();
}

void TfrmAbout::Button1Click() {
  close();
}

void TfrmAbout::Label4Click(const QLabel *sender) {
  // The shell's answer is not looked at: a missing browser is the
  // desktop's to report.
  platform::shellExecute({this, QStringLiteral("iexplore"),
                          QStringLiteral("http://") + sender->text(),
                          platform::ShowCommand::Maximized});
}

void TfrmAbout::lblMailClick(const QLabel *sender) {
  platform::shellExecute({this, QStringLiteral("mailto:") + sender->text(), QString(),
                          platform::ShowCommand::Maximized});
}

void TfrmAbout::showEvent(QShowEvent *event) {
  SecondaryWindow::showEvent(event);
  Button1->setFocus();
}

void TfrmAbout::keyPressEvent(QKeyEvent *event) {
  // Esc belongs to no button here: it must not reject the dialog.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  SecondaryWindow::keyPressEvent(event);
}

} // namespace quillon::forms
