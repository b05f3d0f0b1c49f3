// The terminal host of tavrel-cli.
#include "cli/TerminalHost.h"

#include "app/Strings.h"
#include "model/BoardDef.h"

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

constexpr int kExitOnSecondInterrupt = 130;   // 128 + SIGINT, as shells report it
constexpr int kAbortQuestionId = 49;          // "Are you sure you want to abort  the process ?"

struct ButtonChoice {
    char key;
    MsgAnswer answer;
};

// Keys accepted for each set of buttons, the first being shown as the prompt.
std::string PromptFor(MsgButtons buttons)
{
    switch (buttons) {
    case MB_OK_CANCEL: return "[o]k / [c]ancel";
    case MB_YES_NO: return "[y]es / [n]o";
    case MB_YES_NO_CANCEL: return "[y]es / [n]o / [c]ancel";
    case MB_RETRY_CANCEL: return "[r]etry / [c]ancel";
    case MB_OK_ONLY: break;
    }
    return "[o]k";
}

bool ChoiceFor(MsgButtons buttons, char key, MsgAnswer& answer)
{
    static const struct {
        MsgButtons buttons;
        ButtonChoice choices[3];
    } kChoices[] = {
        {MB_OK_ONLY, {{'o', ANSWER_OK}, {0, ANSWER_OK}, {0, ANSWER_OK}}},
        {MB_OK_CANCEL, {{'o', ANSWER_OK}, {'c', ANSWER_CANCEL}, {0, ANSWER_OK}}},
        {MB_YES_NO, {{'y', ANSWER_YES}, {'n', ANSWER_NO}, {0, ANSWER_OK}}},
        {MB_YES_NO_CANCEL, {{'y', ANSWER_YES}, {'n', ANSWER_NO}, {'c', ANSWER_CANCEL}}},
        {MB_RETRY_CANCEL, {{'r', ANSWER_RETRY}, {'c', ANSWER_CANCEL}, {0, ANSWER_OK}}},
    };
    for (const auto& row : kChoices) {
        if (row.buttons != buttons) continue;
        for (const ButtonChoice& c : row.choices) {
            if (c.key != 0 && c.key == key) {
                answer = c.answer;
                return true;
            }
        }
    }
    return false;
}

// The safe answer: No where there is one, else Cancel, OK for a lone OK.
MsgAnswer NegativeAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MB_OK_ONLY: return ANSWER_OK;
    case MB_YES_NO:
    case MB_YES_NO_CANCEL: return ANSWER_NO;
    case MB_OK_CANCEL:
    case MB_RETRY_CANCEL: break;
    }
    return ANSWER_CANCEL;
}

MsgAnswer PositiveAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MB_YES_NO:
    case MB_YES_NO_CANCEL: return ANSWER_YES;
    case MB_RETRY_CANCEL: return ANSWER_RETRY;
    case MB_OK_ONLY:
    case MB_OK_CANCEL: break;
    }
    return ANSWER_OK;
}

const char* AnswerName(MsgAnswer answer)
{
    switch (answer) {
    case ANSWER_OK: return "OK";
    case ANSWER_CANCEL: return "Cancel";
    case ANSWER_RETRY: return "Retry";
    case ANSWER_YES: return "Yes";
    case ANSWER_NO: return "No";
    }
    return "?";
}

}  // namespace

void CIdentRecorder::Shown(bool open)
{
    if (!open) return;
    m_strPort.clear();
    m_nRate = 0;
    m_rates.clear();
    m_ratesWithBytes.clear();
    m_bStoppedSilent = false;
}

void CIdentRecorder::SetConnectionText(const std::string& text)
{
    // "port,rate" and the fixed line settings.
    static const std::string kLineSuffix = ",n,8,2";
    const bool suffixed = text.size() > kLineSuffix.size() &&
                          text.compare(text.size() - kLineSuffix.size(), kLineSuffix.size(), kLineSuffix) == 0;
    const std::string body = suffixed ? text.substr(0, text.size() - kLineSuffix.size()) : text;
    const std::size_t comma = body.rfind(',');
    if (comma == std::string::npos) return;
    const int rate = std::atoi(body.c_str() + comma + 1);
    const std::string port = body.substr(0, comma);
    if (port == m_strPort && rate == m_nRate) return;
    m_strPort = port;
    m_nRate = rate;
    if (std::find(m_rates.begin(), m_rates.end(), rate) == m_rates.end()) m_rates.push_back(rate);
    if (onConnection) onConnection(port, rate);
}

CTerminalHost::CTerminalHost(AnswerPolicy policy)
    : m_policy(policy), m_stdinIsTty(::isatty(STDIN_FILENO) == 1),
      m_stderrIsTty(::isatty(STDERR_FILENO) == 1)
{
}

CTerminalHost::~CTerminalHost() = default;

std::string CTerminalHost::MessageLine(const std::string& text, const std::string& caption)
{
    std::string body;
    for (char c : text)
        if (c != '\r') body += c;
    while (!body.empty() && (body.back() == '\n' || body.back() == ' ')) body.pop_back();
    return caption.empty() ? body : caption + ": " + body;
}

