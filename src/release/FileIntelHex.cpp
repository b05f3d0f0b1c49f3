// Intel HEX files: ":LLAAAATT<data>CC" lines with data (00), end of file
// (01), extended segment (02) and extended linear (04) address records; the
// start address records (03, 05) are passed over.
#include <algorithm>

#include "app/UpdateApp.h"
#include "release/FileBase.h"

namespace {

// A HEX line holds at most 255 data bytes: 11 + 2 * 255 characters.
constexpr size_t MAX_LINE_LENGTH = 1024;
constexpr int HEADER_BYTES = 4;   // count, address (2), type
constexpr uint64_t ADDRESS_SPACE = uint64_t(1) << 32;

enum HexRecordType {
    HEX_DATA = 0,
    HEX_END_OF_FILE = 1,
    HEX_EXTENDED_SEGMENT = 2,
    HEX_START_SEGMENT = 3,
    HEX_EXTENDED_LINEAR = 4,
    HEX_START_LINEAR = 5,
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The bytes written in hex after the colon; false when the text is no hex.
bool HexBytes(const std::string& line, std::vector<uint8_t>& bytes)
{
    std::string text = line;
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.size() < 3 || text[0] != ':' || (text.size() - 1) % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 1; i + 1 < text.size(); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

}  // namespace

int CFileIntelHex::Recognise()
{
    if (!m_file.IsOpen() || !m_file.Seek(0))
        return 0;
    // A line of text beginning with a colon: a line that is not a good record
    // is then a fault of the file, not another format.
    std::string line;
    const bool recognised =
        m_file.ReadLine(line, MAX_LINE_LENGTH) == CBufferedFile::LINE_OK && !line.empty() && line[0] == ':' &&
        std::all_of(line.begin(), line.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r'; });
    m_file.Seek(0);
    return recognised ? 1 : 0;
}

std::string CFileIntelHex::FormatName() const
{
    return std::string("Intel HEX") + (m_bExtended ? " (extended addresses)" : "") +
           (m_bDataEnded && !m_bEndSeen ? " (no end-of-file record)" : "");
}

bool CFileIntelHex::ReadPreamble()
{
    m_nLineNumber = 0;
    m_nBase = 0;
    m_bExtended = false;
    m_bEndSeen = m_bDataEnded = false;
    return m_file.Seek(0);
}

int CFileIntelHex::BadLine(const std::string& what) { return CFileBase::BadLine(m_nLineNumber, what); }

// One data record gives one block. The data ends with the end-of-file record,
// or with the file when every line was valid.
int CFileIntelHex::ReadBlock(uint8_t* buffer, int /*max*/)
{
    std::vector<uint8_t> bytes;
    for (;;) {
        if (m_bDataEnded)
            return 0;
        ++m_nLineNumber;
        const CBufferedFile::LineResult read = m_file.ReadLine(m_line, MAX_LINE_LENGTH);
        if (read == CBufferedFile::LINE_END) {
            m_bDataEnded = true;
            return 0;
        }
        if (read == CBufferedFile::LINE_TOO_LONG)
            return BadLine("longer than any Intel HEX record");
        if (read != CBufferedFile::LINE_OK)
            return -1;
        if (m_line.empty() || m_line == "\r")
            continue;
        m_nBytesRead += static_cast<int64_t>(m_line.size());
        if (!HexBytes(m_line, bytes))
            return BadLine("not an Intel HEX record");
        if (bytes.size() < HEADER_BYTES + 1u || bytes[0] + HEADER_BYTES + 1u != bytes.size())
            return BadLine("its length does not match its byte count");
        unsigned sum = 0;
        for (uint8_t b : bytes)
            sum += b;
        if ((sum & 0xFF) != 0)
            return BadLine("checksum error");
        const int count = bytes[0];
        const uint32_t offset = static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
        const uint8_t* data = bytes.data() + HEADER_BYTES;
        switch (bytes[3]) {
        case HEX_DATA: {
            if (count == 0)
                continue;
            const uint64_t address = static_cast<uint64_t>(m_nBase) + offset;
            if (address + static_cast<uint64_t>(count) > ADDRESS_SPACE)
                return BadLine("data beyond 32-bit addresses");
            std::copy(data, data + count, buffer);
            m_nBlockAddress = static_cast<uint32_t>(address);
            return count;
        }
        case HEX_END_OF_FILE:
            m_bEndSeen = m_bDataEnded = true;
            return 0;
        case HEX_EXTENDED_SEGMENT:
        case HEX_EXTENDED_LINEAR:
            if (count != 2)
                return BadLine("an address record of " + std::to_string(count) + " bytes");
            m_nBase = (static_cast<uint32_t>(data[0]) << 8 | data[1]) << (bytes[3] == HEX_EXTENDED_LINEAR ? 16 : 4);
            m_bExtended = true;
            continue;
        case HEX_START_SEGMENT:
        case HEX_START_LINEAR:
            continue;
        default:
            return BadLine("unknown record type " + std::to_string(bytes[3]));
        }
    }
}
