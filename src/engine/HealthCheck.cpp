// The health check: an identification answer against the boards expected.
#include "engine/HealthCheck.h"

#include <algorithm>

#include "link/DeviceSentence.h"
#include "link/IdentReply.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

namespace {

constexpr const char* kRescueMark = "UCRQ";
constexpr size_t kMaxChainLength = 64;   // a parent loop in a damaged environment ends here
constexpr size_t kSameSoftwareLength = 4;

// The lines of one answering board: same identification, same parent port.
struct AnswerGroup {
    std::string hardware;
    std::string port;
    std::vector<std::string> software;   // field 5 of every line, boot loader included
    bool claimed = false;
};

std::vector<AnswerGroup> GroupsOf(const std::string& answer)
{
    std::vector<AnswerGroup> groups;
    for (const std::string& line : IdentSeriesLines(answer)) {
        DeviceSentence fields(line);
        std::string kind, hardware, software, port;
        if (!fields.Text(1, kind) || kind != "IDENT" || !fields.Text(4, hardware)) continue;
        fields.Text(5, software);
        fields.Text(6, port);
        if (groups.empty() || groups.back().hardware != hardware || groups.back().port != port)
            groups.push_back({hardware, port, {}, false});
        groups.back().software.push_back(software);
    }
    return groups;
}

bool StartsWith(const std::string& text, const std::string& start)
{
    return !start.empty() && text.compare(0, start.size(), start) == 0;
}

bool GroupIsBoard(const AnswerGroup& group, const IdentTarget& target)
{
    if (target.boardAlone ? !group.port.empty() : (group.port.size() != 1 || group.port[0] != target.destLetter))
        return false;
    for (const std::string& hw : HardwareVersions(target.subassyHardw))
        if (group.hardware == target.subassyId + hw) return true;
    return HardwareVersions(target.subassyHardw).empty() && group.hardware == target.subassyId;
}

void Claim(AnswerGroup& group)
{
    group.claimed = true;
}

bool InRescueLoader(const AnswerGroup& group)
{
    return std::any_of(group.software.begin(), group.software.end(),
                       [](const std::string& s) { return s.find(kRescueMark) != std::string::npos; });
}

std::string Joined(const std::vector<std::string>& items, const char* separator)
{
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
    return text;
}

std::string TransferCommand(const HealthContext& context, bool rescue)
{
    const std::string request = context.requestPath.empty() ? "REQUEST.sfl" : context.requestPath;
    return std::string("`tavrel-cli transfer ") + (rescue ? "--rescue " : "") + request + "`";
}

IdentTarget TargetOfDef(const CBoardDef& def, bool alone)
{
    IdentTarget target;
    target.subassyId = def.m_strSubassyId;
    target.subassyHardw = def.m_strSubassyHardw;
    target.bootLoader = def.m_strBootLoader;
    target.destLetter = def.DestinationLetter();
    target.boardAlone = alone;
    return target;
}

ExpectedBoard ExpectedOfDef(const CEnvDef& environment, const CBoardDef& def, bool alone)
{
    ExpectedBoard board;
    board.name = def.m_strName;
    board.target = TargetOfDef(def, alone);
    if (!alone) {
        if (const CBoardDef* parent = environment.Board(def.m_nParentBoard)) board.parentName = parent->m_strName;
        board.portName = DestinationName(def.m_nDestination);
    }
    return board;
}

// The parents of a relayed definition, the cabled board first.
std::vector<const CBoardDef*> ParentChain(const CEnvDef& environment, const CBoardDef& def)
{
    std::vector<const CBoardDef*> chain;
    const CBoardDef* current = &def;
    while (current->m_bRelayed && chain.size() < kMaxChainLength) {
        const CBoardDef* parent = environment.Board(current->m_nParentBoard);
        if (parent == nullptr || parent == &def) break;
        chain.insert(chain.begin(), parent);
        current = parent;
    }
    return chain;
}

bool Listed(const std::vector<ExpectedBoard>& boards, const std::string& name)
{
    return std::any_of(boards.begin(), boards.end(), [&](const ExpectedBoard& b) { return b.name == name; });
}

const BoardCheck* CheckOf(const std::vector<BoardCheck>& checks, const std::string& name)
{
    for (const BoardCheck& check : checks)
        if (check.name == name) return &check;
    return nullptr;
}

void DescribeFound(BoardCheck& check, const ExpectedBoard& board, const AnswerGroup& group)
{
    check.state = BoardHealth::Found;
    for (const std::string& software : group.software)
        if (!StartsWith(software, board.target.bootLoader)) check.software.push_back(software);
    const std::string soft = board.softId.size() > 3 ? board.softId.substr(0, kSameSoftwareLength) : board.softId;
    for (const std::string& software : check.software) {
        if (StartsWith(software, soft)) check.requestSoftware = true;
        if (!board.softId.empty() && software == board.softId) check.exactSoftware = true;
    }
    const std::string runs = check.software.empty() ? "no software besides its boot loader"
                                                    : "runs " + Joined(check.software, ", ");
    if (board.softId.empty()) check.detail = "found, " + runs;
    else if (check.exactSoftware) check.detail = "found, " + runs + " (the request's release)";
    else check.detail = "found, " + runs + " (the request loads " + board.softId + ")";
}

void DescribeMissing(BoardCheck& check, const ExpectedBoard& board, const std::vector<BoardCheck>& done,
                     const HealthContext& context, bool anyAnswer)
{
    check.state = BoardHealth::Missing;
    if (board.target.boardAlone) {
        check.detail = "missing: the board cabled to " + context.port + " answers as another board";
        check.nextStep = "check that the receiver on " + context.port + " is the one the " +
                         (context.requestPath.empty() ? "environment" : "request") + " describes";
        if (!anyAnswer) {
            check.detail = "missing: nothing answered on " + context.port;
            check.nextStep = "check the cable, the power and the port";
        }
        return;
    }
    const BoardCheck* parent = CheckOf(done, board.parentName);
    check.detail = "missing: not in the answer of " + board.parentName + " (" + board.portName + ")";
    if (parent != nullptr && parent->state == BoardHealth::InRescueLoader) {
        check.detail = "missing: " + board.parentName + " waits in its rescue loader and relays nothing";
        check.nextStep = "load " + board.parentName + " first, then query again";
    } else if (parent != nullptr && parent->state == BoardHealth::Missing) {
        check.detail = "missing: it hangs on " + board.parentName + ", which is missing too";
        check.nextStep = "mend " + board.parentName + " first";
    } else {
        check.nextStep = "check " + board.portName + " of board " + board.parentName + " (the cable to " + board.name +
                         " and its power), or switch the receiver off and on if a transfer to it stopped";
    }
}

BoardCheck CheckBoard(const ExpectedBoard& board, std::vector<AnswerGroup>& groups,
                      const std::vector<BoardCheck>& done, const HealthContext& context)
{
    BoardCheck check;
    check.name = board.name;
    AnswerGroup* match = nullptr;
    for (AnswerGroup& group : groups)
        if (GroupIsBoard(group, board.target)) {
            match = &group;
            break;
        }
    const bool leftInMode = std::find(context.leftInTransferMode.begin(), context.leftInTransferMode.end(),
                                      board.name) != context.leftInTransferMode.end();
    if (match == nullptr) {
        DescribeMissing(check, board, done, context, !groups.empty());
    } else if (Claim(*match); InRescueLoader(*match)) {
        check.state = BoardHealth::InRescueLoader;
        check.detail = "waits in its rescue loader (it answers \"UCRQ\"): its software does not start";
        check.nextStep = "load it with " + TransferCommand(context, true) + " (its line first, switch the receiver "
                         "off and on when asked)";
    } else {
        DescribeFound(check, board, *match);
    }
    if (leftInMode && check.state != BoardHealth::InRescueLoader) {
        check.state = BoardHealth::InTransferMode;
        check.detail = "may still be in transfer mode: the last transfer stopped while it was loading" +
                       (match != nullptr ? "; it answers " + Joined(match->software, ", ") : std::string());
        check.nextStep = "switch the receiver off and on, then run " + TransferCommand(context, false) + " again";
    }
    return check;
}

// The lines of the request (or the environment's boards), then the other
// boards of its environments that answered.
std::vector<BoardCheck> AllChecks(const HealthReport& report)
{
    std::vector<BoardCheck> checks = report.boards;
    checks.insert(checks.end(), report.others.begin(), report.others.end());
    return checks;
}

std::string Verdict(const HealthReport& report)
{
    std::vector<std::string> problems;
    for (const BoardCheck& check : AllChecks(report))
        if (check.state != BoardHealth::Found)
            problems.push_back(check.name + std::string(" ") + BoardHealthName(check.state));
    if (!report.unexpected.empty())
        problems.push_back(std::to_string(report.unexpected.size()) + " unexpected board" +
                           (report.unexpected.size() > 1 ? "s" : ""));
    if (problems.empty()) return "Verdict: the receiver holds every expected board, each answering";
    return "Verdict: not ready: " + Joined(problems, ", ");
}

}  // namespace

