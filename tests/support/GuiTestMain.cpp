#include "support/QtMessages.h"

#include <gtest/gtest.h>

#include <QApplication>

// GUI tests need one application object for the whole run; the test script
// sets QT_QPA_PLATFORM=offscreen.
int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  quillon::test::failTestsOnQtWarnings();
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
