#include "forms/DataLinkEditor.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DataLink.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quillon::forms {

namespace {

using Provider = DataLinkEditor::Provider;

const QString kProvider = QStringLiteral("Provider");
const QString kDataSource = QStringLiteral("Data Source");
const QString kInitialCatalog = QStringLiteral("Initial Catalog");
const QString kIntegratedSecurity = QStringLiteral("Integrated Security");
const QString kUserId = QStringLiteral("User ID");
const QString kPassword = QStringLiteral("Password");
const QString kExtendedProperties = QStringLiteral("Extended Properties");

// The page shown for a provider the list does not offer.
constexpr int kUnsupportedPage = 4;

// The provider as the data layer reads it (connectionSettingsFrom);
// nullopt for one it does not support.
std::optional<Provider> providerOf(const QString &provider) {
  return data::backendOfProvider(provider);
}

QString providerValue(Provider provider) {
  switch (provider) {
  case Provider::SqlServer:
    return QStringLiteral("SQLOLEDB.1");
  case Provider::Odbc:
    return QStringLiteral("MSDASQL.1");
  case Provider::Sqlite:
    return QStringLiteral("SQLite");
  case Provider::Postgres:
    return QStringLiteral("PostgreSQL");
  }
  return {};
}

// As the SQL Server connection reads it: SSPI or one of OLE DB's "true"s.
bool isIntegrated(const QString &value) {
  static const QStringList yes = {"SSPI", "true", "yes", "1", "-1"};
  return yes.contains(value.trimmed(), Qt::CaseInsensitive);
}

// A field's text into its key: an empty field drops the key, a field that
// still shows the key's value leaves it, so its spelling survives.
void applyField(data::InitProperties &properties, const QString &key, const QString &text,
                bool exact = false) {
  const QString value = exact ? text : text.trimmed();
  const QString current = properties.value(key);
  if (exact ? value == current : value == current.trimmed())
    return;
  if (value.isEmpty())
    properties.remove(key);
  else
    properties.set(key, value);
}

QLineEdit *lineEdit(const char *name, QWidget *parent) {
  auto *edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  return edit;
}

QLabel *hint(const QString &text, QWidget *parent) {
  auto *label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setEnabled(false); // drawn greyed, as an explanation rather than a value
  return label;
}

} // namespace

QString testConnection(const QString &initString, const QString &dataLinkDir) {
  QString message;
  try {
    data::openDriver(initString, dataLinkDir);
    return {};
  } catch (const data::DataError &error) {
    message = error.message();
  } catch (const std::exception &error) {
    message = QString::fromLocal8Bit(error.what());
  }
  // An empty text means success to the caller, so a failure always says something.
  return message.trimmed().isEmpty() ? QStringLiteral("Не удалось подключиться.") : message;
}

QString sqliteDataSourceFor(const QString &chosenFile, const QString &dataLinkDir) {
  const QString file = QDir::cleanPath(QFileInfo(chosenFile).absoluteFilePath());
  const QString relative = QDir(QFileInfo(dataLinkDir).absoluteFilePath()).relativeFilePath(file);
  if (relative.isEmpty() || relative == QLatin1String("..") ||
      relative.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(relative))
    return file;
  return relative;
}

DataLinkEditor::DataLinkEditor(const QString &dataLinkPath, QWidget *parent)
    : QDialog(parent), path_(dataLinkPath) {
  setObjectName(QStringLiteral("DataLinkEditor"));
  setWindowTitle(QStringLiteral("Свойства связи с данными"));
  build();
  cmbProvider_->setCurrentIndex(int(Provider::SqlServer));
  rbIntegrated_->setChecked(true);
  showProviderPage();
  updateCredentials();
}

