// The Import command: messages, log lines, view calls, abort and re-conversion.
#include <gtest/gtest.h>

#include "ImportTestFixture.h"
#include "app/Strings.h"
#include "release/Import.h"

namespace {

class Import : public ImportTest {
protected:
    void SetUp() override
    {
        ImportTest::SetUp();
        WriteText(m_dir / "fw.s", "S00600004844521B\n"
                                  "S3150000100000112233445566778899AABBCCDDEEFFE2\n"
                                  "S70500000000FA\n");
        SetTime(m_dir / "fw.s", 1000000000);
    }
};

TEST_F(Import, ConvertsThenReportsUpToDateThenConvertsAfterTouch)
{
    const std::string path = m_dir / "fw.s", vle = m_dir / "fw.vle";
    struct Step { time_t time; int code; std::string message; };
    const Step steps[] = {
        {1000000000, CONVERT_OK, GetString(48) + "(" + vle + ")\r\n"},
        {1000000000, IMPORT_ALREADY_CONVERTED, FormatString(50, {path}) + "(" + vle + ")\r\n"},
        {1000000010, CONVERT_OK, GetString(48) + "(" + vle + ")\r\n"},
    };
    for (const Step& step : steps) {
        SetTime(path, step.time);
        m_host.boxes.clear();
        ImportOutcome out = ImportReleasePath(path, nullptr, true);
        EXPECT_EQ(out.code, step.code);
        EXPECT_TRUE(out.success);
        ASSERT_EQ(m_host.boxes.size(), 1u);
        EXPECT_EQ(m_host.boxes[0].text, step.message);
        EXPECT_EQ(m_host.boxes[0].caption, GetString(143));
        EXPECT_EQ(m_host.boxes[0].icon, ICON_INFORMATION);
    }
    CVleFile reader;
    ASSERT_TRUE(reader.OpenForRead(vle));
    reader.CheckFile();
    EXPECT_EQ(reader.HeaderTime(), 1000000010u);
    EXPECT_NE(Log().find("; \r\nStart converting \"" + path + "\" file.\r\n"), std::string::npos);
    EXPECT_NE(Log().find("; " + GetString(48)), std::string::npos);
}

TEST_F(Import, ViewFollowsTheCommand)
{
    CViewProgress progress;
    ImportReleasePath(m_dir / "fw.s", &progress, true);
    const std::vector<std::string> start = {"blink:1", "file:fw.s", "progress:0/100"};
    const std::vector<std::string> end = {"progress:100/100", "progress:0/100", "blink:0", "file:" + GetString(161)};
    const auto& calls = m_host.viewCalls;
    ASSERT_GE(calls.size(), start.size() + end.size());
    EXPECT_TRUE(std::equal(start.begin(), start.end(), calls.begin()));
    EXPECT_TRUE(std::equal(end.rbegin(), end.rend(), calls.rbegin()));
}

TEST_F(Import, FailuresAndTheirMessages)
{
    WriteText(m_dir / "bad.s", "S00600004844521B\nS3150000100000112233445566778899AABBCCDDEEFF\nS705000000FA\n");
    std::filesystem::create_directory(m_dir / "folder.bin");
    struct Row { std::string path; int code; std::string message; };
    const Row rows[] = {
        {m_dir / "bad.s", CONVERT_READ_ERROR, GetString(18)},
        {m_dir / "folder.bin", IMPORT_UNKNOWN_FORMAT, FormatString(10, {m_dir / "folder.bin"})},
    };
    for (const Row& row : rows) {
        m_host.boxes.clear();
        ImportOutcome out = ImportReleasePath(row.path, nullptr, true);
        EXPECT_EQ(out.code, row.code) << row.path;
        EXPECT_FALSE(out.success);
        ASSERT_EQ(m_host.boxes.size(), 1u);
        EXPECT_EQ(m_host.boxes[0].text, row.message);
        EXPECT_EQ(m_host.boxes[0].icon, ICON_STOP);
    }
    m_host.boxes.clear();
    EXPECT_EQ(ImportReleasePath(m_dir / "missing.s", nullptr, true).code, IMPORT_NO_FILE);
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_EQ(m_host.viewCalls.back(), "file:" + GetString(161));
}

TEST_F(Import, AbortLeavesAnInvalidFileThatTheNextImportReplaces)
{
    m_host.PressAbortAtPoll(1);
    ImportOutcome out = ImportReleasePath(m_dir / "fw.s", nullptr, true);
    EXPECT_EQ(out.code, CONVERT_ABORTED);
    EXPECT_EQ(out.message, GetString(44));
    CVleFile partial;
    ASSERT_TRUE(partial.OpenForRead(m_dir / "fw.vle"));
    EXPECT_EQ(partial.CheckFile(), VLE_INVALID_TYPE);
    partial.Close();
    EXPECT_EQ(ImportReleasePath(m_dir / "fw.s", nullptr, true).code, CONVERT_OK);
}

TEST_F(Import, CommandAsksForTheFile)
{
    m_host.QueueFileAnswer(false);
    EXPECT_EQ(ImportReleaseFile("first.s"), 0);   // cancelled
    ASSERT_EQ(m_host.filePrompts.size(), 1u);
    EXPECT_EQ(m_host.filePrompts[0].title, GetString(24));
    EXPECT_EQ(m_host.filePrompts[0].path, "first.s");
    EXPECT_TRUE(m_host.boxes.empty());
    m_host.QueueFileAnswer(true, m_dir / "fw.s");
    EXPECT_EQ(ImportReleaseFile(""), 1);
    EXPECT_EQ(m_host.boxes.size(), 1u);
}

}  // namespace
