// Progress lines, progress events and failure reasons of tavrel-cli.
#include "cli/CliProgress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "app/Host.h"
#include "app/ExitSignals.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/CliLink.h"
#include "cli/TerminalHost.h"
#include "engine/EngineTypes.h"
#include "engine/ProcessEngine.h"
#include "engine/ProcessReport.h"
#include "link/IdentReply.h"
#include "link/SerialLink.h"
#include "model/UpdateDoc.h"

namespace {

constexpr double kPlainDataLineSeconds = 5.0;   // without a terminal
constexpr double kTerminalRedrawSeconds = 0.1;
constexpr double kDataEventSeconds = 0.5;       // JSON data events
constexpr double kRateAfterSeconds = 0.5;       // a measured rate needs this much data time
constexpr int kLogEchoMs = 100;
constexpr long long kMaxEchoBytes = 1 << 20;    // read at most this much of the log at once
constexpr int kMsgReceptionTimeOut = 12;        // "Reception time-out (see log file)"
constexpr int kMsgSendError = 55;               // "Error sending data."
constexpr int kMsgNotExpected = 33;             // "The connected device is not the expected one."

CTerminalHost* TerminalHost()
{
    return dynamic_cast<CTerminalHost*>(&Host());
}

std::string Rate(double bytesPerSecond)
{
    char text[32];
    if (bytesPerSecond >= 1000) std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000);
    else std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    return text;
}

std::string Duration(double seconds)
{
    char text[32];
    const long whole = static_cast<long>(seconds + 0.5);
    if (whole >= 60) std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
    else std::snprintf(text, sizeof text, "%ld s", whole);
    return text;
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

}  // namespace

CProcessWatch::CProcessWatch(CProcessEngine& engine, bool quiet, bool verbose, std::ostream* events)
    : m_engine(engine), m_bShow(!quiet), m_bInPlace(::isatty(STDERR_FILENO) == 1 && !verbose), m_pEvents(events)
{
    m_engine.onProgress = [this](const ProcessProgress& progress) { OnProgress(progress); };
    m_engine.onIdentReply = [this](const std::string& reply) { m_strIdentReply = reply; };
    if (CTerminalHost* host = TerminalHost()) {
        host->IdentRecorder().onConnection = [this](const std::string& port, int rate) { OnScanRate(port, rate); };
        host->beforeOutput = [this] { EndOpenLine(); };
    }
}

CProcessWatch::~CProcessWatch()
{
    m_engine.onProgress = nullptr;
    m_engine.onIdentReply = nullptr;
    if (CTerminalHost* host = TerminalHost()) {
        host->IdentRecorder().onConnection = nullptr;
        host->beforeOutput = nullptr;
    }
}

double CProcessWatch::Seconds(Clock::time_point from) const
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

std::string CProcessWatch::Prefix(const ProcessProgress& progress) const
{
    if (progress.line < 0) return "";
    const std::string count =
        progress.lines > 1 ? "[" + std::to_string(progress.line + 1) + "/" + std::to_string(progress.lines) + "] " : "";
    return count + progress.board + ": ";
}

// A phase line stands on its own; the data line is redrawn in place on a terminal.
void CProcessWatch::WriteLine(const std::string& text, bool inPlace)
{
    if (!m_bShow) return;
    if (m_bLineOpen) std::cerr << (inPlace ? "\r\033[K" : "\n");
    std::cerr << text;
    m_bLineOpen = m_bInPlace && inPlace;
    if (!m_bLineOpen) std::cerr << "\n";
    std::cerr.flush();
}

void CProcessWatch::EndOpenLine()
{
    if (m_bLineOpen) std::cerr << "\n" << std::flush;
    m_bLineOpen = false;
}

void CProcessWatch::Event(nlohmann::json event)
{
    if (m_pEvents == nullptr) return;
    event["elapsed"] = std::round(Seconds(m_start) * 10) / 10;
    *m_pEvents << event.dump() << "\n";
    m_pEvents->flush();
}

