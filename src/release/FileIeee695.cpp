// IEEE 695 object modules: the header part gives the address width and the
// offset of the data part, whose section, address, load-data and repeat
// records give the addressed bytes.
#include <algorithm>

#include "release/FileBase.h"

namespace {

constexpr uint8_t MODULE_BEGIN = 0xE0;
constexpr uint8_t MODULE_END = 0xE1;
constexpr uint8_t ASSIGN = 0xE2;
constexpr uint8_t SECTION_BEGIN = 0xE5;
constexpr uint8_t ADDRESS_DESCRIPTOR = 0xEC;
constexpr uint8_t LOAD_DATA = 0xED;
constexpr uint8_t REPEAT_DATA = 0xF7;
constexpr uint8_t CURRENT_ADDRESS = 0xD0;   // E2 D0: assign the current address
constexpr uint8_t START_ADDRESS = 0xC7;     // E2 C7: assign the start address
constexpr uint8_t DATA_PART_OFFSET = 0xD7;  // E2 D7 05: offset of the data part
constexpr uint8_t DATA_PART_INDEX = 0x05;
constexpr uint8_t OPEN_BRACKET = 0xBE;
constexpr uint8_t CLOSE_BRACKET = 0xBF;
constexpr int HEADER_WINDOW = 256;          // the header items must lie in these bytes
constexpr int MAX_ADDRESS_WIDTH = 4;

// Reads a number from memory: 0x00-0x7F itself, 0x81-0x84 followed by 1 to 4
// bytes, most significant first. Returns the bytes used, 0 when malformed.
size_t NumberAt(const uint8_t* p, size_t avail, uint32_t& value)
{
    if (avail == 0)
        return 0;
    if (p[0] <= 0x7F) {
        value = p[0];
        return 1;
    }
    size_t bytes = p[0] - 0x80u;
    if (bytes < 1 || bytes > 4 || avail < bytes + 1)
        return 0;
    value = 0;
    for (size_t i = 1; i <= bytes; ++i)
        value = value << 8 | p[i];
    return bytes + 1;
}

// Index of `pattern` in buf[from, n), or -1.
int Find(const uint8_t* buf, int n, int from, std::initializer_list<uint8_t> pattern)
{
    auto end = buf + n;
    auto it = std::search(buf + std::min(from, n), end, pattern.begin(), pattern.end());
    return it == end ? -1 : static_cast<int>(it - buf);
}

}  // namespace

int CFileIeee695::Recognise()
{
    int64_t length = m_file.Length();
    if (!m_file.IsOpen() || length < 2 || !m_file.Seek(length - 1))
        return 0;
    int last = m_file.ReadByte();
    m_file.Seek(0);
    int first = m_file.ReadByte();
    m_file.Seek(0);
    return first == MODULE_BEGIN && last == MODULE_END ? 1 : 0;
}

int CFileIeee695::HasValidHeader()
{
    bool valid = Recognise() == 1 && ReadPreamble();
    m_file.Seek(0);
    return valid ? 1 : 0;
}

bool CFileIeee695::ReadPreamble()
{
    uint8_t header[HEADER_WINDOW];
    m_file.Seek(0);
    int n = static_cast<int>(m_file.Read(header, sizeof header));
    int begin = Find(header, n, 0, {MODULE_BEGIN});
    int descriptor = begin < 0 ? -1 : Find(header, n, begin + 1, {ADDRESS_DESCRIPTOR});
    if (descriptor < 0 || descriptor + 2 >= n)
        return false;
    m_nAddrWidth = header[descriptor + 2];
    if (m_nAddrWidth < 1 || m_nAddrWidth > MAX_ADDRESS_WIDTH)
        return false;
    int assign = Find(header, n, descriptor, {ASSIGN, DATA_PART_OFFSET, DATA_PART_INDEX});
    uint32_t offset = 0;
    if (assign < 0 || NumberAt(header + assign + 3, static_cast<size_t>(n - assign - 3), offset) == 0)
        return false;
    if (!m_file.Seek(offset) || m_file.ReadByte() != SECTION_BEGIN || !m_file.Seek(offset))
        return false;
    m_nSection = 0;
    m_nCurAddress = 0;
    m_bEnded = false;
    m_nLdLeft = m_nRepeatsLeft = 0;
    m_nRepeatNext = 1;
    return true;
}

bool CFileIeee695::ReadNumber(uint32_t& value)
{
    int lead = m_file.ReadByte();
    if (lead < 0)
        return false;
    if (lead <= 0x7F) {
        value = static_cast<uint32_t>(lead);
        return true;
    }
    int bytes = lead - 0x80;
    if (bytes < 1 || bytes > 4)
        return false;
    value = 0;
    for (int i = 0; i < bytes; ++i) {
        int b = m_file.ReadByte();
        if (b < 0)
            return false;
        value = value << 8 | static_cast<uint32_t>(b);
    }
    return true;
}

