#pragma once
// Version texts and numbers of the program and of the resource library.
#include <string>

// The strings of a version block: FileVersion "2, 0, 0, 1" and SpecialBuild.
struct VersionBlock {
    std::string fileVersion;
    std::string specialBuild;
    bool readable = true;     // false: a block exists but cannot be read
};

struct ParsedVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
};

// The program's compiled-in version block.
const VersionBlock& ProgramVersionBlock();

// First three comma-separated fields as numbers; false when one is missing or
// not a number, or major is 0.
bool ParseFileVersion(const std::string& fileVersion, ParsedVersion& out);
// minor / 100 from 100, minor / 10 from 10, else minor.
int ReducedMinor(int minor);
// major * 10 + reduced minor.
int VersionNumber(const ParsedVersion& v);
// "V2.0 04/02/2002", or "V3.12ß5 ..." when build is not 0 (UTF-8 ß).
std::string VersionText(const ParsedVersion& v, const std::string& specialBuild);

// The version check on explicit blocks (library null: no library).
// Returns 1 agree, 0 differ, -1 no library, -2 program unreadable, -3 library unreadable.
int CheckVersionBlocks(const VersionBlock* program, const VersionBlock* library, int& version,
                       std::string& programText, std::string& libraryText);
