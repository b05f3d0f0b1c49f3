#pragma once
// Packing of release records ("Pack release records"): the data of
// consecutive blocks is joined into .vle records of up to the record length
// of the file's kind, the records that an S-record file with lines of that
// length would hold. A record never spans a gap in the addresses nor a
// multiple of the record length, and never holds more than the length.
#include <cstdint>
#include <functional>
#include <vector>

class CVleFile;

class CRecordPacker {
public:
    // Takes one finished record; false stops the packing (a write error).
    using Sink = std::function<bool(uint32_t address, int len, const uint8_t* data)>;

    // `recordLength` is kept within 1 .. the longest record a reader accepts.
    CRecordPacker(int recordLength, Sink sink);

    // Adds `count` bytes that begin at `address` (after the last address,
    // 0xFFFFFFFF, the data goes on at 0, as unpacked records do).
    bool Add(uint32_t address, const uint8_t* data, int count);
    // Hands on the record being filled; called once the data has ended.
    bool Flush();
    int RecordLength() const { return m_nLength; }

private:
    uint64_t PendingEnd() const { return m_nStart + m_pending.size(); }

    int m_nLength;
    Sink m_sink;
    uint64_t m_nStart = 0;           // address of the record being filled
    std::vector<uint8_t> m_pending;  // its data so far
};

// True when the records of an open .vle file are the ones packing at
// `recordLength` gives: none longer than the length or across one of its
// multiples, and no two that follow each other without a gap unless the
// first ends at such a multiple. False on a read error.
bool VleRecordsPacked(CVleFile& vle, int recordLength);
