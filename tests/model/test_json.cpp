// JSON forms of environments and requests: spelled-out tables, byte-exact
// round trips, refused input and the import checks.
#include "Golden.h"

#include "model/ModelJson.h"

namespace {

using json = nlohmann::ordered_json;

TEST(EnvJson, TablesAreSpelledOutAndUnknownValuesKept)
{
    CBoardDef b;
    b.m_nDestination = 13;
    b.m_nProcessing = 9;   // outside the table: kept as a number
    b.m_nMaxSpeed = 7;
    b.m_nSaveSpeed = 2;
    b.m_bRelayed = 5;
    const json j = BoardDefToJson(b);
    EXPECT_EQ(j["destination"], "D:\\");
    EXPECT_EQ(j["processing"], 9);
    EXPECT_EQ(j["max_speed"], "115200");
    EXPECT_EQ(j["save_speed"], "undetermined");
    EXPECT_EQ(j["relayed"], 5);
    b.m_nDestination = -1;
    EXPECT_TRUE(BoardDefToJson(b)["destination"].is_null());

    CBoardDef back;
    std::string error;
    ASSERT_TRUE(BoardDefFromJson(j, back, error)) << error;
    b.m_nDestination = 13;
    EXPECT_FALSE(back.IsDifferent(b));
}

TEST(EnvJson, BadInputIsRefusedWithItsPlace)
{
    struct Row {
        const char* text;
        const char* where;
    } rows[] = {
        {R"({"boards":[{"nmae":"x"}]})", "boards[0].board.nmae: unknown key"},
        {R"({"boards":[{"prog_id":"1"}]})", "prog_id: an integer is expected"},
        {R"({"boards":[{"prog_id":4294967296}]})", "prog_id: out of 32-bit range"},
        {R"({"boards":[{"destination":"Port Z"}]})", "destination: \"Port Z\" is not one of its names"},
        {R"({"boards":[{"max_speed":"9601"}]})", "max_speed: \"9601\" is not a rate"},
        {R"({"name":"\u2603"})", "name: holds a character"},
        {R"({"format":"tavrel-request"})", "format"},
        {R"({"boards":{}})", "boards: an array is expected"},
        {R"([1,2])", "an object is expected"},
    };
    for (const Row& row : rows) {
        CEnvDef env;
        std::string error;
        EXPECT_FALSE(EnvironmentFromJson(json::parse(row.text), env, error)) << row.text;
        EXPECT_NE(error.find(row.where), std::string::npos) << row.text << " -> " << error;
    }
}

class JsonFiles : public ModelFixture {};

TEST_F(JsonFiles, EnvironmentExportImportWritesTheSameBytes)
{
    const std::string path = Write("demo.def", DemoEnvBytes());
    CEnvDef env;
    ASSERT_EQ(LoadEnvironmentFile(path, env, ENV_MODE_REPAIR), 1);
    const json j = ExportEnvironmentJson(env);
    EXPECT_EQ(j["file_path"], "C:\\T\\d.def");   // as stored, not where it was read
    EXPECT_EQ(j["boards"][1]["destination"], "Dpram 2");
    std::string error;
    const std::string out = Dir() + "again.def";
    ASSERT_TRUE(ImportEnvironmentJson(json::parse(j.dump()), out, error)) << error;
    EXPECT_EQ(Read(out), DemoEnvBytes());
}

TEST_F(JsonFiles, EnvironmentImportChecksBoardsLikeTheEditor)
{
    CEnvDef env;
    ASSERT_TRUE(EnvironmentFromBytes(DemoEnvBytes(), env));
    env.m_boards[1].m_nParentBoard = 1;   // its own parent
    std::string error;
    const std::string out = Dir() + "bad.def";
    EXPECT_FALSE(ImportEnvironmentJson(EnvironmentToJson(env), out, error));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "The \"Parent board\" field is not correctly filled.");
    EXPECT_EQ(host.boxes[0].caption, "\"IO\" board error");
    EXPECT_EQ(host.boxes[0].icon, ICON_STOP);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));

    env.m_boards.clear();
    EXPECT_FALSE(ImportEnvironmentJson(EnvironmentToJson(env), out, error));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
}

TEST_F(JsonFiles, RequestExportImportWritesTheSameBytes)
{
    Write("demo.def", DemoEnvBytes());
    ASSERT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 1);
    CUpdateDoc doc;
    ASSERT_TRUE(RequestFromBytes(TwoLineRequest(), doc));
    const json j = RequestToJson(doc);
    EXPECT_EQ(j["version"], 20);
    EXPECT_EQ(j["lines"][0]["transfer_speed"], "115200");
    EXPECT_TRUE(j["lines"][1]["transfer_speed"].is_null());
    EXPECT_EQ(j["lines"][0]["board_alone"], true);
    std::string error;
    const std::string out = Dir() + "again.sfl";
    ASSERT_TRUE(ImportRequestJson(json::parse(j.dump()), out, error)) << error;
    EXPECT_EQ(Read(out), TwoLineRequest());
}

TEST_F(JsonFiles, RequestImportChecksLinesLikeTheLineDialog)
{
    Write("demo.def", DemoEnvBytes());
    ASSERT_EQ(ScanEnvironmentDirectory(ENV_MODE_REPAIR), 1);
    CUpdateDoc doc;
    ASSERT_TRUE(RequestFromBytes(TwoLineRequest("Demo", 0), doc));
    struct Row {
        const char* what;
        std::function<void(json&)> change;
        const char* message;   // nullptr: written
    } rows[] = {
        {"CPU not alone on a direct board", [](json&) {}, "The \"Board alone\" field is incompatible with the board definition."},
        {"no soft id", [](json& j) { j["lines"][0]["board_alone"] = true; j["lines"][1]["soft_id"] = ""; },
         "The \"Soft identification\" field is not correctly filled."},
        {"unknown environment still needs a release file",
         [](json& j) { j["lines"][0]["board_alone"] = true; j["lines"][1]["env_name"] = "Gone"; j["lines"][1]["release_file"] = ""; },
         "The \"Release file name\" field is not correctly filled."},
        {"unknown environment otherwise written",
         [](json& j) { j["lines"][0]["board_alone"] = true; j["lines"][1]["env_name"] = "Gone"; }, nullptr},
        {"same board twice", [](json& j) { j["lines"][0]["board_alone"] = true; j["lines"][1] = j["lines"][0]; },
         "Same board selected several times."},
    };
    for (const Row& row : rows) {
        host.boxes.clear();
        json j = RequestToJson(doc);
        row.change(j);
        std::string error;
        const std::string out = Dir() + "line.sfl";
        QFile::remove(QString::fromStdString(out));
        EXPECT_EQ(ImportRequestJson(j, out, error), row.message == nullptr) << row.what;
        EXPECT_EQ(QFile::exists(QString::fromStdString(out)), row.message == nullptr) << row.what;
        if (row.message) {
            ASSERT_EQ(host.boxes.size(), 1u) << row.what;
            EXPECT_EQ(host.boxes[0].text, row.message) << row.what;
        }
    }
}

}   // namespace
