// The request editor and the File and Environment commands that open the
// editors.
#include "test_editors_common.h"

#include <QFile>

#include <nlohmann/json.hpp>

#include "app/IniFile.h"
#include "model/UpdateDoc.h"
#include "ui/editors/BoardConfDlg.h"
#include "ui/editors/BoardDefDlg.h"
#include "ui/editors/EditorClipboard.h"
#include "ui/editors/EnvDefDlg.h"
#include "ui/editors/TransferDlg.h"

namespace {

// Two environments on disk and in g_envList: 0 "Receiver" (CPU on port A,
// GPS relayed on port B up to 9600, DSP relayed on Dpram 2), 1 "Bench".
class RequestEditor : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        WriteEnvironment(MakeEnvironment("Receiver"), "a-receiver.def");
        WriteEnvironment(MakeEnvironment("Bench"), "b-bench.def");
        ASSERT_EQ(ScanEnvironmentDirectory(ScanModeForRights()), 2);
    }
    static CBoardConf Line(int board, const char* release, const char* softId, int env = 0)
    {
        const CEnvDef& e = g_envList[static_cast<size_t>(env)];
        const CBoardDef& b = e.m_boards[static_cast<size_t>(board)];
        CBoardConf line;
        line.m_nEnvIndex = env;
        line.m_strEnvName = e.m_strName;
        line.m_nBoardIndex = board;
        line.m_strBoardName = b.m_strName;
        line.m_strSubassyHardw = b.m_strSubassyHardw;
        line.m_strReleaseFile = release;
        line.m_strSoftId = softId;
        line.m_bBoardAlone = b.m_bRelayed ? 0 : 1;
        line.m_nTransferSpeed = 3;
        return line;
    }
    std::unique_ptr<CTransferDlg> Open(int mode, const std::vector<CBoardConf>& lines)
    {
        m_lines = lines;
        auto dlg = std::make_unique<CTransferDlg>(mode, g_envList, m_lines);
        dlg->show();
        QApplication::processEvents();
        return dlg;
    }
    // A request of two lines saved and opened as the document.
    void OpenRequest(CUpdateDoc& doc)
    {
        CUpdateDoc stored;
        stored.m_lines = {Line(0, "cpu_v31.s", "CM31"), Line(1, "gps_v12.s", "GP12")};
        const std::string path = RequestDir() + "two.sfl";
        ASSERT_TRUE(stored.SaveRequest(path));
        ASSERT_EQ(doc.OpenRequest(path), OpenResult::Ok);
        host.boxes.clear();
    }

private:
    std::vector<CBoardConf> m_lines;
};

