#pragma once
// The receive path: bytes read from the port are appended to the receive
// buffer (m_strRxText), then ParseReceived cuts them into "$PKVR" sentences,
// handed to the sentence handler, and binary data records, kept in a queue of
// at most 20 that the block loop takes from. The engine owns one; the
// simulator uses one for the board side.
#include <cstddef>
#include <deque>
#include <functional>
#include <string>

#include "link/DataRecord.h"

class CReceiveParser {
public:
    // A sentence without LF is dropped once the buffer holds this many
    // bytes (a record start waits for at most one record's length).
    static constexpr size_t kOverflowBytes = 32765;
    // Largest read of one notification.
    static constexpr size_t kMaxReadBytes = 32766;
    // Records kept until the block loop takes them.
    static constexpr size_t kMaxQueuedRecords = 20;

    // Receives every complete sentence, CR LF included.
    std::function<void(const std::string&)> onSentence;
    // Writes a received sentence to the log (before onSentence).
    std::function<void(const std::string&)> logSentence;
    // True while records are wanted (the engine's block-loop step).
    std::function<bool()> acceptsRecords;

    // Appends read bytes to the receive buffer.
    void Append(const char* bytes, size_t count) { m_strRxText.append(bytes, count); }
    void Append(const std::string& bytes) { m_strRxText += bytes; }

    // Consumes the buffer; 1 when an overflowing buffer was emptied, else 0.
    int ParseReceived();

    // Queues one raw (unstuffed) record when wanted, keeping the newest 20.
    void QueueRecord(const std::string& raw);
    // First queued record that decodes; false when none is left.
    bool TakeReceivedRecord(DataRecord& record);

    void ClearText()
    {
        m_strRxText.clear();
        m_nHead = 0;
    }
    void ClearQueue() { m_records.clear(); }
    const std::string& RxText() const { return m_strRxText; }
    size_t QueuedRecords() const { return m_records.size(); }

private:
    enum class Step { Again, Wait };
    Step ParseSentence();
    Step ParseRecord();
    Step DropRecordStart();
    void DropGarbage();
    void Dispatch(const std::string& sentence);
    // Bytes from m_nHead on are still to be parsed.
    size_t Left() const { return m_strRxText.size() - m_nHead; }
    void Consume();
    void Overflow();

    std::string m_strRxText;
    // Bytes before m_nHead are parsed but not yet erased: one pass erases
    // once, so hostile input cannot make it quadratic. Always 0 between passes.
    size_t m_nHead = 0;
    std::deque<std::string> m_records;
    int m_nOverflowed = 0;
};
