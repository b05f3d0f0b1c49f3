#pragma once
// The edit-rights file Tavrel.sec: eight flag bytes, "Y" or "y" sets a flag,
// any other byte clears it; a file shorter than eight bytes sets none. Only
// flag 0 is used: the right to create and edit environments and requests.
#include <array>
#include <string>

inline constexpr std::size_t RIGHTS_FLAG_COUNT = 8;
inline constexpr std::size_t RIGHTS_FLAG_EDIT = 0;
using RightsFlags = std::array<bool, RIGHTS_FLAG_COUNT>;

// The flags of the file at `path`, all cleared when it is missing, is no
// regular file or is shorter than eight bytes. Reads eight bytes at most.
RightsFlags ReadRightsFile(const std::string& path);

// Sets or clears flag `flag` in the file at `path`. An existing file of
// eight bytes or more has only that byte rewritten ("Y" or "N"), in place;
// otherwise the file is (re)written as eight bytes holding that flag and
// "N" for the others. False with `error` set when the file cannot be written.
bool WriteRightsFlag(const std::string& path, std::size_t flag, bool on, std::string& error);
