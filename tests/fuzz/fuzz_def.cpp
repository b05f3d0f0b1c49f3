// .def files: one environment in the archive encoding. Whatever is read must
// write back and read again to the same bytes, and the relay chain of every
// board (parent links may loop or point anywhere) builds or is refused.
#include <cstdint>
#include <vector>

#include "FuzzCommon.h"
#include "model/BoardConf.h"
#include "model/BoardDef.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CEnvDef env;
    if (!EnvironmentFromBytes(std::vector<uint8_t>(data, data + size), env)) return 0;
    for (size_t i = 0; i < env.m_boards.size(); ++i) {
        (void)env.m_boards[i].GetDescription();
        (void)ValidateBoardDef(env.m_boards[i], env);
        CBoardConf line;
        line.m_nBoardIndex = static_cast<int>(i);
        line.m_bBoardAlone = 0;
        if (BuildLineHops(line, env)) {
            FUZZ_CHECK(!line.m_hops.empty() && line.m_hops.size() <= env.m_boards.size());
            FUZZ_CHECK(line.m_hops.back().m_pBoardDef == &env.m_boards[i]);
            const int speed = line.ComputeEffectiveSpeed();
            FUZZ_CHECK(speed <= BAUD_INDEX_115200);
            (void)GetRestartWaitMs(line.m_hops, true);
        }
    }
    const std::vector<uint8_t> once = EnvironmentToBytes(env);
    CEnvDef again;
    FUZZ_CHECK(EnvironmentFromBytes(once, again));
    FUZZ_CHECK(!again.IsDifferent(env));
    FUZZ_CHECK(EnvironmentToBytes(again) == once);
    return 0;
}
