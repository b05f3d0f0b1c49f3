#pragma once
// The memory of one simulated board: the bytes written at 32-bit addresses,
// kept as sorted, non-overlapping runs, and written out as Motorola S-records.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

class SparseImage {
public:
    // Writes the bytes at the address; later writes replace earlier ones.
    // Returns false (and writes nothing) when the run would pass 0xFFFFFFFF.
    bool Write(uint32_t address, const std::vector<uint8_t>& bytes);
    void Clear() { m_runs.clear(); }
    bool Empty() const { return m_runs.empty(); }
    size_t ByteCount() const;
    // 16-bit sum of every byte held.
    uint16_t Sum() const;
    const std::map<uint32_t, std::vector<uint8_t>>& Runs() const { return m_runs; }

    // S0 header with `title`, S3 data lines of up to 32 bytes, S7 end line.
    std::string ToSRecords(const std::string& title) const;

private:
    std::map<uint32_t, std::vector<uint8_t>> m_runs;
};

}  // namespace sim
