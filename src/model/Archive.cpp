// Archive encoding: writer, bounded reader and the Windows-1252 text codec.
#include "model/Archive.h"

#include <array>
#include <limits>

namespace {

// Code points of bytes 0x80..0x9F; the bytes Windows-1252 leaves undefined
// keep their C1 control code point so that they survive a round trip.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char kUnmappable = '?';

char32_t CodePointOfByte(uint8_t byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kCp1252High[byte - 0x80];
    return byte;
}

// Byte of a code point, or -1 when Windows-1252 has none.
int ByteOfCodePoint(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == cp)
            return static_cast<int>(0x80 + i);
    return -1;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `pos`; an invalid sequence yields U+FFFD and
// advances by one byte.
char32_t NextCodePoint(const std::string& s, size_t& pos)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(pos);
    size_t extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + extra >= s.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (size_t i = 1; i <= extra; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    pos += extra + 1;
    return cp;
}

}   // namespace

std::string Cp1252ToUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        AppendUtf8(out, CodePointOfByte(static_cast<uint8_t>(c)));
    return out;
}

std::string Utf8ToCp1252(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const int b = ByteOfCodePoint(NextCodePoint(utf8, pos));
        out += b < 0 ? kUnmappable : static_cast<char>(b);
    }
    return out;
}

size_t Cp1252Length(const std::string& utf8)
{
    size_t count = 0;
    size_t pos = 0;
    while (pos < utf8.size()) {
        NextCodePoint(utf8, pos);
        ++count;
    }
    return count;
}

CArchive::CArchive() : m_bStoring(true) {}

CArchive::CArchive(std::vector<uint8_t> bytes) : m_bStoring(false), m_bytes(std::move(bytes)) {}

// --- storing ---------------------------------------------------------------

