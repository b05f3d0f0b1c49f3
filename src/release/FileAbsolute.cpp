// Binary absolute files: an 18-byte header, a 10-byte second header, then
// records of an 8-byte header (four big-endian words) and their data.
#include "release/FileBase.h"

namespace {

constexpr int MAIN_HEADER_SIZE = 18;
constexpr int SECOND_HEADER_SIZE = 10;
constexpr int RECORD_HEADER_SIZE = 8;
constexpr int RECORD_LENGTH_BIAS = 5;   // w0 counts 5 bytes besides the data

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

int CFileAbsolute::Recognise()
{
    if (!m_file.IsOpen() || !m_file.Seek(0))
        return 0;
    uint8_t header[MAIN_HEADER_SIZE];
    if (m_file.Read(header, sizeof header) != sizeof header || header[0] < 0x80 || header[1] != 0x04)
        return 0;
    uint8_t second[SECOND_HEADER_SIZE];
    if (m_file.Read(second, sizeof second) != sizeof second)
        return 0;
    m_nHeaderWord1 = Word(second + 2);
    m_nHeaderWord2 = Word(second + 4);
    return 1;
}

// A record's data is w0 - 5 bytes; its block holds the first w1 of them. A w1
// larger than the data read is a format error; a record with no block bytes
// is passed over so that it does not end the data.
int CFileAbsolute::ReadBlock(uint8_t* buffer, int /*max*/)
{
    for (;;) {
        const int64_t recordAt = m_file.Tell();
        uint8_t head[RECORD_HEADER_SIZE];
        size_t got = m_file.Read(head, sizeof head);
        if (got == 0 && !m_file.Failed())
            return 0;
        if (got != sizeof head)
            return -1;
        int dataLength = Word(head) - RECORD_LENGTH_BIAS;
        int blockLength = Word(head + 2);
        if (dataLength < 0 || dataLength > BLOCK_BUFFER_SIZE)
            return -1;
        if (blockLength > dataLength)
            return InconsistentAt("Block longer than its record", recordAt);
        if (m_file.Read(buffer, static_cast<size_t>(dataLength)) != static_cast<size_t>(dataLength))
            return -1;
        m_nBytesRead += RECORD_HEADER_SIZE + dataLength;
        if (blockLength > 0) {
            m_nBlockAddress = uint32_t(Word(head + 6)) << 16 | Word(head + 4);
            return blockLength;
        }
    }
}
