// The engine's pure pieces: ident reply matching and the report texts.
#include <gtest/gtest.h>

#include "engine/IdentMatch.h"
#include "engine/EngineTypes.h"
#include "engine/ProcessReport.h"

namespace {

IdentTarget Cpu()
{
    IdentTarget t;
    t.subassyId = "CM";
    t.subassyHardw = "10,12";
    t.bootLoader = "CMB2";
    t.destLetter = 'A';
    t.boardAlone = true;
    return t;
}

IdentTarget GpsBehind(char letter)
{
    IdentTarget t;
    t.subassyId = "GP";
    t.subassyHardw = "20";
    t.bootLoader = "GPB1";
    t.destLetter = letter;
    t.boardAlone = false;
    return t;
}

const std::string kTree =
    "$PKVR,IDENT,4,1,CM12,CMB2\r\n"
    "$PKVR,IDENT,4,2,CM12,CPU0100\r\n"
    "$PKVR,IDENT,4,3,GP20,GPB1,B\r\n"
    "$PKVR,IDENT,4,4,GP20,GPS0200,B\r\n";

}  // namespace

TEST(IdentMatch, AnalysisOfBoardLines)
{
    struct Row {
        const char* name;
        IdentTarget target;
        std::string soft;
        bool found, same, exact;
    } rows[] = {
        {"connected board, older software", Cpu(), "CPU0200", true, true, false},
        {"connected board, exact software", Cpu(), "CPU0100", true, true, true},
        {"connected board, other software", Cpu(), "XYZ0100", true, false, false},
        {"relayed board on its port", GpsBehind('B'), "GPS0200", true, true, true},
        {"relayed board named on another port", GpsBehind('C'), "GPS0200", false, false, false},
        {"short soft identification compared whole", Cpu(), "CPU", true, true, false},
    };
    for (const Row& row : rows) {
        const IdentLineMatch m = MatchIdentLine(kTree, row.target, row.soft);
        EXPECT_EQ(m.found, row.found) << row.name;
        EXPECT_EQ(m.same, row.same) << row.name;
        EXPECT_EQ(m.exact, row.exact) << row.name;
    }
}

TEST(IdentMatch, RepeatedReplyIsTolerated)
{
    const IdentLineMatch m = MatchIdentLine(kTree + kTree, GpsBehind('B'), "GPS0200");
    EXPECT_TRUE(m.found);
    EXPECT_TRUE(m.exact);
}

TEST(IdentMatch, RestartTests)
{
    EXPECT_TRUE(BoardFoundInReply(kTree, Cpu()));
    EXPECT_FALSE(NewReleaseInReply(kTree, Cpu(), "CPU0200"));
    EXPECT_TRUE(NewReleaseInReply(kTree, Cpu(), "CPU0100"));
    EXPECT_TRUE(BoardFoundInReply(kTree, GpsBehind('B')));
    EXPECT_TRUE(NewReleaseInReply(kTree, GpsBehind('B'), "GPS0200"));
    EXPECT_FALSE(BoardFoundInReply(kTree, GpsBehind('C')));
    EXPECT_FALSE(BoardFoundInReply("", Cpu()));
}

TEST(IdentMatch, ReplyCompleteOnlyWithLastLine)
{
    EXPECT_FALSE(IdentReplyComplete("$PKVR,IDENT,3,1,CM10,CMB2\r\n$PKVR,IDENT,3,2,CM10,X\r\n", 3));
    EXPECT_TRUE(IdentReplyComplete("$PKVR,IDENT,3,1,CM10,CMB2\r\n$PKVR,IDENT,3,3,CM10,X\r\n", 3));
    EXPECT_EQ(HardwareVersions("10,,12"), (std::vector<std::string>{"10", "12"}));
}

TEST(ProcessReport, Texts)
{
    EXPECT_EQ(OperationTimeText(3725), "Temps de l'opération = 62:05\r\n");
    EXPECT_EQ(ElapsedText(0), "00:00");
    EXPECT_EQ(RemainingTimeText(false, 1000, 0, 9600), "");
    // (32800 * 12 / 9600 + 2) * 1.4 = 60.2 -> seconds; 33600 bytes give 61 -> 2 minutes.
    EXPECT_EQ(RemainingTimeText(true, 32800, 0, 9600), "60 seconds remaining");
    EXPECT_EQ(RemainingTimeText(true, 33600, 0, 9600), "2 minutes remaining");
    EXPECT_EQ(RemainingTimeText(true, 100, 500, 9600), "2 seconds remaining");
    EXPECT_EQ(EndReportLine("GPS", 1, true), "'GPS'    :  OK\r\n");
    EXPECT_EQ(EndReportLine("GPS", 1, false), "'GPS'    :  Not updated.\r\n");
    EXPECT_EQ(EndReportLine("GPS", 42, true), "'GPS'    :  Unknown result.\r\n");
    // A failure is not the user's abort.
    EXPECT_EQ(EndReportLine("GPS", RESULT_ABORTED, true), "'GPS'    :  Transfer aborted by the user.\r\n");
    EXPECT_EQ(EndReportLine("GPS", RESULT_FAILED, true), "'GPS'    :  Transfer failed (see log file).\r\n");
    EXPECT_EQ(ShortenText("0123456789ABCDEFGHIJKLMN", 18), "...3456789ABCDEFGHIJKLMN");
    EXPECT_EQ(ShortenText("short", 18), "short");
}

TEST(ProcessReport, BoardSummary)
{
    BoardSummaryFacts f;
    f.lineNumber = 2;
    f.lineCount = 3;
    f.envName = "DEMO";
    f.boardName = "GPS";
    f.subassyId = "GP";
    f.subassyHardw = "20";
    f.bootLoader = "GPB1";
    f.softId = "GPS0200";
    f.restart = true;
    f.relayedDefinition = true;
    f.parentName = "CPU";
    f.destinationName = "Port B";
    f.releaseFile = "gps.s19";
    f.vleFile = "gps.vle";
    EXPECT_EQ(BoardSummary(f),
              "| Carte 2 sur 3\r\n"
              "|Environnement      : DEMO\r\n"
              "|Carte              : GPS\r\n"
              "|Ident. du boot     : GP20 GPB1\r\n"
              "|Version logiciel   : GPS0200\r\n"
              "|Re-boot            : Oui\r\n"
              "|Carte seule        : Non\r\n"
              "|Carte parent       : CPU\r\n"
              "|et port local      : Port B\r\n"
              "|Fichier            : gps.s19 (gps.vle)\r\n");
    f.relayedDefinition = false;
    EXPECT_EQ(BoardSummary(f).find("|Carte parent"), std::string::npos);
}
