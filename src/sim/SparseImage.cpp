#include "sim/SparseImage.h"

#include <algorithm>
#include <cstdio>

namespace sim {
namespace {

constexpr size_t kBytesPerLine = 32;

std::string SRecordLine(char type, const std::vector<uint8_t>& addressAndData)
{
    // Count = address + data + the checksum byte; checksum = ones' complement
    // of the low byte of the sum of count, address and data.
    uint8_t count = static_cast<uint8_t>(addressAndData.size() + 1);
    unsigned sum = count;
    std::string line = "S";
    line += type;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", count);
    line += hex;
    for (uint8_t b : addressAndData) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
        sum += b;
    }
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(~sum & 0xFF));
    line += hex;
    line += '\n';
    return line;
}

std::vector<uint8_t> AddressBytes(uint32_t address)
{
    return {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
}

}  // namespace

bool SparseImage::Write(uint32_t address, const std::vector<uint8_t>& bytes)
{
    if (bytes.empty())
        return true;
    uint64_t end = static_cast<uint64_t>(address) + bytes.size();
    if (end > 0x100000000ULL)
        return false;

    // Gather every run that overlaps or touches [address, end) into one.
    uint64_t start = address;
    auto first = m_runs.upper_bound(address);
    if (first != m_runs.begin()) {
        auto before = std::prev(first);
        if (before->first + before->second.size() >= address)
            first = before;
    }
    auto last = first;
    while (last != m_runs.end() && last->first <= end)
        ++last;
    if (first != last) {
        start = std::min<uint64_t>(start, first->first);
        auto back = std::prev(last);
        end = std::max<uint64_t>(end, back->first + back->second.size());
    }
    std::vector<uint8_t> merged(static_cast<size_t>(end - start));
    for (auto it = first; it != last; ++it)
        std::copy(it->second.begin(), it->second.end(), merged.begin() + static_cast<long>(it->first - start));
    std::copy(bytes.begin(), bytes.end(), merged.begin() + static_cast<long>(address - start));
    m_runs.erase(first, last);
    m_runs.emplace(static_cast<uint32_t>(start), std::move(merged));
    return true;
}

size_t SparseImage::ByteCount() const
{
    size_t n = 0;
    for (const auto& [address, bytes] : m_runs)
        n += bytes.size();
    return n;
}

uint16_t SparseImage::Sum() const
{
    unsigned sum = 0;
    for (const auto& [address, bytes] : m_runs)
        for (uint8_t b : bytes)
            sum += b;
    return static_cast<uint16_t>(sum);
}

std::string SparseImage::ToSRecords(const std::string& title) const
{
    std::vector<uint8_t> header = {0, 0};
    header.insert(header.end(), title.begin(), title.begin() + static_cast<long>(std::min<size_t>(title.size(), 64)));
    std::string text = SRecordLine('0', header);
    for (const auto& [address, bytes] : m_runs) {
        for (size_t offset = 0; offset < bytes.size(); offset += kBytesPerLine) {
            std::vector<uint8_t> line = AddressBytes(address + static_cast<uint32_t>(offset));
            size_t n = std::min(kBytesPerLine, bytes.size() - offset);
            line.insert(line.end(), bytes.begin() + static_cast<long>(offset),
                        bytes.begin() + static_cast<long>(offset + n));
            text += SRecordLine('3', line);
        }
    }
    text += SRecordLine('7', AddressBytes(0));
    return text;
}

}  // namespace sim
