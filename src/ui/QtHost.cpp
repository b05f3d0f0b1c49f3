#include "ui/QtHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>

#include "app/ExitSignals.h"
#include "app/Strings.h"
#include "ui/ReplyDlg.h"
#include "ui/Sounds.h"
#include "ui/UpdateView.h"
#include "ui/WaitDlg.h"
#include "ui/editors/EditorCommands.h"
#include "ui/link/LinkDialogs.h"

namespace {

QString Qs(const std::string& text) { return QString::fromStdString(text); }

// Message texts end their lines with CR LF; a box shows plain line breaks and
// no trailing ones.
QString BoxText(const std::string& text)
{
    QString shown = Qs(text);
    shown.replace("\r\n", "\n");
    shown.remove('\r');
    while (shown.endsWith('\n')) shown.chop(1);
    return shown;
}

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case ICON_INFORMATION: return QMessageBox::Information;
    case ICON_QUESTION: return QMessageBox::Question;
    case ICON_EXCLAMATION: return QMessageBox::Warning;
    case ICON_STOP: return QMessageBox::Critical;
    case ICON_NONE: break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton escape;    // what Escape or closing the box answers
    QMessageBox::StandardButton enter;     // what Enter answers
};

// A Yes of a Yes/No question skips a board, erases a file, drops changes or
// ends a process: Enter answers No there, as the terminal does. With a
// Cancel beside them, Yes keeps the changes (it saves) and stays the default.
ButtonSet BoxButtons(MsgButtons buttons)
{
    switch (buttons) {
    case MB_OK_CANCEL: return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Ok};
    case MB_YES_NO: return {QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No};
    case MB_YES_NO_CANCEL:
        return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Yes};
    case MB_RETRY_CANCEL:
        return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Retry};
    case MB_OK_ONLY: break;
    }
    return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
}

int ButtonOf(MsgAnswer answer)
{
    switch (answer) {
    case ANSWER_CANCEL: return QMessageBox::Cancel;
    case ANSWER_RETRY: return QMessageBox::Retry;
    case ANSWER_YES: return QMessageBox::Yes;
    case ANSWER_NO: return QMessageBox::No;
    default: return QMessageBox::Ok;
    }
}

MsgAnswer AnswerOf(int button)
{
    switch (button) {
    case QMessageBox::Cancel: return ANSWER_CANCEL;
    case QMessageBox::Retry: return ANSWER_RETRY;
    case QMessageBox::Yes: return ANSWER_YES;
    case QMessageBox::No: return ANSWER_NO;
    default: return ANSWER_OK;
    }
}

// "Name (*.ext)" for a file dialog: the name when it already holds its
// pattern in parentheses, else the name followed by the pattern.
QString FilterEntry(const std::string& name, const std::string& pattern)
{
    const QString text = Qs(name);
    if (text.contains('(') || pattern.empty()) return text;
    return text + " (" + Qs(pattern) + ")";
}

// "def" for the pattern "*.def"; empty for "*.*" or anything else.
QString SuffixOf(const std::string& pattern)
{
    const QString text = Qs(pattern);
    if (!text.startsWith("*.") || text.size() < 3) return {};
    const QString suffix = text.mid(2);
    return suffix.contains('*') || suffix.contains('?') || suffix.contains(';') ? QString() : suffix;
}

}  // namespace

// --- keys typed before a question ----------------------------------------------------------

CStaleKeyGuard::CStaleKeyGuard(QWidget& window) : m_window(window) { qApp->installEventFilter(this); }

CStaleKeyGuard::~CStaleKeyGuard()
{
    if (qApp) qApp->removeEventFilter(this);
}

bool CStaleKeyGuard::Armed() const { return !m_shownAt.isValid() || m_shownAt.elapsed() < kQuestionKeyGuardMs; }

bool CStaleKeyGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && event->type() == QEvent::Show && !m_shownAt.isValid()) m_shownAt.start();
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != &m_window || !Armed()) return false;
    ++m_nDropped;
    return true;
}

CQtHost::CQtHost() { qApp->installEventFilter(this); }

CQtHost::~CQtHost()
{
    if (qApp) qApp->removeEventFilter(this);
}

CReplyDlg* CQtHost::ReplyDialog() const { return m_reply.data(); }

QWidget* CQtHost::DialogParent() const
{
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return m_window;
}

// --- shell ------------------------------------------------------------------------------

