// Faults found by fuzzing the .def reader, kept as regression cases.
#include <gtest/gtest.h>

#include <climits>

#include "model/BoardConf.h"
#include "model/BoardDef.h"

namespace {

// A .def file may hold any time-out: the waits in milliseconds neither
// overflow nor go negative.
TEST(Regression, TimeoutsFromAFileGiveBoundedWaits)
{
    struct Row { int seconds; int ms; };
    const Row rows[] = {
        {30, 30000}, {0, 0}, {-5, 0}, {INT_MIN, 0}, {7864575, INT_MAX}, {INT_MAX, INT_MAX}, {2147483, 2147483000},
    };
    for (const Row& row : rows) {
        CBoardDef parent, board;
        parent.m_nRestartTimeout = 60;
        board.m_nEraseTimeout = row.seconds;
        board.m_nRestartTimeout = row.seconds;
        EXPECT_EQ(board.EraseTimeoutMs(), row.ms) << row.seconds;
        EXPECT_EQ(board.RestartTimeoutMs(), row.ms) << row.seconds;
        std::vector<CRelayedBoard> hops(2);
        hops[0].m_pBoardDef = &parent;
        hops[1].m_pBoardDef = &board;
        EXPECT_EQ(GetRestartWaitMs(hops, false), row.ms) << row.seconds;
        EXPECT_EQ(GetRestartWaitMs(hops, true), std::max(row.ms, 60000)) << row.seconds;
    }
}

}  // namespace
