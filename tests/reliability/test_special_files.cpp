// Settings, edit-rights and definition files that are FIFOs: refused at once
// (read as absent), never waited on.
#include <gtest/gtest.h>

#include "common/ChildProcess.h"

#include <functional>
#include <sys/stat.h>

#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "common/TempDir.h"
#include "model/ModelFiles.h"

namespace {

TEST(SpecialFiles, FifosAreReadAsAbsent)
{
    CTempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Row { const char* what; std::function<bool()> refused; };
    const Row rows[] = {
        {"settings file", [&] { CIniFile ini; return !ini.Load(fifo) && ini.Sections().empty(); }},
        {"edit-rights file", [&] { CUpdateApp app; app.ReadEditRights(fifo); return !app.m_bEditRights; }},
        {"definition file", [&] {
             std::vector<uint8_t> bytes;
             return ReadModelFile(fifo, bytes) == FileReadResult::CannotOpen && bytes.empty();
         }},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ExitStatusWithin([&] { return row.refused() ? 0 : 1; }), 0) << row.what;
}

}  // namespace
