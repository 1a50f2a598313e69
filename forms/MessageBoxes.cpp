#include "forms/MessageBoxes.h"

#include "platform/ApplicationTitle.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace quillon::forms {

namespace {

std::function<Answer(BoxKind, const QString &)> &boxOverride() {
  static std::function<Answer(BoxKind, const QString &)> instance;
  return instance;
}

// Escape clicks "&No"; only the close box (or Alt+F4) ends up here, and
// that answer is Cancel.
class ConfirmationBox : public QMessageBox {
public:
  using QMessageBox::QMessageBox;
  bool closedWithoutAnswer = false;

protected:
  void closeEvent(QCloseEvent *event) override {
    closedWithoutAnswer = true;
    QMessageBox::closeEvent(event);
  }
};

// Messages use CR characters as line breaks.
QString shownText(QString text) {
  return text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
      .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QString applicationTitle() {
  return platform::applicationTitleFor(QCoreApplication::applicationFilePath());
}

} // namespace

void showMessage(const QString &text) {
  if (boxOverride()) {
    boxOverride()(BoxKind::Message, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, applicationTitle(), shownText(text), QMessageBox::Ok);
  box.exec();
}

Answer confirm(const QString &question) {
  if (boxOverride())
    return boxOverride()(BoxKind::Confirmation, question);
  ConfirmationBox box(QMessageBox::Question, QStringLiteral("Confirm"), question);
  QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
  QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  box.exec();
  if (box.closedWithoutAnswer)
    return Answer::Cancel;
  if (box.clickedButton() == yes)
    return Answer::Yes;
  if (box.clickedButton() == no)
    return Answer::No;
  return Answer::Cancel;
}

QString generalErrorText(const QString &errorText) {
  if (!errorText.isEmpty() && errorText.back().unicode() > u'.')
    return errorText + QLatin1Char('.');
  return errorText;
}

void showGeneralError(const QString &text) {
  const QString shown = generalErrorText(text);
  if (boxOverride()) {
    boxOverride()(BoxKind::GeneralError, shown);
    return;
  }
  QMessageBox box(QMessageBox::Critical, applicationTitle(), shownText(shown), QMessageBox::Ok);
  box.exec();
}

void guarded(const std::function<void()> &work) {
  try {
    work();
  } catch (const std::exception &e) {
    showGeneralError(QString::fromUtf8(e.what()));
  } catch (...) {
    showGeneralError(QStringLiteral("Unknown error"));
  }
}

void setMessageBoxOverride(std::function<Answer(BoxKind, const QString &)> override) {
  boxOverride() = std::move(override);
}

} // namespace quillon::forms
