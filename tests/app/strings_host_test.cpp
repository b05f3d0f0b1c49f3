// String table, message formatting and the message-box helper.
#include <gtest/gtest.h>

#include "app/Host.h"
#include "app/Strings.h"
#include "common/ScriptedHost.h"

namespace {

struct StringRow {
    int id;
    const char* text;
};

TEST(Strings, TextsAreExact)
{
    const StringRow rows[] = {
        {8, "Communication error"},
        {14, "Process was aborted due to invalid reception. . \r\n(see log file)\r\n"},
        {35, "Can't remove \"'%s\" file.\r\n"},
        {49, "Are you sure you want to abort  the process ?\r\n"},
        {57, "Unable to open the port. \r\n"},
        {93, "Unable to communicate with your remote system.\n"},
        {98, "'%s'    :  "},
        {100, "No environment definition file has been found in the directory '%s' .\n"
              "(Use the environment directory command) \n"},
        {109, "\"Boot\""},
        {139, "The \"Board alone\" field of \"%s\" board will be modified due to \"%s\" "
              "environment.\r\n"},
        {143, "Import process"},
        {168, "The %s file %s is not compatible.\r\n"},
        {169, "(Unknown version)"},
        {57616, "Open this transfer request file."},
        {61442, "All Files (*.*)"},
        {61842, "Send Mail failed to send message."},
    };
    for (const StringRow& r : rows) {
        EXPECT_TRUE(HasString(r.id)) << r.id;
        EXPECT_EQ(GetString(r.id), r.text) << r.id;
    }
}

TEST(Strings, NumbersThatAreNotMessagesAreAbsent)
{
    // Result codes, dialog resources and unknown ids.
    for (int id : {0, 1, 2, 3, 4, 5, 170, 171, 175, 203, 1536, 1538, 99999, -1}) {
        EXPECT_FALSE(HasString(id)) << id;
        EXPECT_EQ(GetString(id), "") << id;
    }
}

struct FormatRow {
    const char* format;
    std::vector<std::string> args;
    const char* expected;
};

TEST(Format, ConversionsFilledFromTextArguments)
{
    const FormatRow rows[] = {
        {"The %s file %s is not compatible.", {"TavrelRC.dll", "V2.1 x"},
         "The TavrelRC.dll file V2.1 x is not compatible."},
        {"%5ld blocks", {"12"}, "   12 blocks"},
        {"%ld seconds remaining", {"-7"}, "-7 seconds remaining"},
        {"%-4s|", {"ab"}, "ab  |"},
        {"%.2s|%3c|", {"abcdef", "xyz"}, "ab|  x|"},
        {"%02X %x %u", {"10", "255", "4"}, "0A ff 4"},
        {"%4d Mb", {"not a number"}, "   0 Mb"},
        {"100%% %d", {"3"}, "100% 3"},
        {"%s and %s", {"one"}, "one and "},          // missing argument
        {"%d", {}, "0"},
        {"rest %", {}, "rest %"},                     // lone percent at the end
        {"%y %s", {"a"}, "%y a"},                     // unknown conversion kept
        {"%s", {"a", "b"}, "a"},                      // extra argument ignored
        {"%dmin %ds", {"2", "5"}, "2min 5s"},
    };
    for (const FormatRow& r : rows) EXPECT_EQ(FormatText(r.format, r.args), r.expected) << r.format;
}

TEST(Format, HugeWidthsAreBounded)
{
    const std::string out = FormatText("%999999999d|%*s", {"1", "99999999", "x"});
    EXPECT_LE(out.size(), 10000u);
    EXPECT_EQ(out.back(), 'x');
}

TEST(Format, FormatStringUsesTheTable)
{
    EXPECT_EQ(FormatString(142, {"12AB", "12AC"}), "Checksum error (12AB/12AC)\r\n");
}

TEST(ShowMessage, WarningBeepBeforeExclamationAndStopOnly)
{
    CScriptedHost host;
    CHostScope scope(host);
    ShowMessage(57, 8, MB_OK_ONLY, ICON_STOP);
    ShowMessage("text", 30, MB_OK_ONLY, ICON_EXCLAMATION);
    ShowMessage("info", 94, MB_OK_ONLY, ICON_INFORMATION);
    const std::vector<std::string> expected = {"beep:2", "box:Communication error", "beep:1",
                                               "box:Warning", "box:Transfer"};
    EXPECT_EQ(host.events, expected);
    EXPECT_EQ(host.boxes[0].text, "Unable to open the port. \r\n");
}

TEST(ShowMessage, QuietDefaultHostAnswersTheSafeChoice)
{
    SetHost(nullptr);
    EXPECT_EQ(ShowMessage("q", 28, MB_OK_ONLY, ICON_NONE), ANSWER_OK);
    EXPECT_EQ(ShowMessage("q", 28, MB_YES_NO, ICON_QUESTION), ANSWER_NO);
    EXPECT_EQ(ShowMessage("q", 28, MB_YES_NO_CANCEL, ICON_QUESTION), ANSWER_CANCEL);
    EXPECT_EQ(ShowMessage("q", 28, MB_OK_CANCEL, ICON_QUESTION), ANSWER_CANCEL);
    EXPECT_EQ(ShowMessage("q", 28, MB_RETRY_CANCEL, ICON_QUESTION), ANSWER_CANCEL);
    EXPECT_FALSE(Host().AbortKeyPressed());
}

}  // namespace
