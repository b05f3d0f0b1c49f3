#pragma once
// CScriptedHost: a host for tests. Records every message box, beep and prompt,
// and answers from scripted queues (a default answer once a queue is empty).
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/Host.h"

class CScriptedHost : public CHost {
public:
    struct Box {
        std::string text;
        std::string caption;
        MsgButtons buttons;
        MsgIcon icon;
    };
    struct FilePrompt {
        std::string title;
        std::string path;          // as passed in
        std::string filterName;
        std::string filterPattern;
        std::string initialDir;
        bool open;
    };
    struct PromptAnswer {
        bool confirmed;
        std::string value;         // path or directory returned when confirmed
    };

    // --- script ------------------------------------------------------------
    void QueueAnswer(MsgAnswer answer) { answers.push_back(answer); }
    void QueueFileAnswer(bool confirmed, const std::string& path = {})
    {
        fileAnswers.push_back({confirmed, path});
    }
    void QueueDirectoryAnswer(bool confirmed, const std::string& dir = {})
    {
        directoryAnswers.push_back({confirmed, dir});
    }
    // The abort key reads as pressed at the given poll (1 = the next one).
    void PressAbortAtPoll(int poll) { abortAtPolls.push_back(abortPolls + poll); }

    MsgAnswer defaultAnswer = ANSWER_OK;   // used when no answer is queued; OK-only boxes always OK

    // --- record ------------------------------------------------------------
    std::vector<Box> boxes;
    std::vector<BeepKind> beeps;
    std::vector<FilePrompt> filePrompts;
    std::vector<std::string> directoryPrompts;
    int abortPolls = 0;

    // Boxes and beeps in the order they happened: "beep:<kind>" or "box:<caption>".
    std::vector<std::string> events;
    // View display calls in order (see the view overrides below).
    std::vector<std::string> viewCalls;

    // --- CHost ---------------------------------------------------------------
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override
    {
        boxes.push_back({text, caption, buttons, icon});
        events.push_back("box:" + caption);
        if (buttons == MB_OK_ONLY) return ANSWER_OK;
        if (answers.empty()) return defaultAnswer;
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void Beep(BeepKind kind) override
    {
        beeps.push_back(kind);
        events.push_back("beep:" + std::to_string(static_cast<int>(kind)));
    }
    bool PromptFileName(const std::string& title, std::string& path,
                        const std::string& filterName, const std::string& filterPattern,
                        const std::string& initialDir, bool open) override
    {
        filePrompts.push_back({title, path, filterName, filterPattern, initialDir, open});
        return Take(fileAnswers, path);
    }
    bool PromptDirectory(std::string& dir) override
    {
        directoryPrompts.push_back(dir);
        return Take(directoryAnswers, dir);
    }
    bool AbortKeyPressed() override
    {
        ++abortPolls;
        for (auto it = abortAtPolls.begin(); it != abortAtPolls.end(); ++it) {
            if (*it <= abortPolls) {
                abortAtPolls.erase(it);
                return true;
            }
        }
        return false;
    }

    // --- view ----------------------------------------------------------------
    // Recorded in `viewCalls` as "blink:1", "progress:50/100", "file:fw.s".
    void SetActivityBlink(bool on) override { viewCalls.push_back("blink:" + std::to_string(on ? 1 : 0)); }
    void SetOverallProgress(long done, long total) override
    {
        viewCalls.push_back("progress:" + std::to_string(done) + "/" + std::to_string(total));
    }
    void SetFileNameText(const std::string& text) override { viewCalls.push_back("file:" + text); }

    // --- model ---------------------------------------------------------------
    // Repair: recorded as (mode, board index); `onRepair` plays the editor
    // (it may rewrite the file) and gives its OK; none = Cancel.
    std::vector<std::pair<int, int>> repairs;
    std::function<bool(int mode, const CEnvDef& environment, int boardIndex)> onRepair;
    bool RepairEnvironment(int mode, const CEnvDef& environment, int boardIndex) override
    {
        repairs.push_back({mode, boardIndex});
        return onRepair ? onRepair(mode, environment, boardIndex) : false;
    }
    // Board choice: the environment index it opened on is recorded; answers
    // come from QueueBoardChoice (environment -1 = Cancel; none queued = Cancel).
    void QueueBoardChoice(int envIndex, int boardIndex) { boardChoices.push_back({envIndex, boardIndex}); }
    std::vector<int> boardChoiceOpenedOn;
    bool ChooseEnvironmentBoard(const std::vector<CEnvDef>& /*environments*/, int envIndex, int& chosenEnv,
                                int& chosenBoard) override
    {
        boardChoiceOpenedOn.push_back(envIndex);
        if (boardChoices.empty()) return false;
        const std::pair<int, int> choice = boardChoices.front();
        boardChoices.pop_front();
        if (choice.first < 0) return false;
        chosenEnv = choice.first;
        chosenBoard = choice.second;
        return true;
    }

    // --- rescue --------------------------------------------------------------
    // The power-cycle prompt of the rescue wait is a box like any other
    // (recorded, answered from the queue); after an OK, `onPowerCycle` plays
    // the operator who switches the receiver off and on.
    std::function<void()> onPowerCycle;
    MsgAnswer AskRescuePowerCycle(const std::string& text, const std::string& caption) override
    {
        const MsgAnswer answer = MessageBox(text, caption, MB_OK_CANCEL, ICON_INFORMATION);
        if (answer == ANSWER_OK && onPowerCycle) onPowerCycle();
        return answer;
    }
    // The communication dialogs: counted; `onChangeComm` / `onCommunication`
    // make the choices on the dialog's logic and give its result (none = Cancel).
    int changeCommRuns = 0;
    std::function<int(CChangeCommDlg&)> onChangeComm;
    int RunChangeCommDialog(CChangeCommDlg& dialog) override
    {
        ++changeCommRuns;
        return onChangeComm ? onChangeComm(dialog) : 2;
    }
    int communicationRuns = 0;
    std::function<int(CCommunicationDlg&)> onCommunication;
    int RunCommunicationDialog(CCommunicationDlg& dialog) override
    {
        ++communicationRuns;
        return onCommunication ? onCommunication(dialog) : 2;
    }

private:
    static bool Take(std::deque<PromptAnswer>& queue, std::string& value)
    {
        if (queue.empty()) return false;
        const PromptAnswer a = queue.front();
        queue.pop_front();
        if (a.confirmed) value = a.value;
        return a.confirmed;
    }

    std::deque<MsgAnswer> answers;
    std::deque<PromptAnswer> fileAnswers;
    std::deque<PromptAnswer> directoryAnswers;
    std::vector<int> abortAtPolls;
    std::deque<std::pair<int, int>> boardChoices;
};

// Installs a host for the lifetime of a test scope and restores the quiet one.
class CHostScope {
public:
    explicit CHostScope(CHost& host) { SetHost(&host); }
    ~CHostScope() { SetHost(nullptr); }
    CHostScope(const CHostScope&) = delete;
    CHostScope& operator=(const CHostScope&) = delete;
};
