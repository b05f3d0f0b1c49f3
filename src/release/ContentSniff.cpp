#include "release/ContentSniff.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include "release/BufferedFile.h"
#include "release/FileBase.h"
#include "release/VleFile.h"

namespace {

// Bytes looked at for magic numbers and for text.
constexpr size_t SAMPLE_SIZE = 4096;
constexpr size_t TAR_BLOCK = 512;
constexpr size_t TAR_MAGIC_OFFSET = 257;
constexpr size_t TAR_CHECKSUM_OFFSET = 148;
constexpr size_t TAR_CHECKSUM_SIZE = 8;
// Above this share of bytes from 0x80 on, text that is not UTF-8 is taken
// for binary data (a flash image padded with 0xFF has no control byte).
constexpr size_t MAX_HIGH_BYTES_PER_100 = 25;
// Directory entries looked at for release files that share a .vle name.
constexpr size_t MAX_SIBLINGS_LOOKED_AT = 100000;
// The program's own files, which lie beside releases with the same stem (a
// request cpu.sfl loading cpu.s19) and are never release files.
const char* const kOwnFileExtensions[] = {"sfl", "def", "vle", "ini", "log", "sec"};
// Name given for a file name's extension in refusals; ".hex" is either text format.
constexpr int READER_HEX_TEXT = -100;

struct Magic {
    ContentKind kind;
    size_t offset;
    const char* bytes;
    size_t size;
};

const Magic kMagics[] = {
    {CONTENT_ZIP, 0, "PK\x03\x04", 4},
    {CONTENT_ZIP, 0, "PK\x05\x06", 4},   // an empty archive
    {CONTENT_ZIP, 0, "PK\x07\x08", 4},   // a spanned archive
    {CONTENT_GZIP, 0, "\x1F\x8B", 2},
    {CONTENT_XZ, 0, "\xFD" "7zXZ\x00", 6},
    {CONTENT_BZIP2, 0, "BZh", 3},
    {CONTENT_ZSTD, 0, "\x28\xB5\x2F\xFD", 4},
    {CONTENT_7Z, 0, "7z\xBC\xAF\x27\x1C", 6},
    {CONTENT_TAR, TAR_MAGIC_OFFSET, "ustar", 5},
};

const struct {
    ContentKind kind;
    const char* name;
} kKindNames[] = {
    {CONTENT_UNREADABLE, "no readable file"},
    {CONTENT_EMPTY, "an empty file"},
    {CONTENT_SRECORD, "S-records"},
    {CONTENT_INTEL_HEX, "Intel HEX"},
    {CONTENT_ELF, "an ELF file"},
    {CONTENT_IEEE695, "an IEEE 695 module"},
    {CONTENT_ABSOLUTE, "an absolute file"},
    {CONTENT_TEXT, "text"},
    {CONTENT_ZIP, "a zip archive"},
    {CONTENT_GZIP, "a gzip-compressed file"},
    {CONTENT_XZ, "an xz-compressed file"},
    {CONTENT_BZIP2, "a bzip2-compressed file"},
    {CONTENT_ZSTD, "a zstd-compressed file"},
    {CONTENT_7Z, "a 7z archive"},
    {CONTENT_TAR, "a tar archive"},
    {CONTENT_BINARY, "binary data"},
};

// The release formats by the extension of their usual file names.
const struct {
    const char* extension;
    int reader;
    const char* name;
} kNamedFormats[] = {
    {"elf", READER_ELF, "an ELF file"},
    {"axf", READER_ELF, "an ELF file"},
    {"hex", READER_HEX_TEXT, "a hex file (Intel HEX or S-records)"},
    {"ihex", READER_INTEL_HEX, "Intel HEX"},
    {"ihx", READER_INTEL_HEX, "Intel HEX"},
    {"s19", RELEASE_SRECORD, "S-records"},
    {"s28", RELEASE_SRECORD, "S-records"},
    {"s37", RELEASE_SRECORD, "S-records"},
    {"srec", RELEASE_SRECORD, "S-records"},
    {"mot", RELEASE_SRECORD, "S-records"},
    {"x30", RELEASE_IEEE695, "an IEEE 695 module"},
    {"695", RELEASE_IEEE695, "an IEEE 695 module"},
    {"abs", RELEASE_ABSOLUTE, "an absolute file"},
};

// The reader of each release content.
const struct {
    ContentKind kind;
    int reader;
} kContentReaders[] = {
    {CONTENT_SRECORD, RELEASE_SRECORD}, {CONTENT_INTEL_HEX, READER_INTEL_HEX}, {CONTENT_ELF, READER_ELF},
    {CONTENT_IEEE695, RELEASE_IEEE695}, {CONTENT_ABSOLUTE, RELEASE_ABSOLUTE},
};

size_t NameStart(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string LowerExtension(const std::string& path)
{
    const size_t nameStart = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart))
        return {};
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return extension;
}

