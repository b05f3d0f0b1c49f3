#include "ui/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include "app/CommSettings.h"
#include "app/ExitSignals.h"
#include "app/RecentFiles.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/EngineTypes.h"
#include "engine/ProcessEngine.h"
#include "link/ChangeComm.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"
#include "ui/AboutDlg.h"
#include "ui/Artwork.h"
#include "history/HistoryRecorder.h"
#include "ui/HistoryDlg.h"
#include "ui/LogCommands.h"
#include "ui/QtHost.h"
#include "ui/UpdateView.h"
#include "ui/editors/EditorCommands.h"

namespace {

// How long a note about the history stays on the status bar.
constexpr int kHistoryNoticeMs = 15000;

QString Qs(const std::string& text) { return QString::fromStdString(text); }

// The document title as the window shows it: "Untitled" for a new request.
std::string DocumentTitle(const CUpdateDoc& doc)
{
    std::string title = doc.GetTitle();
    const bool blank = title.find_first_not_of(' ') == std::string::npos;
    if (blank) title = "Untitled";
    if (doc.IsModified() && title.find(" *") == std::string::npos) title += " *";
    return title;
}

}  // namespace

CMainFrame::CMainFrame(CQtHost& host, QWidget* parent)
    : QMainWindow(parent),
      m_host(host),
      m_doc(std::make_unique<CUpdateDoc>()),
      m_link(CreateConfiguredLink())
{
    setObjectName("mainFrame");
    setWindowIcon(ApplicationIcon());
    m_engine = std::make_unique<CProcessEngine>(*m_doc, *m_link, this);
    SetUpHistory();

    m_view = new CUpdateView(this);
    setCentralWidget(m_view);
    m_host.SetMainWindow(this);
    m_host.SetView(m_view);

    RegisterHandlers();
    CreateActions();
    CreateMenus();
    CreateToolbar();
    CreateStatusBar();

    connect(m_view, &CUpdateView::abortClicked, this, &CMainFrame::OnAbort);
    connect(m_view, &CUpdateView::commandStatesChanged, this, &CMainFrame::OnProcessStateChanged);
    connect(m_view, &CUpdateView::doubleClicked, this, &CMainFrame::OnViewDoubleClick);
    connect(m_view, &CUpdateView::contextMenuWanted, this,
            [this](const QPoint& at) {
                UpdateCommandStates();
                m_contextMenu->popup(at);
            });

    m_commTimer.setSingleShot(true);
    connect(&m_commTimer, &QTimer::timeout, this, [this] {
        m_commTimer.stop();
        if (App().m_bShowCommBox && !App().m_bCmdLineStart) RunCommand(ID_COMMUNICATION);
    });

    // The frame has no sizing border: it keeps the size its form gives it.
    m_host.SetLinkText(LinkText(App().m_nPortIndex, App().m_nBaudIndex));
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    RefreshTitle();
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    // The engine refers to the document and the link: it goes first.
    m_engine.reset();
    m_history.reset();
    m_host.SetView(nullptr);
    m_host.SetMainWindow(nullptr);
}

// --- building the window ------------------------------------------------------------------

void CMainFrame::RegisterHandlers()
{
    m_handlers = {
        {ID_FILE_NEW, [this] { OnFileNew(); }},
        {ID_FILE_OPEN, [this] { OnFileOpen(); }},
        {ID_VIEW_CONTENT, [this] { RunViewContentCommand(this, *m_doc); }},
        {ID_FILE_SAVE, [this] { OnFileSave(); }},
        {ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); }},
        {ID_IMPORT, [this] { OnImport(); }},
        {ID_APP_EXIT, [this] { close(); }},
        {ID_ENV_LIST, [this] { RunEnvironmentListCommand(this, *m_doc); }},
        {ID_ENV_SET_DIR, [this] { RunSetDirectoryCommand(this, *m_doc); }},
        {ID_ENV_OPEN, [this] { RunEnvironmentOpenCommand(this, *m_doc); }},
        {ID_COMMUNICATION, [this] { RunCommunicationCommand(*m_link); }},
        {ID_REPAIR, [this] { m_engine->StartRepair(); }},
        {ID_QUERY_AUTO_CONFIG, [this] { OnToggleQueryAuto(); }},
        {ID_RESCUE_ENABLE, [this] { OnToggleRescue(); }},
        {ID_VIEW_LOG, [this] { OnViewLog(); }},
        {ID_FILE_SEND_MAIL, [this] { OnSendMail(); }},
        {ID_HISTORY, [this] { OnHistory(); }},
        {ID_QUERY, [this] { OnQuery(); }},
        {ID_TRANSFER, [this] { OnTransfer(); }},
        {ID_RESCUE_MODE, [this] { OnRescueQuery(); }},
        {ID_APP_ABOUT, [this] { OnAbout(); }},
    };
    for (int id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id)
        m_handlers[id] = [this, id] { OnRecentFile(id - ID_FILE_MRU_FIRST); };
}

