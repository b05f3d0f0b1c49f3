#include "release/VleFile.h"

#include <cerrno>
#include <cstring>
#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t WRITE_BUFFER_SIZE = 64 * 1024;
constexpr int RECORD_HEADER_SIZE = 8;   // back link, len, address

void PutBE16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t GetBE32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool WriteAll(int fd, const uint8_t* p, size_t n, off_t offset)
{
    while (n > 0) {
        ssize_t put = ::pwrite(fd, p, n, offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= static_cast<size_t>(put);
        offset += put;
    }
    return true;
}

// A new file beside `path` that no other writer uses: the process id and a
// counter make the name, O_EXCL makes sure.
int CreateBeside(const std::string& path, std::string& tempPath)
{
    static std::atomic<unsigned> counter{0};
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        tempPath = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
        int fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

size_t LastSeparator(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string VlePathFor(const std::string& releasePath)
{
    // Only a dot of the file name counts: a dot in a directory name must not
    // move the .vle file out of the release file's directory.
    size_t nameStart = LastSeparator(releasePath);
    size_t dot = releasePath.rfind('.');
    if (dot != std::string::npos && dot >= nameStart && dot + 4 >= releasePath.size())
        return releasePath.substr(0, dot) + ".vle";
    return releasePath + ".vle";
}

CVleFile::~CVleFile() { Close(); }

// --- writer ---------------------------------------------------------------

bool CVleFile::Create(const std::string& path)
{
    Close();
    if (path.empty())
        return false;
    m_fd = CreateBeside(path, m_strTempPath);
    if (m_fd < 0) {
        m_strTempPath.clear();
        return false;
    }
    m_strPath = path;
    m_out.assign(WRITE_BUFFER_SIZE, 0);
    m_nOutFill = 0;
    m_bWriteError = false;
    m_nLastSize = 0;
    m_nTotal = 0;
    return true;
}

bool CVleFile::Put(const uint8_t* bytes, size_t n)
{
    if (m_fd < 0 || m_bWriteError)
        return false;
    uint8_t* room = Room(n);
    if (room == nullptr)
        return false;
    std::memcpy(room, bytes, n);
    m_nOutFill += n;
    return true;
}

bool CVleFile::Flush()
{
    if (m_fd < 0 || m_bWriteError)
        return false;
    if (m_nOutFill == 0)
        return true;
    off_t end = ::lseek(m_fd, 0, SEEK_END);
    if (end < 0 || !WriteAll(m_fd, m_out.data(), m_nOutFill, end)) {
        m_bWriteError = true;
        return false;
    }
    m_nOutFill = 0;
    return true;
}

uint8_t* CVleFile::Room(size_t n)
{
    if (m_fd < 0 || m_bWriteError || n > m_out.size())
        return nullptr;
    if (m_nOutFill + n > m_out.size() && !Flush())
        return nullptr;
    return m_out.data() + m_nOutFill;
}

bool CVleFile::WriteHeader(uint32_t time, uint16_t version)
{
    // The magic number stays 0 until the trailer is safely on disk.
    uint8_t header[VLE_HEADER_SIZE] = {};
    PutBE16(header + 4, version);
    PutBE32(header + 6, time);
    m_nLastSize = 0;
    m_nTotal = 0;
    return Put(header, sizeof header);
}

bool CVleFile::WriteRecord(uint32_t address, int len, const uint8_t* data)
{
    if (len < 1 || len > VLE_MAX_DATA)
        return false;
    const uint32_t size = static_cast<uint32_t>(len) + VLE_RECORD_OVERHEAD;
    // The record is built in place in the write buffer.
    uint8_t* record = Room(size);
    if (record == nullptr)
        return false;
    PutBE16(record, m_nLastSize == 0 ? 0 : m_nLastSize + size);
    PutBE16(record + 2, static_cast<uint32_t>(len));
    PutBE32(record + 4, address);
    uint32_t sum = 0;
    for (int i = 0; i < len; ++i)
        sum += data[i];
    std::memcpy(record + 8, data, static_cast<size_t>(len));
    PutBE16(record + 8 + len, sum & 0xFFFF);
    m_nOutFill += size;
    m_nLastSize = size;
    m_nTotal += static_cast<uint32_t>(len);
    return true;
}

bool CVleFile::WriteTrailer(int type, uint32_t count)
{
    uint8_t trailer[VLE_TRAILER_SIZE] = {};
    PutBE16(trailer, m_nLastSize + VLE_TRAILER_SIZE);
    PutBE32(trailer + 4, m_nTotal);
    PutBE32(trailer + 8, count);
    trailer[12] = static_cast<uint8_t>(type);
    if (!Put(trailer, sizeof trailer) || !Flush())
        return false;
    uint8_t magic[4];
    PutBE32(magic, VLE_MAGIC);
    if (!WriteAll(m_fd, magic, sizeof magic, 0)) {
        m_bWriteError = true;
        return false;
    }
    return true;
}

void CVleFile::Close()
{
    if (m_fd >= 0) {
        Flush();
        ::close(m_fd);
        m_fd = -1;
        if (::rename(m_strTempPath.c_str(), m_strPath.c_str()) != 0)
            ::unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
    }
    std::vector<uint8_t>().swap(m_out);
    m_nOutFill = 0;
    m_in.Close();
    m_bHaveCurrent = false;
    m_nRecord = 0;
}

// --- reader ---------------------------------------------------------------

int CVleFile::OpenForRead(const std::string& path)
{
    Close();
    if (path.empty() || !m_in.Open(path))
        return 0;
    m_strPath = path;
    m_nRecordsRead = 0;
    return 1;
}

int CVleFile::CheckFile()
{
    if (!m_in.IsOpen())
        return VLE_INVALID_TYPE;
    uint8_t trailer[VLE_TRAILER_SIZE];
    int64_t length = m_in.Length();
    bool ok = length >= VLE_HEADER_SIZE + VLE_TRAILER_SIZE
              && m_in.Seek(length - VLE_TRAILER_SIZE)
              && m_in.Read(trailer, sizeof trailer) == sizeof trailer;
    uint8_t header[VLE_HEADER_SIZE];
    ok = ok && m_in.Seek(0) && m_in.Read(header, sizeof header) == sizeof header;
    if (!ok || GetBE32(header) != VLE_MAGIC)
        return VLE_INVALID_TYPE;
    m_nHeaderVersion = GetBE16(header + 4);
    m_nHeaderTime = GetBE32(header + 6);
    m_nTrailerTotal = GetBE32(trailer + 4);
    m_nTrailerCount = GetBE32(trailer + 8);
    if (GetBE16(trailer + 2) != 0 || trailer[12] >= 4 || m_nTrailerCount == VLE_MAGIC)
        return VLE_INVALID_TYPE;
    return trailer[12];
}

int CVleFile::Rewind()
{
    if (!m_in.IsOpen())
        return 0;
    CheckFile();
    m_in.Seek(VLE_HEADER_SIZE);
    m_nRecord = 0;
    m_bHaveCurrent = false;
    return 1;
}

// Reads the record that starts at the current position. On the trailer the
// position goes back to its start, so the current position stays the end of
// the last record.
int CVleFile::ReadRecordAt()
{
    int64_t start = m_in.Tell();
    uint8_t head[RECORD_HEADER_SIZE];
    if (m_in.Read(head, sizeof head) != sizeof head)
        return -1;
    uint16_t len = GetBE16(head + 2);
    if (len == 0) {
        m_in.Seek(start);
        return 0;
    }
    if (len > VLE_MAX_DATA)
        return -1;
    uint8_t body[VLE_MAX_DATA + 2];
    if (m_in.Read(body, len + 2u) != len + 2u)
        return -1;
    ++m_nRecordsRead;
    m_nBackLink = GetBE16(head);
    m_nLen = len;
    m_nAddress = GetBE32(head + 4);
    std::memcpy(m_current, head + 4, 4);
    std::memcpy(m_current + 4, body, len + 2u);
    m_bHaveCurrent = true;
    return len;
}

// Goes back from the end of the current record to the start of the one
// before it and reads it. A back link that leaves the records is a read error.
int CVleFile::StepBack()
{
    int64_t target = m_in.Tell() - m_nBackLink;
    int64_t currentStart = m_in.Tell() - (m_nLen + VLE_RECORD_OVERHEAD);
    if (target < VLE_HEADER_SIZE || target >= currentStart)
        return -1;
    m_in.Seek(target);
    int n = ReadRecordAt();
    if (n == 0 || m_in.Tell() != currentStart)
        return -1;   // the link did not land on a record that ends in time
    if (n > 0)
        --m_nRecord;
    return n;
}

int CVleFile::CopyCurrent(uint8_t* out) const
{
    std::memcpy(out, m_current, m_nLen + 6u);
    return m_nLen;
}

int CVleFile::GetBlock(uint8_t* out, long address, long number)
{
    if (!m_in.IsOpen())
        return -1;
    if (address == -1 && number == -1) {
        int n = ReadRecordAt();
        if (n <= 0)
            return n;
        ++m_nRecord;
        return CopyCurrent(out);
    }
    if (address >= 0) {
        while (m_bHaveCurrent && m_nAddress != static_cast<uint32_t>(address) && m_nBackLink != 0) {
            int n = StepBack();
            if (n <= 0)
                return n;
        }
        if (m_bHaveCurrent && m_nAddress == static_cast<uint32_t>(address))
            return CopyCurrent(out);
        if (number < m_nRecord)
            return -2;
        while (m_nRecord < number) {
            int n = ReadRecordAt();
            if (n <= 0)
                return n;
            ++m_nRecord;
        }
        return m_bHaveCurrent ? CopyCurrent(out) : -2;
    }
    if (address < 0 && number >= 0) {
        if (number > m_nRecord || !m_bHaveCurrent)
            return -2;
        while (m_nRecord != number) {
            if (m_nBackLink == 0)
                return -2;
            int n = StepBack();
            if (n <= 0)
                return n;
        }
        return CopyCurrent(out);
    }
    return -2;
}