void CProcessWatch::OnProgress(const ProcessProgress& progress)
{
    if (progress.line != m_nLastLine && progress.line >= 0) {
        // A new board line: the previous one's wall time ends here.
        if (!m_figures.empty()) m_figures.back().seconds = Seconds(m_boardStart);
        BoardFigures figures;
        figures.line = progress.line;
        figures.board = progress.board;
        m_figures.push_back(figures);
        m_boardStart = Clock::now();
    }
    if (!m_figures.empty() && progress.line >= 0) {
        // The engine's figures are the current board's own: the data it
        // holds (less when it asked for blocks again), never a resend.
        BoardFigures& figures = m_figures.back();
        figures.bytes = progress.bytes;
        figures.total = progress.total;
        figures.resends = progress.resends;
    }
    const bool newPhase = progress.phase != m_nLastPhase || progress.line != m_nLastLine;
    m_last = progress;
    m_nLastLine = progress.line;
    if (progress.line >= 0) m_strLastBoard = progress.board;
    if (progress.phase == PHASE_DATA) {
        if (newPhase) {
            m_nLastPhase = progress.phase;
            m_dataStart = Clock::now();
            m_lastDataLine = m_lastDataEvent = Clock::time_point{};
        }
        m_lastDataAt = Clock::now();
        ShowData(progress, newPhase);
        return;
    }
    if (!newPhase) return;
    if (m_nLastPhase == PHASE_DATA) ShowData(m_last, true);   // where the data ended
    m_nLastPhase = progress.phase;
    if (progress.phase == PHASE_SCAN) return;   // each rate tried is told by OnScanRate
    ShowPhase(progress, "");
}

void CProcessWatch::OnScanRate(const std::string& port, int rate)
{
    // The identification of a board back from its restart searches too.
    ProcessProgress scan = m_last;
    scan.phase = m_nLastPhase == PHASE_RESTART ? PHASE_RESTART : PHASE_SCAN;
    scan.lineRate = rate;
    ShowPhase(scan, (scan.phase == PHASE_RESTART ? "identifying on " : "") + port + " at " + std::to_string(rate) +
                        " bit/s");
}

void CProcessWatch::ShowPhase(const ProcessProgress& progress, const std::string& detail)
{
    const std::string name = ProcessPhaseName(progress.phase);
    WriteLine(Prefix(progress) + name + (detail.empty() ? "" : " " + detail), false);
    Event({{"event", "phase"}, {"phase", name}, {"line", progress.line + 1}, {"lines", progress.lines},
           {"board", progress.board}, {"bytes", progress.bytes}, {"total", progress.total},
           {"resends", progress.resends}, {"rate", 0}, {"line_rate", progress.lineRate}});
}

void CProcessWatch::ShowData(const ProcessProgress& progress, bool force)
{
    // The rate measured up to the last record; a short load that has ended has its own.
    const double seconds = std::chrono::duration<double>(m_lastDataAt - m_dataStart).count();
    const bool ended = progress.bytes >= progress.total && seconds > 0;
    const double rate = seconds >= kRateAfterSeconds || ended ? progress.bytes / seconds : 0;
    const long long left = std::max(0LL, progress.total - progress.bytes);
    const double percent = progress.total > 0 ? 100.0 * static_cast<double>(progress.bytes) / static_cast<double>(progress.total) : 100.0;
    const double every = m_bInPlace ? kTerminalRedrawSeconds : kPlainDataLineSeconds;
    const bool lineDue = force || m_lastDataLine == Clock::time_point{} || Seconds(m_lastDataLine) >= every;
    if (lineDue) {
        char text[256];
        std::snprintf(text, sizeof text, "data %3.0f%%  %lld/%lld bytes  %ld bit/s  %s  %ld resend%s  %s left",
                      std::floor(percent), progress.bytes, progress.total, progress.lineRate,
                      rate > 0 ? Rate(rate).c_str() : "-", progress.resends, progress.resends == 1 ? "" : "s",
                      rate > 0 ? Duration(static_cast<double>(left) / rate).c_str() : "?");
        WriteLine(Prefix(progress) + text, true);
        m_lastDataLine = Clock::now();
    }
    if (force || m_lastDataEvent == Clock::time_point{} || Seconds(m_lastDataEvent) >= kDataEventSeconds ||
        progress.bytes == progress.total) {
        nlohmann::json event = {{"event", "data"}, {"phase", "data"}, {"line", progress.line + 1},
                                {"lines", progress.lines}, {"board", progress.board}, {"bytes", progress.bytes},
                                {"total", progress.total}, {"resends", progress.resends},
                                {"rate", std::round(rate)}, {"line_rate", progress.lineRate},
                                {"percent", std::round(percent * 10) / 10}};
        if (rate > 0) event["seconds_left"] = std::round(static_cast<double>(left) / rate * 10) / 10;
        Event(event);
        m_lastDataEvent = Clock::now();
    }
}

