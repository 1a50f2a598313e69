#pragma once

namespace quillon::test {

// Makes every warning Qt reports during a test a failure of that test, so
// the test output carries no warnings nobody reads. Notices the offscreen
// platform gives for window-system requests it does not implement
// (raising, keyboard grabs, size hints) are dropped: the windows under test
// are not at fault, and the window-manager tests run on a real X server.
void failTestsOnQtWarnings();

} // namespace quillon::test
