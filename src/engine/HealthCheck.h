#pragma once
// The health check of a receiver: its identification answer compared with the
// boards that a request or an environment expects. Each expected board is
// found (with its software), missing, waiting in its rescue loader or left in
// transfer mode; boards that nobody expects are listed; a verdict and the next
// step for every problem follow. Pure functions over the answer text, shared
// by tavrel-cli and the desktop program.
#include <string>
#include <vector>

#include "engine/IdentMatch.h"

class CEnvDef;
class CUpdateDoc;

// A board the receiver should hold.
struct ExpectedBoard {
    std::string name;
    IdentTarget target;
    std::string softId;       // the request's software; empty: not compared
    std::string parentName;   // the board it hangs on (relayed boards)
    std::string portName;     // "Port B", "Dpram 1" on that parent
    // Another board of the request's environments: told when it answers,
    // no problem when it does not.
    bool optional = false;
};

enum class BoardHealth {
    Found,                // answers with its boot loader and software
    Missing,              // not in the answer
    InRescueLoader,       // answers "UCRQ": waits for a release
    InTransferMode,       // a transfer stopped while it was in transfer mode
};

struct BoardCheck {
    std::string name;
    BoardHealth state = BoardHealth::Missing;
    std::vector<std::string> software;   // as answered, boot loader left out
    bool requestSoftware = false;        // runs the request's software (its first 4 characters)
    bool exactSoftware = false;          // runs exactly the request's software
    std::string detail;                  // what was seen, in words
    std::string nextStep;                // empty when nothing is to be done
};

// An answering board that matches none of the expected ones.
struct UnexpectedBoard {
    std::string hardware;   // Subassy ID and hardware version as answered
    std::string port;       // the parent's port letter; empty for the cabled board
    std::vector<std::string> software;
};

struct HealthReport {
    std::vector<BoardCheck> boards;
    std::vector<BoardCheck> others;   // optional boards that answered
    std::vector<UnexpectedBoard> unexpected;
    bool healthy = false;
    std::string verdict;
};

// What the check is told besides the answer.
struct HealthContext {
    std::string port;          // as the user named it, for the advice
    std::string requestPath;   // the request, for the commands it proposes; empty for an environment
    // Boards a transfer left in transfer mode (the answer cannot show it).
    std::vector<std::string> leftInTransferMode;
};

// The boards of the lines of a linked request, each preceded by the boards
// of its relay chain that are not lines themselves (their software is not
// compared), then the other boards of its environments as optional ones.
std::vector<ExpectedBoard> ExpectedBoardsOfRequest(const CUpdateDoc& doc);
// Every board definition of an environment.
std::vector<ExpectedBoard> ExpectedBoardsOfEnvironment(const CEnvDef& environment);

HealthReport CheckReceiverHealth(const std::string& answer, const std::vector<ExpectedBoard>& expected,
                                 const HealthContext& context);

// The report for people: one line per board, unexpected boards, the verdict,
// then one "next step" line per problem.
std::vector<std::string> HealthReportLines(const HealthReport& report);
const char* BoardHealthName(BoardHealth state);

// A connected board that waits in its rescue loader: the words that say so
// and the command that loads it; empty when the answer shows none.
std::string RescueLoaderNotice(const std::string& answer, const std::string& port);
