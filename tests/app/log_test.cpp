// Log creation, trimming and the writing rules, on real files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>
#include <vector>

#include "app/UpdateApp.h"
#include "common/ScriptedHost.h"
#include "common/TempDir.h"

namespace {

constexpr long kLimit = 50000;

// `size` bytes of 99-byte lines ending in CR LF (the last one possibly cut).
std::string LogLines(std::size_t size)
{
    std::string text;
    for (int n = 0; text.size() < size; ++n) {
        char line[128];
        std::snprintf(line, sizeof line, "%06d %-90s\r\n", n, "entry");
        text += line;
    }
    text.resize(size);
    return text;
}

TEST(LogTrim, AtTheLimitTheFileStaysWhole)
{
    CTempDir dir;
    const std::string body = LogLines(kLimit);
    const std::string path = dir.Write("Tavrel.log", body);
    CUpdateApp app;
    EXPECT_TRUE(app.InitLogFile(path, kLimit));
    EXPECT_EQ(dir.Read("Tavrel.log"), body);
}

TEST(LogTrim, OneByteOverCutsToTheLastLimitBytesFromBeforeTheFirstLineFeed)
{
    CTempDir dir;
    const std::string body = LogLines(kLimit + 1);
    const std::string path = dir.Write("Tavrel.log", body);
    CUpdateApp app;
    EXPECT_TRUE(app.InitLogFile(path, kLimit));
    const std::string tail = body.substr(1);          // the last 50000 bytes
    const std::size_t lf = tail.find('\n');
    EXPECT_EQ(dir.Read("Tavrel.log"), "...\r\n" + tail.substr(lf - 1));
    EXPECT_EQ(dir.Read("Tavrel.log").substr(0, 7), "...\r\n\r\n");
}

TEST(LogTrim, SmallCasesWithGoldenBytes)
{
    const struct {
        const char* before;
        long limit;
        const char* after;
    } rows[] = {
        {"aa\r\nbb\r\ncc\r\n", 8, "...\r\n\r\ncc\r\n"},
        {"0123456789", 4, "...\r\n89"},         // no line feed: from limit - 2
        {"xyz\nabc", 4, "...\r\n\nabc"},        // line feed first in the tail keeps it all
        {"abcdefg\n", 4, "...\r\ng\n"},        // a line feed only as the last byte is not looked at
    };
    for (const auto& r : rows) {
        CTempDir dir;
        const std::string path = dir.Write("T.log", r.before);
        CUpdateApp app;
        EXPECT_TRUE(app.InitLogFile(path, r.limit)) << r.before;
        EXPECT_EQ(dir.Read("T.log"), r.after) << r.before;
    }
}

TEST(LogTrim, CreatesAMissingFileAndFailsWhereItCannot)
{
    CTempDir dir;
    CUpdateApp app;
    EXPECT_TRUE(app.InitLogFile(dir.File("new.log"), kLimit));
    struct stat st {};
    EXPECT_EQ(::stat(dir.File("new.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_FALSE(app.InitLogFile(dir.File("no/such/dir.log"), kLimit));
    EXPECT_FALSE(app.InitLogFile(dir.Path(), kLimit));   // a directory is no log
}

TEST(LogOpen, UnwritableLogTurnsLoggingOffWithOneBeep)
{
    CTempDir dir;
    CScriptedHost host;
    CHostScope scope(host);
    CUpdateApp app;
    app.SetLogPath(dir.File("missing/Tavrel.log"));
    EXPECT_FALSE(app.OpenLog());
    EXPECT_FALSE(app.m_bLogOk);
    EXPECT_EQ(host.beeps, std::vector<BeepKind>{BEEP_EXCLAMATION});
    EXPECT_EQ(app.WriteLog("x\r\n"), 0);
}

class LogWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.m_strVersion = "V2.0 04/02/2002";
        app.SetLogPath(dir.File("Tavrel.log"));
        ASSERT_TRUE(app.OpenLog());
        banner = dir.Read("Tavrel.log");
    }
    std::string Written() { return dir.Read("Tavrel.log").substr(banner.size()); }

    CTempDir dir;
    CUpdateApp app;
    std::string banner;
};

const std::regex kStamped(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d : )");

TEST_F(LogWrite, BannerIsANoteThenTheStampedVersionLine)
{
    ASSERT_EQ(banner.substr(0, 4), "; \r\n");
    const std::string second = banner.substr(4);
    EXPECT_TRUE(std::regex_match(second.substr(0, 20), kStamped)) << second;
    EXPECT_EQ(second.substr(20), "***** Tavrel V2.0 04/02/2002 *****\r\n");
}

// Every call writes whole lines with one prefix: a rest without CR LF, or
// ended by a bare LF or CR, is a line of its own; nothing is dropped.
TEST_F(LogWrite, EveryCallWritesWholeLinesWithOnePrefix)
{
    struct Row {
        const char* text;
        std::vector<std::string> lines;
    } rows[] = {
        {"no line end", {"no line end\r\n"}},
        {"one\r\ntwo\r\nrest", {"one\r\n", "two\r\n", "rest\r\n"}},
        {"$PKVR,XSOFT,M,D\n", {"$PKVR,XSOFT,M,D\r\n"}},
        {"cut\r", {"cut\r\n"}},
        {"", {}},
        {"\r\n", {"\r\n"}},
    };
    for (const Row& row : rows) {
        const size_t before = Written().size();
        EXPECT_EQ(app.WriteLog(row.text), 1);
        const std::string w = Written().substr(before);
        size_t at = 0;
        for (const std::string& line : row.lines) {
            ASSERT_GE(w.size(), at + 20 + line.size()) << row.text;
            EXPECT_EQ(w.substr(at, 20), w.substr(0, 20)) << row.text;   // the same prefix on every line
            EXPECT_TRUE(std::regex_match(w.substr(at, 20), kStamped)) << row.text;
            EXPECT_EQ(w.substr(at + 20, line.size()), line) << row.text;
            at += 20 + line.size();
        }
        EXPECT_EQ(w.size(), at) << row.text;
    }
}

// A message without line end, shown and logged as a note, is in the log.
TEST_F(LogWrite, MessageWithoutLineEndIsLoggedAsANote)
{
    app.WriteLogNoteString(80);
    EXPECT_EQ(Written(), "; Tranfer board parameters have been modified !\r\n");
}

TEST_F(LogWrite, NotesHaveNoTimeAndBareLineFeedsStayInTheLine)
{
    app.WriteLog("; direct note\r\n");
    app.WriteLogNote("note\nsame line\r\n");
    app.WriteLogNoteString(57);
    EXPECT_EQ(Written(), "; direct note\r\n; note\nsame line\r\n; Unable to open the port. \r\n");
}

TEST_F(LogWrite, AVanishedFileIsNotCreatedAgain)
{
    ASSERT_EQ(::unlink(dir.File("Tavrel.log").c_str()), 0);
    EXPECT_EQ(app.WriteLog("lost\r\n"), 0);
    struct stat st {};
    EXPECT_NE(::stat(dir.File("Tavrel.log").c_str(), &st), 0);
}

}  // namespace