void CProcessWatch::Finish(const CUpdateDoc& doc, bool ok, const std::string& reason)
{
    if (m_nLastPhase == PHASE_DATA) ShowData(m_last, true);
    EndOpenLine();
    if (!m_figures.empty() && m_figures.back().seconds == 0) m_figures.back().seconds = Seconds(m_boardStart);
    for (const BoardFigures& figures : m_figures) {
        const CBoardConf* line =
            figures.line < static_cast<int>(doc.m_lines.size()) ? &doc.m_lines[static_cast<size_t>(figures.line)] : nullptr;
        const std::string result = line ? Trimmed(GetString(ResultTextId(line->m_nResult, line->m_bSelected != 0))) : "?";
        Event({{"event", "board"}, {"line", figures.line + 1}, {"board", figures.board}, {"result", result},
               {"bytes", figures.bytes}, {"total", figures.total}, {"resends", figures.resends},
               {"seconds", std::round(figures.seconds * 10) / 10}, {"rate", std::round(figures.BytesPerSecond())}});
    }
    nlohmann::json end = {{"event", "end"}, {"ok", ok}};
    if (!reason.empty()) end["reason"] = reason;
    Event(end);
}

std::vector<std::string> CProcessWatch::SummaryLines() const
{
    std::vector<std::string> lines;
    for (const BoardFigures& figures : m_figures) {
        if (figures.total == 0) continue;   // it never reached its data
        char text[160];
        std::snprintf(text, sizeof text, "%lld bytes in %.1f s, %s", figures.bytes, figures.seconds,
                      Rate(figures.BytesPerSecond()).c_str());
        lines.push_back(figures.board + ": " + text);
    }
    return lines;
}

// --- the log on stderr --------------------------------------------------------------

CLogEcho::CLogEcho(const std::string& logPath) : m_strPath(logPath)
{
    std::ifstream log(m_strPath, std::ios::binary | std::ios::ate);
    m_nOffset = log ? static_cast<long long>(log.tellg()) : 0;
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Flush(); });
    m_timer.start(kLogEchoMs);
}

CLogEcho::~CLogEcho()
{
    Flush();
}

void CLogEcho::Flush()
{
    std::ifstream log(m_strPath, std::ios::binary | std::ios::ate);
    if (!log) return;
    const long long size = static_cast<long long>(log.tellg());
    if (size < m_nOffset) m_nOffset = 0;   // trimmed meanwhile
    const long long count = std::min(size - m_nOffset, kMaxEchoBytes);
    if (count <= 0) return;
    std::string text(static_cast<size_t>(count), '\0');
    log.seekg(m_nOffset);
    log.read(text.data(), count);
    text.resize(static_cast<size_t>(log.gcount()));
    m_nOffset += static_cast<long long>(text.size());
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    std::cerr << out << std::flush;
}

// --- why a transfer failed ---------------------------------------------------------

namespace {

bool AllLinesOk(const CUpdateDoc& doc)
{
    if (doc.m_lines.empty()) return false;
    for (const CBoardConf& line : doc.m_lines)
        if (!line.m_bSelected || line.m_nResult != RESULT_OK) return false;
    return true;
}

bool AnyLineAborted(const CUpdateDoc& doc)
{
    for (const CBoardConf& line : doc.m_lines)
        if (line.m_nResult == RESULT_ABORTED) return true;
    return false;
}

// "CM10 CMB2, CM10 CPU0100": the boards of an identification answer.
std::string AnsweredBoards(const std::string& reply)
{
    std::string text;
    for (const IdentReplyRow& row : IdentReplyRows(reply))
        text += (text.empty() ? "" : ", ") + Trimmed(row.hardware) + " " + Trimmed(row.software);
    return text;
}

std::string SeeTheLog()
{
    return "the log " + App().m_strLogPath + " has the sentences";
}

}  // namespace

