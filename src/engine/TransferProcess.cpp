// The Transfer process: start checks, conversion of the release files, the
// start of the data, the data-block loop, the checksum check and the abort
// question.
#include <array>
#include <chrono>
#include <cstdio>

#include <QCoreApplication>

#include "app/CommSettings.h"
#include "app/ExitSignals.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/ProcessEngine.h"
#include "engine/ProcessReport.h"
#include "engine/SentenceFields.h"
#include "link/DataRecord.h"
#include "link/SerialLink.h"
#include "model/UpdateDoc.h"
#include "release/ContentSniff.h"
#include "release/FileBase.h"
#include "release/Import.h"
#include "release/VleFile.h"

namespace {

// Conversion result -> message that ends the transfer (0: go on).
struct ConversionEnd {
    int result;
    int messageId;
};
constexpr std::array<ConversionEnd, 7> kConversionEnds = {{
    {CONVERT_OK, 0},
    {CONVERT_NO_SPACE, 16},
    {CONVERT_BAD_FORMAT, 0},
    {CONVERT_VLE_ERROR, 17},
    {CONVERT_READ_ERROR, 18},
    {CONVERT_ABORTED, 44},
    {6, 60},   // the imported files directory does not exist
}};

// Loop result -> message that ends the transfer after the data-block loop.
struct LoopEnd {
    int result;
    int messageId;
};
constexpr std::array<LoopEnd, 3> kLoopEnds = {{
    {LOOP_READ_ERROR, 18},
    {LOOP_BLOCK_NOT_FOUND, 45},
    {LOOP_TOO_MANY_RESENDS, 19},
}};

constexpr int RECORD_BLOCK_MASK = 0xFFFFFF;
constexpr int KIND_RESEND = 4;   // 'C'
constexpr int KIND_ABORT = 5;    // 'A'

std::string CounterText(int id, long value)
{
    return FormatString(id, {std::to_string(value)});
}

}  // namespace

// --- start -------------------------------------------------------------------------------

void CProcessEngine::StartTransfer(int type)
{
    if (m_bDocRunning || !IsIdle()) return;
    EntryGuard entry(*this);
    m_nBoard = 0;
    m_nElapsed = 0;
    m_nProcess = type;
    m_bAbort = false;
    m_bChecksumOk = false;
    m_bFinished = false;
    m_bFirstBoard = true;
    ForgetReceiverPath();
    m_strEndReport.clear();
    m_strLastIdentReply.clear();
    m_strStartRefusal.clear();
    m_receiverLeft = {};
    m_bTargetLeftInMode = false;
    m_nPathRestore = PATH_UNCHANGED;
    m_bCabledInTransferMode = false;
    m_boardStats.assign(m_doc.m_lines.size(), BoardStats{});
    m_transferStart = std::chrono::steady_clock::now();
    m_boardStart = {};
    ResetBoardFigures(0);
    m_bDocRunning = true;
    RecordRunStart(type);
    App().WriteLog("\r\n**** Début du transfert *********************\r\n");
    if (App().m_bCmdLineStart) App().WriteLogNote("Lancement avec nom du fichier en ligne de commande\r\n");
    m_nStep = 6;
    Host().ShowProcessControls(true);

    if (!CheckRequest()) {
        EndProcess(22, false);
        return;
    }
    if (type == PROC_RESCUE_TRANSFER && !CheckRescueBoard()) {
        EndProcess(22, false);
        return;
    }
    const int conversionEnd = EndMessageOfConversion(ConvertReleaseFiles());
    if (conversionEnd != 0) {
        EndProcess(conversionEnd, true);
        return;
    }
    // Stopped while the releases were checked or converted: nothing was sent.
    if (StopRequested()) {
        StopNow();
        return;
    }
    if (!StartProcess(type, 6, -1)) {
        // The link could not be opened (message 57 was shown): the request
        // gets its end report like every other failed transfer.
        EndProcess(22, false);
        return;
    }
    ProcessStep(EV_STEP, type == PROC_RESCUE_TRANSFER ? 9 : 10);
}

bool CProcessEngine::CheckRequest()
{
    if (m_doc.m_lines.empty() || !m_doc.m_bLinked) return false;
    for (const CBoardConf& line : m_doc.m_lines) {
        const CEnvDef* env = CUpdateDoc::LineEnvironment(line);
        if (env == nullptr || TargetDef(line) == nullptr) return false;
        const ValidationResult valid = ValidateBoardLine(line, *env);
        if (!valid) {
            App().WriteLogNote(GetString(valid.messageId) + "\r\n");
            ShowMessage(valid.messageId, 28, MB_OK_ONLY, ICON_EXCLAMATION);
            return false;
        }
    }
    if (!CheckReleaseFiles()) return false;
    if (!BuildRelayPaths()) return false;
    return true;
}

