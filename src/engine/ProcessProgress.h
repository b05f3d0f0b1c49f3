#pragma once
// What a process tells its owner as it goes, beside the host's display
// calls: the phase, the board and the data sent. tavrel-cli draws its
// progress lines, progress events and failure reasons from it.
#include <string>

enum ProcessPhase {
    PHASE_SCAN,            // identification of the connected board
    PHASE_TRANSFER_MODE,   // relays walked, the board put into transfer mode
    PHASE_ERASE,
    PHASE_DATA,
    PHASE_CHECKSUM,
    PHASE_RESTART,         // the board restarts and is identified again
};

// "scan", "transfer mode", "erase", "data", "checksum", "restart".
inline const char* ProcessPhaseName(int phase)
{
    static const char* const kNames[] = {"scan", "transfer mode", "erase", "data", "checksum", "restart"};
    return phase >= PHASE_SCAN && phase <= PHASE_RESTART ? kNames[phase] : "?";
}

struct ProcessProgress {
    int phase = PHASE_SCAN;
    int line = -1;            // board line of the request (0-based); -1 in a query
    int lines = 0;            // board lines of the request
    std::string board;        // the line's board name
    long long bytes = 0;      // data of the release sent so far (each record once)
    long long total = 0;      // data bytes of the release
    long resends = 0;         // records sent again on the board's request
    long lineRate = 0;        // bit/s of the link
};
