// Request lines and the request document: records, comparison, speeds,
// relay chains, opening and linking.
#include "Golden.h"

#include "model/Archive.h"
#include "model/UpdateDoc.h"

namespace {

CBoardDef Def(const std::string& name, int relayed, int dest, int maxSpeed, int parent, int restart = 120)
{
    CBoardDef b;
    b.m_strName = name;
    b.m_bRelayed = relayed;
    b.m_nDestination = dest;
    b.m_nMaxSpeed = maxSpeed;
    b.m_nParentBoard = parent;
    b.m_nRestartTimeout = restart;
    return b;
}

TEST(SflFile, EmptyRequestIsGolden)
{
    CUpdateDoc doc;
    const Bytes expected = Cat({DocTag(), Hex("14 00 00 00 00 00 00 00 00 00 00 00"), DocTrailer()});
    EXPECT_EQ(RequestToBytes(doc, 20), expected);
    CUpdateDoc back;
    ASSERT_TRUE(RequestFromBytes(expected, back));
    EXPECT_TRUE(back.m_lines.empty());
    EXPECT_EQ(back.m_nFileVersion, 20);
}

TEST(SflFile, TwoLinesShareOneClassNameAndReSaveIdentically)
{
    CUpdateDoc doc;
    ASSERT_TRUE(RequestFromBytes(TwoLineRequest(), doc));
    ASSERT_EQ(doc.m_lines.size(), 2u);
    const CBoardConf& cpu = doc.m_lines[0];
    EXPECT_EQ(cpu.m_strBoardName, "CPU");
    EXPECT_EQ(cpu.m_strEnvName, "Demo");
    EXPECT_EQ(cpu.m_strReleaseFile, "cpu.mot");
    EXPECT_EQ(cpu.m_strSubassyHardw, "10,12");
    EXPECT_EQ(cpu.m_strSoftId, "V1.0");
    EXPECT_EQ(cpu.m_nTransferSpeed, 7);
    EXPECT_EQ(cpu.m_nConfigSpeed, 3);
    EXPECT_EQ(cpu.m_bBoardAlone, 1);
    EXPECT_EQ(cpu.m_nSpareSpeed1, -1);
    EXPECT_EQ(doc.m_lines[1].m_nBoardIndex, 1);
    EXPECT_EQ(RequestToBytes(doc, 20), TwoLineRequest());
}

TEST(SflFile, DamagedRequestsAreFormatErrors)
{
    const Bytes good = TwoLineRequest();
    for (size_t cut = 0; cut < good.size(); ++cut) {
        CUpdateDoc doc;
        EXPECT_FALSE(RequestFromBytes(Bytes(good.begin(), good.begin() + static_cast<long>(cut)), doc)) << cut;
        EXPECT_TRUE(doc.m_lines.empty());
    }
    const Bytes lying[] = {
        Cat({DocTag(), Le32(20), Le32(0), Le32(INT32_MAX), LineTag()}),
        Cat({DocTag(), Le32(20), Le32(0), Le32(-2)}),
        Cat({DocTag(), Le32(20), Le32(0), Le32(1), Hex("03 80")}),
        Cat({DocTag(), Le32(20), Le32(0), Le32(1), LineTag(), Zeros(8), Hex("FF FF FF 00 00 00 F0")}),
        Cat({Hex("FF FF 01 00 07 00"), Ascii("CEnvDef")}),
    };
    for (const Bytes& bytes : lying) {
        CUpdateDoc doc;
        EXPECT_FALSE(RequestFromBytes(bytes, doc));
    }
}

TEST(BoardConf, CopyAndComparison)
{
    CBoardConf a;
    CBoardConf b;
    b.m_nRestartSpeed = 4;
    b.m_nEffectiveSpeed = 5;
    a.m_strBoardName = "X";
    a.m_nEffectiveSpeed = 9;
    b.CopyFrom(a);
    EXPECT_EQ(b.m_strBoardName, "X");
    EXPECT_EQ(b.m_nRestartSpeed, 4);     // kept
    EXPECT_EQ(b.m_nEffectiveSpeed, 5);   // kept

    struct Row {
        const char* what;
        std::function<void(CBoardConf&)> change;
        bool different;
    } rows[] = {
        {"same", [](CBoardConf&) {}, false},
        {"board name case", [](CBoardConf& l) { l.m_strBoardName = "x"; }, true},
        {"env name", [](CBoardConf& l) { l.m_strEnvName = "E2"; }, true},
        {"config speed", [](CBoardConf& l) { l.m_nConfigSpeed = 2; }, true},
        {"env index is not compared", [](CBoardConf& l) { l.m_nEnvIndex = 3; }, false},
        {"spare flag 1 with re-start", [](CBoardConf& l) { l.m_bSpareFlag1 = 1; }, true},
        {"spare speed with both flags clear", [](CBoardConf& l) { l.m_nSpareSpeed1 = 2; }, true},
        {"spare speed without re-start", [](CBoardConf& l) { l.m_nSpareSpeed1 = 2; l.m_bRestart = 0; }, true},
    };
    for (const Row& row : rows) {
        CBoardConf other = a;
        row.change(other);
        EXPECT_EQ(a.IsDifferent(other), row.different) << row.what;
    }
    // Without re-start on both lines the spare values are not looked at.
    CBoardConf noRestart = a;
    noRestart.m_bRestart = 0;
    CBoardConf spare = noRestart;
    spare.m_nSpareSpeed2 = 6;
    spare.m_bSpareFlag2 = 1;
    EXPECT_FALSE(noRestart.IsDifferent(spare));
    // With spare flag 1 set on both, flag 2 and the speeds are not looked at.
    CBoardConf flag1 = a;
    flag1.m_bSpareFlag1 = 1;
    CBoardConf flag1Other = flag1;
    flag1Other.m_bSpareFlag2 = 1;
    flag1Other.m_nSpareSpeed1 = 3;
    EXPECT_FALSE(flag1.IsDifferent(flag1Other));
}

TEST(BoardConf, DescriptionAndReleaseFileName)
{
    CBoardConf l;
    l.m_strEnvName = "Demo";
    l.m_strBoardName = "CPU";
    l.m_strReleaseFile = "cpu.mot";
    l.m_strSoftId = "V1";
    EXPECT_EQ(l.GetDescription(), "\r\nEnvironment name\t: Demo\r\nBoard name\t: CPU\r\nRelease file\t: cpu.mot\r\n"
                                  "Soft identification\t: V1\r\nBoard alone\t: NO\r\nRe-start\t: YES\r\n\r\n");
    struct Row {
        const char* stored;
        const char* name;
    } rows[] = {{"cpu.mot", "cpu.mot"}, {"C:\\rel\\cpu.mot", "cpu.mot"}, {"../../etc/passwd", "passwd"},
                {"a/b\\c.mot", "c.mot"}, {"dir/..", ""}, {"/", ""}};
    App().m_strLastSflPath = "/req/";
    for (const Row& row : rows) {
        l.m_strReleaseFile = row.stored;
        EXPECT_EQ(l.ReleaseFileName(), row.name) << row.stored;
        EXPECT_EQ(l.ReleaseFilePath(), std::string("/req/") + row.name) << row.stored;
    }
}

TEST(BoardConf, ValidationTable)
{
    CEnvDef env;
    env.m_boards = {Def("CPU", 0, 0, 7, -1), Def("IO", 1, 8, -1, 0)};
    struct Row {
        const char* what;
        std::function<void(CBoardConf&)> change;
        int field;
        int message;
    } rows[] = {
        {"valid", [](CBoardConf&) {}, 0, 0},
        {"no board", [](CBoardConf& l) { l.m_nBoardIndex = -1; l.m_strReleaseFile.clear(); }, 317, 63},
        {"board index beyond the list", [](CBoardConf& l) { l.m_nBoardIndex = 2; }, 317, 63},
        {"release file", [](CBoardConf& l) { l.m_strReleaseFile.clear(); l.m_strSoftId.clear(); }, 320, 81},
        {"soft id", [](CBoardConf& l) { l.m_strSoftId.clear(); }, 344, 82},
        {"not alone on a board that is not relayed", [](CBoardConf& l) { l.m_nBoardIndex = 0; }, 318, 138},
        {"alone on a board that is not relayed", [](CBoardConf& l) { l.m_nBoardIndex = 0; l.m_bBoardAlone = 1; }, 0, 0},
    };
    for (const Row& row : rows) {
        CBoardConf l;
        l.m_nBoardIndex = 1;
        l.m_strReleaseFile = "f";
        l.m_strSoftId = "s";
        row.change(l);
        const ValidationResult r = ValidateBoardLine(l, env);
        EXPECT_EQ(r.field, row.field) << row.what;
        EXPECT_EQ(r.messageId, row.message) << row.what;
    }
}

TEST(RelayChain, HopsSpeedsAndRestartWait)
{
    CEnvDef env;
    // CPU (port) <- MUX (relayed on port B, max 5) <- IO (relayed on Dpram 1)
    env.m_boards = {Def("CPU", 0, 0, 7, -1, 30), Def("MUX", 1, 1, 5, 0, 120), Def("IO", 1, 8, -1, 1, 60)};
    CBoardConf line;
    line.m_nBoardIndex = 2;
    ASSERT_TRUE(BuildLineHops(line, env));
    ASSERT_EQ(line.m_hops.size(), 3u);
    EXPECT_EQ(line.m_hops[0].m_pBoardDef, &env.m_boards[0]);
    EXPECT_EQ(line.m_hops[0].m_pParentDef, nullptr);
    EXPECT_EQ(line.m_hops[0].m_pChildDef, &env.m_boards[1]);
    EXPECT_EQ(line.m_hops[2].m_pBoardDef, &env.m_boards[2]);
    EXPECT_EQ(line.m_hops[2].m_pParentDef, &env.m_boards[1]);
    EXPECT_EQ(line.m_hops[2].m_pChildDef, nullptr);
    EXPECT_EQ(line.m_hops[1].m_nHopNumber, 1);

    EXPECT_EQ(line.ComputeEffectiveSpeed(), 5);   // limited by MUX
    line.m_nTransferSpeed = 3;
    EXPECT_EQ(line.ComputeEffectiveSpeed(), 3);
    line.m_nTransferSpeed = 6;
    EXPECT_EQ(line.ComputeEffectiveSpeed(), 5);

    EXPECT_EQ(GetRestartWaitMs(line.m_hops, true), 120000);
    EXPECT_EQ(GetRestartWaitMs(line.m_hops, false), 60000);
    EXPECT_EQ(GetRestartWaitMs({}, true), 0);

    EXPECT_TRUE(line.SetHopSpeed(4, 1));
    line.m_nHop = 1;
    EXPECT_EQ(line.GetHopSpeed(), 4);
    EXPECT_EQ(line.GetHopSpeed(3), -1);
    EXPECT_FALSE(line.SetHopSpeed(4, 7));

    line.ResetForTransfer();
    EXPECT_EQ(line.m_nResult, 6);
    EXPECT_EQ(line.m_nHop, 0);
    EXPECT_EQ(line.m_nEffectiveSpeed, 5);
    EXPECT_EQ(line.TakeRestartSpeed(), 0);   // IO is on a Dpram

    CBoardConf alone;
    alone.m_nBoardIndex = 0;
    alone.m_bBoardAlone = 1;
    ASSERT_TRUE(BuildLineHops(alone, env));
    EXPECT_EQ(alone.m_hops.size(), 1u);
    EXPECT_EQ(alone.ComputeEffectiveSpeed(), 7);
    alone.m_nTransferSpeed = 3;
    EXPECT_EQ(alone.ComputeEffectiveSpeed(), 3);
    alone.ResetForTransfer();
    EXPECT_EQ(alone.TakeRestartSpeed(), 1);
    EXPECT_EQ(alone.m_nRestartSpeed, 3);
}

TEST(RelayChain, BrokenOrLoopingParentLinksAreFaults)
{
    CEnvDef env;
    env.m_boards = {Def("A", 1, 0, 7, 1), Def("B", 1, 0, 7, 0), Def("C", 1, 0, 7, 9), Def("D", 1, 0, 7, 3)};
    struct Row {
        int board;
        const char* faulty;
    } rows[] = {{0, "A"}, {1, "B"}, {2, "C"}, {3, "D"}};
    for (const Row& row : rows) {
        CBoardConf line;
        line.m_nBoardIndex = row.board;
        std::string faulty;
        EXPECT_FALSE(BuildLineHops(line, env, &faulty)) << row.board;
        EXPECT_FALSE(faulty.empty());
    }
    CBoardConf line;
    line.m_nBoardIndex = 2;
    std::string faulty;
    EXPECT_FALSE(BuildLineHops(line, env, &faulty));
    EXPECT_EQ(faulty, "C");
}

class RequestDoc : public ModelFixture {
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        Write("demo.def", DemoEnvBytes("Demo"));
        Write("other.def", DemoEnvBytes("Other"));
    }
    CUpdateDoc doc;
};