MsgAnswer CTerminalHost::MessageBox(const std::string& text, const std::string& caption,
                                    MsgButtons buttons, MsgIcon icon)
{
    if (beforeOutput) beforeOutput();
    const std::string line = MessageLine(text, caption);
    const bool warning = icon == ICON_EXCLAMATION || icon == ICON_STOP;
    std::ostream& out = warning ? std::cerr : std::cout;
    if (!(m_bQuiet && !warning && buttons == MB_OK_ONLY)) {
        out << line << "\n";
        out.flush();
    }
    const bool abortQuestion = m_bAbortKeyReported && buttons == MB_YES_NO && text == GetString(kAbortQuestionId);
    m_bAbortKeyReported = false;
    if (buttons == MB_OK_ONLY) return ANSWER_OK;
    if (StopRequested()) {
        const MsgAnswer answer = StopAnswer(text, buttons);
        std::cout << "  -> " << AnswerName(answer) << " (" << SignalName(StopReason()) << ")\n";
        std::cout.flush();
        return answer;
    }
    if (m_policy == AnswerPolicy::None && m_stdinIsTty) return AskOnTerminal(text, buttons);
    if (abortQuestion) {
        std::cout << "  -> Yes (Ctrl+C)\n";
        std::cout.flush();
        return ANSWER_YES;
    }
    return AnswerByPolicy(buttons);
}

MsgAnswer CTerminalHost::AnswerByPolicy(MsgButtons buttons)
{
    MsgAnswer answer = m_policy == AnswerPolicy::Yes ? PositiveAnswer(buttons)
                                                     : NegativeAnswer(buttons);
    if (m_policy == AnswerPolicy::None)
        std::cout << "  -> " << AnswerName(answer)
                  << " (no terminal to ask; use --yes or --no to choose)\n";
    else
        std::cout << "  -> " << AnswerName(answer) << " (" << (m_policy == AnswerPolicy::Yes ? "--yes" : "--no")
                  << ")\n";
    std::cout.flush();
    return answer;
}

int CTerminalHost::ReadTerminalLine(std::string& line)
{
    for (;;) {
        struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {m_signals.WakeFd(), POLLIN, 0}};
        const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) return -1;
        if (ready < 0) return 0;
        if (fds[1].fd >= 0 && (fds[1].revents & POLLIN)) return -1;
        if (fds[0].revents == 0) continue;
        if (std::getline(std::cin, line)) return 1;
        if (std::cin.eof()) return 0;
        std::cin.clear();   // the read was interrupted
        return -1;
    }
}

MsgAnswer CTerminalHost::AskOnTerminal(const std::string& text, MsgButtons buttons)
{
    const bool abortQuestion = buttons == MB_YES_NO && text == GetString(kAbortQuestionId);
    m_bAskingAbort = abortQuestion;
    m_bInterruptMeansYes = false;
    for (;;) {
        std::cout << "  " << PromptFor(buttons) << "? ";
        std::cout.flush();
        std::string reply;
        const int got = ReadTerminalLine(reply);
        if (got < 0) {
            m_signals.Dispatch();
            if (m_bInterruptMeansYes || StopRequested()) {
                const MsgAnswer answer = m_bInterruptMeansYes ? ANSWER_YES : StopAnswer(text, buttons);
                std::cout << AnswerName(answer) << " (" << (m_bInterruptMeansYes ? "Ctrl+C" : SignalName(StopReason()))
                          << ")\n";
                std::cout.flush();
                m_bAskingAbort = m_bInterruptMeansYes = false;
                return answer;
            }
            std::cout << "\n";
            continue;
        }
        if (got == 0) {
            std::cout << "\n";
            m_bAskingAbort = false;
            return NegativeAnswer(buttons);
        }
        std::size_t i = reply.find_first_not_of(" \t");
        if (i == std::string::npos) continue;
        MsgAnswer answer;
        if (ChoiceFor(buttons, static_cast<char>(std::tolower(static_cast<unsigned char>(reply[i]))),
                      answer)) {
            m_bAskingAbort = false;
            return answer;
        }
    }
}

MsgAnswer CTerminalHost::AskRescuePowerCycle(const std::string& text, const std::string& caption)
{
    if (beforeOutput) beforeOutput();
    std::cout << MessageLine(text, caption) << "\n";
    if (!m_stdinIsTty) {
        std::cout << "  -> OK (no terminal to wait on)\n";
        std::cout.flush();
        return ANSWER_OK;
    }
    std::cout << "  Press Enter for OK (Ctrl+D cancels)... ";
    std::cout.flush();
    std::string reply;
    if (!std::getline(std::cin, reply)) {
        std::cout << "\n";
        return ANSWER_CANCEL;
    }
    return ANSWER_OK;
}

void CTerminalHost::Beep(BeepKind)
{
    if (m_stderrIsTty) {
        std::cerr << '\a';
        std::cerr.flush();
    }
}

bool CTerminalHost::ChooseEnvironmentBoard(const std::vector<CEnvDef>& environments, int envIndex,
                                           int& chosenEnv, int& chosenBoard)
{
    if (m_policy == AnswerPolicy::None && m_stdinIsTty)
        return ReadBoardChoice(std::cin, environments, envIndex, chosenEnv, chosenBoard);
    std::cout << "  -> Cancel (no terminal to choose a board on)\n";
    std::cout.flush();
    return false;
}

