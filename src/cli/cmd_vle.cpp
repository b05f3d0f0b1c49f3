// tavrel-cli vle dump FILE.vle [--json]: shows the header, records and trailer
// of a converted release file.
#include <cstdio>
#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliCommand.h"
#include "cli/CliRelease.h"
#include "release/VleDump.h"

namespace {

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string UtcText(uint32_t seconds)
{
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm {};
    char text[32] = "?";
    if (gmtime_r(&t, &tm))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

void PrintRecord(const VleRecordInfo& r)
{
    std::printf("%8ld  link %04X  address %08X  len %3d  sum %04X  %s\n", r.number, r.backLink,
                r.address, r.length, r.storedSum, r.SumMatches() ? "ok" : "MISMATCH");
}

void PrintSummary(const std::string& path, const VleSummary& s)
{
    std::printf("trailer   link %04X  total %u  records %u  type %d (%s)\n", s.trailerBackLink,
                s.trailerTotal, s.trailerCount, s.type, ReleaseTypeName(s.type).c_str());
    for (const std::string& e : s.errors)
        std::printf("error     %s\n", e.c_str());
    std::printf("%s: %s\n", path.c_str(), s.Valid() ? "valid" : "INVALID");
}

nlohmann::json RecordJson(const VleRecordInfo& r)
{
    return {{"number", r.number}, {"back_link", r.backLink}, {"address", r.address},
            {"length", r.length}, {"sum", r.storedSum}, {"sum_ok", r.SumMatches()}};
}

int RunVleDump(CliArgs& args)
{
    bool json = args.Flag("json");
    std::vector<std::string> files;
    std::string error;
    if (!args.Positionals(files, error))
        return CliUsageError(error);
    if (files.size() != 1)
        return CliUsageError("vle dump needs exactly one FILE.vle");
    const std::string& path = files[0];

    const VleContents contents = ReadVleContents(path);
    if (json) {
        nlohmann::json records = nlohmann::json::array();
        VleSummary s = InspectVleFile(path, [&](const VleRecordInfo& r) { records.push_back(RecordJson(r)); });
        nlohmann::json out = {
            {"path", path},
            {"valid", s.Valid()},
            {"header", {{"magic", s.magic}, {"version", s.version}, {"time", s.time}}},
            {"records", records},
            {"trailer", {{"back_link", s.trailerBackLink}, {"total", s.trailerTotal},
                         {"count", s.trailerCount}, {"type", s.type}}},
            {"format", s.Valid() ? VleTypeText(s.type) : std::string()},
            {"ranges", RangesJson(contents.ranges)},
            {"bytes", contents.bytes},
            {"errors", s.errors}};
        std::cout << out.dump(2) << "\n";
        return s.Valid() ? 0 : 1;
    }

    // A first pass reads the header and checks the file, so the header is
    // printed before the records of the second pass.
    VleSummary s = InspectVleFile(path, [](const VleRecordInfo&) {});
    std::printf("file      %s\nmagic     %s\nversion   %u\ntime      %u (%s)\n", path.c_str(),
                Hex(s.magic, 8).c_str(), s.version, s.time, UtcText(s.time).c_str());
    if (s.type != 255)
        InspectVleFile(path, PrintRecord);
    if (s.Valid())
        std::printf("format    %s\nranges    %s\nbytes     %llu\n", VleTypeText(s.type).c_str(),
                    RangesText(contents.ranges).c_str(), static_cast<unsigned long long>(contents.bytes));
    PrintSummary(path, s);
    return s.Valid() ? 0 : 1;
}

CliRegistrar reg({"vle dump", "Show the header, records and trailer of a .vle file",
                  "usage: tavrel-cli vle dump FILE.vle [--json]\n"
                  "  One line per record: number, back link, address, length, stored sum and\n"
                  "  whether the sum matches the data; then the kind of release it was made\n"
                  "  from (\"raw image\" for a file of no known format), its address ranges and\n"
                  "  its byte count. Exit code 1 on an invalid file.",
                  RunVleDump});

}  // namespace
