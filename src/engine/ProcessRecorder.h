#pragma once
// What the process controller tells a record keeper (the history of loads)
// as a process runs: its start, each identification answer, each board line
// that starts and ends, and the end of the run. The engine knows nothing of
// how it is kept. A recorder that fails returns false with its reason; the
// engine logs that once and calls it no more for that process: keeping the
// record never changes a process.
#include <string>
#include <utility>
#include <vector>

struct RecordedRunStart {
    int process = 0;         // ProcessType
    std::string port;        // the link's port name
    long rate = 0;           // bit/s the link starts at
    std::string request;     // full path of the request file; empty for a query or repair
};

struct RecordedIdent {
    std::string reply;       // the answer, lines joined with CR LF
    long rate = 0;           // bit/s it was heard at
    bool afterRestart = false;
    // The software each board line of the request showed in this answer
    // (line index, software), for the lines it shows.
    std::vector<std::pair<int, std::string>> lineSoftware;
};

struct RecordedBoardStart {
    int line = 0;                 // index of the board line in the request
    std::string board;
    std::string environment;
    std::string subassyId;        // of the board definition
    std::string hardware;         // "Subassy hardw." of the line
    std::string softwareWanted;   // the line's soft identification
    std::string releasePath;      // the release file as the request names it, with its folder
    std::string vlePath;          // the converted release file
    long rate = 0;                // bit/s of the board's transfer
};

struct RecordedBoardEnd {
    int line = 0;
    std::string softwareAfter;    // found after the restart; empty when not identified
    long long bytes = 0;          // bytes sent to the board, resends included
    long resends = 0;
    long seconds = 0;
    int resultCode = 0;           // BoardResult
    std::string resultText;
    std::string reason;           // why it ended so; empty when OK
};

struct RecordedRunEnd {
    bool ok = false;
    std::string reason;           // the message the process ended with; empty when OK
    // Boards a failed transfer left in transfer mode (until the receiver is
    // switched off and on).
    std::vector<std::string> transferMode;
};

class CProcessRecorder {
public:
    virtual ~CProcessRecorder() = default;
    virtual bool RunStarted(const RecordedRunStart& run) = 0;
    virtual bool IdentAnswer(const RecordedIdent& ident) = 0;
    virtual bool BoardStarted(const RecordedBoardStart& board) = 0;
    virtual bool BoardEnded(const RecordedBoardEnd& board) = 0;
    virtual bool RunEnded(const RecordedRunEnd& run) = 0;
    // The boards the last transfer on `port` left in transfer mode, as the
    // record holds them; empty when it left none or nothing is known.
    virtual std::vector<std::string> LeftInTransferMode(const std::string& port) = 0;
    // Why the last call failed.
    virtual std::string LastError() const = 0;
};
