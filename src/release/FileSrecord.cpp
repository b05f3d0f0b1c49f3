// Motorola S-record files (S2 with 3-byte or S3 with 4-byte addresses).
#include <algorithm>
#include <cstring>

#include "app/UpdateApp.h"
#include "release/FileBase.h"

namespace {

// Longest text line accepted: an S-record has at most 4 + 2 * 255 characters.
constexpr size_t MAX_LINE_LENGTH = 1024;
// The end record must lie within this many bytes of the end of the file.
constexpr int END_RECORD_WINDOW = 80;

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

// The byte written as two hex digits at `p`, or -1.
int HexByte(const char* p)
{
    int high = HexDigit(p[0]);
    int low = HexDigit(p[1]);
    return high < 0 || low < 0 ? -1 : high << 4 | low;
}

bool StartsWith(const std::string& line, const char* tag)
{
    return line.size() >= 2 && line[0] == tag[0] && line[1] == tag[1];
}

}  // namespace

int CFileSrecord::Recognise()
{
    if (!m_file.IsOpen() || !m_file.Seek(0))
        return 0;
    char start[2];
    if (m_file.Read(start, 2) != 2 || start[0] != 'S' || start[1] != '0')
        return 0;

    int64_t length = m_file.Length();
    int window = static_cast<int>(std::min<int64_t>(END_RECORD_WINDOW, length));
    char tail[END_RECORD_WINDOW];
    if (!m_file.Seek(length - window) || m_file.Read(tail, window) != static_cast<size_t>(window))
        return 0;
    bool endFound = false;
    for (int i = window - 2; i >= 0 && !endFound; --i)
        endFound = tail[i] == 'S' && (tail[i + 1] == '7' || tail[i + 1] == '8');
    if (!endFound)
        return 0;

    m_file.Seek(0);
    std::string first, second;
    bool twoLines = m_file.ReadLine(first, MAX_LINE_LENGTH) == CBufferedFile::LINE_OK
                    && m_file.ReadLine(second, MAX_LINE_LENGTH) == CBufferedFile::LINE_OK;
    m_file.Seek(0);
    if (!twoLines)
        return 0;
    if (StartsWith(second, "S2")) {
        m_nAddrWidth = 3;
        std::memcpy(m_dataTag, "S2", 3);
        std::memcpy(m_endTag, "S8", 3);
        return 1;
    }
    if (StartsWith(second, "S3")) {
        m_nAddrWidth = 4;
        std::memcpy(m_dataTag, "S3", 3);
        std::memcpy(m_endTag, "S7", 3);
        return 1;
    }
    return 0;
}

bool CFileSrecord::ReadRecordLine()
{
    ++m_nLineNumber;
    return m_file.ReadLine(m_line, MAX_LINE_LENGTH) == CBufferedFile::LINE_OK;
}

bool CFileSrecord::ReadPreamble()
{
    m_nLineNumber = 0;
    return ReadRecordLine() && StartsWith(m_line, "S0");
}

// One line gives one block; the size asked for does not apply, a line holds
// at most 255 - 2 data bytes. Records without data are passed over, so that
// they are not taken for the end of the data. Every data line must carry its
// checksum, the one's complement of the sum of its count, address and data
// bytes: a damaged line is a read error that the log names.
int CFileSrecord::ReadBlock(uint8_t* buffer, int /*max*/)
{
    for (;;) {
        if (!ReadRecordLine())
            return -1;
        if (StartsWith(m_line, m_endTag) || StartsWith(m_line, "S5"))
            return 0;
        if (!StartsWith(m_line, m_dataTag))
            return -1;
        m_nBytesRead += static_cast<int64_t>(m_line.size());

        const char* text = m_line.c_str();
        size_t length = m_line.size();
        int count = length >= 4 ? HexByte(text + 2) : -1;
        // The count covers the address, the data and the checksum byte.
        if (count < m_nAddrWidth + 1 || length < 4 + 2 * static_cast<size_t>(count))
            return -1;
        unsigned sum = static_cast<unsigned>(count);
        uint32_t address = 0;
        const char* p = text + 4;
        for (int i = 0; i < m_nAddrWidth; ++i, p += 2) {
            int byte = HexByte(p);
            if (byte < 0)
                return -1;
            sum += static_cast<unsigned>(byte);
            address = address << 8 | static_cast<uint32_t>(byte);
        }
        int n = count - m_nAddrWidth - 1;
        for (int i = 0; i < n; ++i, p += 2) {
            int byte = HexByte(p);
            if (byte < 0)
                return -1;
            sum += static_cast<unsigned>(byte);
            buffer[i] = static_cast<uint8_t>(byte);
        }
        if (HexByte(p) != static_cast<int>(~sum & 0xFF)) {
            App().WriteLogNote("Checksum error in line " + std::to_string(m_nLineNumber) + " of \"" + m_strPath +
                               "\"\r\n");
            return -1;
        }
        if (n > 0) {
            m_nBlockAddress = address;
            return n;
        }
    }
}
