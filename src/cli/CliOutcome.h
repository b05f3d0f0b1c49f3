#pragma once
// How a command that talks to a receiver ends when it fails: what happened,
// what the receiver is left as and the next step, said alike on the
// terminal, in the log and in the JSON report.
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

struct ReceiverLeft;

struct FailureEnd {
    std::string reason;     // what happened
    std::string receiver;   // what the receiver is left as
    std::string next;       // what to do next
    bool Empty() const { return reason.empty(); }
};

// What the receiver is left as by a command that sent it nothing but
// identification questions, or nothing at all.
inline constexpr const char* kReceiverNotOpened = "untouched: its port did not open";
inline constexpr const char* kReceiverNothingSent = "untouched: nothing was sent to it";
inline constexpr const char* kReceiverOnlyAsked = "unchanged: it was only asked to identify itself";

// Prints "tavrel-cli: REASON", "tavrel-cli: the receiver: ..." and
// "tavrel-cli: next: ..." on stderr and writes the same lines to the log.
// Returns 1.
int ReportFailureEnd(const FailureEnd& end);

// "reason", "receiver_left" and "next_step" of a JSON report.
void AddFailureEnd(nlohmann::json& report, const FailureEnd& end);

// `tavrel-cli transfer REQUEST [--board NAME]...` for the boards to load
// again (no --board when they are every line of the request).
std::string TransferCommand(const std::string& request, const std::vector<std::string>& boards, size_t lineCount,
                            bool rescue = false);

// The next step after a transfer that left the receiver as `left`, as
// commands of tavrel-cli.
std::string NextAfterTransfer(const ReceiverLeft& left, const std::string& request, size_t lineCount);