MsgAnswer CQtHost::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                              MsgIcon icon)
{
    if (m_view) m_view->FlushPendingTexts();
    // On the way out nobody is asked: the stop's answer is taken.
    if (StopRequested()) return StopAnswer(text, buttons);
    const ButtonSet set = BoxButtons(buttons);
    QMessageBox box(BoxIcon(icon), Qs(caption), BoxText(text), set.buttons, DialogParent());
    box.setObjectName("messageBox");
    box.setAccessibleName(Qs(caption));
    box.setEscapeButton(set.escape);
    box.setDefaultButton(set.enter);
    const QPointer<QMessageBox> outer = m_openBox;
    const std::string outerText = m_strOpenBoxText;
    const MsgButtons outerButtons = m_openBoxButtons;
    m_openBox = &box;
    m_strOpenBoxText = text;
    m_openBoxButtons = buttons;
    MsgAnswer answer;
    {
        CStaleKeyGuard guard(box);
        answer = AnswerOf(box.exec());
    }
    m_openBox = outer;
    m_strOpenBoxText = outerText;
    m_openBoxButtons = outerButtons;
    return answer;
}

void CQtHost::EndOpenDialogsForStop()
{
    constexpr int kMaxNestedDialogs = 8;
    for (int i = 0; i < kMaxNestedDialogs; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (modal == m_openBox.data()) {
            m_openBox->done(ButtonOf(StopAnswer(m_strOpenBoxText, m_openBoxButtons)));
            m_openBox->hide();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            return;
        }
        if (QApplication::activeModalWidget() == modal) return;   // it would not go
    }
}

void CQtHost::Beep(BeepKind kind) { PlayBeep(kind); }

bool CQtHost::PromptFileName(const std::string& title, std::string& path, const std::string& filterName,
                             const std::string& filterPattern, const std::string& initialDir, bool open)
{
    QStringList filters;
    if (!filterName.empty()) filters << FilterEntry(filterName, filterPattern);
    filters << Qs(GetString(61442));
    QString start = Qs(path);
    if (QFileInfo(start).isRelative() && !initialDir.empty()) start = QDir(Qs(initialDir)).filePath(start);

    QFileDialog dialog(DialogParent(), Qs(title), start, filters.join(";;"));
    dialog.setObjectName("fileDialog");
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // A name typed without extension gets the filter's, before the dialog
    // asks whether to replace an existing file of that name.
    if (!open) dialog.setDefaultSuffix(SuffixOf(filterPattern));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toStdString();
    return true;
}

bool CQtHost::PromptDirectory(std::string& dir)
{
    const QString chosen = QFileDialog::getExistingDirectory(DialogParent(), "Choose Directory", Qs(dir));
    if (chosen.isEmpty()) return false;
    dir = QDir::cleanPath(chosen).toStdString();
    return true;
}

void CQtHost::WatchAbortKey(bool watch)
{
    m_bWatchAbort = watch;
    m_bAbortPressed = false;
}

bool CQtHost::AbortKeyPressed()
{
    const bool pressed = m_bAbortPressed;
    m_bAbortPressed = false;
    return pressed;
}

