#pragma once
// Helpers of the release tests: temporary directories, files, outside tools,
// and the memory image that a .vle file's records describe.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "release/FileBase.h"
#include "release/VleFile.h"

using Bytes = std::vector<uint8_t>;

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-release-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

inline void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text)
{
    WriteFile(path, Bytes(text.begin(), text.end()));
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes Hex(const std::string& text)
{
    Bytes out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(gen());
    return out;
}

inline int RunTool(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

// Recognises, opens and converts a release file; returns the driver's result.
inline int Convert(const std::string& path, int* type = nullptr)
{
    int t = RecogniseReleaseFile(path);
    if (type)
        *type = t;
    auto reader = CreateReader(t);
    if (!reader)
        return -1;
    reader->SetSource(path, nullptr);
    if (!reader->OpenRelease())
        return -1;
    return reader->ConvertToVle();
}

struct VleRecord {
    uint32_t address;
    Bytes data;
};

// Every record of a .vle file, read forward; empty on a read error.
inline std::vector<VleRecord> ReadVleRecords(const std::string& path, int* result = nullptr)
{
    CVleFile vle;
    std::vector<VleRecord> records;
    if (!vle.OpenForRead(path) || !vle.Rewind())
        return records;
    uint8_t block[VLE_BLOCK_SIZE];
    int n;
    while ((n = vle.GetBlock(block, -1, -1)) > 0) {
        uint32_t address = uint32_t(block[0]) << 24 | uint32_t(block[1]) << 16 | uint32_t(block[2]) << 8 | block[3];
        records.push_back({address, Bytes(block + 4, block + 4 + n)});
    }
    if (result)
        *result = n;
    return records;
}

// The bytes from the lowest to the highest address, gaps filled with 0 (as
// objcopy -O binary fills them).
inline Bytes ImageOf(const std::vector<VleRecord>& records, uint32_t* base = nullptr)
{
    if (records.empty())
        return {};
    uint64_t low = UINT64_MAX, high = 0;
    for (const auto& r : records) {
        low = std::min<uint64_t>(low, r.address);
        high = std::max<uint64_t>(high, uint64_t(r.address) + r.data.size());
    }
    Bytes image(high - low, 0);
    for (const auto& r : records)
        std::copy(r.data.begin(), r.data.end(), image.begin() + static_cast<long>(r.address - low));
    if (base)
        *base = static_cast<uint32_t>(low);
    return image;
}

// --- files built from the record rules of their formats ---------------------------

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Record header words: w0 = data + 5, w1 = block bytes, w2/w3 = address low/high.
inline Bytes AbsRecord(uint32_t address, const Bytes& data, long w1 = -1)
{
    uint32_t w0 = static_cast<uint32_t>(data.size() + 5), block = w1 < 0 ? static_cast<uint32_t>(data.size()) : w1;
    return Cat({{uint8_t(w0 >> 8), uint8_t(w0), uint8_t(block >> 8), uint8_t(block), uint8_t(address >> 8),
                 uint8_t(address), uint8_t(address >> 24), uint8_t(address >> 16)}, data});
}

inline Bytes Number(uint32_t value)
{
    if (value < 0x80)
        return {static_cast<uint8_t>(value)};
    return {0x84, uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}

inline Bytes LoadData(const Bytes& data) { return Cat({{0xED}, Number(static_cast<uint32_t>(data.size())), data}); }

// A module whose data part (at offset 64) starts with section 1 at `address`.
inline Bytes Ieee695(int width, uint32_t address, const Bytes& records)
{
    Bytes file = Cat({{0xE0, 0x03, 'T', 'S', 'T', 0xEC, 0x08, static_cast<uint8_t>(width), 0xCC},
                      {0xE2, 0xD7, 0x05}, Number(64)});
    file.resize(64, 0x00);
    return Cat({file, {0xE5, 0x01, 0xE2, 0xD0, 0x01}, Number(address), records, {0xE1}});
}
