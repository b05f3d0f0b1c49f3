#pragma once
// The host: everything the engine and the document code ask of the user or the
// screen. Three hosts implement it: the Qt widgets, the terminal of tavrel-cli
// and the scripted host of the tests. Each subsystem adds its calls in its own
// section below.
#include <string>
#include <vector>

// Buttons and answers of a message box.
enum MsgButtons { MB_OK_ONLY, MB_OK_CANCEL, MB_YES_NO, MB_YES_NO_CANCEL, MB_RETRY_CANCEL };
enum MsgIcon { ICON_NONE, ICON_INFORMATION, ICON_QUESTION, ICON_EXCLAMATION, ICON_STOP };
enum MsgAnswer { ANSWER_OK = 1, ANSWER_CANCEL = 2, ANSWER_RETRY = 4, ANSWER_YES = 6, ANSWER_NO = 7 };
enum BeepKind { BEEP_DEFAULT, BEEP_EXCLAMATION, BEEP_STOP, BEEP_QUESTION, BEEP_ASTERISK };

class CEnvDef;           // model/BoardDef.h
class IAutoConfigView;   // link/AutoConfig.h
class CChangeCommDlg;    // link/ChangeComm.h
class CCommunicationDlg; // link/ChangeComm.h

class CHost {
public:
    virtual ~CHost() = default;

    // --- shell -----------------------------------------------------------
    // A message box with the text and caption already resolved (UTF-8).
    virtual MsgAnswer MessageBox(const std::string& text, const std::string& caption,
                                 MsgButtons buttons, MsgIcon icon) = 0;
    virtual void Beep(BeepKind kind) = 0;
    // File prompt: returns true when the user confirmed; `path` in/out.
    virtual bool PromptFileName(const std::string& title, std::string& path,
                                const std::string& filterName, const std::string& filterPattern,
                                const std::string& initialDir, bool open) = 0;
    virtual bool PromptDirectory(std::string& dir) = 0;
    // Polls the abort key (Escape in the GUI, Ctrl+C in tavrel-cli): true once per press.
    virtual bool AbortKeyPressed() = 0;

    // --- view ------------------------------------------------------------
    // Display operations of the main view. Hosts without a view ignore them.
    // Activity blinker (bar 160): on = alternates with the 500 ms tick, off = 0.
    virtual void SetActivityBlink(bool /*on*/) {}
    // Overall progress bar (bar 144) = done * 100 / total.
    virtual void SetOverallProgress(long /*done*/, long /*total*/) {}
    // Text of the "File processing" field (control 165); the view shortens it.
    virtual void SetFileNameText(const std::string& /*text*/) {}

    // --- model -----------------------------------------------------------
    // The environment editor (CEnvDefDlg) opened in `mode` on a copy of an
    // environment whose board `boardIndex` fails validation; the editor opens
    // that board on its first error. True when left with OK (the editor has
    // then saved the file); false when cancelled or when there is no editor.
    virtual bool RepairEnvironment(int /*mode*/, const CEnvDef& /*environment*/,
                                   int /*boardIndex*/) { return false; }
    // The environment editor in its board-choice mode 5 on `environments`,
    // positioned on `envIndex`. True when a board was chosen: its indexes in
    // `environments` come back in `chosenEnv` and `chosenBoard`.
    virtual bool ChooseEnvironmentBoard(const std::vector<CEnvDef>& /*environments*/,
                                        int /*envIndex*/, int& /*chosenEnv*/,
                                        int& /*chosenBoard*/) { return false; }

