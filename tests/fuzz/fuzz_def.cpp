// .def files: one environment in the archive encoding. Whatever is read must
// write back and read again to the same bytes.
#include <cstdint>
#include <vector>

#include "FuzzCommon.h"
#include "model/BoardDef.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CEnvDef env;
    if (!EnvironmentFromBytes(std::vector<uint8_t>(data, data + size), env)) return 0;
    for (const CBoardDef& board : env.m_boards) {
        (void)board.GetDescription();
        (void)ValidateBoardDef(board, env);
    }
    const std::vector<uint8_t> once = EnvironmentToBytes(env);
    CEnvDef again;
    FUZZ_CHECK(EnvironmentFromBytes(once, again));
    FUZZ_CHECK(!again.IsDifferent(env));
    FUZZ_CHECK(EnvironmentToBytes(again) == once);
    return 0;
}
