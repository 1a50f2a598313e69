#pragma once

#include "forms/Controls.h"
#include "forms/LinkLabel.h"
#include "forms/SecondaryWindow.h"

#include <QLabel>

class QFrame;
class QPushButton;

namespace quillon::forms {

// A label drawn twice: first one pixel down and to the right in the
// button-highlight colour, then in its own colour over it.
class ShadowLabel : public QLabel {
  Q_OBJECT
public:
  using QLabel::QLabel;

protected:
  void paintEvent(QPaintEvent *event) override;
};

// The About window: the product's title and version, a picture and two
// links to the maker. Shown modally from the main window's banner; closes
// with its button or its close box, never with Esc.
class TfrmAbout : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmAbout(QWidget *parent = nullptr);

  static const QString webAddress;
  static const QString mailAddress;

  QFrame *Panel1;
  QLabel *Image1;
  ShadowLabel *RxLabel1;
  QLabel *Label3;
  LinkLabel *Label4;
  LinkLabel *lblMail;
  EdgeLine *Bevel1;
  QPushButton *Button1;

  void Button1Click();
  // The link handlers read the clicked label's text at the moment of the
  // click, so each link goes where its label says.
  void Label4Click(const QLabel *sender);
  void lblMailClick(const QLabel *sender);

protected:
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
};

} // namespace quillon::forms
