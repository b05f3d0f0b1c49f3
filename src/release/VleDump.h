#pragma once
// Reads a .vle file from end to end for people and tools: header, records
// with their sums checked, trailer, and whatever makes the file invalid.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct VleRecordInfo {
    long number = 0;
    uint16_t backLink = 0;
    uint32_t address = 0;
    int length = 0;
    uint16_t storedSum = 0;
    uint16_t dataSum = 0;
    bool SumMatches() const { return storedSum == dataSum; }
};

struct VleSummary {
    bool opened = false;
    int type = 255;                 // CheckFile's answer
    uint32_t magic = 0;
    uint16_t version = 0;
    uint32_t time = 0;
    uint16_t trailerBackLink = 0;
    uint32_t trailerTotal = 0;
    uint32_t trailerCount = 0;
    long records = 0;               // records walked
    uint64_t dataBytes = 0;         // data bytes walked
    std::vector<std::string> errors;
    bool Valid() const { return errors.empty(); }
};

// Walks the file, calling `onRecord` for each record; fills the summary.
VleSummary InspectVleFile(const std::string& path,
                          const std::function<void(const VleRecordInfo&)>& onRecord);

// Name of a release type code ("S-records", "absolute", "IEEE 695", "any").
std::string ReleaseTypeName(int type);