// After E2: D0 with the current section sets the address, C7 (BE n BF) is skipped.
int CFileIeee695::HandleAssignment()
{
    int kind = m_file.ReadByte();
    uint32_t section = 0, value = 0;
    if (kind == CURRENT_ADDRESS) {
        const int64_t at = m_file.Tell();
        if (!ReadNumber(section) || m_nSection == 0 || !ReadNumber(value))
            return -1;
        if (section != m_nSection)
            return InconsistentAt("Address of another section", at);
        m_nCurAddress = value;
        return 1;
    }
    if (kind == START_ADDRESS) {
        bool ok = m_file.ReadByte() == OPEN_BRACKET && ReadNumber(value)
                  && m_file.ReadByte() == CLOSE_BRACKET;
        return ok ? 1 : -1;
    }
    return -1;
}

// After E5: the section number, then E2 D0 with that number and the address.
int CFileIeee695::HandleSectionBegin()
{
    uint32_t section = 0, check = 0, address = 0;
    if (!ReadNumber(section) || section == 0)
        return -1;
    if (m_file.ReadByte() != ASSIGN || m_file.ReadByte() != CURRENT_ADDRESS)
        return -1;
    const int64_t at = m_file.Tell();
    if (!ReadNumber(check) || !ReadNumber(address))
        return -1;
    if (check != section)
        return InconsistentAt("Section begun with the address of another section", at);
    m_nSection = section;
    m_nCurAddress = address;
    return 1;
}

// After ED: the length and the data, which must lie inside the file and whose
// repetitions must stay inside the address space.
int CFileIeee695::HandleLoadData()
{
    uint32_t length = 0;
    if (!ReadNumber(length))
        return -1;
    int64_t start = m_file.Tell();
    if (start + length > m_file.Length())
        return -1;
    uint64_t deliveries = m_nRepeatNext;
    m_nRepeatNext = 1;
    uint64_t limit = uint64_t(1) << (8 * m_nAddrWidth);
    if (m_nCurAddress + uint64_t(length) * deliveries > limit)
        return -1;
    if (length == 0 || deliveries == 0)
        return m_file.Seek(start + length) ? 1 : -1;
    m_nLdStart = start;
    m_nLdLength = length;
    m_nLdLeft = length;
    m_nRepeatsLeft = static_cast<uint32_t>(deliveries - 1);
    return 1;
}

// After F7: one byte, how many times the next load-data record is delivered.
int CFileIeee695::HandleRepeat()
{
    int count = m_file.ReadByte();
    if (count < 0)
        return -1;
    m_nRepeatNext = static_cast<uint32_t>(count);
    return 1;
}

// Copies what fits of the load data in progress; a repeated record starts
// again from its first byte until every delivery is made.
int CFileIeee695::CopyLoadData(uint8_t* buffer, int room)
{
    uint32_t take = std::min<uint32_t>(m_nLdLeft, static_cast<uint32_t>(room));
    if (m_file.Read(buffer, take) != take)
        return -1;
    m_nLdLeft -= take;
    if (m_nLdLeft == 0 && m_nRepeatsLeft > 0) {
        --m_nRepeatsLeft;
        m_file.Seek(m_nLdStart);
        m_nLdLeft = m_nLdLength;
    }
    return static_cast<int>(take);
}

int CFileIeee695::DeliverBlock(int count)
{
    uint64_t limit = uint64_t(1) << (8 * m_nAddrWidth);
    if (m_nCurAddress + static_cast<uint64_t>(count) > limit)
        return -1;
    m_nBlockAddress = static_cast<uint32_t>(m_nCurAddress);
    m_nCurAddress += static_cast<uint64_t>(count);
    m_nBytesRead += (count + m_nAddrWidth) * 13 / 10;
    return count;
}

int CFileIeee695::ReadBlock(uint8_t* buffer, int max)
{
    max = std::clamp(max, 1, BLOCK_BUFFER_SIZE);
    int count = 0;
    for (;;) {
        if (m_nLdLeft > 0) {
            int copied = CopyLoadData(buffer + count, max - count);
            if (copied < 0)
                return -1;
            count += copied;
            if (count == max)
                return DeliverBlock(count);
            continue;
        }
        if (m_bEnded)
            return count > 0 ? DeliverBlock(count) : 0;
        int64_t recordStart = m_file.Tell();
        int type = m_file.ReadByte();
        int handled = -1;
        switch (type) {
        case MODULE_END:
            m_bEnded = true;
            continue;
        case ASSIGN:
        case SECTION_BEGIN:
            if (count > 0) {   // the block in progress ends here; the record waits
                m_file.Seek(recordStart);
                return DeliverBlock(count);
            }
            handled = type == ASSIGN ? HandleAssignment() : HandleSectionBegin();
            break;
        case LOAD_DATA:
            handled = HandleLoadData();
            break;
        case REPEAT_DATA:
            handled = HandleRepeat();
            break;
        default:   // an unknown record, or the end of the file without module end
            break;
        }
        if (handled < 0)
            return -1;
    }
}
