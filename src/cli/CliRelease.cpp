// The contents of a .vle file for import and vle dump.
#include "cli/CliRelease.h"

#include <cstdio>

#include "release/FileBase.h"
#include "release/VleDump.h"

namespace {

constexpr std::size_t kRangesShown = 16;

std::string Hex8(uint64_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

VleContents ReadVleContents(const std::string& vlePath)
{
    VleContents contents;
    const VleSummary summary = InspectVleFile(vlePath, [&](const VleRecordInfo& r) {
        if (r.length <= 0) return;
        if (!contents.ranges.empty() && contents.ranges.back().end == r.address)
            contents.ranges.back().end += static_cast<uint64_t>(r.length);
        else
            contents.ranges.push_back({r.address, static_cast<uint64_t>(r.address) + static_cast<uint64_t>(r.length)});
        contents.bytes += static_cast<uint64_t>(r.length);
    });
    contents.type = summary.Valid() ? summary.type : 255;
    return contents;
}

std::string RangesText(const std::vector<AddressRange>& ranges)
{
    if (ranges.empty()) return "none";
    std::string text;
    for (std::size_t i = 0; i < ranges.size() && i < kRangesShown; ++i)
        text += (i ? ", " : "") + Hex8(ranges[i].first) + "-" + Hex8(ranges[i].end - 1);
    if (ranges.size() > kRangesShown) text += " and " + std::to_string(ranges.size() - kRangesShown) + " more";
    return text;
}

nlohmann::json RangesJson(const std::vector<AddressRange>& ranges)
{
    nlohmann::json list = nlohmann::json::array();
    for (const AddressRange& r : ranges)
        list.push_back({{"first", r.first}, {"last", r.end - 1}, {"bytes", r.end - r.first}});
    return list;
}

std::string VleTypeText(int type)
{
    return type == RELEASE_ANY ? "raw image (the release was loaded as it is, from address 0)" : ReleaseTypeName(type);
}
