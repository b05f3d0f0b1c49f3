#pragma once
// Reading an identification reply: which board answered, with which software.
// Pure functions over the reply text (lines joined with CR LF) and the facts of
// one board line; the process controller turns their answers into selections,
// messages and board results.
#include <string>
#include <vector>

// What an ident reply is compared with: the target board definition of a line
// and how the line reaches it.
struct IdentTarget {
    std::string subassyId;      // "Subassy ID", e.g. "CM"
    std::string subassyHardw;   // "Subassy hardw.", comma-separated hardware versions
    std::string bootLoader;     // "Boot loader" text
    char destLetter = 0;        // 'A' + destination of the definition
    bool boardAlone = true;     // the line reaches the board directly
};

// Result of the ident analysis for one board line.
struct IdentLineMatch {
    bool found = false;   // the board answered (its boot loader line was seen)
    bool same = false;    // it already runs a software starting like the soft identification
    bool exact = false;   // that software equals the full soft identification
};

// The hardware versions of a "Subassy hardw." list, in order, empty entries left out.
std::vector<std::string> HardwareVersions(const std::string& subassyHardw);

// The reply cut into its lines at CR LF (each line without its CR LF).
std::vector<std::string> ReplyLines(const std::string& reply);

// The ident analysis of one board line before a transfer (groups of lines, port letters).
IdentLineMatch MatchIdentLine(const std::string& reply, const IdentTarget& target,
                              const std::string& softId);

// After a restart: does the reply identify the target board at all?
bool BoardFoundInReply(const std::string& reply, const IdentTarget& target);

// After a restart: does the reply show the target board running `softId`?
bool NewReleaseInReply(const std::string& reply, const IdentTarget& target,
                       const std::string& softId);

// The software the target board shows in the reply: the first line of its
// group that is not its boot loader line; empty when the reply does not show it.
std::string SoftwareInReply(const std::string& reply, const IdentTarget& target);

// Is the collected ident reply complete? `latestTotal` is field 2 (k) of the latest
// accepted line: complete when "$PKVR,IDENT,k,k" occurs in the reply.
bool IdentReplyComplete(const std::string& reply, long latestTotal);
