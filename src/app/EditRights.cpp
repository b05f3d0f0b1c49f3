#include "app/EditRights.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

constexpr char kFlagOn = 'Y';
constexpr char kFlagOff = 'N';

bool IsRegularFile(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The first eight bytes, when the file holds that many.
bool ReadFlagBytes(const std::string& path, char (&bytes)[RIGHTS_FLAG_COUNT])
{
    // A FIFO or a device would block the read or never end.
    if (!IsRegularFile(path)) return false;
    std::ifstream in(path, std::ios::binary);
    return in && in.read(bytes, sizeof bytes) && in.gcount() == static_cast<std::streamsize>(sizeof bytes);
}

std::string Reason(const std::string& path)
{
    return "cannot write \"" + path + "\": " + std::strerror(errno);
}

}  // namespace

RightsFlags ReadRightsFile(const std::string& path)
{
    RightsFlags flags{};
    char bytes[RIGHTS_FLAG_COUNT];
    if (!ReadFlagBytes(path, bytes)) return flags;
    for (std::size_t i = 0; i < flags.size(); ++i) flags[i] = bytes[i] == 'Y' || bytes[i] == 'y';
    return flags;
}

bool WriteRightsFlag(const std::string& path, std::size_t flag, bool on, std::string& error)
{
    if (flag >= RIGHTS_FLAG_COUNT) {
        error = "no such rights flag";
        return false;
    }
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !IsRegularFile(path)) {
        error = "\"" + path + "\" is not a regular file";
        return false;
    }
    const char value = on ? kFlagOn : kFlagOff;
    char bytes[RIGHTS_FLAG_COUNT];
    if (ReadFlagBytes(path, bytes)) {
        // The other flags and anything after them stay as they are.
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        if (!file || !file.seekp(static_cast<std::streamoff>(flag)) || !file.put(value) || !file.flush()) {
            error = Reason(path);
            return false;
        }
        return true;
    }
    char fresh[RIGHTS_FLAG_COUNT];
    std::memset(fresh, kFlagOff, sizeof fresh);
    fresh[flag] = value;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(fresh, sizeof fresh) || !out.flush()) {
        error = Reason(path);
        return false;
    }
    return true;
}