TEST_F(RequestDoc, OpenLinksTheLinesAndRemembersTheDirectory)
{
    const std::string path = Write("req.sfl", TwoLineRequest());
    ASSERT_EQ(doc.OpenRequest(path), OpenResult::Ok);
    EXPECT_EQ(doc.m_bLinked, 1);
    EXPECT_EQ(doc.m_bHasRelayed, 1);
    EXPECT_EQ(doc.m_lines[1].m_nEnvIndex, 0);
    EXPECT_EQ(App().m_strLastSflPath, Dir());
    EXPECT_EQ(doc.GetTitle(), "req.sfl");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(doc.NextSelectedLine(-1), 0);
    doc.m_lines[1].m_bSelected = 0;
    EXPECT_EQ(doc.NextSelectedLine(0), 2);
    EXPECT_TRUE(doc.IsLastSelected(0));

    ASSERT_TRUE(doc.BuildRelayPaths());
    EXPECT_EQ(doc.m_lines[1].m_hops.size(), 2u);

    const std::string copy = Dir() + "sub/copy.sfl";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Dir() + "sub")));
    ASSERT_TRUE(doc.SaveRequest(copy));
    EXPECT_EQ(Read(copy), TwoLineRequest());
    EXPECT_EQ(App().m_strLastSflPath, Dir() + "sub/");
}

