#include "forms/uOwnWindow.h"

#include "forms/DbTextPane.h"
#include "forms/ModalWindowsAbove.h"
#include "forms/PictureView.h"
#include "forms/WindowPlacementKeeper.h"
#include "settings/PlacementStorage.h"

#include <QFrame>
#include <QStatusBar>
#include <QVBoxLayout>

namespace quillon::forms {

namespace {
constexpr int kStatusBarHeight = 19;
}

TfrmOwnWindow::TfrmOwnWindow(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Quillon - Просмотр"), QSize(400, 300), parent) {
  setObjectName(QStringLiteral("frmOwnWindow"));
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);

  DBRichEdit = new DbTextPane(this);
  DBRichEdit->setObjectName(QStringLiteral("DBRichEdit"));

  pnlImage = new QFrame(this);
  pnlImage->setObjectName(QStringLiteral("pnlImage"));
  pnlImage->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // The pane paints its own background, so it looks the same whether the
  // text pane lies hidden below it or not.
  pnlImage->setAutoFillBackground(true);
  auto *imageLayout = new QVBoxLayout(pnlImage);
  imageLayout->setContentsMargins(1, 1, 1, 1);
  Image1 = new PictureView(pnlImage);
  Image1->setObjectName(QStringLiteral("Image1"));
  imageLayout->addWidget(Image1);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(true);
  pnlImage->raise();

  FormPlacement1 = new WindowPlacementKeeper(this, settings::viewerPlacementKey,
                                             WindowPlacementKeeper::Kind::Other);
  FormPlacement1->setDesignFrame(QRect(621, 414, 400, 300));
  new ModalWindowsAbove(this);
  connect(this, &SecondaryWindow::closedByUser, FormPlacement1,
          &WindowPlacementKeeper::windowClosed);
}

TfrmOwnWindow::~TfrmOwnWindow() {
  FormPlacement1->windowDestroyed();
}

void TfrmOwnWindow::resizeEvent(QResizeEvent *event) {
  SecondaryWindow::resizeEvent(event);
  const QRect panes(0, 0, width(), qMax(0, height() - kStatusBarHeight));
  DBRichEdit->setGeometry(panes);
  pnlImage->setGeometry(panes);
  StatusBar1->setGeometry(0, panes.height(), width(), kStatusBarHeight);
}

} // namespace quillon::forms
