#include "cli/CliOutcome.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "engine/ProcessEngine.h"

int ReportFailureEnd(const FailureEnd& end)
{
    const std::vector<std::string> lines{end.reason, "the receiver: " + end.receiver, "next: " + end.next};
    for (const std::string& line : lines) {
        std::cerr << kErrorPrefix << line << "\n";
        App().WriteLogNote(kErrorPrefix + line + "\r\n");
    }
    return 1;
}

void AddFailureEnd(nlohmann::json& report, const FailureEnd& end)
{
    if (end.Empty()) return;
    report["reason"] = end.reason;
    report["receiver_left"] = end.receiver;
    report["next_step"] = end.next;
}

std::string TransferCommand(const std::string& request, const std::vector<std::string>& boards, size_t lineCount,
                            bool rescue)
{
    std::string command = std::string("`tavrel-cli transfer ") + (rescue ? "--rescue " : "") + request;
    if (boards.size() < lineCount)
        for (const std::string& board : boards) command += " --board " + board;
    return command + "`";
}

std::string NextAfterTransfer(const ReceiverLeft& left, const std::string& request, size_t lineCount)
{
    std::string next = left.powerCycle ? "switch the receiver off and on, then `tavrel-cli query " + request +
                                             "` and load again: "
                                       : std::string("load again: ");
    next += TransferCommand(request, left.toLoad, lineCount);
    if (!left.rescueBoard.empty())
        next += "; if " + left.rescueBoard + " no longer starts: " +
                TransferCommand(request, {left.rescueBoard}, lineCount, true);
    return next;
}
