#include "forms/Windows.h"

#include "forms/CommandRouter.h"
#include "forms/UTarnwickAbout.h"
#include "forms/uBlobFormFile.h"
#include "forms/uCondition.h"
#include "forms/uFilter.h"
#include "forms/uOwnWindow.h"
#include "forms/uSettings.h"

#include <QDir>
#include <QLineEdit>

namespace quillon::forms {

TfrmMainForm *frmMainForm = nullptr;
TfrmAbout *frmAbout = nullptr;
TfrmOwnWindow *frmOwnWindow = nullptr;
TfrmSettings *frmSettings = nullptr;
TfrmFilter *frmFilter = nullptr;
TfrmCondition *frmCondition = nullptr;

void createWindows(const QString &programDir) {
  SecondaryWindow::runEnds(false);
  frmMainForm = new TfrmMainForm(programDir);
  frmAbout = new TfrmAbout;
  frmOwnWindow = new TfrmOwnWindow();
  frmSettings = new TfrmSettings;
  frmFilter = new TfrmFilter;
  frmCondition = new TfrmCondition;
  frmMainForm->connectWindows();
}

template <typename Window> void destroy(Window *&window) {
  delete window;
  window = nullptr;
}

void destroyWindows() {
  destroy(frmCondition);
  destroy(frmFilter);
  destroy(frmSettings);
  destroy(frmOwnWindow);
  destroy(frmAbout);
  destroy(frmMainForm);
  SecondaryWindow::runEnds(false);
}

void InitStartupState() {
  frmSettings->dirDefaultDir->setText(QDir::toNativeSeparators(QDir::tempPath()) +
                                      QDir::separator());
  runCommand(frmMainForm->AShowOwnWindow);
}

} // namespace quillon::forms