// A two-line request built from nothing through the request editor, saved:
// byte for byte what request import writes from the same description.
TEST_F(RequestEditor, TwoLineRequestMatchesRequestImport)
{
    OnNextModal<CTransferDlg>([](CTransferDlg& t) {
        EXPECT_EQ(t.focusWidget(), t.Control(IDC_TRANSFER_ENVIRONMENT));
        EXPECT_FALSE(t.Control(IDC_TRANSFER_OK)->isEnabled());
        EXPECT_FALSE(t.Control(IDC_TRANSFER_ADD)->isEnabled());
        Choose(t.Control(IDC_TRANSFER_ENVIRONMENT), "Receiver");
        OnNextModal<CBoardConfDlg>([](CBoardConfDlg& d) {
            Choose(d.Control(FIELD_LINE_BOARD), "CPU");
            Type(d.Control(FIELD_LINE_RELEASE_FILE), "cpu_v31.s");
            Type(d.Control(FIELD_LINE_SOFT_ID), "CM31");
            Choose(d.Control(IDC_LINE_TRANSFER_SPEED), "115200");
            Choose(d.Control(IDC_LINE_CONFIG_SPEED), "9600");
            Click(d.Control(IDC_LINE_OK));
        });
        Click(t.Control(IDC_TRANSFER_ADD));
        EXPECT_EQ(t.focusWidget(), t.Control(IDC_TRANSFER_LIST));
        OnNextModal<CBoardConfDlg>([](CBoardConfDlg& d) {
            Choose(d.Control(FIELD_LINE_BOARD), "GPS");
            Type(d.Control(FIELD_LINE_RELEASE_FILE), "gps_v12.s");
            Type(d.Control(FIELD_LINE_SOFT_ID), "GP12");
            Choose(d.Control(IDC_LINE_TRANSFER_SPEED), "4800");
            Click(d.Control(IDC_LINE_RESTART));
            Click(d.Control(IDC_LINE_OK));
        });
        Click(t.Control(IDC_TRANSFER_ADD));
        EXPECT_EQ(t.List()->RowCount(), 2);
        Click(t.Control(IDC_TRANSFER_OK));
    });
    CUpdateDoc doc;
    doc.SetTitle("old.sfl");
    ASSERT_TRUE(RunNewRequestCommand(nullptr, doc));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(doc.GetTitle(), "Untitled *");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.GetPathName().empty());
    EXPECT_EQ(doc.m_bLinked, 1);
    EXPECT_EQ(doc.m_bHasRelayed, 1);
    ASSERT_EQ(doc.m_lines.size(), 2u);

    const std::string sfl = RequestDir() + "two.sfl";
    ASSERT_TRUE(doc.SaveRequest(sfl));
    const nlohmann::json description = {
        {"format", "tavrel-request"},
        {"version", 20},
        {"lines",
         {{{"board_name", "CPU"}, {"env_name", "Receiver"}, {"subassy_hardw", "10"}, {"board_index", 0},
           {"env_index", 0}, {"release_file", "cpu_v31.s"}, {"soft_id", "CM31"}, {"transfer_speed", "115200"},
           {"config_speed", "9600"}, {"board_alone", true}, {"restart", true}},
          {{"board_name", "GPS"}, {"env_name", "Receiver"}, {"subassy_hardw", "10"}, {"board_index", 1},
           {"env_index", 0}, {"release_file", "gps_v12.s"}, {"soft_id", "GP12"}, {"transfer_speed", "4800"},
           {"config_speed", nullptr}, {"board_alone", false}, {"restart", false}}}}};
    const std::string jsonPath = Path("two.json");
    {
        std::ofstream out(jsonPath);
        out << description.dump(2);
    }
    const std::string cliPath = Path("cli.sfl");
    QString output;
    ASSERT_EQ(RunCli({"request", "import", QStr(jsonPath), "--out", QStr(cliPath), "--dir", QStr(EnvDir())},
                     QStr(ConfigDir()), &output),
              0)
        << output.toStdString();
    const std::vector<uint8_t> written = FileBytes(sfl);
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written, FileBytes(cliPath));
}

TEST_F(RequestEditor, NewRequestCancelledKeepsTheDocument)
{
    OnNextModal<CTransferDlg>([](CTransferDlg& t) { Click(t.Control(IDC_TRANSFER_CANCEL)); });
    CUpdateDoc doc;
    doc.SetTitle("old.sfl");
    EXPECT_FALSE(RunNewRequestCommand(nullptr, doc));
    EXPECT_EQ(doc.GetTitle(), "old.sfl");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.m_bLinked, 0);
}

