// Board definitions and environments: records, validation, .def files, scan.
#include "Golden.h"

#include "app/Strings.h"
#include "model/Archive.h"

namespace {

CBoardDef ValidBoard(const std::string& name, bool relayed, int dest, int parent)
{
    CBoardDef b;
    b.m_strName = name;
    b.m_strSubassyId = "CM";
    b.m_strSubassyHardw = "10";
    b.m_strBootLoader = "CMB2";
    b.m_nProgId = 1;
    b.m_bRelayed = relayed;
    b.m_nDestination = dest;
    b.m_nProcessing = 0;
    b.m_nMaxSpeed = 7;
    b.m_nParentBoard = parent;
    b.m_nSaveSpeed = SAVE_SPEED_CHECKED;
    return b;
}

TEST(BoardDef, TimeoutSetters)
{
    CBoardDef b;
    b.m_nEraseTimeout = 60;
    b.m_nRestartTimeout = 60;
    for (int bad : {9, 121, -5}) {
        EXPECT_FALSE(b.SetEraseTimeout(bad));
        EXPECT_FALSE(b.SetRestartTimeout(bad));
    }
    EXPECT_EQ(b.m_nEraseTimeout, 60);
    EXPECT_EQ(b.m_nRestartTimeout, 60);
    EXPECT_TRUE(b.SetEraseTimeout(10));
    EXPECT_TRUE(b.SetRestartTimeout(120));
    EXPECT_EQ(b.m_nEraseTimeout, 10);
    EXPECT_EQ(b.m_nRestartTimeout, 120);
}

TEST(BoardDef, SerialDestinationAndTables)
{
    struct Row {
        int dest;
        bool serial;
        const char* name;
    } rows[] = {{-1, false, ""}, {0, true, "Port A"}, {7, true, "Port H"}, {8, false, "Dpram 1"},
                {11, false, "Dpram 4"}, {12, true, "C:\\"}, {24, true, "Secteur 8"}, {25, true, ""}};
    for (const Row& row : rows) {
        CBoardDef b;
        b.m_nDestination = row.dest;
        EXPECT_EQ(b.HasSerialDestination(), row.serial) << row.dest;
        EXPECT_EQ(DestinationName(row.dest), row.name) << row.dest;
    }
}

TEST(BoardDef, DescriptionText)
{
    CBoardDef b = ValidBoard("IO", true, 9, 0);
    b.m_nProcessing = -1;
    EXPECT_EQ(b.GetDescription(),
              "\r\nBoard name\t: IO\r\nBoard ident.\t: CM10\r\nBoot ident.\t: CMB2\r\nSoft code\t: 1\r\n"
              "Relayed board\t: YES\r\nMother board com\t: Dpram 2\r\nProcess\t: \r\n"
              "Time out erasure\t: 120 sec.\r\nTime out re-start\t: 120 sec.\r\n\r\n");
    b.m_bRelayed = 0;
    EXPECT_EQ(b.GetDescription().find("Mother"), std::string::npos);
}

TEST(BoardDef, ValidationTable)
{
    CEnvDef env;
    env.m_strName = "E";
    env.m_boards = {ValidBoard("CPU", false, 0, -1), ValidBoard("IO", true, 1, 0)};
    struct Row {
        const char* what;
        std::function<void(CBoardDef&)> change;
        int field;
        int message;
    } rows[] = {
        {"valid", [](CBoardDef&) {}, 0, 0},
        {"name", [](CBoardDef& b) { b.m_strName.clear(); }, 341, 63},
        {"subassy id", [](CBoardDef& b) { b.m_strSubassyId.clear(); }, 342, 64},
        {"hardw", [](CBoardDef& b) { b.m_strSubassyHardw.clear(); }, 343, 65},
        {"boot", [](CBoardDef& b) { b.m_strBootLoader.clear(); }, 354, 66},
        {"max speed before prog id", [](CBoardDef& b) { b.m_nMaxSpeed = -1; b.m_nProgId = 0; }, 350, 68},
        {"max speed unset on a Dpram is fine", [](CBoardDef& b) { b.m_nMaxSpeed = -1; b.m_nDestination = 9; }, 0, 0},
        {"prog id 0", [](CBoardDef& b) { b.m_nProgId = 0; }, 347, 67},
        {"prog id 11", [](CBoardDef& b) { b.m_nProgId = 11; }, 347, 67},
        {"prog id 10", [](CBoardDef& b) { b.m_nProgId = 10; }, 0, 0},
        {"destination", [](CBoardDef& b) { b.m_nDestination = -1; }, 348, 69},
        {"processing", [](CBoardDef& b) { b.m_nProcessing = -1; }, 351, 70},
        {"destination beyond the table", [](CBoardDef& b) { b.m_nDestination = 25; }, 348, 69},
        {"processing beyond the table", [](CBoardDef& b) { b.m_nProcessing = 4; }, 351, 70},
        {"negative processing", [](CBoardDef& b) { b.m_nProcessing = -7; }, 351, 70},
        {"parent none", [](CBoardDef& b) { b.m_nParentBoard = -1; }, 352, 72},
        {"parent beyond the list", [](CBoardDef& b) { b.m_nParentBoard = 2; }, 352, 72},
        {"parent is itself", [](CBoardDef& b) { b.m_nParentBoard = 1; }, 352, 72},
        {"relayed serial save speed undetermined", [](CBoardDef& b) { b.m_nSaveSpeed = 2; }, 396, 123},
        {"relayed Dpram save speed undetermined", [](CBoardDef& b) { b.m_nSaveSpeed = 2; b.m_nDestination = 8; }, 0, 0},
        {"not relayed save speed undetermined",
         [](CBoardDef& b) { b.m_bRelayed = 0; b.m_nSaveSpeed = 2; b.m_nParentBoard = -1; }, 396, 123},
        {"not relayed needs no parent", [](CBoardDef& b) { b.m_bRelayed = 0; b.m_nParentBoard = -1; }, 0, 0},
    };
    for (const Row& row : rows) {
        CBoardDef b = env.m_boards[1];
        row.change(b);
        const ValidationResult r = ValidateBoardDef(b, env);
        EXPECT_EQ(r.ok, row.message == 0) << row.what;
        EXPECT_EQ(r.field, row.field) << row.what;
        EXPECT_EQ(r.messageId, row.message) << row.what;
    }
}

TEST(DefFile, TwoBoardsAreGoldenAndReadBack)
{
    CEnvDef env;
    ASSERT_TRUE(EnvironmentFromBytes(DemoEnvBytes(), env));
    EXPECT_EQ(env.m_strFilePath, "C:\\T\\d.def");
    EXPECT_EQ(env.m_strName, "Demo");
    ASSERT_EQ(env.m_boards.size(), 2u);
    const CBoardDef& cpu = env.m_boards[0];
    EXPECT_EQ(cpu.m_strSubassyHardw, "10,12");
    EXPECT_EQ(cpu.m_strBrowseFilter, "*.mot");
    EXPECT_EQ(cpu.m_nMaxSpeed, 7);
    EXPECT_EQ(cpu.m_nProcessing, 3);
    EXPECT_EQ(cpu.m_nEraseTimeout, 60);
    EXPECT_EQ(cpu.m_nRestartTimeout, 30);
    EXPECT_EQ(cpu.m_nSaveSpeed, 1);
    EXPECT_EQ(env.m_boards[1].m_nParentBoard, 0);
    EXPECT_EQ(env.m_boards[1].m_nDestination, 9);
    EXPECT_TRUE(ValidateBoardDef(cpu, env));
    EXPECT_TRUE(ValidateBoardDef(env.m_boards[1], env));
    EXPECT_EQ(EnvironmentToBytes(env), DemoEnvBytes());
}

TEST(DefFile, OlderSchemasAndUnsetDestination)
{
    // Schema 2: no save speed; schema 1: the parent index is dropped.
    for (int schema : {1, 2}) {
        const Bytes bytes = Cat({EnvTag(), ShortText(""), ShortText("Old"), Le32(2), BoardTag(schema),
                                 BoardBody("CPU", "CM", "1", "B", 1, 0, 7, 0, 0, "*.*", 60, 60, 5), Hex("02 80"),
                                 BoardBody("IO", "IO", "1", "B", 1, -1, 7, 0, 1, "*.*", 60, 60, 0)});
        CEnvDef env;
        ASSERT_TRUE(EnvironmentFromBytes(bytes, env)) << schema;
        EXPECT_EQ(env.m_boards[0].m_nSaveSpeed, 2) << schema;
        EXPECT_EQ(env.m_boards[1].m_nDestination, 12) << schema;   // -1 reads as "C:\"
        EXPECT_EQ(env.m_boards[1].m_nParentBoard, schema == 1 ? -1 : 0) << schema;
        const ValidationResult cpu = ValidateBoardDef(env.m_boards[0], env);
        EXPECT_EQ(cpu.messageId, 123) << schema;   // not relayed, port, save speed 2
        const ValidationResult io = ValidateBoardDef(env.m_boards[1], env);
        EXPECT_EQ(io.messageId, schema == 1 ? 72 : 123) << schema;
    }
}

TEST(DefFile, DamagedFilesAreFormatErrors)
{
    const Bytes good = DemoEnvBytes();
    // Cut anywhere: never a crash, always a format error.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        CEnvDef env;
        env.m_strName = "untouched";
        EXPECT_FALSE(EnvironmentFromBytes(Bytes(good.begin(), good.begin() + static_cast<long>(cut)), env))
            << cut;
        EXPECT_EQ(env.m_strName, "untouched") << cut;
    }
    // Any byte overwritten: either a format error, or a record that saves
    // and reads back the same.
    for (size_t pos = 0; pos < good.size(); ++pos) {
        for (uint8_t value : {0x00, 0x7F, 0x80, 0xFE, 0xFF}) {
            Bytes bytes = good;
            bytes[pos] = value;
            CEnvDef env;
            if (!EnvironmentFromBytes(bytes, env))
                continue;
            CEnvDef again;
            ASSERT_TRUE(EnvironmentFromBytes(EnvironmentToBytes(env), again)) << pos;
            EXPECT_FALSE(again.IsDifferent(env)) << pos;
        }
    }
    const Bytes lying[] = {
        Cat({EnvTag(), ShortText(""), ShortText("E"), Le32(INT32_MIN)}),
        Cat({EnvTag(), ShortText(""), ShortText("E"), Le32(INT32_MAX), BoardTag()}),
        Cat({EnvTag(), ShortText(""), ShortText("E"), Le32(-1)}),
        Cat({EnvTag(), Hex("FF FF FF FF FF FF FF"), Ascii("abc")}),
        Cat({EnvTag(), ShortText(""), ShortText("E"), Le32(1), Hex("05 80")}),
        Cat({Hex("FF FF 01 00 C8 00"), Bytes(200, 'A')}),
    };
    for (const Bytes& bytes : lying) {
        CEnvDef env;
        std::string why;
        EXPECT_FALSE(EnvironmentFromBytes(bytes, env, &why));
        EXPECT_FALSE(why.empty());
    }
}

