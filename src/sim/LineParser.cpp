#include "sim/LineParser.h"

#include "link/DataRecord.h"

#include <cstring>

namespace sim {
namespace {

constexpr uint8_t kStart = 0xFE;
constexpr uint8_t kEnd = 0xFF;
constexpr uint8_t kWakeUp = 0x12;
constexpr size_t kMinRecord = 17;
constexpr size_t kMaxRecord = 104;
constexpr size_t kMaxGarbage = 4096;
constexpr char kKindCodes[] = "RSBNCA";

uint32_t BigEndian(const std::string& s, size_t offset, size_t n)
{
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = (v << 8) | static_cast<uint8_t>(s[offset + i]);
    return v;
}

}  // namespace

void LineParser::Reset()
{
    m_state = State::Idle;
    m_current.clear();
    m_garbage.clear();
}

void LineParser::Emit(LineItem::Kind kind, std::vector<LineItem>& out)
{
    out.push_back({kind, std::move(m_current)});
    m_current.clear();
    m_state = State::Idle;
}

void LineParser::FlushGarbage(std::vector<LineItem>& out)
{
    if (!m_garbage.empty()) {
        out.push_back({LineItem::Kind::Garbage, std::move(m_garbage)});
        m_garbage.clear();
    }
}

void LineParser::Feed(const uint8_t* data, size_t size, std::vector<LineItem>& out)
{
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        switch (m_state) {
        case State::Idle:
            if (b == '$' || b == kStart) {
                FlushGarbage(out);
                m_current.assign(1, static_cast<char>(b));
                m_state = b == '$' ? State::Sentence : State::Record;
            } else if (b == kWakeUp) {
                FlushGarbage(out);
                out.push_back({LineItem::Kind::WakeUp, std::string(1, static_cast<char>(b))});
            } else if (m_garbage.size() < kMaxGarbage) {
                m_garbage.push_back(static_cast<char>(b));
            }
            break;
        case State::Sentence:
            if (b == '$' || b == kStart || b == kWakeUp) {
                // An unfinished sentence is abandoned; the new item starts here.
                m_garbage = std::move(m_current);
                m_current.clear();
                m_state = State::Idle;
                --i;
            } else {
                m_current.push_back(static_cast<char>(b));
                if (b == '\n')
                    Emit(LineItem::Kind::Sentence, out);
                else if (m_current.size() >= kMaxSentence) {
                    m_garbage = std::move(m_current);
                    m_current.clear();
                    m_state = State::Idle;
                    FlushGarbage(out);
                }
            }
            break;
        case State::Record:
            if (b == kStart) {
                // A new start byte cuts the record short: it is garbage.
                m_garbage = std::move(m_current);
                m_current.assign(1, static_cast<char>(b));
                FlushGarbage(out);
            } else {
                m_current.push_back(static_cast<char>(b));
                if (b == kEnd)
                    Emit(LineItem::Kind::Record, out);
                else if (m_current.size() >= kMaxRawRecord) {
                    m_garbage = std::move(m_current);
                    m_current.clear();
                    m_state = State::Idle;
                    FlushGarbage(out);
                }
            }
            break;
        }
    }
    FlushGarbage(out);
}

bool DecodeRecord(const std::string& raw, DecodedRecord& record, std::string& reason)
{
    if (raw.size() < 2 || static_cast<uint8_t>(raw.front()) != kStart
        || static_cast<uint8_t>(raw.back()) != kEnd) {
        reason = "bad framing";
        return false;
    }
    std::string r;
    if (!DataRecord::Unstuff(raw, r)) {
        reason = "bad escape sequence";
        return false;
    }
    if (r.size() < kMinRecord || r.size() > kMaxRecord) {
        reason = "record of " + std::to_string(r.size()) + " bytes";
        return false;
    }
    if (r[1] != 'X') {
        reason = "second byte is not 'X'";
        return false;
    }
    size_t length = BigEndian(r, 2, 2);
    if (length + 4 != r.size()) {
        reason = "length field " + std::to_string(length) + " for " + std::to_string(r.size()) + " bytes";
        return false;
    }
    unsigned sum = 0;
    for (size_t i = 1; i <= length; ++i)
        sum += static_cast<uint8_t>(r[i]);
    if ((sum & 0xFFFF) != BigEndian(r, length + 1, 2)) {
        reason = "checksum";
        return false;
    }
    DataRecord decoded;
    if (!decoded.Decode(r)) {
        reason = "undecodable";
        return false;
    }
    record.type = decoded.Type();
    record.destCode = decoded.DestinationCode();
    record.kind = decoded.Kind();
    record.value = decoded.Value();
    record.address = decoded.Address();
    record.data = decoded.Data();
    if (record.kind == '\0' || !std::strchr(kKindCodes, record.kind)) {
        reason = "kind code";
        return false;
    }
    switch (record.type) {
    case 'L':
    case 'F':
        if (!record.data.empty() || record.address != 0) {
            reason = std::string("'") + record.type + "' record carries data";
            return false;
        }
        if (record.type == 'L' && record.value != 0xFFFFFF) {
            reason = "'L' record block value is not FFFFFF";
            return false;
        }
        return true;
    case 'D':
        if (record.data.empty()) {
            reason = "'D' record without data";
            return false;
        }
        if (record.kind == 'A') {
            reason = "'D' record of kind 'A'";
            return false;
        }
        return true;
    default:
        reason = "record type";
        return false;
    }
}

}  // namespace sim
