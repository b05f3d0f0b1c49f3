#include "link/ReceiveParser.h"

#include <cstdint>

namespace {

constexpr char kSentencePrefix[] = "$PKVR";
constexpr size_t kMinRecordScan = 7;   // a candidate shorter than this is no record

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
    m_nLfAt = std::string::npos;
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
    m_nLfAt = std::string::npos;
}

void CReceiveParser::Overflow()
{
    m_strRxText.clear();
    m_nHead = 0;
    m_nLfAt = std::string::npos;
    m_nOverflowed = 1;
}

size_t CReceiveParser::FirstLf()
{
    // No LF lies between m_nHead and a cached LF found from an earlier head.
    if (m_nLfAt == std::string::npos || m_nLfAt < m_nHead)
        m_nLfAt = m_strRxText.find('\n', m_nHead);
    return m_nLfAt;
}

CReceiveParser::Step CReceiveParser::ParseSentence()
{
    size_t lf = FirstLf();
    if (lf == std::string::npos) {
        if (Left() >= kOverflowBytes)
            Overflow();
        return Step::Wait;
    }
    if (m_strRxText.compare(m_nHead, sizeof kSentencePrefix - 1, kSentencePrefix) != 0) {
        ++m_nHead;   // a foreign '$' line: rescan after its '$'
        return Step::Again;
    }
    std::string sentence = m_strRxText.substr(m_nHead, lf + 1 - m_nHead);
    m_nHead = lf + 1;
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

CReceiveParser::Step CReceiveParser::ParseRecord()
{
    const std::string_view rest = std::string_view(m_strRxText).substr(m_nHead);
    bool firstEndSeen = false;
    size_t from = 1;
    for (;;) {
        size_t end = rest.find(static_cast<char>(RECORD_END), from);
        if (end == std::string::npos) {
            // A start byte that never meets an end byte must not grow the
            // buffer without limit.
            if (rest.size() >= kOverflowBytes)
                Overflow();
            return Step::Wait;
        }
        if (firstEndSeen) {
            // A start byte never appears inside a stuffed record: one before
            // the next end byte opens the next record, which must not be
            // swallowed with this broken one.
            size_t nextStart = rest.find(static_cast<char>(RECORD_START), from);
            if (nextStart < end) {
                m_nHead += nextStart;
                return Step::Again;
            }
        }
        size_t b = end + 1;
        from = b;
        if (b < kMinRecordScan)
            continue;

        uint32_t rawLength = LengthField(rest);
        if (rawLength + 4 == b) {
            std::string record(rest.substr(0, b));
            m_nHead += b;
            QueueRecord(record);
            return Step::Again;
        }
        if (firstEndSeen) {
            if (rawLength + 4 < b) {
                m_nHead += b;
                return Step::Again;
            }
            continue;
        }
        firstEndSeen = true;

        std::string plain;
        if (!DataRecord::Unstuff(rest.substr(0, b), plain) || plain.size() < kMinRecordScan)
            continue;
        uint32_t length = LengthField(plain);
        m_nHead += b;
        if (length + 4 == plain.size())
            QueueRecord(plain);
        return Step::Again;
    }
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