TEST_F(RequestEditor, RowsShowEveryColumnAndImage)
{
    CBoardConf dsp = Line(2, "dsp.bin", "DS1");
    dsp.m_bRestart = 0;
    auto dlg = Open(TRANSFER_MODE_EDIT, {Line(0, "cpu.s", "CM31"), Line(1, "gps.s", "GP12"), dsp});
    CReportList* list = dlg->List();
    const std::vector<QString> headers = {"Board", "Soft version", "Restart", "Baud rate", "Alone", "Dest.",
                                          "File name"};
    const std::vector<int> widths = {122, 90, 60, 60, 50, 60, 75};
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(list->headerItem()->text(c), headers[static_cast<size_t>(c)]);
        EXPECT_GE(list->columnWidth(c), widths[static_cast<size_t>(c)]);   // wider where the title needs it
    }
    const std::vector<std::vector<QString>> rows = {
        {"CPU", "CM31", "Yes", "9600", "Yes", "Unused", "cpu.s"},
        {"GPS", "GP12", "Yes", "9600", "No", "Port B", "gps.s"},
        {"DSP", "DS1", "No", "Unused", "No", "Dpram 2", "dsp.bin"},
    };
    ASSERT_EQ(list->RowCount(), 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 7; ++c)
            EXPECT_EQ(list->CellText(r, c), rows[static_cast<size_t>(r)][static_cast<size_t>(c)]) << r << "," << c;
    EXPECT_EQ(list->topLevelItem(0)->icon(0).cacheKey(), RowIcon(ROW_IMAGE_DIRECT).cacheKey());
    EXPECT_EQ(list->topLevelItem(1)->icon(0).cacheKey(), RowIcon(ROW_IMAGE_RELAYED).cacheKey());
    EXPECT_EQ(dlg->SelectedEnvironment(), 0);
    EXPECT_EQ(ShownText(dlg->Control(IDC_TRANSFER_ENVIRONMENT)), "Receiver");
    EXPECT_EQ(dlg->focusWidget(), list);
}

TEST_F(RequestEditor, OkNeedsALineAndRefusesTheSameBoardTwice)
{
    auto empty = Open(TRANSFER_MODE_NEW, {});
    EXPECT_FALSE(empty->Control(IDC_TRANSFER_OK)->isEnabled());
    empty->accept();
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(host.beeps, std::vector<BeepKind>{BEEP_EXCLAMATION});

    host.beeps.clear();
    auto twice = Open(TRANSFER_MODE_EDIT, {Line(1, "gps.s", "GP12"), Line(1, "gps2.s", "GP13")});
    twice->accept();
    EXPECT_TRUE(twice->isVisible());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Same board selected several times.");
    EXPECT_EQ(host.boxes[0].caption, "Error");
    EXPECT_EQ(host.boxes[0].icon, ICON_STOP);
    EXPECT_EQ(host.beeps, std::vector<BeepKind>{BEEP_EXCLAMATION});

    // Two lines that both stand alone are taken.
    CBoardConf other = Line(2, "dsp.bin", "DS1");
    other.m_bBoardAlone = 1;
    auto alone = Open(TRANSFER_MODE_EDIT, {Line(0, "cpu.s", "CM31"), other});
    alone->accept();
    EXPECT_EQ(alone->result(), QDialog::Accepted);
}

// Lines typed or changed would be dropped by another environment: the
// editor asks first, in a new request as in the loaded one.
TEST_F(RequestEditor, ChangingEnvironmentAsksBeforeDroppingLines)
{
    const std::string question = GetString(75) + GetString(23);
    auto dlg = Open(TRANSFER_MODE_EDIT, {Line(0, "cpu.s", "CM31"), Line(1, "gps.s", "GP12")});
    Choose(dlg->Control(IDC_TRANSFER_ENVIRONMENT), "Bench");   // lines unchanged: no question
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dlg->List()->RowCount(), 0);
    Choose(dlg->Control(IDC_TRANSFER_ENVIRONMENT), "Receiver");   // the request's lines come back
    EXPECT_EQ(dlg->List()->RowCount(), 2);

    dlg->List()->SelectRow(0);
    dlg->Delete();
    host.QueueAnswer(ANSWER_NO);
    Choose(dlg->Control(IDC_TRANSFER_ENVIRONMENT), "Bench");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, question);
    EXPECT_EQ(host.boxes[0].caption, "Warning");
    EXPECT_EQ(host.boxes[0].buttons, MB_YES_NO);
    EXPECT_EQ(host.boxes[0].icon, ICON_QUESTION);
    EXPECT_EQ(ShownText(dlg->Control(IDC_TRANSFER_ENVIRONMENT)), "Receiver");
    EXPECT_EQ(dlg->Lines().size(), 1u);
    host.QueueAnswer(ANSWER_YES);
    Choose(dlg->Control(IDC_TRANSFER_ENVIRONMENT), "Bench");
    EXPECT_TRUE(dlg->Lines().empty());
    EXPECT_EQ(dlg->SelectedEnvironment(), 1);

    host.boxes.clear();
    auto fresh = Open(TRANSFER_MODE_NEW, {});
    Choose(fresh->Control(IDC_TRANSFER_ENVIRONMENT), "Receiver");
    CopyBoardConf(Line(0, "cpu.s", "CM31"));
    fresh->Paste();
    host.QueueAnswer(ANSWER_NO);
    Choose(fresh->Control(IDC_TRANSFER_ENVIRONMENT), "Bench");
    EXPECT_EQ(host.Texts(), std::vector<std::string>{question});
    EXPECT_EQ(fresh->Lines().size(), 1u);
}

