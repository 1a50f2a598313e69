#pragma once

#include <QString>

namespace quillon::forms {

class TfrmMainForm;
class TfrmAbout;
class TfrmOwnWindow;
class TfrmSettings;
class TfrmFilter;
class TfrmCondition;

// The six windows, each created once at start-up and kept until exit; the
// windows reach one another through these references.
extern TfrmMainForm *frmMainForm;
extern TfrmAbout *frmAbout;
extern TfrmOwnWindow *frmOwnWindow;
extern TfrmSettings *frmSettings;
extern TfrmFilter *frmFilter;
extern TfrmCondition *frmCondition;

// Creates the windows in their fixed order, the main window first.
void createWindows(const QString &programDir);
// Destroys them, the main window last.
void destroyWindows();

// Fills the settings window's default folder and shows the viewer.
void InitStartupState();

} // namespace quillon::forms
