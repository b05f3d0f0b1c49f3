#include "release/RecordPacker.h"

#include <algorithm>

#include "release/VleFile.h"

namespace {

constexpr uint64_t kAddressSpace = uint64_t(1) << 32;

// End of the window of `length` bytes that holds `address`.
uint64_t WindowEnd(uint64_t address, int length)
{
    const auto span = static_cast<uint64_t>(length);
    return std::min((address / span + 1) * span, kAddressSpace);
}

}  // namespace

CRecordPacker::CRecordPacker(int recordLength, Sink sink)
    : m_nLength(std::clamp(recordLength, 1, VLE_MAX_DATA)), m_sink(std::move(sink))
{
    m_pending.reserve(static_cast<size_t>(m_nLength));
}

bool CRecordPacker::Add(uint32_t address, const uint8_t* data, int count)
{
    for (int done = 0; done < count;) {
        const uint64_t at = static_cast<uint32_t>(address + static_cast<uint32_t>(done));
        if (!m_pending.empty() && at != PendingEnd() && !Flush())
            return false;
        if (m_pending.empty())
            m_nStart = at;
        const uint64_t limit = WindowEnd(m_nStart, m_nLength);
        const int take = static_cast<int>(std::min<uint64_t>(limit - PendingEnd(), uint64_t(count - done)));
        m_pending.insert(m_pending.end(), data + done, data + done + take);
        done += take;
        if (PendingEnd() == limit && !Flush())
            return false;
    }
    return true;
}

bool CRecordPacker::Flush()
{
    if (m_pending.empty())
        return true;
    const bool written = m_sink(static_cast<uint32_t>(m_nStart), static_cast<int>(m_pending.size()), m_pending.data());
    m_pending.clear();
    return written;
}

bool VleRecordsPacked(CVleFile& vle, int recordLength)
{
    if (recordLength < 1 || !vle.Rewind())
        return false;
    uint8_t block[VLE_BLOCK_SIZE];
    uint64_t previousEnd = 0;
    bool first = true;
    for (;;) {
        const int n = vle.GetBlock(block, -1, -1);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        const uint64_t address = uint64_t(block[0]) << 24 | uint64_t(block[1]) << 16 | uint64_t(block[2]) << 8 | block[3];
        const uint64_t end = address + static_cast<uint64_t>(n);
        if (n > recordLength || end > WindowEnd(address, recordLength))
            return false;
        if (!first && address == previousEnd && previousEnd % static_cast<uint64_t>(recordLength) != 0)
            return false;   // packing would have joined the two
        previousEnd = end;
        first = false;
    }
}
