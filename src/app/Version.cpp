// Version check: parsing FileVersion texts and comparing program and library.
#include "app/Version.h"

#include <cctype>
#include <vector>

#include "app/BuildVersion.h"
#include "app/Strings.h"

namespace {

constexpr int STR_UNKNOWN_VERSION = 169;
// More digits than this cannot be a version field (and would overflow).
constexpr std::size_t kMaxFieldDigits = 9;

// A field is blanks, digits, blanks.
bool ParseField(const std::string& field, int& value)
{
    std::size_t b = field.find_first_not_of(" \t");
    std::size_t e = field.find_last_not_of(" \t");
    if (b == std::string::npos) return false;
    const std::string digits = field.substr(b, e - b + 1);
    if (digits.empty() || digits.size() > kMaxFieldDigits) return false;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = std::stoi(digits);
    return true;
}

std::vector<std::string> SplitAtCommas(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

// Reads one block; false gives the "(Unknown version)" text.
bool ReadBlock(const VersionBlock& block, ParsedVersion& v, std::string& text)
{
    if (!block.readable || !ParseFileVersion(block.fileVersion, v)) {
        text = GetString(STR_UNKNOWN_VERSION);
        return false;
    }
    text = VersionText(v, block.specialBuild);
    return true;
}

}  // namespace

const VersionBlock& ProgramVersionBlock()
{
    static const VersionBlock block{BuildFileVersion(), BuildSpecialBuild(), true};
    return block;
}

bool ParseFileVersion(const std::string& fileVersion, ParsedVersion& out)
{
    const std::vector<std::string> fields = SplitAtCommas(fileVersion);
    if (fields.size() < 3) return false;
    ParsedVersion v;
    if (!ParseField(fields[0], v.major) || !ParseField(fields[1], v.minor) ||
        !ParseField(fields[2], v.build))
        return false;
    if (v.major == 0) return false;
    out = v;
    return true;
}

int ReducedMinor(int minor)
{
    if (minor >= 100) return minor / 100;
    if (minor >= 10) return minor / 10;
    return minor;
}

int VersionNumber(const ParsedVersion& v)
{
    return v.major * 10 + ReducedMinor(v.minor);
}

std::string VersionText(const ParsedVersion& v, const std::string& specialBuild)
{
    std::string text = "V" + std::to_string(v.major) + "." + std::to_string(v.minor);
    if (v.build != 0) text += "\xC3\x9F" + std::to_string(v.build);   // ß
    return text + " " + specialBuild;
}

int CheckVersionBlocks(const VersionBlock* program, const VersionBlock* library, int& version,
                       std::string& programText, std::string& libraryText)
{
    libraryText.clear();
    ParsedVersion prog;
    if (!program) {
        programText = GetString(STR_UNKNOWN_VERSION);
        return -2;
    }
    if (!ReadBlock(*program, prog, programText)) return -2;
    version = VersionNumber(prog);

    if (!library) return -1;
    ParsedVersion lib;
    if (!ReadBlock(*library, lib, libraryText)) return -3;
    return (lib.major == prog.major && ReducedMinor(lib.minor) == ReducedMinor(prog.minor)) ? 1
                                                                                          : 0;
}
