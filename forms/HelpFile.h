#pragma once

class QWidget;

namespace quillon::forms {

// Opens the user guide "Readme.txt" from the current directory (for an
// installed program without one there, its installed copy) with the
// desktop's handler for text files, `owner` being the window whose help
// button asks. A missing file or handler is the desktop's to report: the
// program says nothing of its own.
void openHelpFile(const QWidget *owner);

} // namespace quillon::forms