bool CProcessEngine::CheckReleaseFiles()
{
    const int count = LineCount();
    m_releaseOk.assign(static_cast<size_t>(count), 0);
    bool anySelected = false;
    for (int i = 0; i < count; ++i) {
        CBoardConf& line = m_doc.m_lines[static_cast<size_t>(i)];
        Host().SetBoardText(line.m_strBoardName);
        Host().SetFileNameText(line.ReleaseFileName());
        Host().SetBoardCounter(std::to_string(i + 1) + "/" + std::to_string(count));
        const std::string path = line.ReleaseFilePath();
        const ReleaseRecognition recognition = RecogniseRelease(path);
        line.m_nFileType = recognition.type;
        if (line.m_nFileType >= 0) {
            line.m_bSelected = 1;
            m_releaseOk[static_cast<size_t>(i)] = 1;
            anySelected = true;
            continue;
        }
        const std::string file = line.ReleaseFileName();
        std::string text = line.m_nFileType == -2
                               ? FormatString(6, {file}) + GetString(163) + "\r\n"
                               : FormatString(10, {file});
        text += FormatString(47, {line.m_strBoardName});
        // What the file looks like goes to the log before the message.
        if (!recognition.refusal.empty())
            App().WriteLogNote(std::string(1, '"') + path + "\": " + recognition.refusal + "\r\n");
        App().WriteLogNote(text);
        if (count == 1) {
            ShowMessage(text, 28, MB_OK_ONLY, ICON_EXCLAMATION);
            return false;
        }
        const MsgAnswer answer = ShowMessage(text + GetString(23), 28, MB_YES_NO, ICON_QUESTION);
        line.m_bSelected = 0;
        line.m_nResult = RESULT_NOT_UPDATED;
        if (answer != ANSWER_YES) return false;
    }
    ShowNoBoard();
    return anySelected;
}

bool CProcessEngine::BuildRelayPaths()
{
    return m_doc.BuildRelayPaths();
}

void CProcessEngine::ResetLinesForTransfer(const std::vector<int>& keptSelected)
{
    for (size_t i = 0; i < m_doc.m_lines.size(); ++i) {
        CBoardConf& line = m_doc.m_lines[i];
        line.ResetForTransfer();
        line.m_bSelected = i < keptSelected.size() ? keptSelected[i] : 0;
    }
}

namespace {

// The rule of the rescue mode that the first line breaks; empty when it
// keeps both.
std::string RescueRuleBroken(const CBoardConf& first, const CBoardDef* def)
{
    if (!first.m_bBoardAlone)
        return "Rule: the rescue mode catches the loader of the board cabled to the PC, so the first line of "
               "the request must be that board (\"Board alone\" set); \"" + first.m_strBoardName +
               "\" is reached through another board.";
    if (def == nullptr || !def->HasRescueLoader())
        return "Rule: only a board whose Subassy ID begins with \"U\" has a rescue loader; \"" +
               first.m_strBoardName + "\" has Subassy ID \"" + (def != nullptr ? def->m_strSubassyId : std::string()) +
               "\".";
    return {};
}

}  // namespace

std::string ReceiverLeft::Text() const
{
    if (Empty()) return {};
    return "the receiver: " + state + (next.empty() ? std::string() : "; next: " + next);
}

namespace {

std::string NameList(const std::vector<std::string>& names)
{
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return list;
}

std::string PathRestoreText(bool changed, bool restored)
{
    if (!changed) return "no relay joined and no rate changed";
    return restored ? "relays left and rates restored"
                    : "the line failed while it was put back: relays may still be joined and rates raised";
}

}  // namespace

// The board the transfer ended on: what its flash holds depends on how far
// its load went.
std::string CProcessEngine::FailedBoardState(const CBoardConf& line) const
{
    const std::string flash = m_bChecksumOk ? "took its new release (checksum good) but did not come back as expected"
                              : m_bEraseSent ? "holds no complete software (erased, its load did not end)"
                                             : "keeps its previous software (nothing erased)";
    if (m_bCabledInTransferMode) return "board " + line.m_strBoardName + " (cabled) stays in transfer mode and " + flash;
    return "board " + line.m_strBoardName + " " + flash + (m_bTargetLeftInMode ? " and may still be in transfer mode" : "");
}