TEST_F(RequestDoc, StaleBoardIndexIsRefreshedFromTheMatch)
{
    Bytes bytes = Cat({DocTag(), Le32(20), Le32(0), Le32(1), LineTag(),
                       LineBody("IO", "Demo", 77, "io.mot", "3", "V2.0", -1, -1, 0, 1, 9), DocTrailer()});
    ASSERT_EQ(doc.OpenRequest(Write("stale.sfl", bytes)), OpenResult::Ok);
    EXPECT_EQ(doc.m_lines[0].m_nBoardIndex, 1);
    EXPECT_EQ(doc.m_lines[0].m_nEnvIndex, 0);
}

TEST_F(RequestDoc, UnknownEnvironmentAnsweredNoLeavesAnEmptyUnlinkedDocument)
{
    Bytes bytes = Cat({DocTag(), Le32(20), Le32(0), Le32(1), LineTag(),
                       LineBody("CPU", "Gone", 0, "cpu.mot", "10,12", "V1.0", 7, 3, 1), DocTrailer()});
    doc.SetTitle("before");
    EXPECT_EQ(doc.OpenRequest(Write("gone.sfl", bytes)), OpenResult::NotLinked);
    EXPECT_TRUE(doc.m_lines.empty());
    EXPECT_EQ(doc.m_bLinked, 0);
    EXPECT_EQ(doc.GetTitle(), "before");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Cannot find \"CPU\" board in the \"Gone\" environment used in the sfl file.\r\n"
                                  "Would you like to link it to another environment? \r\n");
    EXPECT_EQ(host.boxes[0].buttons, MB_YES_NO_CANCEL);
    EXPECT_EQ(host.boxes[0].icon, ICON_EXCLAMATION);
}