void CMainFrame::CreateActions()
{
    auto make = [this](int id, const QString& text, const QString& shortcut, bool checkable) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString("action%1").arg(id));
        action->setData(id);
        action->setCheckable(checkable);
        if (!shortcut.isEmpty()) action->setShortcut(QKeySequence(shortcut));
        action->setStatusTip(Qs(CommandPrompt(id)));
        const QString tip = Qs(CommandToolTip(id));
        action->setToolTip(tip.isEmpty() ? QString(text).remove('&') : tip);
        action->setIcon(CommandIcon(id));
        action->setIconVisibleInMenu(false);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        m_actions[id] = action;
        return action;
    };
    for (const CommandInfo& c : CommandTable())
        make(c.id, Qs(c.text), Qs(c.shortcut), c.checkable);
    for (int id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id) make(id, {}, {}, false);

    // Keys without a menu text: their actions live on the window itself.
    for (const ExtraShortcut& extra : ExtraShortcuts()) {
        auto* action = new QAction(this);
        action->setObjectName(QString("shortcut%1").arg(extra.shortcut).remove('+'));
        action->setShortcut(QKeySequence(extra.shortcut));
        const int id = extra.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        addAction(action);
    }
}

QMenu* CMainFrame::BuildMenu(const MenuInfo& info, const std::vector<MenuInfo>& subMenus, QWidget* parent)
{
    auto* menu = new QMenu(Qs(info.title), parent);
    menu->setObjectName(QString("menu") + QString(info.title).remove('&'));
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    connect(menu, &QMenu::hovered, this, [this](QAction* a) { ShowPrompt(a->data().toInt()); });
    for (int id : info.items) {
        if (id == 0) {
            menu->addSeparator();
        } else if (id < 0) {
            menu->addMenu(BuildMenu(subMenus.at(static_cast<std::size_t>(-id - 1)), subMenus, menu));
        } else if (id == ID_FILE_MRU_FIRST && parent == menuBar()) {
            m_fileMenu = menu;
            m_recentAnchor = menu->addAction("Recent file");
            m_recentAnchor->setObjectName("recentFilePlaceholder");
            m_recentAnchor->setEnabled(false);
            for (int mru = ID_FILE_MRU_FIRST; mru <= ID_FILE_MRU_LAST; ++mru) menu->addAction(m_actions[mru]);
        } else {
            menu->addAction(m_actions.at(id));
        }
    }
    return menu;
}

void CMainFrame::CreateMenus()
{
    for (const MenuInfo& info : MainMenus()) menuBar()->addMenu(BuildMenu(info, {}, menuBar()));
    m_contextMenu = BuildMenu(ContextMenu(), ContextSubMenus(), this);
    m_contextMenu->setObjectName("contextMenu");
    RefreshRecentMenu();
}