// What a transfer that did not load every board leaves the receiver as, and
// the next step.
::ReceiverLeft CProcessEngine::DescribeReceiverLeft() const
{
    ::ReceiverLeft left;
    std::vector<std::string> parts{PathRestoreText(m_nPathRestore != PATH_UNCHANGED, m_nPathRestore == PATH_RESTORED)};
    std::vector<std::string> loaded;
    std::vector<std::string> notReached;   // selected lines after the failed one
    std::vector<std::string> leftOut;      // lines the transfer left out (release refused, board not found)
    for (int i = 0; i < LineCount(); ++i) {
        const CBoardConf& line = m_doc.m_lines[static_cast<size_t>(i)];
        if (line.m_bSelected && line.m_nResult == RESULT_OK) {
            loaded.push_back(line.m_strBoardName);
            continue;
        }
        left.toLoad.push_back(line.m_strBoardName);
        if (!line.m_bSelected)
            leftOut.push_back(line.m_strBoardName);
        else if (i == m_nBoard)
            parts.push_back(FailedBoardState(line));
        else if (i > m_nBoard)
            notReached.push_back(line.m_strBoardName);
        else
            parts.push_back("board " + line.m_strBoardName + ": " +
                            GetOneLineString(ResultTextId(line.m_nResult, true)));
    }
    if (left.toLoad.empty()) return left;
    if (!loaded.empty()) parts.insert(parts.begin() + 1, NameList(loaded) + " loaded");
    const auto keep = [](const std::vector<std::string>& names) {
        return NameList(names) + (names.size() == 1 ? " keeps its" : " keep their") + " previous software";
    };
    if (!notReached.empty()) parts.push_back(keep(notReached) + " (not reached)");
    if (!leftOut.empty()) parts.push_back(keep(leftOut) + " (left out)");
    const bool onCurrent = m_nBoard >= 0 && m_nBoard < LineCount();
    if (onCurrent && (m_bCabledInTransferMode || m_bTargetLeftInMode))
        left.transferMode.push_back(CurrentLine().m_strBoardName);
    const CBoardDef* def = onCurrent ? CurrentDef() : nullptr;
    if (def != nullptr && BoardAlone() && m_bEraseSent && !m_bChecksumOk && def->HasRescueLoader())
        left.rescueBoard = CurrentLine().m_strBoardName;
    left.powerCycle = m_nPathRestore == PATH_NOT_RESTORED || !left.transferMode.empty();
    for (size_t i = 0; i < parts.size(); ++i) left.state += (i == 0 ? "" : "; ") + parts[i];
    left.next = (left.powerCycle ? "switch the receiver off and on, then query it and load " : "load ") +
                NameList(left.toLoad) + " again" +
                (left.rescueBoard.empty() ? std::string()
                                          : "; if " + left.rescueBoard + " no longer starts, load it in rescue mode");
    return left;
}

bool CProcessEngine::CheckRescueBoard()
{
    const CBoardConf& first = m_doc.m_lines.front();
    m_strStartRefusal = RescueRuleBroken(first, TargetDef(first));
    if (m_strStartRefusal.empty()) return true;
    const std::string text = FormatString(144, {first.m_strBoardName}) + "\r\n" + m_strStartRefusal;
    App().WriteLogNote(text + "\r\n");
    ShowMessage(text, 94, MB_OK_ONLY, ICON_EXCLAMATION);
    return false;
}

int CProcessEngine::ConvertReleaseFiles()
{
    std::vector<int> kept(m_releaseOk.begin(), m_releaseOk.end());
    ResetLinesForTransfer(kept);
    CViewProgress progress;
    int result = CONVERT_OK;
    for (CBoardConf& line : m_doc.m_lines) {
        // A file whose format turns out unknown only leaves its own line out:
        // the transfer goes on with the others, so they are converted too.
        if (result != CONVERT_OK && result != CONVERT_BAD_FORMAT) break;
        if (!line.m_bSelected) continue;
        Host().SetBoardText(line.m_strBoardName);
        Host().SetFileNameText(line.ReleaseFileName());
        const std::string shared = SharedVleText(line.ReleaseFilePath(), ReleasesSharingVle(line.ReleaseFilePath()));
        if (!shared.empty()) App().WriteLogNote(shared);
        result = ConvertLineRelease(line, progress);
        if (result != CONVERT_OK) line.m_bSelected = 0;
    }
    ShowNoBoard();
    Host().SetOverallProgress(0, 100);
    return result;
}

