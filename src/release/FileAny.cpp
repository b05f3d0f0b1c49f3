// Any other file, taken as a raw memory image starting at address 0.
#include <algorithm>

#include "release/FileBase.h"

namespace {
constexpr uint64_t ADDRESS_SPACE = uint64_t(1) << 32;
}

int CFileAny::Recognise()
{
    m_nNextAddress = 0;
    return m_file.IsOpen() && m_file.Seek(0) ? 1 : 0;
}

int CFileAny::ReadBlock(uint8_t* buffer, int max)
{
    max = std::clamp(max, 1, BLOCK_BUFFER_SIZE);
    size_t got = m_file.Read(buffer, static_cast<size_t>(max));
    if (m_file.Failed())
        return -1;
    if (got == 0)
        return 0;
    // A .vle address has 32 bits; a larger image cannot be described.
    if (m_nNextAddress + got > ADDRESS_SPACE)
        return -1;
    m_nBlockAddress = static_cast<uint32_t>(m_nNextAddress);
    m_nNextAddress += got;
    m_nBytesRead += static_cast<int64_t>(got);
    return static_cast<int>(got);
}
