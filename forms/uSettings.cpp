#include "forms/uSettings.h"

#include "forms/CommandPictures.h"
#include "forms/Controls.h"
#include "forms/HelpFile.h"
#include "forms/MessageBoxes.h"
#include "forms/ProgramPicker.h"
#include "platform/DesktopEntries.h"
#include "settings/ProgramListStorage.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsError.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace quillon::forms {

namespace {

constexpr int kIconSize = 32;

// The part of a path after its last folder separator (or drive colon).
QString fileNamePart(const QString &path) {
  qsizetype cut = -1;
  for (const QChar separator : {u'/', u'\\', u':'})
    cut = qMax(cut, path.lastIndexOf(separator));
  return path.mid(cut + 1);
}

QPixmap iconPixmap(const QIcon &icon) {
  return icon.isNull() ? QPixmap() : icon.pixmap(kIconSize, kIconSize);
}

} // namespace

QPixmap programListIcon(const QString &desktopIcon) {
  if (!desktopIcon.isEmpty()) {
    const QPixmap own = iconPixmap(
        QFileInfo(desktopIcon).isAbsolute() ? QIcon(desktopIcon) : QIcon::fromTheme(desktopIcon));
    if (!own.isNull())
      return own;
  }
  return iconPixmap(defaultProgramIcon());
}

void TfrmSettings::showEvent(QShowEvent *event) {
  SecondaryWindow::showEvent(event);
  // Later showings in the run keep the place where the user left it, which
  // the window manager reports without marking the window as moved.
  setAttribute(Qt::WA_Moved);
}

