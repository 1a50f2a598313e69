#include "forms/FileDialog.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace quillon::forms {

namespace {
std::function<QString(FileDialog::Kind, const QString &)> &dialogOverride() {
  static std::function<QString(FileDialog::Kind, const QString &)> instance;
  return instance;
}
// Shows folders and programs only while `programsOnly` is set; the file
// name patterns cannot express the executable permission.
class ProgramFilter : public QSortFilterProxyModel {
public:
  void setProgramsOnly(bool programsOnly) {
    programsOnly_ = programsOnly;
    invalidateFilter();
  }

protected:
  bool filterAcceptsRow(int row, const QModelIndex &parent) const override {
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!programsOnly_ || !files)
      return true;
    const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
    static const QStringList scripts = {QStringLiteral("sh"), QStringLiteral("bash"),
                                        QStringLiteral("py"), QStringLiteral("pl"),
                                        QStringLiteral("rb")};
    return info.isDir() || info.isExecutable() || scripts.contains(info.suffix().toLower());
  }

private:
  bool programsOnly_ = true;
};

QString chosenFile(QFileDialog &dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  return dialog.selectedFiles().constFirst();
}

QString chooseProgram(QWidget *parent, const QString &last) {
  const std::unique_ptr<QFileDialog> opened = makeOpenDialog(parent, last);
  QFileDialog &dialog = *opened;
  const QString programs = QStringLiteral("Программы (*)");
  dialog.setNameFilters({programs, QStringLiteral("Все файлы (*)")});
  auto *filter = new ProgramFilter;
  dialog.setProxyModel(filter);
  QObject::connect(
      &dialog, &QFileDialog::filterSelected, &dialog,
      [filter, programs](const QString &name) { filter->setProgramsOnly(name == programs); });
  return chosenFile(dialog);
}

} // namespace

std::unique_ptr<QFileDialog> makeOpenDialog(QWidget *parent, const QString &last) {
  auto dialog = std::make_unique<QFileDialog>(parent);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  // Any name, also one of a file that is not there.
  dialog->setFileMode(QFileDialog::AnyFile);
  if (!last.isEmpty())
    dialog->selectFile(last);
  return dialog;
}

void setFileDialogOverride(std::function<QString(FileDialog::Kind, const QString &)> override) {
  dialogOverride() = std::move(override);
}

bool FileDialog::execute() {
  QString chosen;
  if (dialogOverride()) {
    chosen = dialogOverride()(kind_, fileName_);
  } else if (kind_ == Kind::OpenProgram) {
    chosen = chooseProgram(parent_, fileName_);
  } else if (kind_ == Kind::Open) {
    chosen = chosenFile(*makeOpenDialog(parent_, fileName_));
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