int CProcessEngine::ConvertLineRelease(CBoardConf& line, CProgressIndicator& progress)
{
    std::unique_ptr<CFileBase> reader = CreateReader(line.m_nFileType);
    if (!reader) return CONVERT_BAD_FORMAT;
    const std::string path = line.ReleaseFilePath();
    reader->SetSource(path, &progress);
    const int result = reader->OpenRelease() ? reader->ConvertToVle() : CONVERT_READ_ERROR;
    reader->Close();
    if (result == CONVERT_OK) line.m_strVleFile = VlePathFor(path);
    return result;
}

// A .vle file that another release file beside this one also makes may hold
// the other's data by now (another line of the request converted it last):
// it is made again from this line's release just before it is sent.
int CProcessEngine::RefreshSharedVle(CBoardConf& line)
{
    if (ReleasesSharingVle(line.ReleaseFilePath()).empty()) return CONVERT_OK;
    CViewProgress progress;
    const int result = ConvertLineRelease(line, progress);
    Host().SetOverallProgress(0, 100);
    return result;
}

int CProcessEngine::EndMessageOfConversion(int result) const
{
    for (const ConversionEnd& row : kConversionEnds)
        if (row.result == result) return row.messageId;
    return 46;
}

// --- the data ----------------------------------------------------------------------------

void CProcessEngine::Step25StartData()
{
    CBoardConf& line = CurrentLine();
    const CBoardDef* def = CurrentDef();
    App().WriteLogNote("Envoi du fichier " + App().m_strLastSflPath + line.m_strReleaseFile + "\r\n");
    App().WriteLogNote("                (" + line.m_strVleFile + ")\r\n");
    line.m_nResult = RESULT_UNKNOWN;
    m_nResends = 0;
    m_nResendAddress = -1;
    m_nResendBlock = -1;
    ResetBoardFigures(m_pReleaseFile ? m_pReleaseFile->TotalBytes() : 0);
    ReportPhase(PHASE_DATA);
    m_link.SetWriteTimeout(App().m_nSBinWriteTimeoutMs);
    App().WriteLogNote(RemainingTimeText(0) + "\r\n");
    Host().SetBlockCounter(CounterText(135, 0));
    Host().SetRetryCounter(CounterText(134, 0));
    Host().ShowBlockCounters(true);

    DataRecord opening;
    const uint8_t zeros[6] = {};
    if (def == nullptr || !opening.SetDestination(def->m_nDestination) || !opening.SetKind(def->m_nProcessing) ||
        !opening.Build(RECORD_FIRST, zeros, sizeof zeros, RECORD_FIRST_VALUE)) {
        EndProcess(17, true);
        return;
    }
    Host().SetOverallProgress(0, 100);
    Host().PlayAnimation(true);
    if (!SendRecord(opening, false)) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    ProcessStep(EV_STEP, 26);
}

void CProcessEngine::Step26BlockLoop()
{
    const int result = RunBlockLoop();
    switch (result) {
    case LOOP_DONE:
        App().WriteLogNote("Fin du fichier.\r\n");
        Host().SetProgressItem(PROGRESS_OVERALL, 0);
        Host().SetProgressItem(PROGRESS_PROGRAM, 100);
        // The checksum line may come back before the notification runs:
        // the reply is emptied now, not when step 27 starts waiting.
        m_receiver.ClearText();
        m_strReply.clear();
        m_nReplyFlag = 0;
        PostStep(NOTIFY_STEP_27, 27);
        return;
    case LOOP_USER_ABORT:
        SetActivity(true);
        ProcessStep(EV_STEP, 33);
        return;
    case LOOP_WRITE_FAILED:
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    default:
        break;
    }
    for (const LoopEnd& row : kLoopEnds)
        if (row.result == result) {
            EndProcess(row.messageId, true);
            return;
        }
    EndProcess(46, true);
}

