#pragma once
// The host of the desktop program: message boxes, prompts and beeps become Qt
// dialogs, the engine's display calls become changes of the main view, the
// wait and Reply dialogs are real windows, and Escape pressed in the main
// window is the abort key.
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <memory>

#include "app/Host.h"
#include "ui/ReplyDlg.h"
#include "ui/UpdateView.h"

class QWidget;
class CWaitDlg;

// Keys that reach a window while it opens were typed before it showed: a
// Return meant for something else must not answer the question it asks.
// While the guard lives, key events for `window` are dropped until the
// window has been visible for kQuestionKeyGuardMs.
class CStaleKeyGuard : public QObject {
public:
    static constexpr int kQuestionKeyGuardMs = 250;

    explicit CStaleKeyGuard(QWidget& window);
    ~CStaleKeyGuard() override;
    int Dropped() const { return m_nDropped; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Armed() const;

    QWidget& m_window;
    QElapsedTimer m_shownAt;
    int m_nDropped = 0;
};

class CQtHost : public QObject, public CHost {
    Q_OBJECT
public:
    CQtHost();
    ~CQtHost() override;

    // The main window (owner of the dialogs) and its view.
    void SetMainWindow(QWidget* window) { m_window = window; }
    void SetView(CUpdateView* view) { m_view = view; }
    // While set, Escape pressed in the main window is taken as the abort key.
    void WatchAbortKey(bool watch);

    // The Reply dialog shown last (nullptr once it has closed).
    CReplyDlg* ReplyDialog() const;
    CWaitDlg* WaitDialog() const { return m_wait.get(); }

    // --- shell -------------------------------------------------------------------
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override;
    void Beep(BeepKind kind) override;
    bool PromptFileName(const std::string& title, std::string& path, const std::string& filterName,
                        const std::string& filterPattern, const std::string& initialDir, bool open) override;
    bool PromptDirectory(std::string& dir) override;
    bool AbortKeyPressed() override;

    // --- view ----------------------------------------------------------------------
    void SetActivityBlink(bool on) override;
    void SetOverallProgress(long done, long total) override;
    void SetFileNameText(const std::string& text) override;
    void ShowBusyLook(bool busy) override;
    void ShowProcessControls(bool show) override;
    void ActivityTick() override;
    void SetLinkText(const std::string& text) override;
    void SetBoardText(const std::string& text) override;
    void SetBoardCounter(const std::string& text) override;
    void SetElapsedText(const std::string& text) override;
    void SetBlockCounter(const std::string& text) override;
    void SetRetryCounter(const std::string& text) override;
    void ShowBlockCounters(bool show) override;
    void SetRemainingTime(const std::string& text) override;
    void SetProgressItem(int id, int percent) override;
    void SetTransferProgress(long block, long blocks, long retries, const std::string& remaining) override;
    void FlashLamp(int lamp) override;
    void PlayAnimation(bool play) override;
    void PlaySoundResource(int id) override;

    // --- wait dialog -------------------------------------------------------------------
    bool WaitDlgCreate() override;
    void WaitDlgSetMessage(const std::string& text) override;
    void WaitDlgSetRange(int minimum, int maximum) override;
    void WaitDlgSetStep(int step) override;
    void WaitDlgSetPos(int position) override;
    void WaitDlgStepIt() override;
    bool WaitDlgCheckCancel() override;
    void WaitDlgDestroy() override;

    // --- Reply dialog -------------------------------------------------------------------
    bool SetReplyAnswer(const std::string& answer, bool autoClose) override;
    void ShowReplyDialog(bool show) override;
    void SetReplyStatus(const std::string& text) override;

    // --- the link's and the model's windows ----------------------------------------------
    IAutoConfigView* IdentDialogView() override;
    int RunChangeCommDialog(CChangeCommDlg& dialog) override;
    int RunCommunicationDialog(CCommunicationDlg& dialog) override;
    bool RepairEnvironment(int mode, const CEnvDef& environment, int boardIndex) override;
    bool ChooseEnvironmentBoard(const std::vector<CEnvDef>& environments, int envIndex, int& chosenEnv,
                                int& chosenBoard) override;

    // The program is on its way out (a signal): the message box and the
    // dialogs open now end with the answers of a stop.
    void EndOpenDialogsForStop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* DialogParent() const;

    QPointer<QWidget> m_window;
    QPointer<CUpdateView> m_view;
    std::unique_ptr<CWaitDlg> m_wait;
    QPointer<CReplyDlg> m_reply;
    // The identification window, made on first use for the main window.
    IAutoConfigView* m_pIdentView = nullptr;
    QPointer<QWidget> m_identOwner;
    bool m_bWatchAbort = false;
    bool m_bAbortPressed = false;
    // The message box being asked, with what it asks.
    QPointer<QMessageBox> m_openBox;
    std::string m_strOpenBoxText;
    MsgButtons m_openBoxButtons = MB_OK_ONLY;
};