void CMainFrame::CreateToolbar()
{
    m_toolbar = new QToolBar("Toolbar", this);
    m_toolbar->setObjectName("toolbar");
    m_toolbar->setAccessibleName("Toolbar");
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setMovable(true);
    m_toolbar->setFloatable(true);
    m_toolbar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : ToolbarButtons()) {
        if (id == 0)
            m_toolbar->addSeparator();
        else
            m_toolbar->addAction(m_actions.at(id));
    }
    addToolBar(Qt::TopToolBarArea, m_toolbar);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("statusBar");
    bar->setSizeGripEnabled(false);
    m_messagePane = new QLabel(Qs(GetString(IDS_READY)), bar);
    m_messagePane->setObjectName("messagePane");
    m_messagePane->setAccessibleName("Message");
    bar->addWidget(m_messagePane, 1);
    // Lock-key indicators, greyed: Qt tells no lock state on every platform.
    for (int id : {IDS_INDICATOR_CAPS, IDS_INDICATOR_NUM, IDS_INDICATOR_SCRL}) {
        auto* pane = new QLabel(Qs(GetString(id)), bar);
        pane->setObjectName(QString("indicator%1").arg(id));
        pane->setAccessibleName(Qs(GetString(id)));
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
    }
}

void CMainFrame::ShowPrompt(int id)
{
    if (id == 0) return;
    const std::string prompt = CommandPrompt(id);
    statusBar()->showMessage(Qs(prompt.empty() ? GetString(IDS_READY) : prompt));
}

void CMainFrame::RefreshRecentMenu()
{
    const auto& files = App().m_recentFiles;
    for (int id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id) {
        const std::size_t index = static_cast<std::size_t>(id - ID_FILE_MRU_FIRST);
        QAction* action = m_actions[id];
        const bool present = index < files.size();
        action->setVisible(present);
        if (present) action->setText(Qs(RecentFileMenuText(index, files[index])));
    }
    if (m_recentAnchor) m_recentAnchor->setVisible(files.empty());
}

QString CMainFrame::TitleText() const { return Qs(DocumentTitle(*m_doc)) + " - TAVREL"; }

// A screen reader names the window by its title.
void CMainFrame::RefreshTitle()
{
    const QString title = TitleText();
    if (windowTitle() != title) setWindowTitle(title);
    if (accessibleName() != title) setAccessibleName(title);
}

// --- state and enabling -------------------------------------------------------------------------

CommandState CMainFrame::CurrentState() const
{
    const CUpdateApp& app = App();
    CommandState s;
    s.processRunning = !m_engine->IsIdle() || m_engine->IsRunning();
    s.environmentsExist = !g_envList.empty();
    s.requestLoaded = m_doc->m_bLinked != 0;
    s.editRights = app.m_bEditRights;
    s.logOk = app.m_bLogOk;
    s.mailAvailable = MailSystemAvailable();
    s.queryAutoSpeed = app.m_bQueryAutoSpeed;
    s.rescueEnable = app.m_bRescueEnable;
    s.recentCount = static_cast<int>(app.m_recentFiles.size());
    return s;
}

void CMainFrame::UpdateCommandStates()
{
    const CommandState state = CurrentState();
    for (auto& [id, action] : m_actions) {
        const CommandUi ui = CommandEnabling(id, state);
        action->setEnabled(ui.enabled && m_handlers.count(id) != 0);
        if (action->isCheckable()) action->setChecked(ui.checked);
    }
}

