#pragma once
// Fixture of the import tests: a scripted host and a log file in a fresh
// directory, with helpers to stamp a file's time and read the log back.
#include <gtest/gtest.h>

#include <utime.h>

#include "ReleaseTestUtil.h"
#include "app/Host.h"
#include "app/UpdateApp.h"
#include "common/ScriptedHost.h"

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetHost(&m_host);
        App().m_strLogPath = m_dir / "Tavrel.log";
        App().m_bLogOk = App().InitLogFile(App().m_strLogPath, 0);
    }
    void TearDown() override
    {
        SetHost(nullptr);
        App().m_bLogOk = false;
    }
    static void SetTime(const std::string& path, time_t t)
    {
        struct utimbuf times { t, t };
        ::utime(path.c_str(), &times);
    }
    std::string Log() const
    {
        Bytes log = ReadFile(m_dir / "Tavrel.log");
        return std::string(log.begin(), log.end());
    }

    TempDir m_dir;
    CScriptedHost m_host;
};
