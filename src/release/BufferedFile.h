#pragma once
// A read-only file with its own buffer: byte, block and line reads, cheap
// seeks inside the buffered window. Every read is bounded by the caller.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CBufferedFile {
public:
    enum LineResult { LINE_OK, LINE_END, LINE_TOO_LONG, LINE_ERROR };

    CBufferedFile() = default;
    ~CBufferedFile();
    CBufferedFile(const CBufferedFile&) = delete;
    CBufferedFile& operator=(const CBufferedFile&) = delete;

    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    int64_t Length() const { return m_nLength; }
    int64_t Tell() const { return m_nBufStart + static_cast<int64_t>(m_nPos); }
    bool Seek(int64_t pos);

    // Copies up to n bytes; fewer at the end of the file or on a read error.
    size_t Read(void* out, size_t n);
    // Next byte, or -1 at the end of the file or on a read error.
    int ReadByte();
    // One text line without its line end ("\n" or "\r\n"). A line longer than
    // maxLen is not stored; the rest of it is left unread.
    LineResult ReadLine(std::string& line, size_t maxLen);
    // The same line as a view: into the buffer when the whole line lies in
    // it, else into a copy. The view holds until the next read or seek.
    LineResult ReadLineView(std::string_view& line, size_t maxLen);
    // True once a read failed for another reason than the end of the file.
    bool Failed() const { return m_bFailed; }

private:
    bool Fill();

    static constexpr size_t BUFFER_SIZE = 64 * 1024;
    int m_fd = -1;
    int64_t m_nLength = 0;
    std::vector<uint8_t> m_buffer;
    int64_t m_nBufStart = 0;   // file offset of m_buffer[0]
    size_t m_nPos = 0;         // read position inside the buffer
    size_t m_nFill = 0;        // valid bytes in the buffer
    bool m_bFailed = false;
    std::string m_lineCopy;    // a line that crosses the end of the buffer
};
