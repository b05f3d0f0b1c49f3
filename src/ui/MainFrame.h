#pragma once
// CMainFrame: the fixed-size main window. It owns the request document, the
// serial link, the process engine and the view; it builds its menus, toolbar,
// accelerators and context menu from the command tables, refreshes the
// command states from the enabling table whenever the program's state
// changes, and runs the commands.
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/EngineLink.h"
#include "ui/Commands.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class CProcessEngine;
class CHistoryRecorder;
class CQtHost;
class CUpdateDoc;
class CUpdateView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The view's one-shot timer 4.
    static constexpr int kCommBoxDelayMs = 1;        // timer 4

    CMainFrame(CQtHost& host, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The document at start-up: an empty request, or the file named on the
    // command line (true when it opened). The caller shows the window after.
    void NewDocument();
    bool OpenDocument(const std::string& path);
    // Start-up timers: the command-line transfer (timer 3) and, after the
    // start-up picture, the Communication dialog (timer 4).
    void ArmCommandLineTransfer();
    void ArmCommunicationTimer();

    // Runs command `id` as its menu item would (disabled commands do nothing).
    void RunCommand(int id);
    // The state the enabling table reads, and the resulting action states.
    CommandState CurrentState() const;
    void UpdateCommandStates();
    QAction* Action(int id) const;

    CUpdateView& View() const { return *m_view; }
    CUpdateDoc& Document() const { return *m_doc; }
    CProcessEngine& Engine() const { return *m_engine; }
    CSerialLink& Link() const { return *m_link; }
    QMenu* ContextMenuWidget() const { return m_contextMenu; }

    // Another copy of the program asked this one to come to the front,
    // possibly with a request to open.
    void ActivateFromOtherInstance(const QString& requestPath);
    // SIGTERM, SIGHUP or SIGINT: a running process ends through its own
    // clean-up (as the Abort button's), then the program quits without
    // asking anything.
    void OnExitSignal(int signal);

    // The window title: document title, " - ", TAVREL.
    QString TitleText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using Handler = std::function<void()>;
    void CreateActions();
    void CreateMenus();
    void CreateToolbar();
    void CreateStatusBar();
    void RegisterHandlers();
    QMenu* BuildMenu(const MenuInfo& menu, const std::vector<MenuInfo>& subMenus, QWidget* parent);
    void RefreshRecentMenu();
    void RefreshTitle();
    void ShowPrompt(int id);

    // Commands.
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnRecentFile(int index);
    void OnImport();
    void OnToggleQueryAuto();
    void OnToggleRescue();
    void OnViewLog();
    void OnSendMail();
    void OnHistory();
    void SetUpHistory();
    void OnQuery();
    void OnTransfer();
    void OnRescueQuery();
    void OnAbort();
    void OnAbout();
    void OnViewDoubleClick();
    void OnProcessStateChanged();
    void CloseOnceIdle();

    // "Save changes?" before the document is replaced or the program ends;
    // false when the user cancelled.
    bool SaveModifiedIfWanted();
    bool SaveTo(const std::string& path);
    bool OpenRequestPath(const std::string& path);
    void ReportOpenFailure(const std::string& path, int result);

    CQtHost& m_host;
    std::unique_ptr<CUpdateDoc> m_doc;
    SerialLinkPtr m_link;
    std::unique_ptr<CProcessEngine> m_engine;
    std::unique_ptr<CHistoryRecorder> m_history;   // none when the history is off
    CUpdateView* m_view = nullptr;
    QToolBar* m_toolbar = nullptr;
    QMenu* m_contextMenu = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentAnchor = nullptr;
    QLabel* m_messagePane = nullptr;
    std::map<int, QAction*> m_actions;
    std::map<int, Handler> m_handlers;
    QTimer m_commTimer;   // timer 4
    bool m_bCloseWhenIdle = false;
    bool m_bQuitWhenIdle = false;   // a signal: no question on the way out
    bool m_bWasRunning = false;
};