std::string TransferFailureReason(const CProcessWatch& watch, const CProcessEngine& engine, const CUpdateDoc& doc,
                                  const CSerialLink& link)
{
    if (AllLinesOk(doc)) return {};
    if (!link.OpenFailure().empty()) return OpenFailureAdvice(link);
    if (AnyLineAborted(doc))
        return StopRequested() && StopReason() > 0 ? "stopped by " + SignalName(StopReason()) + " (the process was ended)"
                                                   : std::string("stopped by the user");
    const int message = engine.LastEndMessage();
    const std::string port = link.PortName();
    const std::string board = watch.LastBoard().empty() ? std::string("the board") : "board " + watch.LastBoard();
    if (!engine.StartRefusal().empty())
        return "the rescue mode was refused, nothing was sent: " + engine.StartRefusal() +
               " (`tavrel-cli transfer --help` gives both rules)";
    if (watch.LastPhase() < 0)
        return "the transfer did not start" +
               (message > 0 ? " (" + Trimmed(GetString(message)) + ")" : std::string()) + ": see the messages above; " +
               SeeTheLog();
    if (watch.LastPhase() == PHASE_SCAN) {
        const std::string& reply = watch.IdentReply();
        if (reply.empty()) return IdentFailureReason(link);
        if (reply.find("UCRQ") != std::string::npos)
            return "the board on " + port + " is waiting in its rescue loader (it answered \"UCRQ\"): load it with "
                   "`tavrel-cli transfer --rescue FILE.sfl`, whose first line is that board, alone";
        if (message == kMsgNotExpected || message == 22)
            return "the receiver on " + port + " answered with " + AnsweredBoards(reply) +
                   ", not with the boards of the request: check that the request is meant for this receiver";
    }
    const std::string phase = ProcessPhaseName(watch.LastPhase());
    if (message == kMsgReceptionTimeOut)
        return board + " stopped answering during " + phase + " on " + port +
               ": check the cable and power, then run the transfer again; " + SeeTheLog();
    if (link.LastError() != 0 && (message == kMsgSendError || watch.LastPhase() == PHASE_DATA))
        return "the line to " + port + " failed during " + phase + " (" + std::strerror(link.LastError()) +
               "): was the adapter unplugged or the receiver switched off?";
    return board + " failed during " + phase +
           (message > 0 ? " (" + Trimmed(GetString(message)) + ")" : std::string()) + "; " + SeeTheLog();
}

namespace {

// The next step of a transfer that ended before its boards were touched
// because of the request or of what the receiver answered; empty for others.
std::string NextForTheRequest(const CProcessWatch& watch, const CProcessEngine& engine, const std::string& request)
{
    if (!engine.StartRefusal().empty())
        return "make the first line of " + request + " the board cabled to the PC, with a Subassy ID beginning "
               "with \"U\", then " + TransferCommand(request, {}, 0, true);
    const std::string& reply = watch.IdentReply();
    if (watch.LastPhase() == PHASE_SCAN && reply.find("UCRQ") != std::string::npos)
        return "load that board in rescue mode: `tavrel-cli transfer --rescue FILE.sfl` with it alone on the "
               "first line";
    if (watch.LastPhase() == PHASE_SCAN && !reply.empty())
        return "`tavrel-cli query " + request + "` compares the receiver with the request";
    return {};
}

std::vector<std::string> SelectedBoards(const CUpdateDoc& doc)
{
    std::vector<std::string> names;
    for (const CBoardConf& line : doc.m_lines)
        if (line.m_bSelected) names.push_back(line.m_strBoardName);
    return names;
}

}  // namespace

FailureEnd TransferFailureEnd(const CProcessWatch& watch, const CProcessEngine& engine, const CUpdateDoc& doc,
                              const CSerialLink& link, const std::string& request)
{
    FailureEnd end;
    end.reason = TransferFailureReason(watch, engine, doc, link);
    if (end.reason.empty()) return end;
    const ReceiverLeft& left = engine.LastReceiverLeft();
    const std::string again = TransferCommand(request, SelectedBoards(doc), doc.m_lines.size());
    if (!link.OpenFailure().empty()) {
        end.receiver = kReceiverNotOpened;
        end.next = "once the port opens: " + again;
        return end;
    }
    end.receiver = left.Empty() ? kReceiverNothingSent : left.state;
    end.next = NextForTheRequest(watch, engine, request);
    if (end.next.empty())
        end.next = left.Empty() ? "mend what is said above, then " + again
                                : NextAfterTransfer(left, request, doc.m_lines.size());
    return end;
}