TEST_F(RequestDoc, FailingAfterALinkedDocumentBlanksTitleAndPath)
{
    ASSERT_EQ(doc.OpenRequest(Write("req.sfl", TwoLineRequest())), OpenResult::Ok);
    EXPECT_EQ(doc.OpenRequest(Write("mixed.sfl", TwoLineRequest("Other"))), OpenResult::NotLinked);
    EXPECT_EQ(doc.GetTitle(), " ");
    EXPECT_EQ(doc.GetPathName(), " ");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "All the boards must belong to the same environment .\r\n(\"IO\" board belongs to "
                                  "\"Other\" environment)\r\nWould you like to link it to another environment? \r\n");
}

TEST_F(RequestDoc, WithoutRightsTheQuestionIsAnOkBox)
{
    App().m_bEditRights = false;
    EXPECT_EQ(doc.OpenRequest(Write("mixed.sfl", TwoLineRequest("Other"))), OpenResult::NotLinked);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].buttons, MB_OK_ONLY);
    EXPECT_EQ(host.boxes[0].text.find("Would you like"), std::string::npos);
}

TEST_F(RequestDoc, BoardAloneIsCorrectedAndTheTitleMarked)
{
    Bytes bytes = Cat({DocTag(), Le32(20), Le32(0), Le32(1), LineTag(),
                       LineBody("CPU", "Demo", 0, "cpu.mot", "10,12", "V1.0", 7, 3, 0), DocTrailer()});
    ASSERT_EQ(doc.OpenRequest(Write("alone.sfl", bytes)), OpenResult::Ok);
    EXPECT_EQ(doc.m_lines[0].m_bBoardAlone, 1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), "alone.sfl *");
    EXPECT_EQ(host.Texts(), (std::vector<std::string>{
                                "The \"Board alone\" field of \"CPU\" board will be modified due to \"Demo\" environment.\r\n",
                                "Tranfer board parameters have been modified !"}));
    EXPECT_EQ(doc.LinkLines(), 1);
    EXPECT_EQ(doc.GetTitle(), "alone.sfl *");   // marked once
}

