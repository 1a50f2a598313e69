#include "forms/FileDialog.h"

#include <QFileDialog>

namespace quillon::forms {

namespace {
std::function<QString(FileDialog::Kind, const QString &)> &dialogOverride() {
  static std::function<QString(FileDialog::Kind, const QString &)> instance;
  return instance;
}
} // namespace

void setFileDialogOverride(std::function<QString(FileDialog::Kind, const QString &)> override) {
  dialogOverride() = std::move(override);
}

bool FileDialog::execute() {
  QString chosen;
  if (dialogOverride()) {
    chosen = dialogOverride()(kind_, fileName_);
  } else if (kind_ == Kind::Open) {
    chosen = QFileDialog::getOpenFileName(parent_, QString(), fileName_);
  } else {
    chosen = QFileDialog::getSaveFileName(parent_, QString(), fileName_, QString(), nullptr,
                                          QFileDialog::DontConfirmOverwrite);
  }
  if (chosen.isEmpty())
    return false;
  fileName_ = chosen;
  return true;
}

} // namespace quillon::forms