TEST_F(RequestEditor, ButtonsDoubleClicksAndBoardDefinition)
{
    auto dlg = Open(TRANSFER_MODE_EDIT, {Line(0, "cpu.s", "CM31")});
    // Details works on the only line even without a selection.
    OnNextModal<CBoardConfDlg>([](CBoardConfDlg& d) {
        Type(d.Control(FIELD_LINE_SOFT_ID), "CM32");
        Click(d.Control(IDC_LINE_OK));
    });
    Click(dlg->Control(IDC_TRANSFER_DETAILS));
    EXPECT_EQ(dlg->List()->CellText(0, 1), "CM32");

    // A double-click on the empty part of the list adds a line.
    OnNextModal<CBoardConfDlg>([](CBoardConfDlg& d) {
        Choose(d.Control(FIELD_LINE_BOARD), "DSP");
        Type(d.Control(FIELD_LINE_RELEASE_FILE), "dsp.bin");
        Type(d.Control(FIELD_LINE_SOFT_ID), "DS1");
        Click(d.Control(IDC_LINE_OK));
    });
    QWidget* viewport = dlg->List()->viewport();
    DoubleClick(viewport, QPoint(viewport->width() / 2, viewport->height() - 4));
    ASSERT_EQ(dlg->Lines().size(), 2u);
    EXPECT_EQ(dlg->Lines()[1].m_strEnvName, "Receiver");
    EXPECT_EQ(dlg->Lines()[1].m_strSubassyHardw, "10");
    EXPECT_EQ(dlg->Lines()[1].m_nEnvIndex, 0);

    // Board definition shows the line's board read-only.
    bool readOnly = false;
    OnNextModal<CBoardDefDlg>([&readOnly](CBoardDefDlg& d) {
        readOnly = d.Board().m_strName == "DSP" && !d.Control(FIELD_BOARD_NAME)->isEnabled();
        d.reject();
    });
    dlg->List()->SelectRow(1);
    dlg->ShowBoardDefinition();
    EXPECT_TRUE(readOnly);

    dlg->Delete();   // the last row: the new last one is selected
    EXPECT_EQ(dlg->List()->SelectedRow(), 0);
    dlg->Delete();
    EXPECT_FALSE(dlg->Control(IDC_TRANSFER_OK)->isEnabled());
}

TEST_F(RequestEditor, PasteTakesOnlyLinesOfTheSelectedEnvironment)
{
    const CBoardConf gps = Line(1, "gps.s", "GP12");
    CopyBoardConf(gps);
    auto dlg = Open(TRANSFER_MODE_NEW, {});
    Choose(dlg->Control(IDC_TRANSFER_ENVIRONMENT), "Bench");
    EXPECT_TRUE(IsCommandEnabled(dlg->ContextCommands(), ID_LINES_PASTE));
    dlg->Paste();
    EXPECT_TRUE(dlg->Lines().empty());
    Choose(dlg->Control(IDC_TRANSFER_ENVIRONMENT), "Receiver");
    dlg->Paste();
    dlg->Paste();
    ASSERT_EQ(dlg->Lines().size(), 2u);
    EXPECT_FALSE(dlg->Lines()[1].IsDifferent(gps));

    dlg->List()->SelectRow(0);
    CopyBoardConf(Line(2, "dsp.bin", "DS1"));
    dlg->Paste();   // replaces the selected line
    EXPECT_EQ(dlg->List()->CellText(0, 0), "DSP");
    EXPECT_EQ(dlg->Lines().size(), 2u);

    // A line naming a board the environment does not have is not taken.
    CBoardConf stray = gps;
    stray.m_nBoardIndex = 9;
    CopyBoardConf(stray);
    dlg->List()->clearSelection();
    dlg->Paste();
    EXPECT_EQ(dlg->Lines().size(), 2u);
    EXPECT_TRUE(host.boxes.empty());

    const std::vector<MenuCommand> noRow = dlg->ContextCommands();
    for (int id : {int(ID_LINES_CUT), int(ID_LINES_COPY), int(ID_LINES_DETAILS), int(ID_LINES_BOARD_DEFINITION)})
        EXPECT_FALSE(IsCommandEnabled(noRow, id)) << id;
    dlg->List()->SelectRow(1);
    dlg->Cut();
    EXPECT_EQ(dlg->Lines().size(), 1u);
    CBoardConf cut;
    ASSERT_EQ(PasteBoardConf(cut), PasteResult::Pasted);
    EXPECT_FALSE(cut.IsDifferent(gps));
}

