#pragma once
// Cuts the bytes that reach the receiver into what the boards act on: "$PKVR"
// sentences, stuffed data records (0xFE .. 0xFF), the rescue wake-up DC2 and
// garbage. Every piece is bounded, so nothing on the line can grow it.
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct LineItem {
    enum class Kind { Sentence, Record, WakeUp, Garbage };
    Kind kind = Kind::Garbage;
    std::string bytes;  // the sentence with its CR LF, or the raw stuffed record
};

class LineParser {
public:
    // Longest sentence kept; a longer run without LF is thrown away.
    static constexpr size_t kMaxSentence = 256;
    // Longest stuffed record: 104 bytes, each but the delimiters doubled.
    static constexpr size_t kMaxRawRecord = 2 + 2 * 102;

    // Feeds bytes; complete items are appended to `out`.
    void Feed(const uint8_t* data, size_t size, std::vector<LineItem>& out);
    // Forgets a half-received sentence or record (line dropped, power cycle).
    void Reset();

private:
    enum class State { Idle, Sentence, Record };
    void Emit(LineItem::Kind kind, std::vector<LineItem>& out);
    void FlushGarbage(std::vector<LineItem>& out);

    State m_state = State::Idle;
    std::string m_current;
    std::string m_garbage;
};

// A data record after unstuffing and checking.
struct DecodedRecord {
    char type = 0;
    uint8_t destCode = 0;
    char kind = 0;
    uint32_t value = 0;     // block number
    uint32_t address = 0;
    std::vector<uint8_t> data;
};

// Unstuffs and checks a raw record (framing, transparency, size, length,
// checksum, type, kind, the fixed fields of 'L' and 'F'). On failure returns
// false with a short reason.
bool DecodeRecord(const std::string& raw, DecodedRecord& record, std::string& reason);

}  // namespace sim
