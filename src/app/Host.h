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

class CEnvDef;   // model/BoardDef.h

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