TEST_F(RequestEditor, ViewOnlyWithoutEditRights)
{
    CUpdateDoc doc;
    OpenRequest(doc);
    App().m_bEditRights = false;
    CopyBoardConf(Line(2, "dsp.bin", "DS1"));
    OnNextModal<CTransferDlg>([](CTransferDlg& t) {
        for (int id : {int(IDC_TRANSFER_ENVIRONMENT), int(IDC_TRANSFER_ADD), int(IDC_TRANSFER_DETAILS),
                       int(IDC_TRANSFER_DELETE)})
            EXPECT_FALSE(t.Control(id)->isEnabled()) << id;
        t.List()->SelectRow(0);
        const std::vector<MenuCommand> commands = t.ContextCommands();
        EXPECT_FALSE(IsCommandEnabled(commands, ID_LINES_CUT));
        EXPECT_FALSE(IsCommandEnabled(commands, ID_LINES_PASTE));
        EXPECT_TRUE(IsCommandEnabled(commands, ID_LINES_COPY));
        EXPECT_TRUE(IsCommandEnabled(commands, ID_LINES_BOARD_DEFINITION));
        t.Delete();
        t.Paste();
        EXPECT_EQ(t.Lines().size(), 2u);
        Click(t.Control(IDC_TRANSFER_OK));
    });
    EXPECT_FALSE(RunViewContentCommand(nullptr, doc));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.m_lines.size(), 2u);
}

TEST_F(RequestEditor, ViewContentTakesChangedLinesOnly)
{
    CUpdateDoc doc;
    OpenRequest(doc);
    OnNextModal<CTransferDlg>([](CTransferDlg& t) { Click(t.Control(IDC_TRANSFER_OK)); });
    EXPECT_FALSE(RunViewContentCommand(nullptr, doc));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), "two.sfl");

    OnNextModal<CTransferDlg>([](CTransferDlg& t) {
        t.List()->SelectRow(1);
        Click(t.Control(IDC_TRANSFER_DELETE));
        Click(t.Control(IDC_TRANSFER_OK));
    });
    EXPECT_TRUE(RunViewContentCommand(nullptr, doc));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), "two.sfl *");
    ASSERT_EQ(doc.m_lines.size(), 1u);
    EXPECT_EQ(doc.m_lines[0].m_strBoardName, "CPU");
    EXPECT_EQ(doc.m_bHasRelayed, 0);
}

TEST_F(RequestEditor, ImportPromptStartsAtTheFirstReleaseFile)
{
    CUpdateDoc doc;
    host.QueueFileAnswer(false);
    EXPECT_EQ(RunImportCommand(doc), 0);
    OpenRequest(doc);
    host.QueueFileAnswer(false);
    EXPECT_EQ(RunImportCommand(doc), 0);
    ASSERT_EQ(host.filePrompts.size(), 2u);
    EXPECT_EQ(host.filePrompts[0].path, "");
    EXPECT_EQ(host.filePrompts[1].title, GetString(24));
    EXPECT_EQ(host.filePrompts[1].path, "cpu_v31.s");
    EXPECT_EQ(host.filePrompts[1].initialDir, RequestDir());
    EXPECT_TRUE(host.filePrompts[1].open);
}

