#include "link/ReceiveParser.h"

#include <cstdint>

namespace {

constexpr char kSentencePrefix[] = "$PKVR";
constexpr size_t kRecordHeaderBytes = 4;   // start byte, 'X' and the length field
// The shortest record has no data (L = 13); the longest the line knows
// carries 87 data bytes (L = 100). A length beyond 255 is noise.
constexpr uint32_t kMinRecordLength = 13;
constexpr uint32_t kMaxRecordLength = 255;

uint32_t LengthField(std::string_view bytes)
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(bytes[2])) << 8) |
           static_cast<uint8_t>(bytes[3]);
}

}  // namespace

int CReceiveParser::ParseReceived()
{
    m_nOverflowed = 0;
    m_nHead = 0;
    while (Left() > 0) {
        uint8_t first = static_cast<uint8_t>(m_strRxText[m_nHead]);
        Step step;
        if (first == '$')
            step = ParseSentence();
        else if (first == RECORD_START)
            step = ParseRecord();
        else {
            DropGarbage();
            step = Step::Again;
        }
        if (step == Step::Wait)
            break;
    }
    Consume();
    return m_nOverflowed;
}

void CReceiveParser::Consume()
{
    m_strRxText.erase(0, m_nHead);
    m_nHead = 0;
}

void CReceiveParser::Overflow()
{
    m_strRxText.clear();
    m_nHead = 0;
    m_nOverflowed = 1;
}

// A sentence ends at its LF. A '$' or a record start before it means the
// sentence was cut short by noise: it is dropped and the parse goes on from
// there, so the sentence behind it is not lost.
CReceiveParser::Step CReceiveParser::ParseSentence()
{
    static const char kEnds[] = {'\n', '$', static_cast<char>(RECORD_START)};
    const size_t end = m_strRxText.find_first_of(std::string_view(kEnds, sizeof kEnds), m_nHead + 1);
    if (end == std::string::npos) {
        if (Left() >= kOverflowBytes)
            Overflow();
        return Step::Wait;
    }
    if (m_strRxText[end] != '\n') {
        m_nHead = end;
        return Step::Again;
    }
    if (m_strRxText.compare(m_nHead, sizeof kSentencePrefix - 1, kSentencePrefix) != 0) {
        ++m_nHead;   // a foreign '$' line: rescan after its '$'
        return Step::Again;
    }
    std::string sentence = m_strRxText.substr(m_nHead, end + 1 - m_nHead);
    m_nHead = end + 1;
    Consume();
    Dispatch(sentence);
    return Step::Again;
}

void CReceiveParser::Dispatch(const std::string& sentence)
{
    // The handlers may empty the buffer or parse again from a nested event
    // loop: the sentence has left the buffer before they run.
    if (logSentence)
        logSentence(sentence);
    if (onSentence)
        onSentence(sentence);
}

// A record is read two ways at once: stuffed (0xFD escapes) and as sent
// without stuffing; its length field says where either form must end. A
// start byte inside it, a header that no record has, or no end byte where
// one must be, marks noise or a record cut short: the start byte is dropped
// and the parse goes on, so a sentence or record behind it is not lost.
CReceiveParser::Step CReceiveParser::ParseRecord()
{
    const std::string_view rest = std::string_view(m_strRxText).substr(m_nHead);
    if (rest.size() >= 2 && static_cast<uint8_t>(rest[1]) != RECORD_TAG)
        return DropRecordStart();
    if (rest.size() < kRecordHeaderBytes)
        return Step::Wait;
    const uint32_t length = LengthField(rest);
    if (length < kMinRecordLength || length > kMaxRecordLength)
        return DropRecordStart();

    const size_t rawEnd = length + 3;   // where the end byte of an unstuffed record lies
    bool stuffedAlive = true;
    size_t unstuffed = 1;               // bytes of the stuffed reading so far, the start byte included
    for (size_t i = 1; i < rest.size(); ++i) {
        const uint8_t byte = static_cast<uint8_t>(rest[i]);
        if (byte == RECORD_START) {
            m_nHead += i;   // the next record starts here: this one was cut short
            return Step::Again;
        }
        if (byte == RECORD_END) {
            if (i == rawEnd) {
                QueueRecord(std::string(rest.substr(0, i + 1)));
                m_nHead += i + 1;
                return Step::Again;
            }
            if (stuffedAlive && unstuffed == rawEnd) {
                std::string plain;
                if (DataRecord::Unstuff(rest.substr(0, i + 1), plain))
                    QueueRecord(plain);
                m_nHead += i + 1;
                return Step::Again;
            }
            stuffedAlive = false;   // an end byte never lies inside a stuffed record
        } else if (byte == RECORD_ESCAPE && stuffedAlive) {
            if (i + 1 == rest.size())
                return Step::Wait;
            if (static_cast<uint8_t>(rest[i + 1]) > 2)
                stuffedAlive = false;
            else
                ++i;
        }
        ++unstuffed;
        if (unstuffed > rawEnd)
            stuffedAlive = false;
        if (!stuffedAlive && i >= rawEnd)
            return DropRecordStart();
    }
    return Step::Wait;
}

CReceiveParser::Step CReceiveParser::DropRecordStart()
{
    ++m_nHead;
    return Step::Again;
}

void CReceiveParser::DropGarbage()
{
    static const char kStarts[] = {'$', static_cast<char>(RECORD_START)};
    size_t next = m_strRxText.find_first_of(std::string_view(kStarts, sizeof kStarts), m_nHead);
    m_nHead = next == std::string::npos ? m_strRxText.size() : next;
}

void CReceiveParser::QueueRecord(const std::string& raw)
{
    if (raw.size() < 2 || static_cast<uint8_t>(raw[1]) != RECORD_TAG)
        return;
    if (!acceptsRecords || !acceptsRecords())
        return;
    m_records.push_back(raw);
    while (m_records.size() > kMaxQueuedRecords)
        m_records.pop_front();
}

bool CReceiveParser::TakeReceivedRecord(DataRecord& record)
{
    while (!m_records.empty()) {
        std::string raw = std::move(m_records.front());
        m_records.pop_front();
        if (record.Decode(raw))
            return true;
    }
    return false;
}
