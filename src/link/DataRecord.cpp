#include "link/DataRecord.h"

namespace {

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t GetBigEndian(const uint8_t* bytes, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

bool NeedsEscape(uint8_t b) { return b >= RECORD_ESCAPE; }

}  // namespace

uint8_t DestinationCode(int destIndex)
{
    if (destIndex < 0 || destIndex >= static_cast<int>(kDestinationCodes.size()))
        return 0;
    return kDestinationCodes[static_cast<size_t>(destIndex)];
}

int DestinationIndexOfCode(uint8_t code)
{
    for (size_t i = 0; i < kDestinationCodes.size(); ++i)
        if (kDestinationCodes[i] == code)
            return static_cast<int>(i);
    return -1;
}

bool DataRecord::SetDestination(int index)
{
    if (index < 0 || index >= static_cast<int>(kDestinationCodes.size()))
        return false;
    m_nDestIndex = index;
    return true;
}

bool DataRecord::SetKind(int index)
{
    if (index == -1)
        index = 3;
    if (index < 0 || index >= static_cast<int>(kKindCodes.size()))
        return false;
    m_nKindIndex = index;
    return true;
}

uint16_t DataRecord::Sum(const uint8_t* bytes, size_t first, size_t last)
{
    uint32_t sum = 0;
    for (size_t i = first; i <= last; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

bool DataRecord::Build(char type, const uint8_t* run, size_t n, uint32_t value)
{
    m_bBuilt = false;
    if (m_nDestIndex < 0 || m_nKindIndex < 0 || n < 2 || (n > 0 && run == nullptr))
        return false;
    // Refuse what cannot fit the buffer even before stuffing.
    if (n + 11 > kBufferSize)
        return false;
    uint16_t length = static_cast<uint16_t>(n + 7);

    std::vector<uint8_t> plain;
    plain.reserve(n + 11);
    plain.push_back(RECORD_START);
    plain.push_back(RECORD_TAG);
    PutBigEndian(plain, length, 2);
    plain.push_back(static_cast<uint8_t>(type));
    plain.push_back(kDestinationCodes[static_cast<size_t>(m_nDestIndex)]);
    plain.push_back(static_cast<uint8_t>(kKindCodes[static_cast<size_t>(m_nKindIndex)]));
    PutBigEndian(plain, value & 0xFFFFFF, 3);
    plain.insert(plain.end(), run, run + n);

    // The run's last two bytes hold the sum of the data bytes; adding the
    // header bytes 1..13 gives the sum of everything from 'X' to the data end.
    size_t sumAt = plain.size() - 2;
    uint32_t sum = GetBigEndian(&plain[sumAt], 2) + Sum(plain.data(), 1, 13);
    plain[sumAt] = static_cast<uint8_t>(sum >> 8);
    plain[sumAt + 1] = static_cast<uint8_t>(sum);

    size_t out = 0;
    std::array<uint8_t, kBufferSize> stuffed{};
    stuffed[out++] = RECORD_START;
    for (size_t i = 1; i < plain.size(); ++i) {
        uint8_t b = plain[i];
        size_t need = NeedsEscape(b) ? 2 : 1;
        if (out + need + 1 > kBufferSize)
            return false;
        if (NeedsEscape(b)) {
            stuffed[out++] = RECORD_ESCAPE;
            stuffed[out++] = static_cast<uint8_t>(b - RECORD_ESCAPE);
        } else {
            stuffed[out++] = b;
        }
    }
    stuffed[out++] = RECORD_END;

    m_buffer = stuffed;
    m_nLength = static_cast<uint16_t>(out - 4);
    m_cType = type;
    m_nDestCode = kDestinationCodes[static_cast<size_t>(m_nDestIndex)];
    m_cKind = kKindCodes[static_cast<size_t>(m_nKindIndex)];
    m_nValue = value & 0xFFFFFF;
    bool hasAddress = n >= 6;
    m_nAddress = hasAddress ? GetBigEndian(run, 4) : 0;
    if (hasAddress)
        m_data.assign(run + 4, run + n - 2);
    else
        m_data.clear();
    m_bBuilt = true;
    return true;
}

bool DataRecord::BuildFrom(char type, uint32_t value, uint32_t address, const uint8_t* data,
                           size_t n)
{
    if (n > kBufferSize || (n > 0 && data == nullptr))
        return false;
    std::vector<uint8_t> run;
    run.reserve(n + 6);
    PutBigEndian(run, address, 4);
    uint32_t dataSum = 0;
    for (size_t i = 0; i < n; ++i) {
        run.push_back(data[i]);
        dataSum += data[i];
    }
    PutBigEndian(run, dataSum & 0xFFFF, 2);
    return Build(type, run.data(), run.size(), value);
}

std::string DataRecord::WireBytes() const
{
    return std::string(reinterpret_cast<const char*>(m_buffer.data()), SizeToWrite());
}

bool DataRecord::Decode(const uint8_t* bytes, size_t size)
{
    if (bytes == nullptr || size < kMinSize)
        return false;
    if (bytes[0] != RECORD_START || bytes[1] != RECORD_TAG || bytes[size - 1] != RECORD_END)
        return false;
    size_t length = GetBigEndian(bytes + 2, 2);
    if (length + 4 != size)
        return false;
    uint16_t expected = static_cast<uint16_t>(GetBigEndian(bytes + length + 1, 2));
    if (Sum(bytes, 1, length) != expected)
        return false;

    m_bBuilt = false;
    m_nLength = static_cast<uint16_t>(length);
    m_cType = static_cast<char>(bytes[4]);
    m_nDestCode = bytes[5];
    m_nDestIndex = RECORD_RECEIVED_DEST;
    m_cKind = static_cast<char>(bytes[6]);
    m_nValue = GetBigEndian(bytes + 7, 3);
    m_nAddress = GetBigEndian(bytes + 10, 4);
    m_data.assign(bytes + kHeaderSize, bytes + kHeaderSize + (length - 13));
    return true;
}

bool DataRecord::Unstuff(std::string_view raw, std::string& out)
{
    out.clear();
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(raw[i]);
        if (b != RECORD_ESCAPE) {
            out.push_back(raw[i]);
            continue;
        }
        if (i + 1 >= raw.size())
            return false;
        uint8_t code = static_cast<uint8_t>(raw[++i]);
        if (code > 2)
            return false;
        out.push_back(static_cast<char>(RECORD_ESCAPE + code));
    }
    return true;
}
