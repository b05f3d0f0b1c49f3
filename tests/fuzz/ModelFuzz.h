#pragma once
// Helpers of the fuzz targets that read environments and requests.
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

// The environment that fuzzed requests are linked against: "Demo", with CPU
// on Port A and IO behind it on Dpram 2.
inline void LoadDemoEnvironment()
{
    CBoardDef cpu, io;
    cpu.m_strName = "CPU"; cpu.m_strSubassyId = "CM"; cpu.m_strSubassyHardw = "10,12";
    cpu.m_strBootLoader = "CMB2"; cpu.m_nProgId = 1; cpu.m_bRelayed = 0; cpu.m_nDestination = 0;
    cpu.m_nProcessing = 3; cpu.m_nMaxSpeed = 7; cpu.m_nSaveSpeed = 1;
    io = cpu;
    io.m_strName = "IO"; io.m_strSubassyId = "IO"; io.m_strSubassyHardw = "3"; io.m_strBootLoader = "IOB1";
    io.m_nProgId = 2; io.m_bRelayed = 1; io.m_nDestination = 9; io.m_nParentBoard = 0; io.m_nMaxSpeed = -1;
    CEnvDef env;
    env.SetBoards("Demo", {cpu, io});
    g_envList.assign(1, env);
}

// Whether two requests hold the same lines, in the same order.
inline bool SameLines(const CUpdateDoc& a, const CUpdateDoc& b)
{
    if (a.m_lines.size() != b.m_lines.size()) return false;
    for (size_t i = 0; i < a.m_lines.size(); ++i)
        if (a.m_lines[i].IsDifferent(b.m_lines[i])) return false;
    return true;
}