class EnvFiles : public ModelFixture {};

TEST_F(EnvFiles, SaveIsByteIdenticalToWhatWasRead)
{
    const std::string path = Write("demo.def", DemoEnvBytes());
    CEnvDef env;
    ASSERT_EQ(LoadEnvironmentFile(path, env, ENV_MODE_REPAIR), 1);
    EXPECT_EQ(env.m_strFilePath, path);   // replaced by the full path
    env.m_strFilePath = "C:\\T\\d.def";
    const std::string copy = Dir() + "copy.def";
    ASSERT_TRUE(SaveEnvironmentFile(env, copy));
    EXPECT_EQ(Read(copy), DemoEnvBytes());
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(EnvFiles, ScanListsSortedRefusesDuplicatesAndDamage)
{
    Write("b.def", DemoEnvBytes("Beta"));
    Write("a.def", DemoEnvBytes("Alpha"));
    Write("c.DEF", DemoEnvBytes("Alpha"));         // same name as a.def
    const Bytes demo = DemoEnvBytes();
    Write("d.def", Bytes(demo.begin(), demo.begin() + 40));
    Write("notes.txt", DemoEnvBytes("Other"));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Dir() + "dir.def")));
    ASSERT_TRUE(QFile::link(QString::fromStdString(Dir() + "gone"), QString::fromStdString(Dir() + "e.def")));

    EXPECT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 2);
    ASSERT_EQ(g_envList.size(), 2u);
    EXPECT_EQ(g_envList[0].m_strName, "Alpha");
    EXPECT_EQ(g_envList[1].m_strName, "Beta");
    EXPECT_EQ(host.Texts(),
              (std::vector<std::string>{
                  "The 'Alpha' environment described in the 'c.DEF' file already exists, it will not be loaded.\n",
                  "Invalid environnment file \"d.def\""}));

    App().m_nReserved1 = 1;   // duplicates allowed
    EXPECT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 3);
}

