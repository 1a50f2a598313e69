#include "support/QtMessages.h"

#include <gtest/gtest.h>

// main() for tests without windows.
int main(int argc, char **argv) {
  quillon::test::failTestsOnQtWarnings();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
