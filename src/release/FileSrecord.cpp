// Motorola S-record files (S1, S2 or S3: 2-, 3- or 4-byte addresses).
#include <algorithm>
#include <cstring>

#include "app/UpdateApp.h"
#include "release/FileBase.h"
#include "release/HexText.h"

namespace {

// Longest text line accepted: an S-record has at most 4 + 2 * 255 characters.
constexpr size_t MAX_LINE_LENGTH = 1024;
// Lines looked at for the first data record when a file is recognised.
constexpr int TAG_SEARCH_LINES = 64;

bool StartsWith(std::string_view line, const char* tag)
{
    return line.size() >= 2 && line[0] == tag[0] && line[1] == tag[1];
}

}  // namespace

// Text S-records: the file begins with an S-record ("S0" to "S9") and holds
// text. The data tag is that of the first data line (S1 with 16-bit, S2 with
// 24-bit, S3 with 32-bit addresses); a file without data takes it from its
// end record. The end record may be missing when every line is valid: the
// data then ends with the file.
int CFileSrecord::Recognise()
{
    if (!m_file.IsOpen() || !m_file.Seek(0))
        return 0;
    std::string line;
    const bool recognised = m_file.ReadLine(line, MAX_LINE_LENGTH) == CBufferedFile::LINE_OK && LooksLikeRecord(line) &&
                            FindDataTag(line);
    m_file.Seek(0);
    return recognised ? 1 : 0;
}

// A line of text that begins as an S-record: the file is S-records, and a
// line that is not a good one is a fault of the file, not another format.
bool CFileSrecord::LooksLikeRecord(const std::string& line)
{
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
        return false;
    return std::all_of(line.begin(), line.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r'; });
}

bool CFileSrecord::IsRecordLine(std::string_view line)
{
    if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
        return false;
    return std::all_of(line.begin() + 2, line.end(), [](char c) { return hextext::Digit(c) >= 0 || c == '\r'; });
}

// The data tag from the first data or end line among the first lines of the
// file; S3 when there is neither.
bool CFileSrecord::FindDataTag(std::string line)
{
    static const struct {
        char data, end;
        int width;
    } kTags[] = {{'1', '9', 2}, {'2', '8', 3}, {'3', '7', 4}};
    for (int n = 0; n < TAG_SEARCH_LINES; ++n) {
        for (const auto& tag : kTags) {
            if (line.size() >= 2 && line[0] == 'S' && (line[1] == tag.data || line[1] == tag.end)) {
                SetTags(tag.data, tag.end, tag.width);
                return true;
            }
        }
        if (m_file.ReadLine(line, MAX_LINE_LENGTH) != CBufferedFile::LINE_OK)
            break;
    }
    SetTags('3', '7', 4);
    return true;
}

void CFileSrecord::SetTags(char data, char end, int width)
{
    m_dataTag[0] = m_endTag[0] = 'S';
    m_dataTag[1] = data;
    m_endTag[1] = end;
    m_nAddrWidth = width;
}

std::string CFileSrecord::FormatName() const
{
    return std::string("S-records (") + m_dataTag + ", " + std::to_string(8 * m_nAddrWidth) + "-bit addresses" +
           (m_bDataEnded && !m_bEndRecordSeen ? ", no end record" : "") + ")";
}

CBufferedFile::LineResult CFileSrecord::ReadRecordLine()
{
    ++m_nLineNumber;
    return m_file.ReadLineView(m_line, MAX_LINE_LENGTH);
}

bool CFileSrecord::ReadPreamble()
{
    m_nLineNumber = 0;
    m_bEndRecordSeen = m_bDataEnded = false;
    // The header record is optional: any other first line is read again as data.
    if (ReadRecordLine() == CBufferedFile::LINE_OK && StartsWith(m_line, "S0") && IsRecordLine(m_line))
        return true;
    m_nLineNumber = 0;
    return m_file.Seek(0);
}

int CFileSrecord::BadLine(const std::string& what) { return CFileBase::BadLine(m_nLineNumber, what); }

// One line gives one block; the size asked for does not apply, a line holds
// at most 255 - 2 data bytes. Records without data are passed over, so that
// they are not taken for the end of the data; so are empty lines. Every data
// line must carry its checksum, the one's complement of the sum of its count,
// address and data bytes: a damaged line is a read error that the log names.
int CFileSrecord::ReadBlock(uint8_t* buffer, int /*max*/)
{
    for (;;) {
        const CBufferedFile::LineResult read = ReadRecordLine();
        if (read == CBufferedFile::LINE_END) {
            m_bDataEnded = true;   // no end record: every line was valid
            return 0;
        }
        if (read == CBufferedFile::LINE_TOO_LONG)
            return BadLine("longer than any S-record");
        if (read != CBufferedFile::LINE_OK)
            return -1;
        if (m_line.empty() || m_line == "\r")
            continue;
        if (StartsWith(m_line, m_endTag) || StartsWith(m_line, "S5")) {
            m_bEndRecordSeen = m_bDataEnded = true;
            return 0;
        }
        if (!StartsWith(m_line, m_dataTag))
            return BadLine(IsRecordLine(m_line) ? "an " + std::string(m_line.substr(0, 2)) + " record among " +
                                                      m_dataTag + " records"
                                                : "not an S-record");
        m_nBytesRead += static_cast<int64_t>(m_line.size());
        const int n = DecodeDataLine(buffer);
        if (n != 0)
            return n;
    }
}

// The data line in m_line: its data bytes copied into `buffer` with
// m_nBlockAddress set; 0 for a record without data, -1 for a damaged line.
int CFileSrecord::DecodeDataLine(uint8_t* buffer)
{
    std::string_view line = m_line;
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() < 4)
        return BadLine("not hexadecimal");
    // Every character after the tag is a hex digit; decoding checks them all.
    const size_t digits = line.size() - 2;
    const size_t pairs = digits / 2;
    uint8_t bytes[MAX_LINE_LENGTH / 2];
    unsigned sum = 0;
    if (!hextext::DecodePairs(line.data() + 2, pairs, bytes, sum) ||
        (digits % 2 != 0 && hextext::Digit(line.back()) < 0))
        return BadLine("not hexadecimal");

    // The count covers the address, the data and the checksum byte.
    const int count = bytes[0];
    if (count < m_nAddrWidth + 1 || line.size() < 4 + 2 * static_cast<size_t>(count))
        return BadLine("shorter than its byte count");
    // The checksum sums the count, address and data bytes: what was summed
    // past them (the checksum byte itself, anything after it) is taken off.
    for (size_t i = static_cast<size_t>(count); i < pairs; ++i)
        sum -= bytes[i];
    if (bytes[count] != static_cast<uint8_t>(~sum)) {
        App().WriteLogNote("Checksum error in line " + std::to_string(m_nLineNumber) + " of \"" + m_strPath +
                           "\"\r\n");
        Problem("line " + std::to_string(m_nLineNumber) + ": checksum error");
        return -1;
    }
    uint32_t address = 0;
    for (int i = 1; i <= m_nAddrWidth; ++i)
        address = address << 8 | bytes[i];
    const int n = count - m_nAddrWidth - 1;
    if (n > 0) {
        std::memcpy(buffer, bytes + 1 + m_nAddrWidth, static_cast<size_t>(n));
        m_nBlockAddress = address;
    }
    return n;
}