// Escape pressed in the main window while a process runs is the abort key:
// it is consumed here and reported once by AbortKeyPressed.
bool CQtHost::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && m_bWatchAbort && m_window) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() == Qt::Key_Escape && widget && widget->window() == m_window) {
            m_bAbortPressed = true;
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// --- view -------------------------------------------------------------------------------

void CQtHost::SetActivityBlink(bool on)
{
    if (m_view) m_view->SetActivityBlink(on);
}
void CQtHost::SetOverallProgress(long done, long total)
{
    if (m_view) m_view->SetOverallProgress(done, total);
}
void CQtHost::SetFileNameText(const std::string& text)
{
    if (m_view) m_view->SetFileNameText(text);
}
void CQtHost::ShowBusyLook(bool busy)
{
    WatchAbortKey(busy);
    if (m_view) m_view->ShowBusyLook(busy);
}
void CQtHost::ShowProcessControls(bool show)
{
    if (m_view) m_view->ShowProcessControls(show);
}
void CQtHost::ActivityTick()
{
    if (m_view) m_view->ActivityTick();
}
void CQtHost::SetLinkText(const std::string& text)
{
    if (m_view) m_view->SetLinkText(text);
}
void CQtHost::SetBoardText(const std::string& text)
{
    if (m_view) m_view->SetBoardText(text);
}
void CQtHost::SetBoardCounter(const std::string& text)
{
    if (m_view) m_view->SetBoardCounter(text);
}
void CQtHost::SetElapsedText(const std::string& text)
{
    if (m_view) m_view->SetElapsedText(text);
}
void CQtHost::SetBlockCounter(const std::string& text)
{
    if (m_view) m_view->SetBlockCounter(text);
}
void CQtHost::SetRetryCounter(const std::string& text)
{
    if (m_view) m_view->SetRetryCounter(text);
}
void CQtHost::ShowBlockCounters(bool show)
{
    if (m_view) m_view->ShowBlockCounters(show);
}
void CQtHost::SetRemainingTime(const std::string& text)
{
    if (m_view) m_view->SetRemainingTime(text);
}
void CQtHost::SetProgressItem(int id, int percent)
{
    if (m_view) m_view->SetProgressItem(id, percent);
}
void CQtHost::SetTransferProgress(long block, long blocks, long retries, const std::string& remaining)
{
    if (m_view) m_view->SetTransferProgress(block, blocks, retries, remaining);
}
void CQtHost::FlashLamp(int lamp)
{
    if (m_view) m_view->FlashLamp(lamp);
}
void CQtHost::PlayAnimation(bool play)
{
    if (m_view) m_view->PlayAnimation(play);
}
void CQtHost::PlaySoundResource(int id) { PlayWaveResource(id); }

// --- wait dialog: the engine sets it up, then creates it ------------------------------------

namespace {
CWaitDlg& EnsureWaitDialog(std::unique_ptr<CWaitDlg>& wait, QWidget* parent)
{
    if (!wait) wait = std::make_unique<CWaitDlg>(0, parent);
    return *wait;
}
}  // namespace

bool CQtHost::WaitDlgCreate()
{
    CWaitDlg& wait = EnsureWaitDialog(m_wait, m_window);
    if (wait.Create(m_window)) return true;
    m_wait.reset();
    return false;
}
void CQtHost::WaitDlgSetMessage(const std::string& text)
{
    EnsureWaitDialog(m_wait, m_window).SetMessage(BoxText(text));
}
void CQtHost::WaitDlgSetRange(int minimum, int maximum)
{
    EnsureWaitDialog(m_wait, m_window).SetRange(minimum, maximum);
}
void CQtHost::WaitDlgSetStep(int step) { EnsureWaitDialog(m_wait, m_window).SetStep(step); }
void CQtHost::WaitDlgSetPos(int position) { EnsureWaitDialog(m_wait, m_window).SetPos(position); }
void CQtHost::WaitDlgStepIt() { EnsureWaitDialog(m_wait, m_window).StepIt(); }
bool CQtHost::WaitDlgCheckCancel() { return m_wait && m_wait->CheckCancel(); }
void CQtHost::WaitDlgDestroy()
{
    if (!m_wait) return;
    m_wait->Destroy();
    m_wait.reset();
}

// --- Reply dialog: one window per answer, modeless ------------------------------------------

bool CQtHost::SetReplyAnswer(const std::string& answer, bool autoClose)
{
    if (m_reply) m_reply->close();
    auto* dialog = new CReplyDlg(m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->SetAnswer(answer, autoClose);
    m_reply = dialog;
    return true;
}

void CQtHost::SetReplyStatus(const std::string& text)
{
    if (m_reply) m_reply->SetStatus(text);
}

void CQtHost::ShowReplyDialog(bool show)
{
    if (!m_reply) return;
    if (!show) {
        m_reply->close();
        return;
    }
    m_reply->show();
    m_reply->raise();
    m_reply->activateWindow();
}

// --- the link's and the model's windows ----------------------------------------------------

IAutoConfigView* CQtHost::IdentDialogView()
{
    if (!m_window) return nullptr;
    // The window belongs to the main window; a new main window gets a new one.
    if (!m_pIdentView || m_identOwner != m_window) {
        m_pIdentView = CreateIdentDialogWindow(m_window);
        m_identOwner = m_window;
    }
    return m_pIdentView;
}

int CQtHost::RunChangeCommDialog(CChangeCommDlg& dialog) { return ExecChangeCommDialog(dialog, DialogParent()); }

int CQtHost::RunCommunicationDialog(CCommunicationDlg& dialog)
{
    return ExecCommunicationDialog(dialog, DialogParent());
}

bool CQtHost::RepairEnvironment(int mode, const CEnvDef& environment, int boardIndex)
{
    return ExecRepairEnvironment(DialogParent(), mode, environment, boardIndex);
}

bool CQtHost::ChooseEnvironmentBoard(const std::vector<CEnvDef>& environments, int envIndex, int& chosenEnv,
                                     int& chosenBoard)
{
    return ExecChooseEnvironmentBoard(DialogParent(), environments, envIndex, chosenEnv, chosenBoard);
}