const char* BoardHealthName(BoardHealth state)
{
    switch (state) {
    case BoardHealth::Found: return "found";
    case BoardHealth::Missing: return "missing";
    case BoardHealth::InRescueLoader: return "in its rescue loader";
    case BoardHealth::InTransferMode: return "in transfer mode";
    }
    return "";
}

std::vector<ExpectedBoard> ExpectedBoardsOfRequest(const CUpdateDoc& doc)
{
    std::vector<ExpectedBoard> boards;
    for (const CBoardConf& line : doc.m_lines) {
        const CBoardDef* def = CUpdateDoc::LineBoardDef(line);
        if (def == nullptr || line.m_nEnvIndex < 0 || line.m_nEnvIndex >= static_cast<int>(g_envList.size()))
            continue;
        const CEnvDef& environment = g_envList[static_cast<size_t>(line.m_nEnvIndex)];
        const bool alone = line.m_bBoardAlone != 0;
        if (!alone)
            for (const CBoardDef* parent : ParentChain(environment, *def))
                if (!Listed(boards, parent->m_strName))
                    boards.push_back(ExpectedOfDef(environment, *parent, !parent->m_bRelayed));
        ExpectedBoard board = ExpectedOfDef(environment, *def, alone);
        board.name = line.m_strBoardName;
        board.softId = line.m_strSoftId;
        if (!alone && board.parentName.empty()) board.parentName = "its parent";
        // A board already expected on another line's path is now this line's.
        auto same = std::find_if(boards.begin(), boards.end(), [&](const ExpectedBoard& b) { return b.name == board.name; });
        if (same != boards.end()) *same = board;
        else boards.push_back(board);
    }
    for (const CBoardConf& line : doc.m_lines) {
        if (line.m_nEnvIndex < 0 || line.m_nEnvIndex >= static_cast<int>(g_envList.size())) continue;
        const CEnvDef& environment = g_envList[static_cast<size_t>(line.m_nEnvIndex)];
        for (const CBoardDef& def : environment.m_boards) {
            if (Listed(boards, def.m_strName)) continue;
            boards.push_back(ExpectedOfDef(environment, def, !def.m_bRelayed));
            boards.back().optional = true;
        }
    }
    return boards;
}

