#include "release/BufferedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CBufferedFile::~CBufferedFile() { Close(); }

bool CBufferedFile::Open(const std::string& path)
{
    Close();
    if (path.empty())
        return false;
    // Non-blocking, so that a FIFO or a device named as a release file cannot
    // hold the open; only regular files are kept.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_nLength = st.st_size;
    m_buffer.resize(BUFFER_SIZE);
    m_nBufStart = 0;
    m_nPos = m_nFill = 0;
    m_bFailed = false;
    return true;
}

void CBufferedFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_nLength = 0;
    m_nBufStart = 0;
    m_nPos = m_nFill = 0;
    std::vector<uint8_t>().swap(m_buffer);
}

bool CBufferedFile::Seek(int64_t pos)
{
    if (m_fd < 0 || pos < 0)
        return false;
    if (pos >= m_nBufStart && pos <= m_nBufStart + static_cast<int64_t>(m_nFill)) {
        m_nPos = static_cast<size_t>(pos - m_nBufStart);
        return true;
    }
    m_nBufStart = pos;
    m_nPos = m_nFill = 0;
    return true;
}

bool CBufferedFile::Fill()
{
    if (m_fd < 0)
        return false;
    m_nBufStart += static_cast<int64_t>(m_nFill);
    m_nPos = m_nFill = 0;
    for (;;) {
        ssize_t got = ::pread(m_fd, m_buffer.data(), m_buffer.size(), m_nBufStart);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_bFailed = true;
            return false;
        }
        m_nFill = static_cast<size_t>(got);
        return got > 0;
    }
}

size_t CBufferedFile::Read(void* out, size_t n)
{
    auto* dst = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < n) {
        if (m_nPos == m_nFill && !Fill())
            break;
        size_t chunk = std::min(n - done, m_nFill - m_nPos);
        std::memcpy(dst + done, m_buffer.data() + m_nPos, chunk);
        m_nPos += chunk;
        done += chunk;
    }
    return done;
}

int CBufferedFile::ReadByte()
{
    if (m_nPos == m_nFill && !Fill())
        return -1;
    return m_buffer[m_nPos++];
}

CBufferedFile::LineResult CBufferedFile::ReadLine(std::string& line, size_t maxLen)
{
    line.clear();
    bool any = false;
    for (;;) {
        if (m_nPos == m_nFill && !Fill()) {
            if (m_bFailed)
                return LINE_ERROR;
            break;   // last line without a line end
        }
        any = true;
        const uint8_t* start = m_buffer.data() + m_nPos;
        size_t avail = m_nFill - m_nPos;
        const void* nl = std::memchr(start, '\n', avail);
        size_t take = nl ? static_cast<size_t>(static_cast<const uint8_t*>(nl) - start) : avail;
        if (line.size() + take > maxLen + 1)   // +1 leaves room for a '\r' before '\n'
            return LINE_TOO_LONG;
        line.append(reinterpret_cast<const char*>(start), take);
        m_nPos += take;
        if (nl) {
            ++m_nPos;
            break;
        }
    }
    if (!any)
        return LINE_END;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > maxLen)
        return LINE_TOO_LONG;
    return LINE_OK;
}

CBufferedFile::LineResult CBufferedFile::ReadLineView(std::string_view& line, size_t maxLen)
{
    const uint8_t* start = m_buffer.data() + m_nPos;
    const size_t avail = m_nFill - m_nPos;
    const void* nl = avail > 0 ? std::memchr(start, '\n', avail) : nullptr;
    if (nl == nullptr) {
        // The line goes on past the buffer (or the buffer is empty): copy it.
        const LineResult result = ReadLine(m_lineCopy, maxLen);
        line = result == LINE_OK ? std::string_view(m_lineCopy) : std::string_view();
        return result;
    }
    size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nl) - start);
    m_nPos += length + 1;
    if (length > 0 && start[length - 1] == '\r')
        --length;
    if (length > maxLen) {
        line = std::string_view();
        return LINE_TOO_LONG;
    }
    line = std::string_view(reinterpret_cast<const char*>(start), length);
    return LINE_OK;
}
