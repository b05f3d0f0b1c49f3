#pragma once
// The simulator's own event log (--log): one time-stamped line per event.
#include <cstdio>
#include <string>

namespace sim {

class SimLog {
public:
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    bool Open(const std::string& path);
    void Write(const std::string& line);
    // Printable form of line bytes: control and 8-bit bytes as <hh>.
    static std::string Printable(const std::string& bytes);

private:
    std::FILE* m_file = nullptr;
};

}  // namespace sim