void DataLinkEditor::build() {
  auto *top = new QFormLayout;
  lblFile_ = new QLabel(QDir::toNativeSeparators(path_), this);
  lblFile_->setObjectName(QStringLiteral("lblFile"));
  lblFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Not a buddy: the path is only read.
  top->addRow(new QLabel(QStringLiteral("Файл:"), this), lblFile_);

  cmbProvider_ = new QComboBox(this);
  cmbProvider_->setObjectName(QStringLiteral("cmbProvider"));
  cmbProvider_->addItem(QStringLiteral("Microsoft SQL Server"), int(Provider::SqlServer));
  cmbProvider_->addItem(QStringLiteral("Источник данных ODBC"), int(Provider::Odbc));
  cmbProvider_->addItem(QStringLiteral("Файл SQLite"), int(Provider::Sqlite));
  cmbProvider_->addItem(QStringLiteral("PostgreSQL"), int(Provider::Postgres));
  auto *providerLabel = new QLabel(QStringLiteral("&Поставщик:"), this);
  providerLabel->setBuddy(cmbProvider_);
  top->addRow(providerLabel, cmbProvider_);

  stkProvider_ = new QStackedWidget(this);
  stkProvider_->setObjectName(QStringLiteral("stkProvider"));
  stkProvider_->addWidget(buildSqlServerPage());
  stkProvider_->addWidget(buildOdbcPage());
  stkProvider_->addWidget(buildSqlitePage());
  stkProvider_->addWidget(buildPostgresPage());
  lblUnsupported_ = new QLabel(this);
  lblUnsupported_->setObjectName(QStringLiteral("lblUnsupported"));
  lblUnsupported_->setWordWrap(true);
  lblUnsupported_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  stkProvider_->addWidget(lblUnsupported_);

  btnTest_ = new QPushButton(QStringLiteral("Проверить по&дключение"), this);
  btnTest_->setObjectName(QStringLiteral("btnTest"));
  auto *testRow = new QHBoxLayout;
  testRow->addWidget(btnTest_);
  testRow->addStretch();

  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("buttonBox"));
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));

  auto *layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(stkProvider_);
  layout->addLayout(testRow);
  layout->addStretch();
  layout->addWidget(buttons);
  setMinimumWidth(460);

  connect(cmbProvider_, &QComboBox::currentIndexChanged, this, &DataLinkEditor::showProviderPage);
  connect(rbIntegrated_, &QRadioButton::toggled, this, &DataLinkEditor::updateCredentials);
  connect(btnBrowse_, &QPushButton::clicked, this, &DataLinkEditor::browseSqliteFile);
  connect(btnTest_, &QPushButton::clicked, this, &DataLinkEditor::testClicked);
  connect(buttons, &QDialogButtonBox::accepted, this, &DataLinkEditor::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &DataLinkEditor::reject);
}

QWidget *DataLinkEditor::buildSqlServerPage() {
  auto *page = new QWidget(this);
  page->setObjectName(QStringLiteral("pageSqlServer"));
  auto *form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);

  edtServer_ = lineEdit("edtServer", page);
  edtServer_->setPlaceholderText(QStringLiteral("сервер, сервер\\экземпляр или сервер,порт"));
  form->addRow(QStringLiteral("&Сервер:"), edtServer_);
  edtDatabase_ = lineEdit("edtDatabase", page);
  form->addRow(QStringLiteral("&База данных:"), edtDatabase_);

  auto *logon = new QGroupBox(QStringLiteral("Вход на сервер"), page);
  auto *logonLayout = new QVBoxLayout(logon);
  rbIntegrated_ = new QRadioButton(QStringLiteral("&Встроенная безопасность (Kerberos)"), logon);
  rbIntegrated_->setObjectName(QStringLiteral("rbIntegrated"));
  rbUserPassword_ = new QRadioButton(QStringLiteral("&Имя пользователя и пароль"), logon);
  rbUserPassword_->setObjectName(QStringLiteral("rbUserPassword"));
  logonLayout->addWidget(rbIntegrated_);
  logonLayout->addWidget(rbUserPassword_);
  auto *credentials = new QFormLayout;
  credentials->setContentsMargins(20, 0, 0, 0); // under the radio buttons they depend on
  edtUser_ = lineEdit("edtUser", logon);
  credentials->addRow(QStringLiteral("По&льзователь:"), edtUser_);
  edtPassword_ = lineEdit("edtPassword", logon);
  edtPassword_->setEchoMode(QLineEdit::Password);
  credentials->addRow(QStringLiteral("Пар&оль:"), edtPassword_);
  logonLayout->addLayout(credentials);
  form->addRow(logon);
  return page;
}

QWidget *DataLinkEditor::buildOdbcPage() {
  auto *page = new QWidget(this);
  page->setObjectName(QStringLiteral("pageOdbc"));
  auto *form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  edtDsn_ = lineEdit("edtDsn", page);
  form->addRow(QStringLiteral("&Источник данных (DSN):"), edtDsn_);
  edtOdbcString_ = lineEdit("edtOdbcString", page);
  edtOdbcString_->setPlaceholderText(
      QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=…;DATABASE=…"));
  form->addRow(QStringLiteral("&Строка подключения:"), edtOdbcString_);
  form->addRow(hint(QStringLiteral("Строка подключения, в которой есть DSN или DRIVER, "
                                   "заменяет источник данных."),
                    page));
  return page;
}

QWidget *DataLinkEditor::buildPostgresPage() {
  auto *page = new QWidget(this);
  page->setObjectName(QStringLiteral("pagePostgres"));
  auto *form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  edtPgServer_ = lineEdit("edtPgServer", page);
  edtPgServer_->setPlaceholderText(QStringLiteral("сервер или сервер:порт"));
  form->addRow(QStringLiteral("&Сервер:"), edtPgServer_);
  edtPgDatabase_ = lineEdit("edtPgDatabase", page);
  form->addRow(QStringLiteral("&База данных:"), edtPgDatabase_);
  edtPgUser_ = lineEdit("edtPgUser", page);
  form->addRow(QStringLiteral("По&льзователь:"), edtPgUser_);
  edtPgPassword_ = lineEdit("edtPgPassword", page);
  edtPgPassword_->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("Пар&оль:"), edtPgPassword_);
  form->addRow(hint(QStringLiteral("Другие ключи libpq (sslmode, …) можно дописать в файл "
                                   "db.udl: они передаются как есть."),
                    page));
  return page;
}

