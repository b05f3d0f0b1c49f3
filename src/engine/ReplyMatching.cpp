// Matching of received lines to the current step (OnReplyLine).
#include <cstdio>

#include "engine/IdentMatch.h"
#include "engine/ProcessEngine.h"
#include "engine/SentenceFields.h"
#include "model/UpdateDoc.h"

namespace {

constexpr const char* kIdentPrefix = "$PKVR,IDENT";
constexpr size_t kMinIdentLine = 18;
constexpr const char* kHardrsPrefix = "$PKVR,HARDRS";
constexpr size_t kMinHardrsReply = 19;
constexpr size_t kHardrsCharPos = 13;
constexpr const char* kChecksumPrefix = "$PKVR,XSOFT,C,";

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The line from the first occurrence of `part`, or "" when it does not occur.
std::string CutAt(const std::string& line, const std::string& part)
{
    size_t at = part.empty() ? std::string::npos : line.find(part);
    return at == std::string::npos ? std::string() : line.substr(at);
}

bool FieldIsLetter(const std::string& sentence, int n, char letter)
{
    std::string text;
    return SentenceFieldText(sentence, n, text) && text.size() == 1 && text[0] == letter;
}

}  // namespace

void CProcessEngine::OnReplyLine(const std::string& line)
{
    switch (m_nStep) {
    case 7:
        if (!StartsWith(line, kIdentPrefix)) return;
        m_replyTimer.stop();
        NoteAnswered();
        m_strReply = line;
        m_nReplyFlag = 1;
        return;

    case 8: case 11: case 29: case 32: {
        if (!StartsWith(line, kIdentPrefix) || line.size() < kMinIdentLine) return;
        m_strReply += line;
        long total = 0;
        if (!SentenceFieldInt(line, 2, total)) return;
        if (!IdentReplyComplete(m_strReply, total)) return;
        m_replyTimer.stop();
        NoteAnswered();
        if (m_nStep == 8) {
            if (m_strReply.find("UCRQ") != std::string::npos) m_nReplyFlag = 1;
        } else if (m_nStep == 29) {
            m_nReplyFlag = 1;
        } else {
            const bool transfer = m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER;
            if (m_nStep == 11 && transfer && m_nBoard >= 0 &&
                m_nBoard < static_cast<int>(m_doc.m_lines.size()))
                CurrentLine().m_nIdentLines = static_cast<int>(total);
            ProcessStep(EV_STEP, m_nStep);
        }
        return;
    }

    case 14: {
        const std::string cut = CutAt(line, m_strExpected);
        if (cut.empty()) return;
        m_replyTimer.stop();
        NoteAnswered();
        if (FieldIsLetter(cut, 4, HopLetter()))
            ProcessStep(EV_STEP, 14);
        else
            EndProcess(87, true);
        return;
    }

    case 16:
        if (CutAt(line, m_strExpected).empty()) return;
        m_replyTimer.stop();
        NoteAnswered();
        ProcessStep(EV_STEP, 20);
        return;

    case 19: {
        const std::string cut = CutAt(line, kHardrsPrefix);
        if (cut.empty()) return;
        m_strReply += cut;
        if (m_strReply.size() < kMinHardrsReply) return;
        const char c = m_strReply[kHardrsCharPos];
        char complete[32];
        std::snprintf(complete, sizeof complete, "$PKVR,HARDRS,%c,%c", c, c);
        if (m_strReply.find(complete) == std::string::npos) return;
        m_replyTimer.stop();
        NoteAnswered();
        ProcessStep(EV_STEP, 19);
        return;
    }

    case 22: {
        const std::string cut = CutAt(line, m_strExpected);
        if (cut.empty()) return;
        m_replyTimer.stop();
        NoteAnswered();
        std::string field3;
        const bool positive = SentenceFieldText(cut, 3, field3) && field3.find('-') == std::string::npos;
        m_nReplyFlag = positive ? 1 : -1;
        return;
    }

    case 24:
        if (!CutAt(line, m_strExpected).empty()) {
            m_replyTimer.stop();
            NoteAnswered();
            ProcessStep(EV_STEP, 25);
        } else {
            ProcessStep(EV_COMM_ERROR, 14);
        }
        return;

    case 27: {
        const std::string cut = CutAt(line, kChecksumPrefix);
        if (cut.empty()) return;
        // A checksum line of another program identifier is not ours: it is
        // left out of the reply, so the check reads the line that counts.
        const int count = SentenceFieldCount(cut);
        long progId = 0;
        if (count < 6 || !SentenceFieldInt(cut, count == 7 ? 4 : 3, progId)) {
            m_strReply += cut;
            m_nReplyFlag = -1;
            return;
        }
        const CBoardDef* def = CurrentDef();
        if (def == nullptr || progId != def->m_nProgId) return;
        NoteAnswered();
        m_strReply += cut;
        m_nReplyFlag = 1;
        return;
    }

    case 34: {
        const std::string cut = CutAt(line, m_strExpected);
        if (cut.empty()) return;
        m_replyTimer.stop();
        NoteAnswered();
        if (!FieldIsLetter(cut, 4, DestLetter()))
            EndProcess(88, true);
        else if (m_bChecksumOk)
            ProcessStep(EV_STEP, 30);
        else
            EndProcess(22, true);
        return;
    }

    default:
        return;   // no line is awaited in this step
    }
}
