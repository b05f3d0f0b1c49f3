// Clipboard payloads: one board definition or one board line, each an archive
// holding a single record. The same bytes go to both readers.
#include <cstdint>
#include <vector>

#include "FuzzCommon.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);

    CBoardDef board;
    if (BoardDefFromBytes(bytes, board)) {
        (void)board.GetDescription();
        const std::vector<uint8_t> once = BoardDefToBytes(board);
        CBoardDef again;
        FUZZ_CHECK(BoardDefFromBytes(once, again));
        FUZZ_CHECK(!again.IsDifferent(board));
        FUZZ_CHECK(BoardDefToBytes(again) == once);
    }

    CBoardConf line;
    if (BoardConfFromBytes(bytes, line)) {
        (void)line.GetDescription();
        const std::vector<uint8_t> once = BoardConfToBytes(line);
        CBoardConf again;
        FUZZ_CHECK(BoardConfFromBytes(once, again));
        FUZZ_CHECK(!again.IsDifferent(line));
        FUZZ_CHECK(BoardConfToBytes(again) == once);
    }
    return 0;
}
