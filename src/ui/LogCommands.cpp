#include "ui/LogCommands.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"

namespace {

const char* const kMailHelper = "xdg-email";
// The built-in viewer shows at most the log's start-up limit and a margin.
constexpr qint64 kViewerMaxBytes = 4 * 1024 * 1024;

// Exit codes of xdg-email that tell why no mail was opened.
constexpr int kMailNoTool = 3;

QString LogPath() { return QString::fromStdString(App().m_strLogPath); }

void ShowMailFailure(int exitCode)
{
    std::string text = GetString(61842);
    if (exitCode == kMailNoTool) text += "\r\nNo mail program is set up on this desktop.";
    ShowMessage(text + "\r\n", 28, MB_OK_ONLY, ICON_EXCLAMATION);
}

}  // namespace

bool MailSystemAvailable()
{
    static const bool available = !QStandardPaths::findExecutable(kMailHelper).isEmpty();
    return available;
}

QDialog* OpenBuiltInLogViewer(QWidget* parent, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage("Unable to read the log file \"" + path.toStdString() + "\".\r\n", 28, MB_OK_ONLY,
                    ICON_EXCLAMATION);
        return nullptr;
    }
    // A log larger than the viewer takes is shown from its end.
    if (file.size() > kViewerMaxBytes) file.seek(file.size() - kViewerMaxBytes);
    const QString text = QString::fromUtf8(file.read(kViewerMaxBytes));

    auto* dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName("logViewer");
    dialog->setAccessibleName("Log file");
    dialog->setWindowTitle(QFileInfo(path).fileName());
    auto* edit = new QPlainTextEdit(dialog);
    edit->setObjectName("logText");
    edit->setAccessibleName("Log text");
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit->setPlainText(text);
    edit->moveCursor(QTextCursor::End);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    dialog->resize(edit->fontMetrics().averageCharWidth() * 100, edit->fontMetrics().height() * 30);
    dialog->show();
    return dialog;
}

void ViewLogFile(QWidget* parent)
{
    if (!App().m_bLogOk) return;
    const QString path = LogPath();
    if (!QFileInfo::exists(path)) {
        ShowMessage("The log file \"" + path.toStdString() + "\" no longer exists.\r\n", 28, MB_OK_ONLY,
                    ICON_EXCLAMATION);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) OpenBuiltInLogViewer(parent, path);
}

void SendLogByMail(QWidget* parent)
{
    const QString helper = QStandardPaths::findExecutable(kMailHelper);
    if (helper.isEmpty()) {
        ShowMessage(61840, 28, MB_OK_ONLY, ICON_EXCLAMATION);
        return;
    }
    // The mail client's own window takes over; its helper's exit code says
    // whether a mail could be prepared.
    auto* process = new QProcess(parent);
    QObject::connect(process, &QProcess::finished, process, [process](int exitCode, QProcess::ExitStatus status) {
        process->deleteLater();
        if (status != QProcess::NormalExit || exitCode != 0) ShowMailFailure(exitCode);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        ShowMessage(61841, 28, MB_OK_ONLY, ICON_EXCLAMATION);
    });
    process->start(helper, {"--attach", LogPath()});
}
