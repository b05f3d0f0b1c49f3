#pragma once
// The host of tavrel-cli: message boxes become lines of text, questions are
// asked on the terminal (or answered by --yes / --no when stdin is not a
// terminal), beeps are BEL on a terminal, and Ctrl+C is the abort key.
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/ExitSignals.h"
#include "app/Host.h"
#include "link/AutoConfig.h"

class CEnvDef;
class QSocketNotifier;

// How questions are answered when nobody can be asked.
enum class AnswerPolicy { None, Yes, No };

// What the terminal sees of an identification run (the auto-configure
// search of a process, or `ident`): the port and every rate tried, for the
// reason given when nothing answers. Each run starts a new record.
class CIdentRecorder : public IAutoConfigView {
public:
    // "COM1,9600,n,8,2" or "/dev/ttyUSB0,19200,n,8,2".
    void SetConnectionText(const std::string& text) override;
    void Shown(bool open) override;
    void HeardBytes(int rate) override { m_ratesWithBytes.push_back(rate); }
    void StoppedSilent() override { m_bStoppedSilent = true; }
    const std::string& Port() const { return m_strPort; }
    const std::vector<int>& RatesTried() const { return m_rates; }
    // Rates at which bytes came back, understood or not.
    const std::vector<int>& RatesWithBytes() const { return m_ratesWithBytes; }
    // The run gave up early: rounds of the range brought back no byte.
    bool GaveUpSilent() const { return m_bStoppedSilent; }
    // Told every new port and rate of a run.
    std::function<void(const std::string& port, int rate)> onConnection;

private:
    std::string m_strPort;
    int m_nRate = 0;   // the rate told last
    std::vector<int> m_rates;
    std::vector<int> m_ratesWithBytes;
    bool m_bStoppedSilent = false;
};

class CTerminalHost : public CHost {
public:
    explicit CTerminalHost(AnswerPolicy policy = AnswerPolicy::None);
    ~CTerminalHost() override;

    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override;
    void Beep(BeepKind kind) override;
    bool PromptFileName(const std::string& title, std::string& path,
                        const std::string& filterName, const std::string& filterPattern,
                        const std::string& initialDir, bool open) override;
    bool PromptDirectory(std::string& dir) override;
    bool AbortKeyPressed() override;

    // Starts catching Ctrl+C, SIGTERM and SIGHUP. Needs the QCoreApplication.
    // While a process runs, Ctrl+C in its data phase is the abort key
    // (reported through AbortKeyPressed; a second press while the question
    // is asked means Yes); at any other moment, and for SIGTERM and SIGHUP,
    // the process ends at once through its clean-up. With no process, Ctrl+C
    // is reported as the key and a second unread press ends the program;
    // SIGTERM and SIGHUP end it at once.
    void CatchInterrupt();

    // --- engine: the reply on stdout (the progress is drawn by the command) ---
    bool SetReplyAnswer(const std::string& answer, bool autoClose) override;
    void ShowReplyDialog(bool show) override;
    // The identification runs of the processes are recorded, not drawn.
    IAutoConfigView* IdentDialogView() override { return &m_identRecorder; }
    CIdentRecorder& IdentRecorder() { return m_identRecorder; }
    // Ctrl+C during a wait stands for the wait dialog's Cancel button; no
    // question follows it.
    bool WaitDlgCheckCancel() override { return TakeInterrupt(); }

    // --- rescue: the power-cycle prompt and the Change communication dialog --
    // On a terminal the prompt waits for Enter (end of input cancels); without
    // one the run goes on at once.
    MsgAnswer AskRescuePowerCycle(const std::string& text, const std::string& caption) override;
    // Set by the command that knows the choices (tavrel-cli repair); none = Cancel.
    std::function<int(CChangeCommDlg&)> changeCommAnswer;
    int RunChangeCommDialog(CChangeCommDlg& dialog) override
    {
        return changeCommAnswer ? changeCommAnswer(dialog) : 2;
    }

    // --- model: the board of a request line that must be linked again --------
    // On a terminal the boards are listed by number and one is read; without
    // one (or with --yes / --no) the choice is cancelled.
    bool ChooseEnvironmentBoard(const std::vector<CEnvDef>& environments, int envIndex, int& chosenEnv,
                                int& chosenBoard) override;

    // Called before the host prints a message, a prompt or the reply, so that
    // a progress line being redrawn in place is ended first.
    std::function<void()> beforeOutput;

    // Quiet (-q): messages that only inform are not printed; warnings,
    // errors and questions still are.
    void SetQuiet(bool quiet) { m_bQuiet = quiet; }
    void SetPolicy(AnswerPolicy policy) { m_policy = policy; }
    AnswerPolicy Policy() const { return m_policy; }

protected:
    // One message as printed: "caption: text" without trailing line breaks.
    static std::string MessageLine(const std::string& text, const std::string& caption);
    // Reads one answer from the terminal; the negative answer at end of
    // input. A signal meanwhile: Yes to the abort question for a second
    // Ctrl+C, else the answer of a stop.
    MsgAnswer AskOnTerminal(const std::string& text, MsgButtons buttons);
    // One line typed on the terminal: 1 read, 0 end of input, -1 a signal came first.
    int ReadTerminalLine(std::string& line);
    void OnSignal(int signal);
    MsgAnswer AnswerByPolicy(MsgButtons buttons);
    // Lists the boards of `environments` numbered from 1, the one of
    // `envIndex` first, and reads a number from `in` until a valid one; an
    // empty line or the end of input cancels.
    static bool ReadBoardChoice(std::istream& in, const std::vector<CEnvDef>& environments, int envIndex,
                                int& chosenEnv, int& chosenBoard);
    // Consumes a pending Ctrl+C; true when there was one.
    bool TakeInterrupt();

private:
    AnswerPolicy m_policy;
    bool m_stdinIsTty;
    bool m_stderrIsTty;
    CExitSignals m_signals;
    bool m_bCatching = false;
    bool m_bInterruptPending = false;   // a Ctrl+C not yet taken by a loop
    bool m_bAskingAbort = false;        // the abort question waits for its answer
    bool m_bInterruptMeansYes = false;  // a Ctrl+C came while it waited
    bool m_bToldCleanUp = false;
    // The abort key was just reported to the running loop: its abort
    // question, if it is the next message, is answered Yes when nobody can
    // be asked. Any other message ends this.
    bool m_bAbortKeyReported = false;
    bool m_bQuiet = false;
    CIdentRecorder m_identRecorder;
    std::string m_strReply;
};