const char* NamedFormatText(int named)
{
    for (const auto& row : kNamedFormats)
        if (row.reader == named) return row.name;
    return "a release file";
}

int ReaderOfContent(ContentKind kind)
{
    for (const auto& row : kContentReaders)
        if (row.kind == kind) return row.reader;
    return -1;
}

ContentKind ContentOfReader(int reader)
{
    for (const auto& row : kContentReaders)
        if (row.reader == reader) return row.kind;
    return CONTENT_BINARY;
}

// A module that begins with E0 and a 4-character name starts like an absolute
// file (a first byte from 0x80 on, then 0x04); a complete IEEE 695 header
// part decides for IEEE 695.
bool IsIeee695Module(const std::string& path)
{
    CFileIeee695 ieee;
    ieee.SetSource(path, nullptr);
    return ieee.OpenRelease() && ieee.HasValidHeader();
}

// The reader that recognises the file, in the order of the formats' tests;
// -1 when none does.
int ReaderRecognising(const std::string& path)
{
    for (int type : {int(RELEASE_SRECORD), int(RELEASE_ABSOLUTE), int(RELEASE_IEEE695), int(READER_ELF),
                     int(READER_INTEL_HEX)}) {
        std::unique_ptr<CFileBase> reader = CreateReader(type);
        reader->SetSource(path, nullptr);
        if (reader->OpenRelease() && reader->Recognise() == 1)
            return type == RELEASE_ABSOLUTE && IsIeee695Module(path) ? RELEASE_IEEE695 : type;
    }
    return -1;
}

// An old tar header has no magic; its checksum (the sum of the header's
// bytes with the checksum field read as blanks, in octal) tells it.
bool IsTarHeader(const uint8_t* block, size_t size)
{
    if (size < TAR_BLOCK || block[0] == 0)
        return false;
    unsigned sum = 0;
    for (size_t i = 0; i < TAR_BLOCK; ++i)
        sum += i >= TAR_CHECKSUM_OFFSET && i < TAR_CHECKSUM_OFFSET + TAR_CHECKSUM_SIZE ? ' ' : block[i];
    unsigned stored = 0;
    size_t i = TAR_CHECKSUM_OFFSET;
    while (i < TAR_CHECKSUM_OFFSET + TAR_CHECKSUM_SIZE && block[i] == ' ')
        ++i;
    size_t digits = 0;
    for (; i < TAR_CHECKSUM_OFFSET + TAR_CHECKSUM_SIZE && block[i] >= '0' && block[i] <= '7'; ++i, ++digits)
        stored = stored * 8 + (block[i] - '0');
    return digits > 0 && stored == sum;
}

ContentKind ArchiveKind(const uint8_t* sample, size_t size)
{
    for (const Magic& m : kMagics)
        if (size >= m.offset + m.size && std::memcmp(sample + m.offset, m.bytes, m.size) == 0)
            return m.kind;
    return IsTarHeader(sample, size) ? CONTENT_TAR : CONTENT_BINARY;
}

bool IsTextControl(uint8_t c)
{
    return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A /* DOS end of file */ ||
           c == 0x1B /* escape of coloured text */;
}

// Length of the UTF-8 sequence at p (1 to 4), 0 when it is no valid one; a
// sequence cut by the end of the sample counts as valid.
size_t Utf8Length(const uint8_t* p, size_t left)
{
    size_t length = p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 && p[0] <= 0xDF ? 2 : 0;
    if (length == 0 || p[0] > 0xF4)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if (i >= left)
            return left;
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Text: no control byte but white space, and either UTF-8 or few bytes from
// 0x80 on (a text in a Windows code page).
bool LooksLikeText(const uint8_t* sample, size_t size)
{
    bool utf8 = true;
    size_t high = 0;
    for (size_t i = 0; i < size;) {
        const uint8_t c = sample[i];
        if ((c < 0x20 && !IsTextControl(c)) || c == 0x7F)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        ++high;
        const size_t length = utf8 ? Utf8Length(sample + i, size - i) : 0;
        if (length == 0) {
            utf8 = false;
            ++i;
        } else {
            i += length;
        }
    }
    return utf8 || high * 100 <= size * MAX_HIGH_BYTES_PER_100;
}

}  // namespace

