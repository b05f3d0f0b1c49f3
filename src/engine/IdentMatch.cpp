#include "engine/IdentMatch.h"

#include <cstdio>

#include "engine/SentenceFields.h"

namespace {

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The group bookkeeping of the ident analysis: a board's lines share field 4
// and, for a relayed board, the port letter of field 6.
struct LineGroup {
    std::string field4;
    std::string port;
    bool started = false;

    // Feeds one line; true when the line begins a new group.
    bool Feed(const std::string& field4OfLine, const std::string& field6OfLine)
    {
        bool newGroup = !started || field4OfLine != field4 ||
                        (!field6OfLine.empty() && field6OfLine != port);
        if (newGroup) {
            started = true;
            field4 = field4OfLine;
            port.clear();
        }
        if (port.empty() && !field6OfLine.empty()) port = field6OfLine;
        return newGroup;
    }
};

bool PortMatches(const IdentTarget& target, const std::string& port)
{
    if (target.boardAlone) return port.empty();
    return port.size() == 1 && port[0] == target.destLetter;
}

// The walk shared by the two restart tests: `softOrBoot` is the boot loader text
// (found test) or the soft identification (new-release test).
bool RestartWalk(const std::string& reply, const IdentTarget& target,
                 const std::string& softOrBoot, bool wholeLineForAlone)
{
    if (reply.empty()) return false;
    const auto versions = HardwareVersions(target.subassyHardw);
    std::string rememberedPort;
    for (const std::string& line : ReplyLines(reply)) {
        const std::string field6 = SentenceField(line, 6);
        if (!field6.empty()) rememberedPort = field6;
        const std::string field4 = SentenceField(line, 4);
        const std::string field5 = SentenceField(line, 5);
        for (const std::string& hw : versions) {
            const std::string ident = target.subassyId + hw;
            if (target.boardAlone) {
                if (wholeLineForAlone) {
                    if (Contains(line, ident + "," + softOrBoot)) return true;
                } else if (field4 == ident && Contains(field5, softOrBoot)) {
                    return true;
                }
            } else if (field4 == ident && Contains(field5, softOrBoot) &&
                       rememberedPort.size() == 1 && rememberedPort[0] == target.destLetter) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> HardwareVersions(const std::string& subassyHardw)
{
    std::vector<std::string> out;
    std::string current;
    for (char c : subassyHardw) {
        if (c == ',') {
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

std::vector<std::string> ReplyLines(const std::string& reply)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < reply.size()) {
        size_t end = reply.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(reply.substr(start));
            break;
        }
        lines.push_back(reply.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

IdentLineMatch MatchIdentLine(const std::string& reply, const IdentTarget& target,
                              const std::string& softId)
{
    IdentLineMatch match;
    const std::string soft = softId.size() > 3 ? softId.substr(0, 4) : softId;
    const auto versions = HardwareVersions(target.subassyHardw);
    LineGroup group;
    for (const std::string& line : ReplyLines(reply)) {
        const std::string field4 = SentenceField(line, 4);
        const std::string field5 = SentenceField(line, 5);
        const std::string field6 = SentenceField(line, 6);
        if (group.Feed(field4, field6) && (match.found || match.same)) break;
        if (!PortMatches(target, group.port)) continue;
        for (const std::string& hw : versions) {
            if (group.field4 != target.subassyId + hw) continue;
            if (!match.found && StartsWith(field5, target.bootLoader))
                match.found = true;
            if (!match.same && StartsWith(field5, soft)) {
                match.same = true;
                match.exact = field5 == softId;
            }
        }
    }
    return match;
}

bool BoardFoundInReply(const std::string& reply, const IdentTarget& target)
{
    return RestartWalk(reply, target, target.bootLoader, true);
}

bool NewReleaseInReply(const std::string& reply, const IdentTarget& target,
                       const std::string& softId)
{
    return RestartWalk(reply, target, softId, false);
}

std::string SoftwareInReply(const std::string& reply, const IdentTarget& target)
{
    const auto versions = HardwareVersions(target.subassyHardw);
    LineGroup group;
    for (const std::string& line : ReplyLines(reply)) {
        const std::string field5 = SentenceField(line, 5);
        group.Feed(SentenceField(line, 4), SentenceField(line, 6));
        if (!PortMatches(target, group.port) || field5.empty()) continue;
        for (const std::string& hw : versions) {
            if (group.field4 != target.subassyId + hw) continue;
            if (!target.bootLoader.empty() && StartsWith(field5, target.bootLoader)) continue;
            return field5;
        }
    }
    return {};
}

bool IdentReplyComplete(const std::string& reply, long latestTotal)
{
    char text[64];
    std::snprintf(text, sizeof text, "$PKVR,IDENT,%ld,%ld", latestTotal, latestTotal);
    return Contains(reply, text);
}
