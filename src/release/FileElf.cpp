// ELF executables: what their loadable segments hold, at their physical
// addresses. Where the file has section headers, the bytes are those of the
// allocated sections with contents inside the loadable segments (each at its
// segment's physical address plus its place in the segment), as objcopy
// writes them; without section headers, the segments' file bytes.
#include <algorithm>
#include <cstdio>

#include "release/FileBase.h"

namespace {

constexpr uint8_t ELF_MAGIC[4] = {0x7F, 'E', 'L', 'F'};
constexpr int IDENT_SIZE = 16;
constexpr int CLASS_32 = 1, CLASS_64 = 2;
constexpr int DATA_LITTLE = 1, DATA_BIG = 2;
constexpr uint32_t PT_LOAD = 1;
constexpr uint32_t SHT_NOBITS = 8;
constexpr uint64_t SHF_ALLOC = 2;
constexpr uint64_t ADDRESS_SPACE = uint64_t(1) << 32;
constexpr size_t MAX_HEADER_SIZE = 256;   // of a program or section header entry
// Linkers write a handful of loadable segments; a file with thousands would
// make the section lookup below cost seconds (every section against every
// segment), so it is refused.
constexpr size_t MAX_LOAD_SEGMENTS = 256;

// Field positions of the ELF header, 32-bit and 64-bit files.
struct HeaderLayout {
    int size, machine, phoff, shoff, addressSize, phentsize, phnum, shentsize, shnum;
};
constexpr HeaderLayout kHeader32 = {52, 18, 28, 32, 4, 42, 44, 46, 48};
constexpr HeaderLayout kHeader64 = {64, 18, 32, 40, 8, 54, 56, 58, 60};

// Field positions of a program header and of a section header.
struct EntryLayout {
    int size, type, offset, paddr, filesz;        // program header
    int shSize, shType, shFlags, shOffset, shBytes;   // section header
};
constexpr EntryLayout kEntry32 = {32, 0, 4, 12, 16, 40, 4, 8, 16, 20};
constexpr EntryLayout kEntry64 = {56, 0, 8, 24, 32, 64, 4, 8, 24, 32};

const struct {
    int machine;
    const char* name;
} kMachines[] = {{2, "SPARC"},   {3, "x86"},       {4, "68000"},   {8, "MIPS"},   {20, "PowerPC"},
                 {40, "ARM"},    {42, "SuperH"},   {62, "x86-64"}, {83, "AVR"},   {105, "MSP430"},
                 {183, "AArch64"}, {243, "RISC-V"}};

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

bool FitsIn(uint64_t offset, uint64_t size, uint64_t length)
{
    return offset <= length && size <= length - offset;
}

}  // namespace

int CFileElf::Recognise()
{
    if (!m_file.IsOpen() || !m_file.Seek(0))
        return 0;
    uint8_t ident[IDENT_SIZE];
    const bool read = m_file.Read(ident, IDENT_SIZE) == IDENT_SIZE;
    m_file.Seek(0);
    if (!read || !std::equal(ELF_MAGIC, ELF_MAGIC + 4, ident))
        return 0;
    if ((ident[4] != CLASS_32 && ident[4] != CLASS_64) || (ident[5] != DATA_LITTLE && ident[5] != DATA_BIG))
        return 0;
    m_b64 = ident[4] == CLASS_64;
    m_bBigEndian = ident[5] == DATA_BIG;
    return 1;
}

std::string CFileElf::FormatName() const
{
    std::string machine = m_nMachine != 0 ? ", machine " + std::to_string(m_nMachine) : "";
    for (const auto& m : kMachines)
        if (m.machine == m_nMachine) machine = std::string(", ") + m.name;
    return std::string("ELF executable (") + (m_b64 ? "64" : "32") + "-bit " + (m_bBigEndian ? "big" : "little") +
           "-endian" + machine + ")";
}

uint64_t CFileElf::Field(const uint8_t* p, int size) const
{
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) {
        const int at = m_bBigEndian ? i : size - 1 - i;
        value = value << 8 | p[at];
    }
    return value;
}