ContentKind SniffContent(const std::string& path)
{
    CBufferedFile file;
    if (!file.Open(path))
        return CONTENT_UNREADABLE;
    if (file.Length() == 0)
        return CONTENT_EMPTY;
    uint8_t sample[SAMPLE_SIZE];
    const size_t size = file.Read(sample, sizeof sample);
    if (file.Failed() || size == 0)
        return CONTENT_UNREADABLE;
    file.Close();

    const int reader = ReaderRecognising(path);
    if (reader >= 0)
        return ContentOfReader(reader);
    const ContentKind archive = ArchiveKind(sample, size);
    if (archive != CONTENT_BINARY)
        return archive;
    return LooksLikeText(sample, size) ? CONTENT_TEXT : CONTENT_BINARY;
}

const char* ContentKindName(ContentKind kind)
{
    for (const auto& row : kKindNames)
        if (row.kind == kind) return row.name;
    return "binary data";
}

bool IsTextOrArchive(ContentKind kind)
{
    return kind >= CONTENT_TEXT && kind <= CONTENT_TAR;
}

int ReaderNamedBy(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    for (const auto& row : kNamedFormats)
        if (extension == row.extension) return row.reader;
    return -1;
}

bool NameAllows(int named, int reader)
{
    if (named == READER_HEX_TEXT)
        return reader == READER_INTEL_HEX || reader == RELEASE_SRECORD;
    return named < 0 || named == reader;
}

ReleaseRecognition RecogniseRelease(const std::string& path, bool forceRaw)
{
    ReleaseRecognition r;
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        r.type = -2;
        return r;
    }
    r.content = SniffContent(path);
    if (r.content == CONTENT_UNREADABLE || r.content == CONTENT_EMPTY) {
        r.refusal = r.content == CONTENT_EMPTY ? "the file is empty" : "not a regular file that can be read";
        return r;
    }
    if (forceRaw) {
        r.type = RELEASE_ANY;
        return r;
    }
    const int reader = ReaderOfContent(r.content);
    const int named = ReaderNamedBy(path);
    if (!NameAllows(named, reader)) {
        r.refusal = std::string("named as ") + NamedFormatText(named) + " but it looks like " +
                    ContentKindName(r.content);
        return r;
    }
    if (reader >= 0) {
        r.type = reader;
    } else if (IsTextOrArchive(r.content)) {
        r.refusal = std::string("it looks like ") + ContentKindName(r.content) + ", which is never loaded as a raw image";
    } else {
        r.type = RELEASE_ANY;
    }
    return r;
}

std::vector<std::string> ReleasesSharingVle(const std::string& releasePath)
{
    namespace fs = std::filesystem;
    std::vector<std::string> others;
    const size_t nameStart = NameStart(releasePath);
    const std::string prefix = releasePath.substr(0, nameStart);   // the directory with its separator
    const std::string directory = prefix.empty() ? "." : prefix;
    const std::string vlePath = VlePathFor(releasePath);
    const std::string name = releasePath.substr(nameStart);
    const std::string vleName = vlePath.substr(NameStart(vlePath));
    // The names that give the same .vle name begin with its stem.
    const std::string stem = vleName.substr(0, vleName.size() - 4);
    std::error_code ec;
    fs::directory_iterator it(directory, ec), end;
    for (size_t seen = 0; !ec && it != end && seen < MAX_SIBLINGS_LOOKED_AT; it.increment(ec), ++seen) {
        const std::string other = it->path().filename().string();
        if (other == name || other == vleName || other.compare(0, stem.size(), stem) != 0)
            continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || typeError)
            continue;
        const std::string extension = LowerExtension(other);
        if (std::find(std::begin(kOwnFileExtensions), std::end(kOwnFileExtensions), extension) !=
            std::end(kOwnFileExtensions))
            continue;
        if (VlePathFor(other) == vleName && RecogniseRelease(prefix + other).type >= 0)
            others.push_back(other);
    }
    std::sort(others.begin(), others.end());
    return others;
}
