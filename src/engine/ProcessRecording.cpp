// The record of a run: what the controller tells its recorder, and when. A
// recorder that fails is logged once and left alone for the rest of the run.
#include "app/CommSettings.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/IdentMatch.h"
#include "engine/ProcessEngine.h"
#include "engine/ProcessReport.h"
#include "link/SerialLink.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

namespace {

std::string MessageText(int messageId)
{
    return messageId > 0 ? GetOneLineString(messageId) : std::string();
}

bool IsTransferType(int process)
{
    return process == PROC_TRANSFER || process == PROC_RESCUE_TRANSFER;
}

}  // namespace

template <class Call>
void CProcessEngine::Record(Call call)
{
    if (m_pRecorder == nullptr || m_bRecorderFailed) return;
    if (call(*m_pRecorder)) return;
    m_bRecorderFailed = true;
    const std::string reason = m_pRecorder->LastError();
    App().WriteLogNote("History not written: " + reason + "\r\n");
    if (onRecorderFailure) onRecorderFailure(reason);
}

void CProcessEngine::RecordRunStart(int type)
{
    // A process that hands over to its rescue form ends its own record first.
    if (m_bRunRecorded) {
        RecordBoardEnd("retried in rescue mode");
        Record([](CProcessRecorder& r) { return r.RunEnded({false, "retried in rescue mode", {}}); });
    }
    m_bRecorderFailed = false;
    m_bRunRecorded = true;
    m_nRecordedBoard = -1;
    m_bFirstIdentRecorded = false;
    RecordedRunStart run;
    run.process = type;
    run.port = m_link.PortName();
    run.rate = BaudFromIndex(type == PROC_RESCUE_QUERY || type == PROC_RESCUE_TRANSFER ? DEFAULT_BAUD_INDEX
                                                                                      : App().m_nBaudIndex);
    if (IsTransferType(type)) run.request = m_doc.GetPathName();
    Record([&run](CProcessRecorder& r) { return r.RunStarted(run); });
}

void CProcessEngine::RecordIdent(const std::string& reply, bool afterRestart)
{
    if (!m_bRunRecorded) return;
    RecordedIdent ident;
    ident.reply = reply;
    ident.rate = static_cast<long>(m_link.BaudRate());
    ident.afterRestart = afterRestart;
    // The first answer of a transfer shows the software each board had before.
    if (!afterRestart && !m_bFirstIdentRecorded && IsTransferType(m_nProcess)) {
        for (int i = 0; i < LineCount(); ++i) {
            const std::string software = SoftwareInReply(reply, TargetOf(m_doc.m_lines[static_cast<size_t>(i)]));
            if (!software.empty()) ident.lineSoftware.emplace_back(i, software);
        }
        m_bFirstIdentRecorded = true;
    }
    Record([&ident](CProcessRecorder& r) { return r.IdentAnswer(ident); });
}

void CProcessEngine::RecordBoardStart()
{
    if (!m_bRunRecorded || m_nBoard < 0 || m_nBoard >= LineCount()) return;
    const CBoardConf& line = CurrentLine();
    RecordedBoardStart board;
    board.line = m_nBoard;
    board.board = line.m_strBoardName;
    board.environment = line.m_strEnvName;
    if (const CBoardDef* def = TargetDef(line)) board.subassyId = def->m_strSubassyId;
    board.hardware = line.m_strSubassyHardw;
    board.softwareWanted = line.m_strSoftId;
    board.releasePath = line.ReleaseFilePath();
    board.vlePath = line.m_strVleFile;
    board.rate = RateOf(line.m_nEffectiveSpeed);
    m_nRecordedBoard = m_nBoard;
    m_strRestartReply.clear();
    Record([&board](CProcessRecorder& r) { return r.BoardStarted(board); });
}

void CProcessEngine::RecordBoardEnd(const std::string& reason)
{
    if (m_nRecordedBoard < 0 || m_nRecordedBoard >= LineCount()) return;
    const auto index = static_cast<size_t>(m_nRecordedBoard);
    const CBoardConf& line = m_doc.m_lines[index];
    RecordedBoardEnd board;
    board.line = m_nRecordedBoard;
    if (!m_strRestartReply.empty()) board.softwareAfter = SoftwareInReply(m_strRestartReply, TargetOf(line));
    if (index < m_boardStats.size()) {
        board.bytes = m_boardStats[index].bytes;
        board.resends = m_boardStats[index].resends;
        board.seconds = m_boardStats[index].seconds;
    }
    board.resultCode = line.m_nResult;
    board.resultText = GetOneLineString(ResultTextId(line.m_nResult, true));
    if (line.m_nResult != RESULT_OK) board.reason = reason.empty() ? board.resultText : reason;
    m_nRecordedBoard = -1;
    Record([&board](CProcessRecorder& r) { return r.BoardEnded(board); });
}

bool CProcessEngine::RunSucceeded() const
{
    switch (m_nProcess) {
    case PROC_TRANSFER:
    case PROC_RESCUE_TRANSFER:
        if (m_doc.m_lines.empty()) return false;
        for (const CBoardConf& line : m_doc.m_lines)
            if (!line.m_bSelected || line.m_nResult != RESULT_OK) return false;
        return true;
    case PROC_REPAIR:
        return m_nRepairResult == REPAIR_DONE;
    default:
        return m_bQueryAnswered;
    }
}

void CProcessEngine::RecordRunEnd(int messageId)
{
    if (!m_bRunRecorded) return;
    // The normal end of a transfer (43) or of a query (22) is no reason; a
    // board that ended otherwise gives its own.
    const bool normalEnd = messageId == 43 || (messageId == 22 && !IsTransferType(m_nProcess) && RunSucceeded());
    const std::string reason = normalEnd ? std::string() : MessageText(messageId);
    RecordBoardEnd(reason);
    RecordedRunEnd run;
    run.ok = RunSucceeded();
    if (!run.ok) {
        run.reason = reason;
        for (size_t i = 0; run.reason.empty() && i < m_doc.m_lines.size() && IsTransferType(m_nProcess); ++i) {
            const CBoardConf& line = m_doc.m_lines[i];
            if (!line.m_bSelected || line.m_nResult != RESULT_OK)
                run.reason = line.m_strBoardName + ": " +
                             MessageText(ResultTextId(line.m_nResult, line.m_bSelected != 0));
        }
        if (run.reason.empty()) run.reason = MessageText(messageId);
        if (IsTransferType(m_nProcess)) run.transferMode = m_receiverLeft.transferMode;
    }
    m_bRunRecorded = false;
    Record([&run](CProcessRecorder& r) { return r.RunEnded(run); });
}