TEST_F(EnvFiles, EmptyDirectoryShowsMessage100)
{
    EXPECT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "No environment definition file has been found in the directory '" + Dir() +
                                      "' .\n(Use the environment directory command) \n");
    EXPECT_EQ(host.boxes[0].icon, ICON_EXCLAMATION);
}

// A schema-2 record of a non-relayed port board asks for repair (message 91).
Bytes NeedsRepairBytes()
{
    return Cat({EnvTag(), ShortText(""), ShortText("Fix"), Le32(1), BoardTag(2),
                BoardBody("CPU", "CM", "1", "B", 1, 0, 7, 0, 0, "*.*", 60, 60, -1)});
}

TEST_F(EnvFiles, InvalidBoardIsRepairedThroughTheEditor)
{
    const std::string path = Write("fix.def", NeedsRepairBytes());
    host.onRepair = [&](int, const CEnvDef& env, int) {
        CEnvDef fixed = env;
        fixed.m_boards[0].m_nSaveSpeed = SAVE_SPEED_CHECKED;
        return SaveEnvironmentFile(fixed, path);
    };
    EXPECT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 1);
    EXPECT_EQ(host.repairs, (std::vector<std::pair<int, int>>{{ENV_MODE_REPAIR, 0}}));
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"A modification is required in the \"fix.def\" environment file"});
    EXPECT_EQ(g_envList.at(0).m_boards.at(0).m_nSaveSpeed, 1);
}

