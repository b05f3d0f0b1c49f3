// A conversion that meets a full disk: refused up front when the free space
// is too small for the release (message 16), or failing when the disk fills
// while the .vle file is written (message 17, here a file-size limit in a
// child process). Neither leaves a .vle file that passes as converted, and the
// next import converts again.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ImportTestFixture.h"
#include "app/Strings.h"
#include "release/Import.h"
#include "release/VleDump.h"

namespace {

// Largest file the child may write: the log fits, the .vle file does not.
constexpr rlim_t CHILD_FILE_LIMIT_BYTES = 4096;
constexpr size_t RELEASE_BYTES = 100 * 1024;

class DiskFull : public ImportTest {
protected:
    static bool LooksConverted(const std::string& vlePath)
    {
        CVleFile vle;
        return vle.OpenForRead(vlePath) && vle.CheckFile() != VLE_INVALID_TYPE;
    }
    // Imports `path` in a child whose files may not grow beyond the limit, as
    // on a full disk; returns the import code and the box text.
    std::pair<int, std::string> ImportWithFileLimit(const std::string& path)
    {
        int fds[2];
        if (::pipe(fds) != 0) return {-100, "pipe"};
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            std::signal(SIGXFSZ, SIG_IGN);   // a write past the limit then fails with EFBIG
            struct rlimit limit { CHILD_FILE_LIMIT_BYTES, CHILD_FILE_LIMIT_BYTES };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ImportOutcome out = ImportReleasePath(path, nullptr, true);
            std::string reply = std::to_string(out.code) + "\n"
                                + (m_host.boxes.size() == 1 && m_host.boxes[0].icon == ICON_STOP ? m_host.boxes[0].text : "");
            (void)!::write(fds[1], reply.data(), reply.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        std::string reply;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) reply.append(buffer, static_cast<size_t>(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        size_t eol = reply.find('\n');
        if (!WIFEXITED(status) || eol == std::string::npos) return {-100, "child failed"};
        return {std::stoi(reply.substr(0, eol)), reply.substr(eol + 1)};
    }

};

TEST_F(DiskFull, ReleaseLargerThanTheFreeSpaceIsRefusedWithMessage16)
{
    const std::string path = m_dir / "huge.bin", vle = m_dir / "huge.vle";
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(m_dir.Path().c_str(), &fs), 0);
    // A sparse file as long as the free space: its .vle file would need 1.65 times that.
    const off_t freeBytes = static_cast<off_t>(fs.f_bavail) * static_cast<off_t>(fs.f_frsize);
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const bool sparse = ::ftruncate(fd, freeBytes + 1) == 0;
    ::close(fd);
    if (!sparse) GTEST_SKIP() << "no sparse file of " << freeBytes << " bytes on this file system";

    ImportOutcome out = ImportReleasePath(path, nullptr, true);
    EXPECT_EQ(out.code, CONVERT_NO_SPACE);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, GetString(16));
    EXPECT_EQ(m_host.boxes[0].icon, ICON_STOP);
    EXPECT_FALSE(LooksConverted(vle));
    EXPECT_NE(Log().find("; " + GetString(16)), std::string::npos);

    // Once the release fits, the next import converts it.
    WriteFile(path, RandomBytes(200, 7));
    out = ImportReleasePath(path, nullptr, true);
    EXPECT_EQ(out.code, CONVERT_OK);
    EXPECT_TRUE(LooksConverted(vle));
}

TEST_F(DiskFull, DiskFillingDuringTheConversionGivesMessage17AndNoValidFile)
{
    const std::string path = m_dir / "fw.bin", vle = m_dir / "fw.vle";
    const Bytes release = RandomBytes(RELEASE_BYTES, 11);
    WriteFile(path, release);
    SetTime(path, 1000000000);
    // An older conversion is on disk; the release then changes.
    ASSERT_EQ(ImportReleasePath(path, nullptr, false).code, CONVERT_OK);
    ASSERT_TRUE(LooksConverted(vle));
    SetTime(path, 1000000100);

    auto [code, text] = ImportWithFileLimit(path);
    EXPECT_EQ(code, CONVERT_VLE_ERROR);
    EXPECT_EQ(text, GetString(17));
    EXPECT_FALSE(LooksConverted(vle));
    EXPECT_FALSE(InspectVleFile(vle, [](const VleRecordInfo&) {}).Valid());
    EXPECT_LE(ReadFile(vle).size(), CHILD_FILE_LIMIT_BYTES);
    EXPECT_NE(Log().find("; " + GetString(17)), std::string::npos);

    // With room again the next import converts the whole release.
    ImportOutcome out = ImportReleasePath(path, nullptr, true);
    EXPECT_EQ(out.code, CONVERT_OK);
    ASSERT_TRUE(LooksConverted(vle));
    uint32_t base = 1;
    EXPECT_EQ(ImageOf(ReadVleRecords(vle), &base), release);
    EXPECT_EQ(base, 0u);
}

}  // namespace
