#pragma once
// What a converted release holds, for people: its address ranges and bytes.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct AddressRange {
    uint32_t first = 0;
    uint64_t end = 0;   // one past the last byte
};

struct VleContents {
    std::vector<AddressRange> ranges;   // records that follow each other joined, in file order
    uint64_t bytes = 0;
    int type = 255;                     // the .vle type, 255 when the file is not valid
};

VleContents ReadVleContents(const std::string& vlePath);
// "00010000-00011FFF, 00020000-0002176F": the first ranges, then "and N more".
std::string RangesText(const std::vector<AddressRange>& ranges);
nlohmann::json RangesJson(const std::vector<AddressRange>& ranges);
// How a .vle type is shown: "S-records", ..., "raw image".
std::string VleTypeText(int type);
