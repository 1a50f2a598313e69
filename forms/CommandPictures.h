// The small pictures shown on the main window's commands, and the program's
// own icons; all drawn by code so they stay sharp at any screen scale.
#pragma once

#include <QIcon>

namespace quillon::forms {

// The picture at the given position of the commands' image list (3 hammer,
// 6 door, 7 computer, 8 open folder, 9 diskette, 10 refresh, 11 funnel,
// 12 table, 13 funnel with lightning, 14 empty check boxes, 15 ticked check
// boxes, 16 copy, 17 clipboard, 18 window with a picture, 19 lightning);
// an empty icon for any other position.
QIcon commandPicture(int index);

// Quillon's own icon: a quill over a database.
QIcon programIcon();

// The icon shown for a program that has none of its own.
QIcon defaultProgramIcon();

} // namespace quillon::forms