TEST_F(EnvFiles, InvalidBoardIsSkippedWithoutRightsOrWhenRepairIsRefused)
{
    Write("fix.def", NeedsRepairBytes());
    App().m_bEditRights = false;
    EXPECT_EQ(ScanEnvironmentDirectory(ENV_MODE_VIEW), 0);
    EXPECT_TRUE(host.repairs.empty());
    App().m_bEditRights = true;
    EXPECT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 0);   // the host cancels
    EXPECT_EQ(host.repairs.size(), 1u);
}

TEST_F(EnvFiles, RepairThatNeverMendsTheFileEnds)
{
    Write("fix.def", NeedsRepairBytes());
    host.onRepair = [](int, const CEnvDef&, int) { return true; };
    EXPECT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 0);
    EXPECT_GT(host.repairs.size(), 1u);
}

TEST_F(EnvFiles, OversizedFileIsRefusedWithoutReadingItAll)
{
    const std::string path = Dir() + "huge.def";
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(static_cast<qint64>(MODEL_MAX_FILE_BYTES) + 10));
    }
    CEnvDef env;
    EXPECT_EQ(LoadEnvironmentFile(path, env, ENV_MODE_REPAIR), 0);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"Invalid environnment file \"" + path + "\""});
}

// The check before an environment is written: one function for the
// environment editor's Save and env import.
TEST_F(EnvFiles, SaveCheckNamesTheFirstInvalidBoard)
{
    struct Case {
        const char* what;
        std::vector<CBoardDef> boards;
        int expected;
        int messageId;
    };
    CBoardDef noBoot = ValidBoard("IO", true, 1, 0);
    noBoot.m_strBootLoader.clear();
    CBoardDef selfParent = ValidBoard("IO", true, 1, 1);
    const Case cases[] = {
        {"no board", {}, ENV_CHECK_NO_BOARD, 0},
        {"all valid", {ValidBoard("CPU", false, 0, -1), ValidBoard("IO", true, 1, 0)}, ENV_CHECK_OK, 0},
        {"second lacks its boot loader", {ValidBoard("CPU", false, 0, -1), noBoot}, 1, 66},
        {"first of two invalid wins", {selfParent, noBoot}, 0, 72},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.boxes.clear();
        host.events.clear();
        CEnvDef env;
        env.SetBoards("Env", c.boards);
        ValidationResult failure;
        EXPECT_EQ(CheckEnvironmentForSave(env, &failure), c.expected);
        if (c.messageId == 0) {
            EXPECT_TRUE(host.boxes.empty());
            continue;
        }
        EXPECT_EQ(failure.messageId, c.messageId);
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes[0].text, GetString(c.messageId));
        EXPECT_EQ(host.boxes[0].caption, "\"" + c.boards[static_cast<size_t>(c.expected)].m_strName + "\" board error");
        EXPECT_EQ(host.boxes[0].icon, ICON_STOP);
        EXPECT_EQ(host.events.front(), "beep:" + std::to_string(BEEP_EXCLAMATION));
    }
}

TEST(BoardClipboard, OneRecordRoundTrips)
{
    CBoardDef b = ValidBoard("CPU", false, 0, -1);
    const Bytes bytes = BoardDefToBytes(b);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 15), BoardTag());
    CBoardDef back;
    ASSERT_TRUE(BoardDefFromBytes(bytes, back));
    EXPECT_FALSE(back.IsDifferent(b));
    EXPECT_FALSE(BoardDefFromBytes(Bytes(bytes.begin(), bytes.end() - 1), back));
}

}   // namespace
