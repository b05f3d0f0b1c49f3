#pragma once
// The archive encoding of .def and .sfl files and of the clipboard: a
// sequential little-endian byte stream of integers, words, texts and class
// tags. Reading is bounded by the bytes that remain; any fault (running out
// of bytes, a bad tag, an unexpected class) is a format error that sticks:
// every later read returns zero or empty and Ok() stays false, so callers
// check once at the end (or before a loop step) instead of catching.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Windows-1252 <-> UTF-8. Every byte maps to one code point (the five bytes
// that Windows-1252 leaves undefined map to U+0081, U+008D, U+008F, U+0090,
// U+009D), so a text read and written back is byte-identical. Characters
// that Windows-1252 cannot hold become '?'.
std::string Cp1252ToUtf8(const std::string& bytes);
std::string Utf8ToCp1252(const std::string& utf8);
// Number of characters of a UTF-8 text as Windows-1252 counts them.
size_t Cp1252Length(const std::string& utf8);

// Class tags.
inline constexpr uint16_t ARCH_NEW_CLASS_TAG = 0xFFFF;
inline constexpr uint16_t ARCH_CLASS_TAG_BIT = 0x8000;
inline constexpr uint16_t ARCH_BIG_OBJECT_TAG = 0x7FFF;
inline constexpr size_t ARCH_MAX_CLASS_NAME = 63;   // 64 bytes or more is a format error

class CArchive {
public:
    // A storing archive that appends to its own buffer.
    CArchive();
    // A loading archive over `bytes` (copied).
    explicit CArchive(std::vector<uint8_t> bytes);

    bool IsStoring() const { return m_bStoring; }
    bool IsLoading() const { return !m_bStoring; }

    // --- storing ------------------------------------------------------------
    void WriteInt(int32_t value);
    void WriteWord(uint16_t value);
    void WriteText(const std::string& utf8);
    // Writes the first-time tag (0xFFFF, schema, name) or 0x8000 + class index.
    void WriteClassTag(const char* className, uint16_t schema);
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    // --- loading ------------------------------------------------------------
    int32_t ReadInt();
    uint16_t ReadWord();
    uint8_t ReadByte();
    std::string ReadText();   // UTF-8
    // Reads a class tag that must name `className`; returns the schema of the
    // object (0 after a format error).
    uint16_t ReadClassTag(const char* className);

    // Both directions: `value` is written or read.
    void Int(int32_t& value);
    void Text(std::string& value);

    bool Ok() const { return m_strError.empty(); }
    const std::string& Error() const { return m_strError; }
    size_t Remaining() const { return m_bytes.size() - m_nPos; }
    size_t Position() const { return m_nPos; }
    // Marks a format error (the first one is kept).
    void Fail(const std::string& why);
    // Format error unless at least `count` items of `minBytes` each can still follow.
    bool CheckCount(int64_t count, size_t minBytes);

private:
    bool Need(size_t count);
    uint64_t ReadLengthPrefix(bool& wide);
    uint64_t ReadLength(uint8_t first, bool& wide);

    bool m_bStoring;
    std::vector<uint8_t> m_bytes;
    size_t m_nPos = 0;
    std::string m_strError;
    struct ClassEntry {
        std::string name;
        uint16_t schema;
    };
    std::vector<ClassEntry> m_classes;   // index 1 = m_classes[0]
};

// One object stored alone in an archive (a file's root object or a clipboard
// record): its bytes.
template <class T>
std::vector<uint8_t> ObjectToBytes(const T& object)
{
    CArchive ar;
    T copy = object;   // Serialize is both ways, so it takes a non-const object
    copy.Serialize(ar);
    return ar.Bytes();
}

// Reads one object from `bytes`; on a format error returns false with the
// reason and leaves `object` untouched. Bytes after the object are left
// alone, as the readers of other programs do.
template <class T>
bool ObjectFromBytes(const std::vector<uint8_t>& bytes, T& object, std::string* error)
{
    CArchive ar(bytes);
    T loaded;
    loaded.Serialize(ar);
    if (!ar.Ok()) {
        if (error)
            *error = ar.Error();
        return false;
    }
    object = std::move(loaded);
    return true;
}