QAction* CMainFrame::Action(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::RunCommand(int id)
{
    UpdateCommandStates();
    QAction* action = Action(id);
    const auto handler = m_handlers.find(id);
    if (!action || !action->isEnabled() || handler == m_handlers.end()) return;
    statusBar()->clearMessage();
    handler->second();
    RefreshTitle();
    UpdateCommandStates();
}

void CMainFrame::OnProcessStateChanged()
{
    UpdateCommandStates();
    RefreshTitle();
    const bool running = CurrentState().processRunning;
    if (m_bWasRunning && !running && (m_bCloseWhenIdle || m_bQuitWhenIdle)) CloseOnceIdle();
    m_bWasRunning = running;
}

// --- document ---------------------------------------------------------------------------------

void CMainFrame::NewDocument()
{
    m_doc->OnNewDocument();
    m_doc->SetTitle("");
    m_doc->SetPathName("");
    RefreshTitle();
    UpdateCommandStates();
}

bool CMainFrame::OpenDocument(const std::string& path) { return OpenRequestPath(path); }

void CMainFrame::ReportOpenFailure(const std::string& path, int result)
{
    // The scan and the linking show their own messages; a file that cannot
    // be read or is no request is told here.
    const auto outcome = static_cast<OpenResult>(result);
    if (outcome != OpenResult::CannotOpen && outcome != OpenResult::FormatError) return;
    const std::string reason = outcome == OpenResult::CannotOpen
                                   ? "The file cannot be read."
                                   : "The file is not a transfer request or is damaged (" + m_doc->m_strLastError + ").";
    ShowMessage("Unable to open \"" + path + "\".\r\n" + reason + "\r\n", 28, MB_OK_ONLY, ICON_EXCLAMATION);
}

bool CMainFrame::OpenRequestPath(const std::string& path)
{
    const OpenResult result = m_doc->OpenRequest(path);
    if (result != OpenResult::Ok) {
        ReportOpenFailure(path, static_cast<int>(result));
        if (result == OpenResult::CannotOpen || result == OpenResult::FormatError)
            RemoveRecentFile(App().m_recentFiles, path);
        RefreshRecentMenu();
        RefreshTitle();
        UpdateCommandStates();
        return false;
    }
    AddRecentFile(App().m_recentFiles, m_doc->GetPathName());
    RefreshRecentMenu();
    RefreshTitle();
    UpdateCommandStates();
    return true;
}

bool CMainFrame::SaveModifiedIfWanted()
{
    if (!m_doc->IsModified()) return true;
    std::string title = DocumentTitle(*m_doc);
    if (title.size() > 2 && title.compare(title.size() - 2, 2, " *") == 0) title.resize(title.size() - 2);
    const MsgAnswer answer = m_host.MessageBox("Save changes to " + title + "?", "TAVREL", MB_YES_NO_CANCEL,
                                               ICON_EXCLAMATION);
    if (answer == ANSWER_CANCEL) return false;
    if (answer == ANSWER_NO) return true;
    if (!m_doc->GetPathName().empty() && m_doc->GetPathName() != " ") return SaveTo(m_doc->GetPathName());
    OnFileSaveAs();
    return !m_doc->IsModified();
}

bool CMainFrame::SaveTo(const std::string& path)
{
    if (m_doc->SaveRequest(path)) {
        AddRecentFile(App().m_recentFiles, m_doc->GetPathName());
        RefreshRecentMenu();
        RefreshTitle();
        return true;
    }
    ShowMessage("Unable to save \"" + path + "\": " + m_doc->m_strLastError + ".\r\n", 28, MB_OK_ONLY,
                ICON_EXCLAMATION);
    return false;
}

// --- commands ------------------------------------------------------------------------------------

void CMainFrame::OnFileOpen()
{
    if (!SaveModifiedIfWanted()) return;
    std::string path;
    if (!m_host.PromptFileName(GetString(REQUEST_OPEN_TITLE_ID), path, GetString(REQUEST_FILTER_NAME_ID),
                               GetString(REQUEST_FILTER_PATTERN_ID), App().m_strLastSflPath, true))
        return;
    OpenRequestPath(path);
}

void CMainFrame::OnFileSave()
{
    const std::string& path = m_doc->GetPathName();
    if (path.empty() || path == " ")
        OnFileSaveAs();
    else
        SaveTo(path);
}

void CMainFrame::OnFileSaveAs()
{
    std::string path = m_doc->GetPathName();
    if (path == " ") path.clear();
    if (path.empty()) path = "Untitled.sfl";
    if (!m_host.PromptFileName("Save As", path, GetString(REQUEST_FILTER_NAME_ID),
                               GetString(REQUEST_FILTER_PATTERN_ID), App().m_strLastSflPath, false))
        return;
    if (path.find('.', path.find_last_of('/') + 1) == std::string::npos) path += ".sfl";
    SaveTo(path);
}

void CMainFrame::OnRecentFile(int index)
{
    const auto& files = App().m_recentFiles;
    if (index < 0 || static_cast<std::size_t>(index) >= files.size()) return;
    const std::string path = files[static_cast<std::size_t>(index)];
    if (!SaveModifiedIfWanted()) return;
    OpenRequestPath(path);
}

void CMainFrame::OnImport() { RunImportCommand(*m_doc); }

void CMainFrame::OnFileNew()
{
    if (!SaveModifiedIfWanted()) return;
    RunNewRequestCommand(this, *m_doc);
}

void CMainFrame::OnToggleQueryAuto() { App().m_bQueryAutoSpeed = !App().m_bQueryAutoSpeed; }
void CMainFrame::OnToggleRescue() { App().m_bRescueEnable = !App().m_bRescueEnable; }

void CMainFrame::OnViewLog() { ViewLogFile(this); }

void CMainFrame::OnHistory()
{
    CHistoryDlg dialog(App().HistoryPath(), this);
    dialog.exec();
}

// Every process is kept in the history unless the settings turn it off; a
// history that cannot be written is said on the status bar and in the log,
// and the process goes on.
void CMainFrame::SetUpHistory()
{
    if (!App().m_bKeepHistory) return;
    m_history = std::make_unique<CHistoryRecorder>(App().HistoryPath(), HistoryWriterInfo{"tavrel", App().m_strVersion});
    auto say = [this](const std::string& text) {
        if (statusBar() != nullptr) statusBar()->showMessage(QString::fromStdString(text), kHistoryNoticeMs);
    };
    m_history->onNotice = say;
    m_engine->onRecorderFailure = [say](const std::string& reason) { say("History not written: " + reason); };
    m_engine->SetRecorder(m_history.get());
}
void CMainFrame::OnSendMail() { SendLogByMail(this); }

void CMainFrame::OnQuery() { m_engine->StartQuery(PROC_QUERY); }
void CMainFrame::OnTransfer() { m_engine->StartTransfer(PROC_TRANSFER); }
void CMainFrame::OnRescueQuery() { m_engine->StartQuery(PROC_RESCUE_QUERY); }

void CMainFrame::OnAbort() { m_engine->AskAbort(); }

void CMainFrame::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::OnViewDoubleClick()
{
    if (m_doc->m_bLinked && !CurrentState().processRunning) RunCommand(ID_VIEW_CONTENT);
}

// --- start-up and shutdown ------------------------------------------------------------------

void CMainFrame::ArmCommandLineTransfer() { m_engine->ArmCommandLineTransfer(); }

void CMainFrame::ArmCommunicationTimer() { m_commTimer.start(kCommBoxDelayMs); }

void CMainFrame::ActivateFromOtherInstance(const QString& requestPath)
{
    if (isMinimized()) showNormal();
    QWidget* front = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this;
    front->raise();
    front->activateWindow();
    if (requestPath.isEmpty() || CurrentState().processRunning || QApplication::activeModalWidget()) return;
    if (SaveModifiedIfWanted()) OpenRequestPath(requestPath.toStdString());
}

// Closing during a process: the warning beep, then the abort question at
// any step; Yes ends the process through its own clean-up (relays left,
// rates restored, the end report written) and the window closes once idle.
void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (CurrentState().processRunning) {
        event->ignore();
        if (m_bCloseWhenIdle || m_bQuitWhenIdle) return;   // already on its way out
        m_host.Beep(BEEP_EXCLAMATION);
        if (m_engine->AskStop() != 1) return;
        m_bCloseWhenIdle = true;
        // The process may have ended by itself while the question was asked.
        if (!CurrentState().processRunning) CloseOnceIdle();
        return;
    }
    if (!m_bQuitWhenIdle && !SaveModifiedIfWanted()) {
        event->ignore();
        return;
    }
    App().SaveSettings();
    event->accept();
}

void CMainFrame::CloseOnceIdle()
{
    // A close the user asked for may still ask to save the request; a
    // signal's asks nothing.
    if (!m_bQuitWhenIdle) ClearStopRequest();
    QTimer::singleShot(0, this, &QWidget::close);
}

void CMainFrame::OnExitSignal(int signal)
{
    if (m_bQuitWhenIdle) return;   // already on its way out
    m_bQuitWhenIdle = true;
    if (CurrentState().processRunning) {
        m_engine->RequestStop(signal);
        m_host.EndOpenDialogsForStop();
        if (!CurrentState().processRunning) CloseOnceIdle();
        return;
    }
    RequestStop(signal);
    App().WriteLogNote("Signal " + SignalName(signal) + " reçu : fin du programme\r\n");
    m_host.EndOpenDialogsForStop();
    CloseOnceIdle();
}