QWidget *DataLinkEditor::buildSqlitePage() {
  auto *page = new QWidget(this);
  page->setObjectName(QStringLiteral("pageSqlite"));
  auto *form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  edtSqliteFile_ = lineEdit("edtSqliteFile", page);
  btnBrowse_ = new QPushButton(QStringLiteral("&Обзор…"), page);
  btnBrowse_->setObjectName(QStringLiteral("btnBrowse"));
  auto *row = new QHBoxLayout;
  row->addWidget(edtSqliteFile_);
  row->addWidget(btnBrowse_);
  auto *label = new QLabel(QStringLiteral("&Файл базы данных:"), page);
  label->setBuddy(edtSqliteFile_);
  form->addRow(label, row);
  form->addRow(
      hint(QStringLiteral("Относительный путь отсчитывается от папки файла db.udl."), page));
  return page;
}

bool DataLinkEditor::openForEditing(const QString &path, QWidget *parent) {
  auto *editor = new DataLinkEditor(path, parent);
  editor->setAttribute(Qt::WA_DeleteOnClose);
  QString error;
  const LoadOutcome outcome = editor->load(&error);
  if (outcome == LoadOutcome::Unreadable) {
    delete editor;
    return false;
  }
  editor->show();
  if (outcome == LoadOutcome::Damaged)
    editor->report(QMessageBox::Warning, error);
  return true;
}

DataLinkEditor::LoadOutcome DataLinkEditor::load(QString *error) {
  const std::optional<QString> text = data::readDataLinkText(path_);
  if (!text) {
    if (error)
      *error = QStringLiteral("Не удалось прочитать файл %1.").arg(path_);
    return LoadOutcome::Unreadable;
  }
  const QString initString = data::initStringOf(*text);
  try {
    remember(initString);
  } catch (const data::DataError &parseError) {
    loadedText_ = initString;
    loaded_ = {};
    loadedParsed_ = false;
    loadedProvider_.reset();
    fillControls();
    if (error)
      *error = QStringLiteral("Строка подключения в файле %1 повреждена: %2")
                   .arg(path_, parseError.message());
    return LoadOutcome::Damaged;
  }
  fillControls();
  return LoadOutcome::Loaded;
}

void DataLinkEditor::remember(const QString &initString) {
  loaded_ = data::InitProperties::parse(initString);
  loadedText_ = initString;
  loadedParsed_ = true;
  loadedProvider_ = providerOf(loaded_.value(kProvider));
}

void DataLinkEditor::fillControls() {
  for (QLineEdit *edit : {edtServer_, edtDatabase_, edtUser_, edtPassword_, edtDsn_, edtOdbcString_,
                          edtSqliteFile_, edtPgServer_, edtPgDatabase_, edtPgUser_, edtPgPassword_})
    edit->clear();
  // Data Source means something else to each provider, so only the page of
  // the file's own provider shows it.
  const QString dataSource = loaded_.value(kDataSource);
  if (!loadedParsed_) {
    cmbProvider_->setCurrentIndex(int(Provider::SqlServer));
  } else if (!loadedProvider_) {
    cmbProvider_->setCurrentIndex(-1);
  } else {
    cmbProvider_->setCurrentIndex(int(*loadedProvider_));
    switch (*loadedProvider_) {
    case Provider::SqlServer:
      edtServer_->setText(dataSource);
      break;
    case Provider::Odbc:
      edtDsn_->setText(dataSource);
      break;
    case Provider::Sqlite:
      edtSqliteFile_->setText(dataSource);
      break;
    case Provider::Postgres:
      edtPgServer_->setText(dataSource);
      break;
    }
  }
  edtDatabase_->setText(loaded_.value(kInitialCatalog));
  edtPgDatabase_->setText(loaded_.value(kInitialCatalog));
  edtPgUser_->setText(loaded_.value(kUserId));
  edtPgPassword_->setText(loaded_.value(kPassword));
  edtUser_->setText(loaded_.value(kUserId));
  edtPassword_->setText(loaded_.value(kPassword));
  edtOdbcString_->setText(loaded_.value(kExtendedProperties));
  const bool integrated = isIntegrated(loaded_.value(kIntegratedSecurity));
  (integrated ? rbIntegrated_ : rbUserPassword_)->setChecked(true);
  lblUnsupported_->setText(
      QStringLiteral("Поставщик «%1» не поддерживается. Выберите поставщика из списка.")
          .arg(loaded_.value(kProvider)));
  showProviderPage();
  updateCredentials();
}

