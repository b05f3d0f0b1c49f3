#pragma once
// CVleFile: the converted release file. A 16-byte header tied to the release
// file's modification time and the program version, records of at most 87 data
// bytes with back links for walking backwards, and a 13-byte trailer.
// All numbers are big-endian.
#include <cstdint>
#include <string>
#include <vector>

#include "release/BufferedFile.h"

constexpr uint32_t VLE_MAGIC = 0x005D69E1;
constexpr int VLE_HEADER_SIZE = 16;
constexpr int VLE_TRAILER_SIZE = 13;
constexpr int VLE_RECORD_OVERHEAD = 10;      // back link, len, address, sum
constexpr int VLE_MAX_DATA = 87;             // longest record a reader accepts
constexpr int VLE_BLOCK_SIZE = VLE_MAX_DATA + 6;   // address + data + sum from GetBlock
constexpr int VLE_INVALID_TYPE = 255;

// The .vle path of a release file: an extension of at most 3 characters is
// replaced by ".vle", otherwise ".vle" is appended.
std::string VlePathFor(const std::string& releasePath);

class CVleFile {
public:
    CVleFile() = default;
    ~CVleFile();
    CVleFile(const CVleFile&) = delete;
    CVleFile& operator=(const CVleFile&) = delete;

    // --- writer ------------------------------------------------------------
    // The file is written under a name of its own beside `path` and takes
    // `path`'s place when it is closed, finished or not: a program reading the
    // old .vle, or another conversion of the same release at the same time,
    // never sees a file being written.
    bool Create(const std::string& path);
    bool WriteHeader(uint32_t time, uint16_t version);
    bool WriteRecord(uint32_t address, int len, const uint8_t* data);
    // Writes the trailer, flushes everything and only then stamps the magic
    // number into the header, so a file cut short never passes as valid.
    bool WriteTrailer(int type, uint32_t count);
    void Close();

    // --- reader ------------------------------------------------------------
    int OpenForRead(const std::string& path);
    int CheckFile();
    int Rewind();
    // Returns len and copies address, data and sum (len + 6 bytes, at most
    // VLE_BLOCK_SIZE) into out; 0 at the end of the records, -1 on a read
    // error or a record longer than 87 bytes, -2 when the record asked for
    // cannot be reached.
    int GetBlock(uint8_t* out, long address, long number);

    bool IsOpen() const { return m_fd >= 0 || m_in.IsOpen(); }
    const std::string& Path() const { return m_strPath; }

    // Values of the header and trailer, filled by CheckFile.
    uint16_t HeaderVersion() const { return m_nHeaderVersion; }
    uint32_t HeaderTime() const { return m_nHeaderTime; }
    uint32_t TotalBytes() const { return m_nTrailerTotal; }
    uint32_t RecordCount() const { return m_nTrailerCount; }
    // Data bytes written so far by the writer.
    uint32_t BytesWritten() const { return m_nTotal; }

    // Reader state: the last record header read and its ordinal.
    long m_nRecord = 0;
    // Header of the record last read.
    uint16_t CurrentBackLink() const { return m_nBackLink; }
    uint32_t CurrentAddress() const { return m_nAddress; }
    // Records read from the file since it was opened (for the walk tests).
    long RecordsRead() const { return m_nRecordsRead; }

private:
    bool Put(const uint8_t* bytes, size_t n);
    bool Flush();
    // Room for n more bytes at the end of the write buffer (flushed first
    // when full); null after a write error.
    uint8_t* Room(size_t n);
    int ReadRecordAt();              // reads the record at the current position
    int StepBack();                  // reads the record before the current one
    int CopyCurrent(uint8_t* out) const;

    std::string m_strPath;
    std::string m_strTempPath;       // where the writer writes until Close

    // writer
    int m_fd = -1;
    std::vector<uint8_t> m_out;      // write buffer
    size_t m_nOutFill = 0;           // bytes of it in use
    bool m_bWriteError = false;
    uint32_t m_nLastSize = 0;        // size of the last record written
    uint32_t m_nTotal = 0;           // data bytes written

    // reader
    CBufferedFile m_in;
    bool m_bHaveCurrent = false;     // a record has been read since Rewind
    uint16_t m_nBackLink = 0;
    uint16_t m_nLen = 0;
    uint32_t m_nAddress = 0;
    uint8_t m_current[VLE_BLOCK_SIZE] = {};   // address, data, sum of the current record
    long m_nRecordsRead = 0;

    uint16_t m_nHeaderVersion = 0;
    uint32_t m_nHeaderTime = 0;
    uint32_t m_nTrailerTotal = 0;
    uint32_t m_nTrailerCount = 0;
};