bool CTerminalHost::ReadBoardChoice(std::istream& in, const std::vector<CEnvDef>& environments, int envIndex,
                                    int& chosenEnv, int& chosenBoard)
{
    // The environment the line named comes first, then the others in order.
    std::vector<std::pair<int, int>> rows;
    const int count = static_cast<int>(environments.size());
    const int first = envIndex >= 0 && envIndex < count ? envIndex : 0;
    for (int k = 0; k < count; ++k) {
        const int e = (first + k) % count;
        const CEnvDef& env = environments[static_cast<size_t>(e)];
        for (size_t b = 0; b < env.m_boards.size(); ++b) {
            rows.push_back({e, static_cast<int>(b)});
            std::cout << "  " << rows.size() << ". " << env.m_strName << " / " << env.m_boards[b].m_strName << "\n";
        }
    }
    if (rows.empty()) {
        std::cout << "  -> Cancel (no board to choose)\n";
        return false;
    }
    for (;;) {
        std::cout << "  Board number (Enter cancels)? ";
        std::cout.flush();
        std::string reply;
        if (!std::getline(in, reply) || reply.find_first_not_of(" \t") == std::string::npos) {
            std::cout << "\n";
            return false;
        }
        reply.erase(reply.find_last_not_of(" \t") + 1);
        char* end = nullptr;
        const long n = std::strtol(reply.c_str(), &end, 10);
        if (end != reply.c_str() && *end == '\0' && n >= 1 && n <= static_cast<long>(rows.size())) {
            chosenEnv = rows[static_cast<size_t>(n - 1)].first;
            chosenBoard = rows[static_cast<size_t>(n - 1)].second;
            return true;
        }
    }
}

bool CTerminalHost::PromptFileName(const std::string&, std::string&, const std::string&,
                                   const std::string&, const std::string&, bool)
{
    return false;   // no interactive file prompt on the terminal: names come as arguments
}

bool CTerminalHost::PromptDirectory(std::string&)
{
    return false;
}

bool CTerminalHost::TakeInterrupt()
{
    m_signals.Dispatch();
    if (!m_bInterruptPending) return false;
    m_bInterruptPending = false;
    CExitSignals::InterruptTaken();
    return true;
}

bool CTerminalHost::AbortKeyPressed()
{
    if (!TakeInterrupt()) return false;
    m_bAbortKeyReported = true;
    return true;
}

void CTerminalHost::OnSignal(int signal)
{
    StopTarget* target = CurrentStopTarget();
    if (StopRequested()) {
        // Only SIGKILL skips the clean-up: say why the program is still here.
        if (!m_bToldCleanUp) {
            if (beforeOutput) beforeOutput();
            std::cerr << "tavrel-cli: " << SignalName(signal)
                      << ": putting the receiver back as it was before ending; please wait\n";
            m_bToldCleanUp = true;
        }
        return;
    }
    if (signal == SIGINT) {
        if (m_bAskingAbort) {
            m_bInterruptMeansYes = true;   // the second Ctrl+C answers the question
            CExitSignals::InterruptTaken();
            return;
        }
        const bool keyWanted = target == nullptr || (target->takesAbortKey && target->takesAbortKey());
        if (keyWanted && !m_bInterruptPending) {
            m_bInterruptPending = true;   // the loop that polls the key asks the question
            return;
        }
        if (target == nullptr) ::_exit(kExitOnSecondInterrupt);   // nothing to put back
        CExitSignals::InterruptTaken();
    }
    if (target != nullptr && target->stop) {
        target->stop(signal);
        return;
    }
    // No process to end: the signal's own way out.
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    ::sigaction(signal, &sa, nullptr);
    ::raise(signal);
}

bool CTerminalHost::SetReplyAnswer(const std::string& answer, bool)
{
    m_strReply = answer;
    return true;
}

void CTerminalHost::ShowReplyDialog(bool show)
{
    if (!show || m_strReply.empty()) return;
    if (beforeOutput) beforeOutput();
    std::cout << "Identification:\n";
    std::string line;
    for (char c : m_strReply) {
        if (c == '\r') continue;
        if (c != '\n') {
            line += c;
            continue;
        }
        std::cout << "  " << line << "\n";
        // As the Reply dialog: the answer ends at the line numbered as its total.
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
            fields.push_back(line.substr(start, comma - start));
        fields.push_back(line.substr(start));
        line.clear();
        if (fields.size() > 3 && !fields[2].empty() && fields[2] == fields[3]) break;
    }
    if (!line.empty()) std::cout << "  " << line << "\n";
    std::cout.flush();
    m_strReply.clear();
}

void CTerminalHost::CatchInterrupt()
{
    if (m_bCatching) return;
    m_signals.onSignal = [this](int signal) { OnSignal(signal); };
    CExitSignals::ExitOnSecondInterrupt(true);
    m_bCatching = m_signals.Catch({SIGINT, SIGTERM, SIGHUP});
}