int CProcessEngine::RunBlockLoop()
{
    const CBoardDef* def = CurrentDef();
    const int kind = DefaultKind();
    CVleFile* reader = m_pReleaseFile.get();
    if (reader == nullptr || def == nullptr) return LOOP_READ_ERROR;
    const long blocks = static_cast<long>(reader->RecordCount());
    int consecutive = 0;
    int result = 1;
    reader->Rewind();
    uint8_t block[VLE_BLOCK_SIZE] = {};
    while (m_nStep == 26) {
        TakeResendRequest();
        const bool resend = m_nResendBlock >= 0;
        if (!resend) {
            consecutive = 0;
        } else {
            ++consecutive;
            ++m_nResends;
            Host().SetRetryCounter(CounterText(134, m_nResends));
            char text[96];
            std::snprintf(text, sizeof text, "Ré-envoi demandé adresse %08lXh, bloc %ld\r\n",
                          static_cast<unsigned long>(m_nResendAddress), m_nResendBlock);
            App().WriteLogNote(text);
        }
        if (consecutive >= MAX_CONSECUTIVE_RESENDS) {
            // The board never got the block it asked for, nor what follows it.
            ForgetBlocksFrom(m_nResendBlock);
            result = LOOP_TOO_MANY_RESENDS;
        } else {
            const int n = resend ? reader->GetBlock(block, m_nResendAddress, m_nResendBlock)
                                 : reader->GetBlock(block, -1, -1);
            if (n < 1) {
                Host().SetBlockCounter(CounterText(135, reader->m_nRecord));
                result = n;
                // A resend asked for at the end of the data is still served:
                // the end of the data is not the end of the loop.
                if (n == 0 && LateResendAsked()) {
                    result = 1;
                    continue;
                }
                m_nResendAddress = -1;
                m_nResendBlock = -1;
            } else {
                DataRecord record;
                const long number = reader->m_nRecord;
                if (resend) ForgetBlocksFrom(number);
                CountBlockSent(number, n);
                const bool blink = number % BLINK_EVERY_BLOCKS == 0;
                if (!record.SetDestination(def->m_nDestination) || !record.SetKind(resend ? KIND_RESEND : kind) ||
                    !record.Build(RECORD_DATA, block, static_cast<size_t>(n) + 6,
                                  static_cast<uint32_t>(number) & RECORD_BLOCK_MASK)) {
                    result = LOOP_READ_ERROR;
                } else if (!SendRecord(record, blink)) {
                    result = LOOP_WRITE_FAILED;
                }
                Host().SetOverallProgress(number, blocks > 0 ? blocks : 1);
                if (blink) {
                    Host().SetBlockCounter(CounterText(135, number));
                    Host().SetRemainingTime(RemainingTimeText(m_nReleaseBytesSent));
                }
                Host().SetTransferProgress(number, blocks, m_nResends, RemainingTimeText(m_nReleaseBytesSent));
                ReportPhase(PHASE_DATA);
                m_nResendAddress = -1;
                m_nResendBlock = -1;
            }
        }
        if (App().PumpMessages() == 1 || StopRequested()) AskAbort();
        if (m_bAbort || result <= 0) break;
    }
    // The process was ended from inside the loop (the link failed).
    if (m_nStep != 26) return LOOP_WRITE_FAILED;
    return AfterBlockLoop(result, kind);
}

bool CProcessEngine::TakeResendRequest()
{
    DataRecord received;
    if (!m_receiver.TakeReceivedRecord(received) || received.Type() != RECORD_RESEND) return false;
    m_nResendAddress = static_cast<long>(received.Address());
    m_nResendBlock = static_cast<long>(received.Value());
    return true;
}

bool CProcessEngine::LateResendAsked()
{
    using namespace std::chrono;
    const size_t held = static_cast<size_t>(m_link.OutputQueued()) + END_OF_DATA_ADAPTER_BYTES;
    const auto until = std::max(m_lineFreeAt, steady_clock::now()) + WireTime(held) +
                       milliseconds(END_OF_DATA_RESEND_WINDOW_MS);
    while (m_nStep == 26 && !m_bAbort) {
        if (TakeResendRequest()) return true;
        if (Host().AbortKeyPressed() || StopRequested()) {
            AskAbort();
            continue;
        }
        const auto left = duration_cast<milliseconds>(until - steady_clock::now()).count();
        if (left <= 0) {
            // A request the link has already announced still counts.
            QCoreApplication::processEvents();
            return TakeResendRequest();
        }
        PumpOnceFor(static_cast<int>(left));
    }
    return false;
}