bool CFileElf::ReadSegments()
{
    const HeaderLayout& h = m_b64 ? kHeader64 : kHeader32;
    const EntryLayout& e = m_b64 ? kEntry64 : kEntry32;
    const uint64_t length = static_cast<uint64_t>(m_file.Length());
    uint8_t header[64] = {};
    if (!m_file.Seek(0) || m_file.Read(header, static_cast<size_t>(h.size)) != static_cast<size_t>(h.size)) {
        Problem("the ELF header is cut short");
        return false;
    }
    m_nMachine = static_cast<int>(Field(header + h.machine, 2));
    const uint64_t phoff = Field(header + h.phoff, h.addressSize);
    const uint64_t shoff = Field(header + h.shoff, h.addressSize);
    const uint64_t phentsize = Field(header + h.phentsize, 2), phnum = Field(header + h.phnum, 2);
    const uint64_t shentsize = Field(header + h.shentsize, 2), shnum = Field(header + h.shnum, 2);
    if (phnum == 0) {
        Problem("no program headers: an object file, not an executable (link it first)");
        return false;
    }
    if (phentsize < static_cast<uint64_t>(e.size) || phentsize > MAX_HEADER_SIZE ||
        !FitsIn(phoff, phentsize * phnum, length)) {
        Problem("the program headers lie outside the file");
        return false;
    }
    std::vector<Segment> segments;
    uint8_t entry[MAX_HEADER_SIZE];
    for (uint64_t i = 0; i < phnum; ++i) {
        if (!m_file.Seek(static_cast<int64_t>(phoff + i * phentsize)) ||
            m_file.Read(entry, static_cast<size_t>(phentsize)) != phentsize)
            return false;
        const uint64_t addressSize = static_cast<uint64_t>(h.addressSize);
        const Segment s{Field(entry + e.offset, static_cast<int>(addressSize)),
                        Field(entry + e.paddr, static_cast<int>(addressSize)),
                        Field(entry + e.filesz, static_cast<int>(addressSize))};
        if (Field(entry + e.type, 4) != PT_LOAD || s.size == 0)
            continue;
        if (!FitsIn(s.offset, s.size, length)) {
            Problem("loadable segment " + std::to_string(i) + " lies outside the file");
            return false;
        }
        if (segments.size() == MAX_LOAD_SEGMENTS) {
            Problem("more than " + std::to_string(MAX_LOAD_SEGMENTS) + " loadable segments");
            return false;
        }
        segments.push_back(s);
    }

    // The sections with contents inside the loadable segments.
    m_segments.clear();
    const bool sections = shnum > 0 && shentsize >= static_cast<uint64_t>(e.shSize) && shentsize <= MAX_HEADER_SIZE &&
                          FitsIn(shoff, shentsize * shnum, length);
    for (uint64_t i = 0; sections && i < shnum; ++i) {
        if (!m_file.Seek(static_cast<int64_t>(shoff + i * shentsize)) ||
            m_file.Read(entry, static_cast<size_t>(shentsize)) != shentsize)
            return false;
        const uint64_t flags = Field(entry + e.shFlags, h.addressSize);
        const uint64_t offset = Field(entry + e.shOffset, h.addressSize), size = Field(entry + e.shBytes, h.addressSize);
        if (!(flags & SHF_ALLOC) || Field(entry + e.shType, 4) == SHT_NOBITS || size == 0)
            continue;
        for (const Segment& s : segments)
            if (offset >= s.offset && FitsIn(offset - s.offset, size, s.size)) {
                m_segments.push_back({offset, s.address + (offset - s.offset), size});
                break;
            }
    }
    if (m_segments.empty())
        m_segments = segments;
    if (m_segments.empty()) {
        Problem("no loadable segment holds bytes of the file");
        return false;
    }
    std::sort(m_segments.begin(), m_segments.end(),
              [](const Segment& a, const Segment& b) { return a.address < b.address; });
    for (size_t i = 0; i < m_segments.size(); ++i) {
        const Segment& s = m_segments[i];
        if (s.address >= ADDRESS_SPACE || s.size > ADDRESS_SPACE - s.address) {
            Problem("bytes at " + Hex(s.address) + ", beyond 32-bit addresses");
            return false;
        }
        if (i > 0 && m_segments[i - 1].address + m_segments[i - 1].size > s.address) {
            Problem("two loadable parts overlap at " + Hex(s.address));
            return false;
        }
    }
    return true;
}

bool CFileElf::ReadPreamble()
{
    m_nSegment = 0;
    m_nDone = 0;
    return Recognise() == 1 && ReadSegments();
}

int CFileElf::ReadBlock(uint8_t* buffer, int max)
{
    if (m_nSegment >= m_segments.size())
        return 0;
    const Segment& s = m_segments[m_nSegment];
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(std::clamp(max, 1, BLOCK_BUFFER_SIZE)), s.size - m_nDone);
    if (!m_file.Seek(static_cast<int64_t>(s.offset + m_nDone)) || m_file.Read(buffer, n) != n)
        return -1;
    m_nBlockAddress = static_cast<uint32_t>(s.address + m_nDone);
    m_nDone += n;
    if (m_nDone == s.size) {
        ++m_nSegment;
        m_nDone = 0;
    }
    m_nBytesRead += static_cast<int64_t>(n);
    return static_cast<int>(n);
}
