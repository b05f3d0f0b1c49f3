// .vle files: the dump walks the file, then GetBlock walks forward, back by
// record number and back by address. No walk may fail in an unsafe way; on a
// file that the dump finds valid every record a walk returns must be the
// record of that number read going forward.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzCommon.h"
#include "release/VleDump.h"
#include "release/VleFile.h"

namespace {

constexpr size_t kMaxRecordsWalked = 4096;

struct Record {
    int len;
    std::vector<uint8_t> bytes;   // address, data, sum
};

uint32_t AddressOf(const Record& r)
{
    return uint32_t(r.bytes[0]) << 24 | uint32_t(r.bytes[1]) << 16 | uint32_t(r.bytes[2]) << 8 | r.bytes[3];
}

// A successful GetBlock returns the record numbered m_nRecord.
void CheckAnswer(const CVleFile& vle, int n, const uint8_t* block, const std::vector<Record>& forward, bool valid)
{
    FUZZ_CHECK(n >= -2 && n <= VLE_MAX_DATA);
    if (n <= 0 || !valid) return;
    FUZZ_CHECK(vle.m_nRecord >= 1 && static_cast<size_t>(vle.m_nRecord) <= forward.size());
    const Record& expected = forward[static_cast<size_t>(vle.m_nRecord - 1)];
    FUZZ_CHECK(expected.len == n);
    FUZZ_CHECK(std::memcmp(expected.bytes.data(), block, static_cast<size_t>(n) + 6) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = std::string(FuzzScratchDir()) + "/walk.vle";
    if (!WriteScratchFile(path, data, size)) return 0;

    long dumped = 0;
    const VleSummary summary = InspectVleFile(path, [&](const VleRecordInfo&) { ++dumped; });
    const bool valid = summary.Valid() && summary.type != VLE_INVALID_TYPE;

    CVleFile vle;
    if (!vle.OpenForRead(path)) return 0;
    (void)vle.CheckFile();
    FUZZ_CHECK(vle.Rewind() == 1);

    std::vector<Record> forward;
    uint8_t block[VLE_BLOCK_SIZE];
    int n = 0;
    while (forward.size() < kMaxRecordsWalked && (n = vle.GetBlock(block, -1, -1)) > 0) {
        FUZZ_CHECK(n <= VLE_MAX_DATA && vle.m_nRecord == static_cast<long>(forward.size()) + 1);
        forward.push_back({n, std::vector<uint8_t>(block, block + n + 6)});
    }
    FUZZ_CHECK(n >= -2);
    if (valid) {
        FUZZ_CHECK(n == 0);
        FUZZ_CHECK(static_cast<long>(forward.size()) == dumped);
        FUZZ_CHECK(forward.size() == summary.trailerCount);
    }
    const long count = static_cast<long>(forward.size());
    if (count == 0) {
        FUZZ_CHECK(vle.GetBlock(block, -1, 0) == -2);
        return 0;
    }

    // Back by number, from the last record towards the first.
    const long stride = count / 7 + 1;
    FUZZ_CHECK(vle.GetBlock(block, -1, count + 1) == -2);
    for (long j = count; j >= 1; j -= stride)
        CheckAnswer(vle, vle.GetBlock(block, -1, j), block, forward, valid);

    // Forward again to the end, then back by address.
    while ((n = vle.GetBlock(block, -1, -1)) > 0) CheckAnswer(vle, n, block, forward, valid);
    for (long j = count; j >= 1; j -= stride) {
        const Record& target = forward[static_cast<size_t>(j - 1)];
        n = vle.GetBlock(block, static_cast<long>(AddressOf(target)), j);
        CheckAnswer(vle, n, block, forward, valid);
        if (valid && n > 0) FUZZ_CHECK(AddressOf(target) == (uint32_t(block[0]) << 24 | uint32_t(block[1]) << 16 | uint32_t(block[2]) << 8 | block[3]));
    }
    FUZZ_CHECK(vle.GetBlock(block, -7, -7) == -2);
    return 0;
}