TfrmSettings::TfrmSettings(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Quillon - Настройки"), QSize(392, 170), parent) {
  setObjectName(QStringLiteral("frmSettings"));
  setFixedDialogBorder();
  // Centred at its first showing only.
  setFramePlace(&SecondaryWindow::centredOnScreen, Showings::First);

  Label1 =
      makeLabel(this, "Label1",
                QStringLiteral("Для неизвестных типов файлов \nипользовать программу"), {8, 8});
  Label1->resize(225, 33);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  cmbProgramList = new ProgramPicker(imlIcons, this);
  cmbProgramList->setObjectName(QStringLiteral("cmbProgramList"));
  cmbProgramList->setGeometry(8, 40, 225, cmbProgramList->sizeHint().height());

  btnBrowseProgram =
      makeButton(this, "btnBrowseProgram", QStringLiteral("Выбрать ..."), {240, 40, 75, 25});
  btnDeleteItem = makeButton(this, "btnDeleteItem", QStringLiteral("X"), {320, 40, 25, 25});
  QFont bold = btnDeleteItem->font();
  bold.setBold(true);
  btnDeleteItem->setFont(bold);

  Label2 = makeLabel(this, "Label2", QStringLiteral("Каталог по умолчанию"), {8, 80});

  dirDefaultDir = new QLineEdit(this);
  dirDefaultDir->setObjectName(QStringLiteral("dirDefaultDir"));
  dirDefaultDir->setGeometry(8, 96, 377 - 23, 23);
  btnDefaultDir = new QToolButton(this);
  btnDefaultDir->setObjectName(QStringLiteral("btnDefaultDir"));
  btnDefaultDir->setText(QStringLiteral("..."));
  btnDefaultDir->setGeometry(8 + 377 - 23, 96, 23, 23);

  auto *separator = new QFrame(this);
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  separator->setGeometry(8, 121, 377, 2);

  btnHelp = makeButton(this, "btnHelp", QStringLiteral("Справка ..."), {8, 137, 75, 25});
  btnOK = makeButton(this, "btnOK", QStringLiteral("Применить"), {232, 137, 75, 25});
  btnOK->setDefault(true);
  btnCancel = makeButton(this, "btnCancel", QStringLiteral("Закрыть"), {312, 137, 75, 25});

  lbProgramList = new QListWidget(this);
  lbProgramList->setObjectName(QStringLiteral("lbProgramList"));
  lbProgramList->hide();

  connect(btnBrowseProgram, &QPushButton::clicked, this,
          [this] { guarded([this] { btnBrowseProgramClick(); }); });
  connect(btnDeleteItem, &QPushButton::clicked, this,
          [this] { guarded([this] { btnDeleteItemClick(); }); });
  connect(btnDefaultDir, &QToolButton::clicked, this,
          [this] { guarded([this] { chooseDefaultDir(); }); });
  connect(btnHelp, &QPushButton::clicked, this, [this] { guarded([this] { btnHelpClick(); }); });
  connect(btnOK, &QPushButton::clicked, this, [this] { guarded([this] { btnOKClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(cmbProgramList, btnBrowseProgram);
  setTabOrder(btnBrowseProgram, btnDeleteItem);
  setTabOrder(btnDeleteItem, dirDefaultDir);
  setTabOrder(dirDefaultDir, btnDefaultDir);
  setTabOrder(btnDefaultDir, btnHelp);
  setTabOrder(btnHelp, btnOK);
  setTabOrder(btnOK, btnCancel);

  guarded([this] { FormCreate(); });
}

void TfrmSettings::FormCreate() {
  settings::LoadedProgramList loaded;
  try {
    settings::RegistryStore store;
    loaded = settings::loadProgramList(store);
  } catch (const settings::SettingsError &error) {
    loaded.error = error.message();
  }
  for (const QString &path : loaded.programs.paths)
    AddProgram(path);
  const int selected = loaded.programs.selectedIndex;
  cmbProgramList->setCurrentIndex(selected < cmbProgramList->count() ? selected : -1);
  if (loaded.error)
    showGeneralError(*loaded.error);
}

int TfrmSettings::AddProgram(const QString &path) {
  for (int i = 0; i < lbProgramList->count(); ++i)
    if (lbProgramList->item(i)->text().compare(path, Qt::CaseInsensitive) == 0)
      return -1;
  const int number = lbProgramList->count();
  lbProgramList->addItem(path);
  const int position = cmbProgramList->addSorted(fileNamePart(path), number);
  // The desktop's entries are read once, when the first program is listed.
  if (!desktopIcons_)
    desktopIcons_.emplace(platform::applicationFolders());
  const QPixmap icon = programListIcon(desktopIcons_->iconFor(path));
  // The image is appended whatever happens, so the icons stay in step with
  // the paths.
  imlIcons.append(icon);
  if (icon.isNull())
    showMessage(QStringLiteral("Не найден ресурс DEFICON"));
  return position;
}

QString TfrmSettings::chosenProgramPath() const {
  if (cmbProgramList->currentText().isEmpty())
    return {};
  const int number = cmbProgramList->numberAt(cmbProgramList->currentIndex());
  if (number < 0 || number >= lbProgramList->count())
    return {};
  return lbProgramList->item(number)->text();
}

QStringList TfrmSettings::programPaths() const {
  QStringList paths;
  for (int i = 0; i < lbProgramList->count(); ++i)
    paths << lbProgramList->item(i)->text();
  return paths;
}

void TfrmSettings::btnBrowseProgramClick() {
  if (!OpenDialog.execute())
    return;
  const QString path = QFileInfo(OpenDialog.fileName()).absoluteFilePath();
  cmbProgramList->setCurrentIndex(AddProgram(path));
}

void TfrmSettings::btnDeleteItemClick() {
  const int selected = cmbProgramList->currentIndex();
  if (selected < 0)
    return;
  const int number = cmbProgramList->numberAt(selected);
  delete lbProgramList->takeItem(number);
  imlIcons.removeAt(number);
  for (int i = 0; i < cmbProgramList->count(); ++i)
    if (cmbProgramList->numberAt(i) > number)
      cmbProgramList->setNumberAt(i, cmbProgramList->numberAt(i) - 1);
  cmbProgramList->removeItem(selected);
  cmbProgramList->setCurrentIndex(-1);
}

void TfrmSettings::btnOKClick() {
  // The window closes also when the list could not be stored.
  try {
    settings::RegistryStore store;
    settings::saveProgramList(store, {programPaths(), cmbProgramList->currentIndex()});
  } catch (const settings::SettingsError &error) {
    showGeneralError(error.message());
  }
  accept();
}

void TfrmSettings::btnHelpClick() {
  openHelpFile(this);
}

void TfrmSettings::chooseDefaultDir() {
  const QString folder = QFileDialog::getExistingDirectory(this, QString(), dirDefaultDir->text());
  if (!folder.isEmpty())
    dirDefaultDir->setText(QDir::toNativeSeparators(folder) + QDir::separator());
}

} // namespace quillon::forms