void CArchive::WriteInt(int32_t value)
{
    const auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void CArchive::WriteWord(uint16_t value)
{
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void CArchive::WriteText(const std::string& utf8)
{
    const std::string bytes = Utf8ToCp1252(utf8);
    const size_t n = bytes.size();
    if (n <= 0xFE) {
        m_bytes.push_back(static_cast<uint8_t>(n));
    } else if (n <= 0xFFFD) {
        m_bytes.push_back(0xFF);
        WriteWord(static_cast<uint16_t>(n));
    } else {
        m_bytes.push_back(0xFF);
        WriteWord(0xFFFF);
        WriteInt(static_cast<int32_t>(static_cast<uint32_t>(n)));
    }
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void CArchive::WriteClassTag(const char* className, uint16_t schema)
{
    const std::string name(className);
    for (size_t i = 0; i < m_classes.size(); ++i) {
        if (m_classes[i].name == name) {
            WriteWord(static_cast<uint16_t>(ARCH_CLASS_TAG_BIT | (i + 1)));
            return;
        }
    }
    m_classes.push_back({name, schema});
    WriteWord(ARCH_NEW_CLASS_TAG);
    WriteWord(schema);
    WriteWord(static_cast<uint16_t>(name.size()));
    m_bytes.insert(m_bytes.end(), name.begin(), name.end());
}

// --- loading ---------------------------------------------------------------

void CArchive::Fail(const std::string& why)
{
    if (m_strError.empty())
        m_strError = why.empty() ? "format error" : why;
}

bool CArchive::Need(size_t count)
{
    if (!Ok())
        return false;
    if (count > Remaining()) {
        Fail("unexpected end of data at byte " + std::to_string(m_nPos));
        return false;
    }
    return true;
}

bool CArchive::CheckCount(int64_t count, size_t minBytes)
{
    if (!Ok())
        return false;
    if (count < 0) {
        Fail("negative count " + std::to_string(count));
        return false;
    }
    if (minBytes > 0 && static_cast<uint64_t>(count) > Remaining() / minBytes) {
        Fail("count " + std::to_string(count) + " larger than the data");
        return false;
    }
    return true;
}

uint8_t CArchive::ReadByte()
{
    if (!Need(1))
        return 0;
    return m_bytes[m_nPos++];
}

uint16_t CArchive::ReadWord()
{
    if (!Need(2))
        return 0;
    const uint16_t v = static_cast<uint16_t>(m_bytes[m_nPos] | (m_bytes[m_nPos + 1] << 8));
    m_nPos += 2;
    return v;
}

int32_t CArchive::ReadInt()
{
    if (!Need(4))
        return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | m_bytes[m_nPos + i];
    m_nPos += 4;
    return static_cast<int32_t>(v);
}

// Reads the 1-, 3- or 7-byte length form that starts with `first`; the
// 16-bit marker (0xFFFE) is followed by the length once more.
uint64_t CArchive::ReadLength(uint8_t first, bool& wide)
{
    if (first < 0xFF)
        return first;
    const uint16_t word = ReadWord();
    if (word == 0xFFFE) {
        if (wide) {
            Fail("repeated 16-bit text marker");
            return 0;
        }
        wide = true;
        return ReadLength(ReadByte(), wide);
    }
    if (word < 0xFFFF)
        return word;
    return static_cast<uint32_t>(ReadInt());
}

uint64_t CArchive::ReadLengthPrefix(bool& wide)
{
    wide = false;
    return ReadLength(ReadByte(), wide);
}

std::string CArchive::ReadText()
{
    bool wide = false;
    const uint64_t n = ReadLengthPrefix(wide);
    if (!Ok())
        return {};
    const uint64_t byteCount = wide ? n * 2 : n;
    if (byteCount > Remaining()) {
        Fail("text length " + std::to_string(n) + " beyond the data at byte " +
             std::to_string(m_nPos));
        return {};
    }
    std::string cp1252;
    cp1252.reserve(static_cast<size_t>(n));
    if (wide) {
        for (uint64_t i = 0; i < n; ++i) {
            const char16_t unit = static_cast<char16_t>(m_bytes[m_nPos] | (m_bytes[m_nPos + 1] << 8));
            m_nPos += 2;
            const int b = (unit >= 0xD800 && unit <= 0xDFFF) ? -1 : ByteOfCodePoint(unit);
            cp1252 += b < 0 ? kUnmappable : static_cast<char>(b);
        }
    } else {
        cp1252.assign(reinterpret_cast<const char*>(m_bytes.data() + m_nPos), static_cast<size_t>(n));
        m_nPos += static_cast<size_t>(n);
    }
    return Cp1252ToUtf8(cp1252);
}

uint16_t CArchive::ReadClassTag(const char* className)
{
    const uint16_t tag = ReadWord();
    if (!Ok())
        return 0;
    if (tag == ARCH_NEW_CLASS_TAG) {
        const uint16_t schema = ReadWord();
        const uint16_t nameLength = ReadWord();
        if (!Ok())
            return 0;
        if (nameLength > ARCH_MAX_CLASS_NAME) {
            Fail("class name of " + std::to_string(nameLength) + " bytes");
            return 0;
        }
        if (!Need(nameLength))
            return 0;
        const std::string name(reinterpret_cast<const char*>(m_bytes.data() + m_nPos), nameLength);
        m_nPos += nameLength;
        if (name != className) {
            Fail("unexpected class \"" + Cp1252ToUtf8(name) + "\" where " + className + " belongs");
            return 0;
        }
        m_classes.push_back({name, schema});
        return schema;
    }
    if (tag == ARCH_BIG_OBJECT_TAG) {
        Fail("32-bit object tag");
        return 0;
    }
    if ((tag & ARCH_CLASS_TAG_BIT) == 0) {
        Fail("object reference tag " + std::to_string(tag));
        return 0;
    }
    const size_t index = tag & ~ARCH_CLASS_TAG_BIT;
    if (index == 0 || index > m_classes.size()) {
        Fail("class index " + std::to_string(index) + " unknown");
        return 0;
    }
    const ClassEntry& entry = m_classes[index - 1];
    if (entry.name != className) {
        Fail("class index " + std::to_string(index) + " names " + entry.name + " where " + className +
             " belongs");
        return 0;
    }
    return entry.schema;
}

// --- both directions ---------------------------------------------------------

void CArchive::Int(int32_t& value)
{
    if (m_bStoring)
        WriteInt(value);
    else
        value = ReadInt();
}

void CArchive::Text(std::string& value)
{
    if (m_bStoring)
        WriteText(value);
    else
        value = ReadText();
}
