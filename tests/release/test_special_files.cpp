// Release files that are not regular files: a FIFO named as a release or as a
// .vle file must be refused at once, never waited on.
#include <gtest/gtest.h>

#include "common/ChildProcess.h"

#include <functional>
#include <sys/stat.h>

#include "ReleaseTestUtil.h"
#include "release/Import.h"

namespace {

TEST(SpecialFiles, FifoIsRefusedWithoutWaiting)
{
    TempDir dir;
    const std::string fifo = dir / "fw.s";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Row { const char* what; std::function<bool()> refused; };
    const Row rows[] = {
        {"recognition", [&] { return RecogniseReleaseFile(fifo) == -1; }},
        {"import", [&] { return ImportReleasePath(fifo, nullptr, false).code == IMPORT_UNKNOWN_FORMAT; }},
        {"reader", [&] {
             std::unique_ptr<CFileBase> reader = CreateReader(RELEASE_ANY);
             reader->SetSource(fifo, nullptr);
             return reader->OpenRelease() == 0;
         }},
        {".vle file", [&] { CVleFile vle; return vle.OpenForRead(fifo) == 0; }},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ExitStatusWithin([&] { return row.refused() ? 0 : 1; }), 0) << row.what;
}

}  // namespace