    // --- engine ----------------------------------------------------------
    // Display operations the processes call on the main view, the wait dialog,
    // the Reply dialog and the identification dialog. Hosts without a view
    // ignore them (the defaults). The activity blinker, bar 144 and the
    // release file field are the "view" calls above.
    // Busy look: green texts and counters while a process runs; idle resets them.
    virtual void ShowBusyLook(bool /*busy*/) {}
    // Abort button, block and retry counters and remaining-time field.
    virtual void ShowProcessControls(bool /*show*/) {}
    // One 500 ms tick of timer 1 (moves the activity blinker while it is on).
    virtual void ActivityTick() {}
    // Link description, e.g. "COM1:9600,n,8,2".
    virtual void SetLinkText(const std::string& /*text*/) {}
    // Name of the board being processed (control 168); the view shortens it.
    virtual void SetBoardText(const std::string& /*text*/) {}
    // Board counter "%d/%d" of a multi-board request; empty hides it.
    virtual void SetBoardCounter(const std::string& /*text*/) {}
    // Elapsed time "mm:ss".
    virtual void SetElapsedText(const std::string& /*text*/) {}
    // Block counter ("%5ld blocks") and retry counter ("%5ld retries").
    virtual void SetBlockCounter(const std::string& /*text*/) {}
    virtual void SetRetryCounter(const std::string& /*text*/) {}
    virtual void ShowBlockCounters(bool /*show*/) {}
    // Remaining-time text of the data phase.
    virtual void SetRemainingTime(const std::string& /*text*/) {}
    // Progress items of the view (153 erase, 144 overall, 154 programming,
    // 157 file processing), in percent.
    virtual void SetProgressItem(int /*id*/, int /*percent*/) {}
    // Data phase progress: `block` of `blocks` records sent, `retries` resends so far.
    virtual void SetTransferProgress(long /*block*/, long /*blocks*/, long /*retries*/,
                                     const std::string& /*remaining*/) {}
    // Transmit (304) or receive (305) lamp: one short flash.
    virtual void FlashLamp(int /*lamp*/) {}
    // The view's animation, played during the data phase.
    virtual void PlayAnimation(bool /*play*/) {}
    // Asynchronous wave resource (193: a transfer ended without anomaly).
    virtual void PlaySoundResource(int /*id*/) {}

    // Wait dialog ("Wait ...") of the long waits, one at a time: created,
    // driven, polled for its Cancel button, destroyed.
    virtual bool WaitDlgCreate() { return true; }
    virtual void WaitDlgSetMessage(const std::string& /*text*/) {}
    virtual void WaitDlgSetRange(int /*minimum*/, int /*maximum*/) {}
    virtual void WaitDlgSetStep(int /*step*/) {}
    virtual void WaitDlgSetPos(int /*position*/) {}
    virtual void WaitDlgStepIt() {}
    // True once after the user pressed Cancel (the flag is cleared by reading it).
    virtual bool WaitDlgCheckCancel() { return false; }
    virtual void WaitDlgDestroy() {}

    // Reply dialog: the identification answer shown as a table. `autoClose`
    // is set while further boards follow. False when the list cannot take it.
    virtual bool SetReplyAnswer(const std::string& /*answer*/, bool /*autoClose*/) { return true; }
    virtual void ShowReplyDialog(bool /*show*/) {}
    // A status line under the answer's rows: the verdict of the health check
    // of the open request and its next steps. Set after SetReplyAnswer.
    virtual void SetReplyStatus(const std::string& /*text*/) {}

    // The window of the identification (auto-configure) dialog that the
    // processes run at their identification steps; null runs it unseen.
    virtual IAutoConfigView* IdentDialogView() { return nullptr; }

    // --- rescue ------------------------------------------------------------
    // The operator prompt of the rescue wait: switch the receiver off and on
    // after OK. The default is the OK/Cancel box with the information icon.
    virtual MsgAnswer AskRescuePowerCycle(const std::string& text, const std::string& caption)
    {
        return MessageBox(text, caption, MB_OK_CANCEL, ICON_INFORMATION);
    }
    // The "Change communication" dialog of a Repair, on logic the engine has
    // set up and initialised: 1 when the user pressed "Run" (the choices are
    // then read from `dialog`), 2 when cancelled. No dialog: cancelled.
    virtual int RunChangeCommDialog(CChangeCommDlg& /*dialog*/) { return 2; }
    // The "Communication" dialog of the Communication command: 1 "OK",
    // 2 "Cancel". No dialog: cancelled.
    virtual int RunCommunicationDialog(CCommunicationDlg& /*dialog*/) { return 2; }
};

// The host of this run. Never null: a quiet host that answers every question
// with the safe choice stands until a real one is installed.
CHost& Host();
void SetHost(CHost* host);

// Text of message `id` with its printf-style conversions (%s, %d, %u, %x, %X, %c,
// with flags and widths) filled in order from `args`, each given as text.
std::string FormatString(int id, const std::vector<std::string>& args = {});
std::string FormatText(const std::string& format, const std::vector<std::string>& args);

// A message box through the host, caption from the string table; sounds the
// warning beep first when the icon is an exclamation or a stop.
MsgAnswer ShowMessage(const std::string& text, int captionId, MsgButtons buttons, MsgIcon icon);
MsgAnswer ShowMessage(int textId, int captionId, MsgButtons buttons, MsgIcon icon);
