// Receiver files of tavrel-sim. A receiver that is accepted is a tree the
// simulator can serve: 1 to 64 boards, the board cabled to the PC first, every
// other board hanging on a distinct port or Dpram letter of a board that
// leads to the first, rates from the rate table, and texts that fit in a
// sentence field.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "FuzzCommon.h"
#include "sim/SimConfig.h"

namespace {

bool FieldText(const std::string& text)
{
    return text.size() <= 64 && std::none_of(text.begin(), text.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E || c == ',' ||
                      c == '$' || c == '*';
           });
}

bool SentenceText(const std::string& text)
{
    return text.rfind("$PKVR", 0) == 0 && text.size() <= 64 && text.find_first_of("*\r\n") == std::string::npos;
}

void CheckBoard(const sim::BoardConfig& b)
{
    FUZZ_CHECK(!b.name.empty() && FieldText(b.name) && !b.subassy.empty() && FieldText(b.subassy));
    FUZZ_CHECK(FieldText(b.hardware) && FieldText(b.bootLoader) && FieldText(b.checksumExtra));
    for (const auto* list : {&b.software, &b.softwareAfterLoad, &b.faults.backWithSoftware})
        for (const std::string& text : *list) FUZZ_CHECK(FieldText(text));
    FUZZ_CHECK(sim::IsTableRate(b.rate) && sim::IsTableRate(b.rescue.rate));
    for (const sim::PortRate& p : b.ports) FUZZ_CHECK(p.letter >= 'A' && p.letter <= 'H' && sim::IsTableRate(p.rate));
    FUZZ_CHECK(b.checksumForm == 6 || b.checksumForm == 7);
    FUZZ_CHECK(b.eraseMs >= 0 && b.restartMs >= 0 && b.checksumDelayMs >= 0 && b.rescue.windowMs > 0);
    FUZZ_CHECK(b.rescue.text.find("UCRQ") != std::string::npos && FieldText(b.rescue.text));
    FUZZ_CHECK(!b.destCode || (*b.destCode >= 0 && *b.destCode <= 255));
    for (const auto* list : {&b.faults.noAnswer, &b.faults.ignored})
        for (const sim::SilenceFault& f : *list) FUZZ_CHECK(f.prefix.rfind("$PKVR", 0) == 0 && f.times >= 0);
    for (const sim::WrongAnswerFault& f : b.faults.wrongAnswer)
        FUZZ_CHECK(SentenceText(f.prefix) && SentenceText(f.answer) && f.times >= 0);
    for (const std::string& line : b.faults.checksumLines) FUZZ_CHECK(SentenceText(line));
    for (const auto* list : {&b.faults.resend, &b.faults.corruptBlock})
        for (const sim::BlockFault& f : *list) FUZZ_CHECK(f.block >= 1 && f.block <= 0xFFFFFE && f.times >= 1);
}

// Follows the parent links from every board: each reaches the first board.
void CheckTree(const sim::ReceiverConfig& config)
{
    const auto& boards = config.boards;
    FUZZ_CHECK(!boards.empty() && boards.size() <= 64);
    FUZZ_CHECK(boards[0].parent.empty());
    std::set<std::string> names;
    std::set<std::pair<std::string, char>> places;
    for (size_t i = 0; i < boards.size(); ++i) {
        FUZZ_CHECK(names.insert(boards[i].name).second);
        if (i == 0) continue;
        FUZZ_CHECK(!boards[i].parent.empty());
        FUZZ_CHECK(sim::DestinationCodeOfLetter(boards[i].letter) > 0);
        FUZZ_CHECK(places.insert({boards[i].parent, boards[i].letter}).second);
    }
    for (const sim::BoardConfig& b : boards) {
        std::string at = b.name;
        size_t hops = 0;
        while (at != boards[0].name) {
            const auto it = std::find_if(boards.begin(), boards.end(), [&](const auto& o) { return o.name == at; });
            FUZZ_CHECK(it != boards.end() && ++hops < boards.size());
            at = it->parent;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::ReceiverConfig config;
    std::string error;
    if (!sim::ParseReceiverConfig(std::string(reinterpret_cast<const char*>(data), size), config, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    CheckTree(config);
    for (const sim::BoardConfig& b : config.boards) CheckBoard(b);
    FUZZ_CHECK(config.line.noiseBytes >= 0 && config.line.noiseBytes <= 64);
    FUZZ_CHECK(config.line.splitPiece >= 0 && config.line.splitPiece <= 255);
    return 0;
}
