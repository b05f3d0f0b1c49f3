#pragma once
// The Log menu: View Log file opens the log in the desktop's viewer, else in
// a read-only window of our own; Send to opens a mail with the log attached
// through the desktop's mail client (xdg-email).
class QWidget;
class QDialog;
class QString;

// The desktop's mail helper is on the search path (checked once).
bool MailSystemAvailable();
void ViewLogFile(QWidget* parent);
void SendLogByMail(QWidget* parent);
// The read-only viewer used when the desktop has no viewer for the log;
// nullptr (after a message) when the log cannot be read.
QDialog* OpenBuiltInLogViewer(QWidget* parent, const QString& path);
