#include "sim/SimLog.h"

#include <chrono>
#include <ctime>

namespace sim {

SimLog::~SimLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool SimLog::Open(const std::string& path)
{
    m_file = std::fopen(path.c_str(), "a");
    return m_file != nullptr;
}

void SimLog::Write(const std::string& line)
{
    if (!m_file)
        return;
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::fprintf(m_file, "%s.%03d %s\n", stamp, static_cast<int>(ms), line.c_str());
    std::fflush(m_file);
}

std::string SimLog::Printable(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            text += '<';
            text += kHex[c >> 4];
            text += kHex[c & 15];
            text += '>';
        }
    }
    return text;
}

}  // namespace sim