std::optional<Provider> DataLinkEditor::chosenProvider() const {
  const int index = cmbProvider_->currentIndex();
  if (index < 0)
    return std::nullopt;
  return Provider(cmbProvider_->itemData(index).toInt());
}

QString DataLinkEditor::initString() const {
  const std::optional<Provider> provider = chosenProvider();
  if (!provider) // an unsupported provider: nothing shown, nothing changed
    return loadedText_;
  data::InitProperties properties = loaded_;
  // The file's own spelling stays unless another provider was chosen.
  if (!loadedParsed_ || provider != loadedProvider_)
    properties.set(kProvider, providerValue(*provider));
  switch (*provider) {
  case Provider::SqlServer: {
    applyField(properties, kDataSource, edtServer_->text());
    applyField(properties, kInitialCatalog, edtDatabase_->text());
    const bool wasIntegrated = isIntegrated(properties.value(kIntegratedSecurity));
    if (rbIntegrated_->isChecked() && !wasIntegrated)
      properties.set(kIntegratedSecurity, QStringLiteral("SSPI"));
    else if (!rbIntegrated_->isChecked() && wasIntegrated)
      properties.remove(kIntegratedSecurity);
    applyField(properties, kUserId, edtUser_->text());
    applyField(properties, kPassword, edtPassword_->text(), true);
    break;
  }
  case Provider::Odbc:
    applyField(properties, kDataSource, edtDsn_->text());
    applyField(properties, kExtendedProperties, edtOdbcString_->text());
    break;
  case Provider::Sqlite:
    applyField(properties, kDataSource, edtSqliteFile_->text());
    break;
  case Provider::Postgres:
    applyField(properties, kDataSource, edtPgServer_->text());
    applyField(properties, kInitialCatalog, edtPgDatabase_->text());
    applyField(properties, kUserId, edtPgUser_->text());
    applyField(properties, kPassword, edtPgPassword_->text(), true);
    break;
  }
  if (loadedParsed_ && properties.pairs() == loaded_.pairs())
    return loadedText_;
  return properties.toString();
}

void DataLinkEditor::accept() {
  const QString text = initString();
  // Nothing changed: the file is left exactly as it is.
  if (!loadedParsed_ || text != loadedText_) {
    QString error;
    if (!data::writeDataLinkFile(path_, text, &error)) {
      report(QMessageBox::Critical,
             QStringLiteral("Не удалось сохранить файл связи с данными.\n\n") + error);
      return;
    }
    remember(text);
  }
  QDialog::accept();
}

void DataLinkEditor::showProviderPage() {
  const std::optional<Provider> provider = chosenProvider();
  stkProvider_->setCurrentIndex(provider ? int(*provider) : kUnsupportedPage);
}

void DataLinkEditor::updateCredentials() {
  const bool own = rbUserPassword_->isChecked();
  edtUser_->setEnabled(own);
  edtPassword_->setEnabled(own);
}

QString DataLinkEditor::dataLinkDir() const {
  return QFileInfo(path_).absolutePath();
}

void DataLinkEditor::browseSqliteFile() {
  const QString current = edtSqliteFile_->text().trimmed();
  const QString start =
      current.isEmpty() ? dataLinkDir() : QDir(dataLinkDir()).absoluteFilePath(current);
  const QString chosen = QFileDialog::getOpenFileName(
      this, QStringLiteral("Файл базы данных SQLite"), start,
      QStringLiteral("Базы данных SQLite (*.db *.db3 *.sqlite *.sqlite3);;Все файлы (*)"));
  if (!chosen.isEmpty())
    edtSqliteFile_->setText(sqliteDataSourceFor(chosen, dataLinkDir()));
}

void DataLinkEditor::testClicked() {
  // Connecting blocks for at most the connection's login timeout.
  btnTest_->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QString error = testConnection(initString(), dataLinkDir());
  QApplication::restoreOverrideCursor();
  btnTest_->setEnabled(true);
  if (error.isEmpty())
    report(QMessageBox::Information, QStringLiteral("Подключение выполнено успешно."));
  else
    report(QMessageBox::Warning, error);
}

// Opened without waiting, so that a test can read the box and the window
// keeps no nested event loop.
void DataLinkEditor::report(QMessageBox::Icon icon, const QString &text) {
  auto *box = new QMessageBox(icon, windowTitle(), text, QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("msgDataLink"));
  box->button(QMessageBox::Ok)->setText(QStringLiteral("ОК"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

} // namespace quillon::forms