int CProcessEngine::AfterBlockLoop(int result, int kind)
{
    CBoardConf& line = CurrentLine();
    const long current = m_pReleaseFile ? m_pReleaseFile->m_nRecord : 0;
    // Where the data ended: what the board holds once its last request is counted.
    ReportPhase(PHASE_DATA);
    if (m_bAbort || result < 0) {
        // Only the user's abort is reported as one; the rest is a failure.
        line.m_nResult = m_bAbort ? RESULT_ABORTED : RESULT_FAILED;
        App().WriteLogNote("Envoi du bloc d'abort\r\n");
        SendFinalRecord(KIND_ABORT, current + 1);
        if (m_bAbort) result = LOOP_USER_ABORT;
    }
    if (result == 0 && !SendFinalRecord(kind, current + 1)) {
        // The closing record did not reach the board: the load is incomplete.
        result = LOOP_WRITE_FAILED;
        line.m_nResult = RESULT_FAILED;
    }
    if (result == LOOP_TOO_MANY_RESENDS) {
        Host().SetBlockCounter(CounterText(135, current));
        Host().SetRetryCounter(CounterText(134, m_nResends));
    } else {
        Host().ShowBlockCounters(false);
    }
    m_pReleaseFile.reset();
    Host().PlayAnimation(false);
    App().WriteLogNote(CounterText(135, current) + "\r\n");
    char text[80];
    std::snprintf(text, sizeof text, "Nombre de renvoi(s) demandé(s) : %ld\r\n", m_nResends);
    App().WriteLogNote(text);
    if (static_cast<size_t>(m_nBoard) < m_boardStats.size()) {
        m_boardStats[static_cast<size_t>(m_nBoard)].resends = m_nResends;
        m_boardStats[static_cast<size_t>(m_nBoard)].bytes = m_nReleaseBytesSent;
    }
    m_link.SetWriteTimeout(App().m_nWriteTimeoutMs);
    return result;
}

void CProcessEngine::Step27Checksum()
{
    ReportPhase(PHASE_CHECKSUM);
    // A checksum line that came in before this step ran has already been
    // matched: it is used as it stands.
    int wait = m_nReplyFlag == 1 ? WAIT_REPLY : m_nReplyFlag == -1 ? WAIT_NEGATIVE : 0;
    if (wait == 0) wait = WaitForEvent(76, App().m_nChecksumTimeoutMs);
    switch (wait) {
    case WAIT_REPLY:
        if (!CheckChecksumMessage(m_strReply)) {
            EndProcess(22, false);
            return;
        }
        Host().SetProgressItem(PROGRESS_PROGRAM, 100);
        m_bChecksumOk = true;
        m_bCabledInTransferMode = false;
        ProcessStep(EV_STEP, 33);
        return;
    case WAIT_TIMEOUT:
        EndProcess(140, true);
        return;
    case WAIT_CANCEL:
        m_bAbort = true;
        CurrentLine().m_nResult = RESULT_ABORTED;
        ProcessStep(EV_STEP, 33);
        return;
    case WAIT_NO_DIALOG:
        EndProcess(56, true);
        return;
    case WAIT_NEGATIVE:
        EndProcess(141, true);
        return;
    default:
        EndProcess(46, true);
        return;
    }
}

int CProcessEngine::CheckChecksumMessage(const std::string& reply)
{
    const int k = SentenceFieldCount(reply) == 7 ? 5 : 4;
    std::string first;
    std::string second;
    std::string message;
    if (SentenceFieldText(reply, k, first) && SentenceFieldText(reply, k + 1, second)) {
        if (first == second) return 1;
        message = FormatString(142, {first, second});
    } else {
        message = GetString(141);
    }
    SetActivity(false);
    App().WriteLogNote(message);
    ShowMessage(message, 43, MB_OK_ONLY, ICON_STOP);
    return 0;
}

int CProcessEngine::AskAbort()
{
    if (m_nStep <= 20 || m_bAbort || m_bRestoringPath) return 0;
    if (StopRequested()) {
        // Nobody is asked: the program is on its way out.
        App().WriteLogNoteString(44);
        m_bAbort = true;
        return 1;
    }
    if (!AbortConfirmed()) return 0;
    App().WriteLogNoteString(44);
    m_bAbort = true;
    return 1;
}

bool CProcessEngine::AbortConfirmed()
{
    SetActivity(false);
    Host().Beep(BEEP_QUESTION);
    App().WriteLogNote(GetString(49));
    Host().PlayAnimation(false);
    if (Host().MessageBox(GetString(49), GetString(43), MB_YES_NO, ICON_QUESTION) == ANSWER_YES) return true;
    SetActivity(true);
    if (m_nStep == 26) Host().PlayAnimation(true);
    return false;
}

int CProcessEngine::AskStop()
{
    if (IsIdle() && !m_bDocRunning) return 0;
    const bool transfer = m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER;
    if (StopRequested() || (transfer && m_bAbort)) return 1;
    if (!AbortConfirmed()) return 0;
    RequestStop(0);
    return 1;
}
