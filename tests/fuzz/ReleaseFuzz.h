#pragma once
// The release targets: the input becomes a release file in the scratch
// directory and goes through the conversion driver of one reader (or of the
// recognised one). A conversion that reports success must leave a valid .vle
// file whose records read back forward to the trailer's totals; any other
// result must leave no valid .vle file.
#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>

#include "FuzzCommon.h"
#include "app/UpdateApp.h"
#include "release/FileBase.h"
#include "release/VleFile.h"

namespace fuzz_release {

inline void CheckVleMatchesTrailer(const std::string& vlePath, int type)
{
    CVleFile vle;
    FUZZ_CHECK(vle.OpenForRead(vlePath));
    FUZZ_CHECK(vle.CheckFile() == type);
    FUZZ_CHECK(vle.Rewind());
    uint8_t block[VLE_BLOCK_SIZE];
    uint64_t bytes = 0;
    uint32_t records = 0;
    int n;
    while ((n = vle.GetBlock(block, -1, -1)) > 0) {
        FUZZ_CHECK(n <= VLE_MAX_DATA);
        bytes += static_cast<uint64_t>(n);
        ++records;
    }
    FUZZ_CHECK(n == 0);
    FUZZ_CHECK(records == vle.RecordCount());
    FUZZ_CHECK(static_cast<uint32_t>(bytes) == vle.TotalBytes());
}

// type: a reader's type code, or -1 to recognise the file first.
inline int ConvertInput(const uint8_t* data, size_t size, int type)
{
    App().m_nVersion = 20;
    const std::string path = std::string(FuzzScratchDir()) + "/release";
    const std::string vlePath = VlePathFor(path);
    ::unlink(vlePath.c_str());   // a .vle of the previous input could pass as up to date
    if (!WriteScratchFile(path, data, size)) return 0;
    if (type < 0) {
        // An empty file, or one no reader opens, is refused: nothing to convert.
        type = RecogniseReleaseFile(path);
        FUZZ_CHECK(type != -2);
        if (type == -1) return 0;
    }
    std::unique_ptr<CFileBase> reader = CreateReader(type);
    FUZZ_CHECK(reader != nullptr);
    reader->SetSource(path, nullptr);
    if (!reader->OpenRelease()) return 0;
    const int result = reader->ConvertToVle();
    reader->Close();
    FUZZ_CHECK(result >= CONVERT_OK && result <= CONVERT_ABORTED);
    if (result == CONVERT_OK) {
        CheckVleMatchesTrailer(vlePath, VleTypeOf(type));
    } else {
        CVleFile vle;
        FUZZ_CHECK(!vle.OpenForRead(vlePath) || vle.CheckFile() == VLE_INVALID_TYPE);
    }
    return 0;
}

}  // namespace fuzz_release