std::vector<ExpectedBoard> ExpectedBoardsOfEnvironment(const CEnvDef& environment)
{
    std::vector<ExpectedBoard> boards;
    for (const CBoardDef& def : environment.m_boards)
        boards.push_back(ExpectedOfDef(environment, def, !def.m_bRelayed));
    return boards;
}

HealthReport CheckReceiverHealth(const std::string& answer, const std::vector<ExpectedBoard>& expected,
                                 const HealthContext& context)
{
    HealthReport report;
    std::vector<AnswerGroup> groups = GroupsOf(answer);
    for (const ExpectedBoard& board : expected) {
        BoardCheck check = CheckBoard(board, groups, report.boards, context);
        if (!board.optional) report.boards.push_back(check);
        else if (check.state != BoardHealth::Missing) report.others.push_back(check);
    }
    for (const AnswerGroup& group : groups)
        if (!group.claimed) report.unexpected.push_back({group.hardware, group.port, group.software});
    const std::vector<BoardCheck> checks = AllChecks(report);
    report.healthy = report.unexpected.empty() && std::all_of(checks.begin(), checks.end(), [](const BoardCheck& c) {
                         return c.state == BoardHealth::Found;
                     });
    report.verdict = Verdict(report);
    return report;
}

std::vector<std::string> HealthReportLines(const HealthReport& report)
{
    std::vector<std::string> lines;
    size_t width = 0;
    for (const BoardCheck& check : report.boards) width = std::max(width, check.name.size());
    for (const BoardCheck& check : report.boards)
        lines.push_back("  " + check.name + std::string(width - check.name.size(), ' ') + "  " + check.detail);
    for (const BoardCheck& check : report.others)
        lines.push_back("  " + check.name + " (no line of the request) " + check.detail);
    for (const UnexpectedBoard& board : report.unexpected)
        lines.push_back("  unexpected: " + board.hardware +
                        (board.port.empty() ? std::string(" (cabled)") : " behind port " + board.port) + ", answers " +
                        Joined(board.software, ", "));
    lines.push_back(report.verdict);
    for (const BoardCheck& check : AllChecks(report))
        if (!check.nextStep.empty()) lines.push_back("Next step for " + check.name + ": " + check.nextStep);
    if (!report.unexpected.empty())
        lines.push_back("Next step: boards that no expected one accounts for answer: check that the request or "
                        "environment is meant for this receiver");
    return lines;
}

std::string RescueLoaderNotice(const std::string& answer, const std::string& port)
{
    const std::vector<AnswerGroup> groups = GroupsOf(answer);
    for (const AnswerGroup& group : groups) {
        if (!group.port.empty() || !InRescueLoader(group)) continue;
        return "the board " + group.hardware + " on " + port +
               " waits in its rescue loader (it answers \"UCRQ\"): its software does not start and the boards "
               "behind it do not answer; load it with `tavrel-cli transfer --rescue REQUEST.sfl`, whose first "
               "line is that board";
    }
    return {};
}
