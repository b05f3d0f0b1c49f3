#pragma once
// The link's windows as the Qt host and the screenshots reach them.
class QString;
class QWidget;
class CChangeCommDlg;
class CCommunicationDlg;
class IAutoConfigView;

// The "Communication" dialog on its logic (src/link/ChangeComm.h): 1 "OK", 2 "Cancel".
int ExecCommunicationDialog(CCommunicationDlg& logic, QWidget* parent);
// The "Change communication" dialog of a Repair: 1 "Run", 2 cancelled.
int ExecChangeCommDialog(CChangeCommDlg& logic, QWidget* parent);
// The window of the identification (auto-configure) dialog the processes run at their identification
// steps; the host keeps one, owned by `parent`, and returns it from CHost::IdentDialogView().
IAutoConfigView* CreateIdentDialogWindow(QWidget* parent);

// Opens each of the four windows with sample content and saves it as
// `<dir>/<name>.png`: communication, change-communication, auto-configure,
// auto-configure-properties. A picture that cannot be written is reported
// on standard error.
void GrabLinkDialogs(const QString& dir);