TEST_F(RequestDoc, RelinkTakesTheChosenBoardAndLowersSpeeds)
{
    // The line asks for 115200 on a board of a lost environment; the user
    // links it to IO (Dpram, no maximum) of "Other".
    Bytes bytes = Cat({DocTag(), Le32(20), Le32(0), Le32(1), LineTag(),
                       LineBody("OLD", "Gone", 0, "x.mot", "9", "V1", 7, 3, 0), DocTrailer()});
    host.QueueAnswer(ANSWER_YES);
    host.QueueBoardChoice(1, 0);   // "Other", CPU (max 7)
    ASSERT_EQ(doc.OpenRequest(Write("relink.sfl", bytes)), OpenResult::Ok);
    const CBoardConf& line = doc.m_lines[0];
    EXPECT_EQ(line.m_strBoardName, "CPU");
    EXPECT_EQ(line.m_strEnvName, "Other");
    EXPECT_EQ(line.m_strSubassyHardw, "10,12");
    EXPECT_EQ(line.m_nEnvIndex, 1);
    EXPECT_EQ(line.m_nBoardIndex, 0);
    EXPECT_EQ(line.m_bBoardAlone, 1);   // CPU is not relayed
    EXPECT_EQ(host.boardChoiceOpenedOn, std::vector<int>{0});
    EXPECT_EQ(doc.GetTitle(), "relink.sfl *");
    ASSERT_EQ(host.boxes.size(), 3u);
    EXPECT_EQ(host.boxes[1].text.rfind("The \"Board alone\" field", 0), 0u);
    EXPECT_EQ(host.boxes[2].text, "Tranfer board parameters have been modified !");

    // Re-link to IO (Dpram 2, max unset): both speeds come down, 78 then 79.
    host.boxes.clear();
    Bytes second = Cat({DocTag(), Le32(20), Le32(0), Le32(1), LineTag(),
                        LineBody("OLD", "Other", 0, "x.mot", "9", "V1", 7, 3, 0), DocTrailer()});
    host.QueueAnswer(ANSWER_YES);
    host.QueueBoardChoice(1, 1);
    ASSERT_EQ(doc.OpenRequest(Write("relink2.sfl", second)), OpenResult::Ok);
    EXPECT_EQ(doc.m_lines[0].m_nTransferSpeed, -1);
    EXPECT_EQ(doc.m_lines[0].m_nConfigSpeed, -1);
    ASSERT_GE(host.boxes.size(), 3u);
    EXPECT_EQ(host.boxes[1].text.rfind("The transfer baud rate is too high.", 0), 0u);
    EXPECT_EQ(host.boxes[2].text.rfind("The config. baud rate is too high.", 0), 0u);
}