TEST_F(RequestEditor, SetDirectoryScansOnlyAnotherDirectory)
{
    CUpdateDoc doc;
    OpenRequest(doc);
    const std::string ini = ConfigDir() + "/Tavrel.ini";

    host.QueueDirectoryAnswer(true, EnvDir().substr(0, EnvDir().size() - 1));   // the same, without '/'
    EXPECT_FALSE(RunSetDirectoryCommand(nullptr, doc));
    EXPECT_EQ(host.directoryPrompts, std::vector<std::string>{EnvDir()});
    EXPECT_FALSE(QFile::exists(QStr(ini)));
    EXPECT_TRUE(host.boxes.empty());
    host.QueueDirectoryAnswer(false);
    EXPECT_FALSE(RunSetDirectoryCommand(nullptr, doc));

    // Another directory holding only "Bench": the request's lines no longer link.
    const std::string other = Path("other");
    QDir().mkpath(QStr(other));
    CEnvDef bench = MakeEnvironment("Bench");
    ASSERT_TRUE(SaveEnvironmentFile(bench, other + "/bench.def"));
    host.QueueDirectoryAnswer(true, other);
    EXPECT_TRUE(RunSetDirectoryCommand(nullptr, doc));
    EXPECT_EQ(App().m_strEnvDir, other + "/");
    CIniFile settings;
    ASSERT_TRUE(settings.Load(ini));
    EXPECT_EQ(settings.GetString("Paths", "Products files", ""), other + "/");
    ASSERT_EQ(g_envList.size(), 1u);
    EXPECT_EQ(g_envList[0].m_strName, "Bench");
    EXPECT_EQ(host.boxes.at(0).text.rfind(FormatString(39, {"CPU", "Receiver"}), 0), 0u);
    EXPECT_EQ(doc.m_bLinked, 0);
}

TEST_F(RequestEditor, EnvironmentOpenStartsOnTheRequestsEnvironmentAndReadsTheDirectoryAfterOk)
{
    CUpdateDoc doc;
    OpenRequest(doc);
    for (CBoardConf& line : doc.m_lines) line.m_nEnvIndex = 1;   // as if the request were in Bench
    doc.m_lines[0].m_strEnvName = doc.m_lines[1].m_strEnvName = "Bench";
    int openedOn = -1;
    OnNextModal<CEnvDefDlg>([&openedOn](CEnvDefDlg& editor) {
        openedOn = editor.SelectedEnvironment();
        EXPECT_EQ(editor.Mode(), ENV_MODE_EDIT);
        Click(editor.Control(IDC_ENV_CANCEL));
    });
    RunEnvironmentOpenCommand(nullptr, doc);
    EXPECT_EQ(openedOn, 1);
    EXPECT_EQ(g_envList.size(), 2u);

    // A file added meanwhile is listed once the editor is left with OK.
    WriteEnvironment(MakeEnvironment("Cabin"), "c-cabin.def");
    App().m_bEditRights = false;
    OnNextModal<CEnvDefDlg>([](CEnvDefDlg& editor) {
        EXPECT_EQ(editor.Mode(), ENV_MODE_VIEW);
        Click(editor.Control(IDC_ENV_OK));
    });
    RunEnvironmentOpenCommand(nullptr, doc);
    EXPECT_EQ(g_envList.size(), 3u);
    EXPECT_EQ(doc.m_bLinked, 1);
    EXPECT_EQ(doc.m_lines[0].m_nEnvIndex, 1);
}

}   // namespace

namespace {

TEST(EditorScreenshots, EveryEditorIsPictured)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    GrabEditorDialogs(dir.filePath("shots"));
    for (const char* name : {"board-definition", "transfer-board-parameters", "transfer-request",
                             "environment-definition", "environment-list", "new-environment"}) {
        SCOPED_TRACE(name);
        const QImage image(dir.filePath(QStringLiteral("shots/%1.png").arg(QString::fromLatin1(name))));
        EXPECT_FALSE(image.isNull());
        EXPECT_GT(image.width(), 100);
    }
}

}   // namespace
