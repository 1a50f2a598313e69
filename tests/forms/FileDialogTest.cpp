// The dialogs Qt draws for the program: the Open dialog and Qt's own texts.
#include "forms/FileDialog.h"
#include "forms/QtTranslation.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>

using namespace quillon::forms;

TEST(OpenDialog, TakesTheNameOfAFileThatIsNotThere) {
  QTemporaryDir folder;
  const QString missing = folder.filePath(QStringLiteral("not-there.bin"));
  const std::unique_ptr<QFileDialog> dialog = makeOpenDialog(nullptr, missing);
  dialog->open();
  static_cast<QDialog *>(dialog.get())->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->selectedFiles(), QStringList{missing});
}

TEST(QtTranslation, StandardButtonsReadInRussian) {
  QTranslator translator;
  ASSERT_TRUE(loadQtTranslation(translator)) << "Qt's Russian translation is not installed";
  QApplication::installTranslator(&translator);
  QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  const QString cancel = buttons.button(QDialogButtonBox::Cancel)->text();
  const QString open = buttons.button(QDialogButtonBox::Open)->text();
  QApplication::removeTranslator(&translator);
  EXPECT_EQ(cancel, QStringLiteral("Отмена"));
  EXPECT_EQ(open, QStringLiteral("Открыть"));
}