TEST_F(RequestDoc, RelinkToAnotherEnvironmentThanTheFirstLineAsksAgain)
{
    host.QueueAnswer(ANSWER_YES);
    host.QueueAnswer(ANSWER_YES);
    host.QueueBoardChoice(1, 1);   // "Other": still not the first line's environment
    host.QueueBoardChoice(0, 1);   // then "Demo"
    ASSERT_EQ(doc.OpenRequest(Write("mixed.sfl", TwoLineRequest("Other"))), OpenResult::Ok);
    EXPECT_EQ(doc.m_lines[1].m_strEnvName, "Demo");
    EXPECT_EQ(host.boardChoiceOpenedOn, (std::vector<int>{1, 1}));
}

TEST_F(RequestDoc, DamagedOrMissingFilesAndNoEnvironment)
{
    EXPECT_EQ(doc.OpenRequest(Write("bad.sfl", Hex("FF FF 01 00"))), OpenResult::FormatError);
    EXPECT_TRUE(doc.m_lines.empty());
    EXPECT_EQ(doc.OpenRequest(Dir() + "none.sfl"), OpenResult::CannotOpen);
    // A request whose relay chains were built keeps its lines when the next
    // scan finds nothing, but not chains into the environments that are gone.
    ASSERT_EQ(doc.OpenRequest(Write("req.sfl", TwoLineRequest())), OpenResult::Ok);
    ASSERT_TRUE(doc.BuildRelayPaths());
    App().m_strEnvDir = Dir() + "empty/";
    EXPECT_EQ(doc.OpenRequest(Dir() + "req.sfl"), OpenResult::NoEnvironment);
    ASSERT_EQ(doc.m_lines.size(), 2u);
    EXPECT_TRUE(doc.m_lines[1].m_hops.empty());
}

TEST_F(RequestDoc, BrokenParentLinkShowsMessage89)
{
    ASSERT_EQ(doc.OpenRequest(Write("req.sfl", TwoLineRequest())), OpenResult::Ok);
    g_envList[0].m_boards[1].m_nParentBoard = 5;
    EXPECT_FALSE(doc.BuildRelayPaths());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "A fault was detected in the parent board of the \"IO\" board.\r\n");
    EXPECT_EQ(host.boxes[0].caption, "Environment definition");
    EXPECT_EQ(host.boxes[0].icon, ICON_STOP);
}

}   // namespace
