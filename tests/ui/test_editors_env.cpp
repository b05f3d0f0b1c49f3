// The environment editor, the environment list and the new-environment
// prompt; the repair of a damaged .def and the board choice of an unlinked
// request line, end to end through the host calls.
#include "test_editors_common.h"

#include <QFile>
#include <QGroupBox>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "model/UpdateDoc.h"
#include "ui/controls/StateLabel.h"
#include "ui/editors/BoardDefDlg.h"
#include "ui/editors/EditorClipboard.h"
#include "ui/editors/EnvDefDlg.h"
#include "ui/editors/EnvListDlg.h"
#include "ui/editors/NewEnvDlg.h"

namespace {

class EnvironmentEditor : public EditorFixture {
protected:
    std::unique_ptr<CEnvDefDlg> Open(int mode, const std::vector<CEnvDef>& envs, int envIndex = -1)
    {
        auto dlg = std::make_unique<CEnvDefDlg>(mode, envs, envIndex, -1);
        dlg->show();
        QApplication::processEvents();
        return dlg;
    }
    static QPushButton* Button(QWidget* dialog, const char* name)
    {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }
};

// The buttons and context commands of each mode, one row per mode.
TEST_F(EnvironmentEditor, ModesEnableTheirCommands)
{
    struct Row {
        int mode;
        bool newEnv, deleteEnv, save, add, details, deleteBoard, cut, paste;
    };
    const Row rows[] = {
        {ENV_MODE_NEW, false, true, true, true, true, true, true, true},
        {ENV_MODE_EDIT, true, true, true, true, true, true, true, true},
        {ENV_MODE_VIEW, false, false, false, false, false, false, false, false},
        {ENV_MODE_REPAIR, false, false, true, true, true, true, true, true},
        {ENV_MODE_CHOOSE_BOARD, false, false, false, false, false, false, false, false},
    };
    CopyBoardDef(MakeBoard("X", false, 0, -1));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mode);
        auto dlg = Open(r.mode, {MakeEnvironment("Env")});
        dlg->List()->SelectRow(0);
        EXPECT_EQ(dlg->Control(IDC_ENV_NEW)->isEnabled(), r.newEnv);
        EXPECT_EQ(dlg->Control(IDC_ENV_DELETE)->isEnabled(), r.deleteEnv);
        EXPECT_EQ(dlg->Control(IDC_ENV_SAVE)->isEnabled(), r.save);
        EXPECT_EQ(dlg->Control(IDC_ENV_ADD_BOARD)->isEnabled(), r.add);
        EXPECT_EQ(dlg->Control(IDC_ENV_BOARD_DETAILS)->isEnabled(), r.details);
        EXPECT_EQ(dlg->Control(IDC_ENV_DELETE_BOARD)->isEnabled(), r.deleteBoard);
        EXPECT_FALSE(dlg->Control(IDC_ENV_LOAD)->isEnabled());
        EXPECT_TRUE(dlg->Control(IDC_ENV_CANCEL)->isEnabled());
        const std::vector<MenuCommand> commands = dlg->ContextCommands();
        EXPECT_EQ(IsCommandEnabled(commands, ID_BOARD_CUT), r.cut);
        EXPECT_EQ(IsCommandEnabled(commands, ID_BOARD_PASTE), r.paste);
        EXPECT_TRUE(IsCommandEnabled(commands, ID_BOARD_COPY));
        EXPECT_TRUE(IsCommandEnabled(commands, ID_BOARD_DETAILS));
    }
    // Without an environment only New works (in mode 2).
    auto empty = Open(ENV_MODE_EDIT, {});
    EXPECT_TRUE(empty->Control(IDC_ENV_NEW)->isEnabled());
    for (int id : {int(IDC_ENV_DELETE), int(IDC_ENV_SAVE), int(IDC_ENV_ADD_BOARD), int(IDC_ENV_BOARD_DETAILS)})
        EXPECT_FALSE(empty->Control(id)->isEnabled()) << id;
}

// Board details are editable only where the mode can save them; a
// double-click on the empty part of the list adds a board only there too.
TEST_F(EnvironmentEditor, BoardsChangeOnlyInModesThatCanSaveThem)
{
    struct Case {
        int mode;
        bool editable;
    };
    for (const Case& c : {Case{ENV_MODE_EDIT, true}, Case{ENV_MODE_REPAIR, true}, Case{ENV_MODE_VIEW, false},
                          Case{ENV_MODE_CHOOSE_BOARD, false}}) {
        SCOPED_TRACE(c.mode);
        auto dlg = Open(c.mode, {MakeEnvironment("Env")});
        dlg->List()->SelectRow(1);
        bool editable = !c.editable;
        OnNextModal<CBoardDefDlg>([&editable](CBoardDefDlg& d) {
            editable = d.Control(FIELD_BOARD_NAME)->isEnabled();
            d.reject();
        });
        dlg->BoardDetails();
        EXPECT_EQ(editable, c.editable);
        if (c.editable) continue;
        QWidget* viewport = dlg->List()->viewport();
        DoubleClick(viewport, QPoint(viewport->width() / 2, viewport->height() - 4));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(dlg->WorkingEnvironment().m_boards.size(), 3u);
    }
}

TEST_F(EnvironmentEditor, ListShowsEveryColumnAndRowImage)
{
    CEnvDef env = MakeEnvironment("Env");
    env.m_boards[2].m_strSubassyId = "UC";
    env.m_boards[2].m_strBrowseFilter.clear();
    env.m_boards[0].m_nProgId = 7;
    auto dlg = Open(ENV_MODE_EDIT, {env});
    CReportList* list = dlg->List();
    ASSERT_EQ(list->RowCount(), 3);
    const std::vector<QString> headers = {"Nom", "Identification", "\"Boot\"", "Code", "Relayed", "Dest.",
                                          "Filter", "Max."};
    for (int c = 0; c < 8; ++c) EXPECT_EQ(list->headerItem()->text(c), headers[static_cast<size_t>(c)]);
    // The template's widths, wider where the title needs more in this font.
    const std::vector<int> widths = {123, 90, 45, 40, 55, 52, 40, 58};
    for (int c = 0; c < 8; ++c) EXPECT_GE(list->columnWidth(c), widths[static_cast<size_t>(c)]);
    const std::vector<std::vector<QString>> rows = {
        {"CPU", "CM10", "CMB2", " 7", "No", "Port A", "*.*", "115200"},
        {"GPS", "CM10", "CMB2", " 1", "Yes", "Port B", "*.*", "9600"},
        {"DSP", "UC10", "CMB2", " 1", "Yes", "Dpram 2", "*.*", "Unused"},
    };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 8; ++c)
            EXPECT_EQ(list->CellText(r, c), rows[static_cast<size_t>(r)][static_cast<size_t>(c)]) << r << "," << c;
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(7) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    // 1 a connected board, 0 a relayed one, 2 a unit.
    EXPECT_EQ(list->topLevelItem(0)->icon(0).cacheKey(), RowIcon(ROW_IMAGE_DIRECT).cacheKey());
    EXPECT_EQ(list->topLevelItem(1)->icon(0).cacheKey(), RowIcon(ROW_IMAGE_RELAYED).cacheKey());
    EXPECT_EQ(list->topLevelItem(2)->icon(0).cacheKey(), RowIcon(ROW_IMAGE_UNIT).cacheKey());
    EXPECT_FALSE(RowIcon(ROW_IMAGE_UNIT).pixmap(16, 16).isNull());
    // A click anywhere on a row selects it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(list->topLevelItem(1)).center() + QPoint(list->columnWidth(0), 0));
    EXPECT_EQ(dlg->SelectedBoard(), 1);
    auto* path = qobject_cast<CStateLabel*>(dlg->Control(IDC_ENV_PATH));
    EXPECT_EQ(path->TextColor(), QColor(255, 255, 255));
    EXPECT_EQ(path->BackgroundColor(), QColor(127, 127, 127));
}

// A new environment with a connected board and a relayed board, typed
// through the editors and saved: the .def is byte for byte what env import
// writes from the same description.
TEST_F(EnvironmentEditor, EnvironmentBuiltThroughTheEditorsMatchesEnvImport)
{
    auto dlg = Open(ENV_MODE_EDIT, {});
    OnNextModal<CNewEnvDlg>([](CNewEnvDlg& prompt) {
        Type(prompt.NameEdit(), "Receiver R7");
        Click(Button(&prompt, "ok"));
    });
    Click(dlg->Control(IDC_ENV_NEW));
    EXPECT_EQ(dlg->Mode(), ENV_MODE_NEW);
    EXPECT_EQ(ShownText(dlg->Control(IDC_ENV_LIST)), "Receiver R7");

    OnNextModal<CBoardDefDlg>([](CBoardDefDlg& d) {
        Type(d.Control(FIELD_BOARD_NAME), "CPU");
        Type(d.Control(FIELD_SUBASSY_ID), "CM");
        Type(d.Control(FIELD_SUBASSY_HARDW), "10,12");
        Type(d.Control(FIELD_BOOT_LOADER), "CMB2");
        Type(d.Control(IDC_BOARD_BROWSE_FILTER), "*.s");
        Type(d.Control(FIELD_PROG_ID), "1");
        Click(d.Control(IDC_BOARD_RELAYED));
        Choose(d.Control(FIELD_DESTINATION), "Port A");
        Choose(d.Control(FIELD_PROCESSING), "Relais simple");
        Choose(d.Control(FIELD_MAX_SPEED), "115200");
        Type(d.Control(IDC_BOARD_ERASE), "60");
        Type(d.Control(IDC_BOARD_RESTART), "30");
        Click(d.Control(FIELD_SAVE_SPEED));   // undetermined -> checked
        Click(Button(&d, "ok"));
    });
    Click(dlg->Control(IDC_ENV_ADD_BOARD));
    OnNextModal<CBoardDefDlg>([](CBoardDefDlg& d) {
        Type(d.Control(FIELD_BOARD_NAME), "GPS");
        Type(d.Control(FIELD_SUBASSY_ID), "GP");
        Type(d.Control(FIELD_SUBASSY_HARDW), "4");
        Type(d.Control(FIELD_BOOT_LOADER), "GPB1");
        Type(d.Control(FIELD_PROG_ID), "2");
        Choose(d.Control(FIELD_PARENT_BOARD), "CPU");
        Choose(d.Control(FIELD_DESTINATION), "Port B");
        Choose(d.Control(FIELD_PROCESSING), "Conv. en S-Records");
        Choose(d.Control(FIELD_MAX_SPEED), "38400");
        Click(d.Control(FIELD_SAVE_SPEED));   // undetermined -> checked
        Click(d.Control(FIELD_SAVE_SPEED));   // -> unchecked
        Click(Button(&d, "ok"));
    });
    Click(dlg->Control(IDC_ENV_ADD_BOARD));
    ASSERT_EQ(dlg->List()->RowCount(), 2);
    EXPECT_TRUE(host.boxes.empty());

    const std::string defPath = EnvDir() + "r7.def";
    host.QueueFileAnswer(true, defPath);
    Click(dlg->Control(IDC_ENV_SAVE));
    ASSERT_EQ(host.filePrompts.size(), 1u);
    EXPECT_EQ(host.filePrompts[0].title, GetString(26));
    EXPECT_EQ(host.filePrompts[0].path, EnvDir() + "Untitled.def");
    EXPECT_EQ(host.filePrompts[0].filterName, GetString(159));
    EXPECT_EQ(host.filePrompts[0].filterPattern, GetString(160));
    EXPECT_EQ(host.filePrompts[0].initialDir, EnvDir());
    EXPECT_FALSE(host.filePrompts[0].open);
    EXPECT_EQ(dlg->Mode(), ENV_MODE_EDIT);
    EXPECT_FALSE(dlg->Control(IDC_ENV_CANCEL)->isEnabled());
    EXPECT_EQ(qobject_cast<CStateLabel*>(dlg->Control(IDC_ENV_PATH))->Text().toStdString(), defPath);
    Click(dlg->Control(IDC_ENV_OK));
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(host.boxes.empty());

    const nlohmann::json description = {
        {"format", "tavrel-environment"},
        {"file_path", EnvDir() + "Untitled.def"},
        {"name", "Receiver R7"},
        {"boards",
         {{{"name", "CPU"}, {"subassy_id", "CM"}, {"subassy_hardw", "10,12"}, {"boot_loader", "CMB2"},
           {"browse_filter", "*.s"}, {"prog_id", 1}, {"relayed", false}, {"destination", "Port A"},
           {"processing", "Relais simple"}, {"max_speed", "115200"}, {"erase_timeout", 60},
           {"restart_timeout", 30}, {"parent_board", -1}, {"save_speed", "checked"}},
          {{"name", "GPS"}, {"subassy_id", "GP"}, {"subassy_hardw", "4"}, {"boot_loader", "GPB1"},
           {"browse_filter", "*.*"}, {"prog_id", 2}, {"relayed", true}, {"destination", "Port B"},
           {"processing", "Conv. en S-Records"}, {"max_speed", "38400"}, {"erase_timeout", 120},
           {"restart_timeout", 120}, {"parent_board", 0}, {"save_speed", "unchecked"}}}}};
    const std::string jsonPath = Path("r7.json");
    {
        std::ofstream out(jsonPath);
        out << description.dump(2);
    }
    const std::string cliPath = Path("cli.def");
    QString output;
    ASSERT_EQ(RunCli({"env", "import", QStr(jsonPath), "--out", QStr(cliPath)}, QStr(ConfigDir()), &output), 0)
        << output.toStdString();
    const std::vector<uint8_t> written = FileBytes(defPath);
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written, FileBytes(cliPath));
}

// Save checks every board first: the failing one is named in the caption,
// selected, and its Details open on the failing field. Nothing is written.
TEST_F(EnvironmentEditor, SaveNamesTheInvalidBoardAndOpensItOnTheField)
{
    CEnvDef env = MakeEnvironment("Env");
    env.m_boards[1].m_strBootLoader.clear();
    env.m_strFilePath = EnvDir() + "env.def";
    auto dlg = Open(ENV_MODE_EDIT, {env});
    QWidget* focused = nullptr;
    OnNextModal<CBoardDefDlg>([&focused](CBoardDefDlg& d) {
        focused = d.focusWidget() == d.Control(FIELD_BOOT_LOADER) ? d.focusWidget() : nullptr;
        d.reject();
    });
    EXPECT_FALSE(dlg->Save());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, GetString(66));
    EXPECT_EQ(host.boxes[0].caption, "\"GPS\" board error");
    EXPECT_EQ(host.boxes[0].icon, ICON_STOP);
    EXPECT_NE(focused, nullptr);
    EXPECT_EQ(dlg->SelectedBoard(), 1);
    EXPECT_TRUE(host.filePrompts.empty());
    EXPECT_FALSE(QFile::exists(QStr(env.m_strFilePath)));
    EXPECT_TRUE(dlg->Control(IDC_ENV_CANCEL)->isEnabled());
}

// A file that cannot be written: a message, the edits stay in the dialog
// and nothing counts as saved.
TEST_F(EnvironmentEditor, FailedSaveKeepsTheEdits)
{
    const CEnvDef env = MakeEnvironment("Env");
    auto dlg = Open(ENV_MODE_NEW, {env});
    dlg->List()->SelectRow(2);
    dlg->DeleteBoard();
    host.QueueFileAnswer(true, Path("missing/dir/env.def"));
    EXPECT_FALSE(dlg->Save());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].text.find("missing/dir/env.def"), std::string::npos);
    EXPECT_EQ(dlg->WorkingEnvironment().m_boards.size(), 2u);
    EXPECT_EQ(dlg->Mode(), ENV_MODE_NEW);
    EXPECT_TRUE(dlg->Control(IDC_ENV_CANCEL)->isEnabled());
    EXPECT_FALSE(dlg->FilesChanged());
}

// The environment scan reads the .def files of the environment directory:
// a name typed without ".def" gets it, and a file elsewhere is refused, so
// that whatever was saved is listed afterwards.
TEST_F(EnvironmentEditor, SavedEnvironmentIsListedAfterwards)
{
    const struct {
        std::string typed;
        std::string written;   // empty: refused
    } rows[] = {
        {"recvq", "recvq.def"},
        {"recvq.DEF", "recvq.DEF"},
        {"recvq.txt", "recvq.txt.def"},
        {"../elsewhere.def", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.typed);
        host.boxes.clear();
        for (const auto& entry : std::filesystem::directory_iterator(EnvDir())) std::filesystem::remove(entry.path());
        auto dlg = Open(ENV_MODE_NEW, {MakeEnvironment("Receiver Q")});
        host.QueueFileAnswer(true, EnvDir() + r.typed);
        EXPECT_EQ(dlg->Save(), !r.written.empty());
        EXPECT_EQ(host.boxes.size(), r.written.empty() ? 1u : 0u);
        EXPECT_EQ(dlg->FilesChanged(), !r.written.empty());
        if (!r.written.empty()) {
            EXPECT_EQ(qobject_cast<CStateLabel*>(dlg->Control(IDC_ENV_PATH))->Text().toStdString(),
                      EnvDir() + r.written);
        }
        EXPECT_FALSE(std::filesystem::exists(Path("elsewhere.def")));
        EXPECT_EQ(ScanEnvironmentDirectory(ScanModeForRights()), r.written.empty() ? 0 : 1);
        ASSERT_EQ(g_envList.size(), r.written.empty() ? 0u : 1u);
        if (!r.written.empty()) {
            EXPECT_EQ(g_envList[0].m_strName, "Receiver Q");
        }
        dlg->reject();
    }
}

TEST_F(EnvironmentEditor, DeleteAsksTwiceAndRemovesTheFile)
{
    CEnvDef a = MakeEnvironment("Alpha");
    a.m_strFilePath = WriteEnvironment(a, "a.def");
    CEnvDef b = MakeEnvironment("Beta");
    b.m_strFilePath = WriteEnvironment(b, "b.def");
    auto dlg = Open(ENV_MODE_EDIT, {a, b}, 1);

    host.QueueAnswer(ANSWER_YES);
    host.QueueAnswer(ANSWER_NO);   // "file will be erased": No
    dlg->DeleteEnvironment();
    EXPECT_TRUE(QFile::exists(QStr(b.m_strFilePath)));
    EXPECT_EQ(host.boxes.at(1).text, "!! \"" + b.m_strFilePath + "\" file will be erased.\r\nContinue ?");
    EXPECT_EQ(host.boxes.at(1).icon, ICON_EXCLAMATION);

    host.QueueAnswer(ANSWER_YES);
    host.QueueAnswer(ANSWER_YES);
    dlg->DeleteEnvironment();
    EXPECT_FALSE(QFile::exists(QStr(b.m_strFilePath)));
    EXPECT_EQ(Items(dlg->Control(IDC_ENV_LIST)), std::vector<QString>{"Alpha"});
    EXPECT_EQ(dlg->SelectedEnvironment(), 0);
    EXPECT_EQ(dlg->focusWidget(), dlg->Control(IDC_ENV_NEW));
    EXPECT_FALSE(dlg->Control(IDC_ENV_CANCEL)->isEnabled());
    EXPECT_TRUE(dlg->FilesChanged());

    // Deleted behind the editor's back: message 35, the environment stays.
    QFile::remove(QStr(a.m_strFilePath));
    host.boxes.clear();
    host.QueueAnswer(ANSWER_YES);
    host.QueueAnswer(ANSWER_YES);
    dlg->DeleteEnvironment();
    EXPECT_EQ(host.boxes.back().text, "Can't remove \"'" + a.m_strFilePath + "\" file.\r\n");
    EXPECT_EQ(Items(dlg->Control(IDC_ENV_LIST)), std::vector<QString>{"Alpha"});
    // Closing the window now is OK: the files on disk changed.
    dlg->reject();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

TEST_F(EnvironmentEditor, SwitchingAsksForChangesAndReadsTheFileAgain)
{
    CEnvDef a = MakeEnvironment("Alpha");
    a.m_strFilePath = WriteEnvironment(a, "a.def");
    CEnvDef b = MakeEnvironment("Beta");
    b.m_strFilePath = WriteEnvironment(b, "b.def");
    auto dlg = Open(ENV_MODE_EDIT, {a, b});
    dlg->List()->SelectRow(0);
    dlg->DeleteBoard();

    host.QueueAnswer(ANSWER_CANCEL);
    Choose(dlg->Control(IDC_ENV_LIST), "Beta");
    EXPECT_EQ(host.Texts(), std::vector<std::string>{GetString(32)});
    EXPECT_EQ(dlg->SelectedEnvironment(), 0);
    EXPECT_EQ(ShownText(dlg->Control(IDC_ENV_LIST)), "Alpha");
    EXPECT_EQ(dlg->WorkingEnvironment().m_boards.size(), 2u);

    // The file of Beta changed on disk since the list was read.
    CEnvDef changed = b;
    changed.m_boards.pop_back();
    SaveEnvironmentFile(changed, b.m_strFilePath);
    host.QueueAnswer(ANSWER_NO);
    Choose(dlg->Control(IDC_ENV_LIST), "Beta");
    EXPECT_EQ(dlg->SelectedEnvironment(), 1);
    EXPECT_EQ(dlg->List()->RowCount(), 2);

    // Unreadable now: message 37, the copy in memory is used.
    QFile::remove(QStr(a.m_strFilePath));
    host.boxes.clear();
    Choose(dlg->Control(IDC_ENV_LIST), "Alpha");
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"Error reading \"" + a.m_strFilePath + "\" file.\r\n"});
    EXPECT_EQ(host.boxes[0].caption, GetString(28));
    EXPECT_EQ(dlg->List()->RowCount(), 3);
}

TEST_F(EnvironmentEditor, NewEnvironmentWithoutBoardsIsDroppedWhenLeft)
{
    CEnvDef a = MakeEnvironment("Alpha");
    a.m_strFilePath = WriteEnvironment(a, "a.def");
    auto dlg = Open(ENV_MODE_EDIT, {a});
    OnNextModal<CNewEnvDlg>([this](CNewEnvDlg& prompt) {
        Click(prompt.findChild<QPushButton*>("ok"));   // empty: refused with a beep
        EXPECT_TRUE(prompt.isVisible());
        EXPECT_EQ(host.beeps, std::vector<BeepKind>{BEEP_EXCLAMATION});
        EXPECT_EQ(prompt.focusWidget(), prompt.NameEdit());
        Type(prompt.NameEdit(), "Fresh");
        Click(prompt.findChild<QPushButton*>("ok"));
    });
    Click(dlg->Control(IDC_ENV_NEW));
    EXPECT_EQ(Items(dlg->Control(IDC_ENV_LIST)), (std::vector<QString>{"Alpha", "Fresh"}));
    EXPECT_EQ(dlg->List()->RowCount(), 0);
    dlg->accept();   // changed but without boards: nothing happens
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(host.boxes.empty());
    Choose(dlg->Control(IDC_ENV_LIST), "Alpha");
    EXPECT_EQ(Items(dlg->Control(IDC_ENV_LIST)), std::vector<QString>{"Alpha"});
    EXPECT_EQ(dlg->Mode(), ENV_MODE_EDIT);
}

TEST_F(EnvironmentEditor, PastedBoardKeepsOnlyAParentThatExistsHere)
{
    struct Case {
        int parent;
        int kept;
    };
    for (const Case& c : {Case{5, -1}, Case{3, -1}, Case{1, 1}}) {
        SCOPED_TRACE(c.parent);
        CopyBoardDef(MakeBoard("NEW", true, 2, c.parent));
        auto dlg = Open(ENV_MODE_EDIT, {MakeEnvironment("Env")});
        dlg->Paste();
        ASSERT_EQ(dlg->WorkingEnvironment().m_boards.size(), 4u);
        EXPECT_EQ(dlg->WorkingEnvironment().m_boards[3].m_nParentBoard, c.kept);
        EXPECT_EQ(dlg->List()->CellText(3, 0), "NEW");
    }
    // With a row selected the board replaces it.
    auto dlg = Open(ENV_MODE_EDIT, {MakeEnvironment("Env")});
    dlg->List()->SelectRow(1);
    dlg->Paste();
    EXPECT_EQ(dlg->WorkingEnvironment().m_boards.size(), 3u);
    EXPECT_EQ(dlg->List()->CellText(1, 0), "NEW");
}

TEST_F(EnvironmentEditor, CopyCutAndDeleteOfBoardsKeepParentLinksRight)
{
    CEnvDef env = MakeEnvironment("Env");
    env.m_boards.push_back(MakeBoard("AUX", true, 3, 2));   // behind DSP
    auto dlg = Open(ENV_MODE_EDIT, {env});
    dlg->List()->SelectRow(1);
    dlg->Cut();
    const CEnvDef& work = dlg->WorkingEnvironment();
    ASSERT_EQ(work.m_boards.size(), 3u);
    EXPECT_EQ(work.m_boards[1].m_strName, "DSP");
    EXPECT_EQ(work.m_boards[2].m_nParentBoard, 1);   // still DSP
    EXPECT_EQ(dlg->SelectedBoard(), 1);
    CBoardDef cut;
    ASSERT_EQ(PasteBoardDef(cut), PasteResult::Pasted);
    EXPECT_EQ(cut.m_strName, "GPS");
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), cut.GetDescription());

    dlg->List()->SelectRow(0);
    dlg->DeleteBoard();   // CPU: the boards behind it lose their parent
    EXPECT_EQ(work.m_boards[0].m_nParentBoard, -1);
    EXPECT_EQ(work.m_boards[1].m_nParentBoard, 0);
    dlg->List()->SelectRow(1);
    dlg->DeleteBoard();   // the last row: the new last one is selected
    EXPECT_EQ(dlg->SelectedBoard(), 0);
}

// --- end to end through the host calls -------------------------------------------------------------

// A .def whose connected board lacks "Save transfer speed" (an older file):
// the scan opens the editor in its repair mode on that board, which shows
// its error by itself; mended and saved, the file is read again and loaded.
TEST_F(EnvironmentEditor, DamagedDefIsRepairedThroughTheEditor)
{
    CEnvDef env = MakeEnvironment("Old");
    env.m_boards[0].m_nSaveSpeed = SAVE_SPEED_UNDETERMINED;
    const std::string path = WriteEnvironment(env, "old.def");

    host.QueueAnswer(ANSWER_YES);          // 32: save the changes
    host.QueueFileAnswer(true, path);      // the save prompt
    OnNextModal<CBoardDefDlg>([this](CBoardDefDlg& d) {
        ASSERT_TRUE(QTest::qWaitFor([this] { return host.boxes.size() == 2; }, 3000));
        EXPECT_EQ(host.boxes[1].text, GetString(123));
        EXPECT_EQ(d.focusWidget(), d.Control(FIELD_SAVE_SPEED));
        Click(d.Control(FIELD_SAVE_SPEED));   // undetermined -> checked
        Click(d.findChild<QPushButton*>("ok"));
        QTimer::singleShot(0, [] {
            auto* editor = qobject_cast<CEnvDefDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(editor, nullptr);
            EXPECT_EQ(editor->Mode(), ENV_MODE_REPAIR);
            Click(editor->Control(IDC_ENV_OK));
        });
    });
    EXPECT_EQ(ScanEnvironmentDirectory(ScanModeForRights()), 1);
    EXPECT_EQ(host.repairs, (std::vector<std::pair<int, int>>{{ENV_MODE_REPAIR, 0}}));
    EXPECT_EQ(host.Texts(), (std::vector<std::string>{"A modification is required in the \"old.def\" environment file",
                                                      GetString(123), GetString(32)}));
    ASSERT_EQ(g_envList.size(), 1u);
    EXPECT_EQ(g_envList[0].m_boards[0].m_nSaveSpeed, SAVE_SPEED_CHECKED);
}

// Leaving the repair without saving skips the file instead of asking again.
TEST_F(EnvironmentEditor, RepairLeftWithoutSavingSkipsTheFile)
{
    CEnvDef env = MakeEnvironment("Old");
    env.m_boards[1].m_nParentBoard = 1;   // its own parent
    WriteEnvironment(env, "old.def");
    OnNextModal<CBoardDefDlg>([](CBoardDefDlg& d) {
        d.reject();
        QTimer::singleShot(0, [] {
            if (auto* editor = qobject_cast<CEnvDefDlg*>(QApplication::activeModalWidget()))
                Click(editor->Control(IDC_ENV_OK));
        });
    });
    EXPECT_EQ(ScanEnvironmentDirectory(ScanModeForRights()), 0);
    EXPECT_EQ(host.repairs.size(), 1u);
}

// A request line whose environment is gone is linked again to a board chosen
// in the editor's board-choice mode; speeds above its maximum are lowered.
TEST_F(EnvironmentEditor, UnlinkedLineIsLinkedToTheBoardChosenInTheEditor)
{
    WriteEnvironment(MakeEnvironment("Alpha"), "a.def");
    WriteEnvironment(MakeEnvironment("Beta"), "b.def");
    CUpdateDoc stored;
    CBoardConf line;
    line.m_strEnvName = "Gone";
    line.m_strBoardName = "GPS";
    line.m_strSubassyHardw = "10";
    line.m_strReleaseFile = "gps.s";
    line.m_strSoftId = "GP12";
    line.m_nTransferSpeed = 7;
    line.m_nConfigSpeed = 2;
    stored.m_lines = {line};
    const std::string sfl = RequestDir() + "old.sfl";
    ASSERT_TRUE(stored.SaveRequest(sfl));

    host.QueueAnswer(ANSWER_YES);   // 39 + 40: link it to another environment
    OnNextModal<CEnvDefDlg>([this](CEnvDefDlg& editor) {
        EXPECT_EQ(editor.Mode(), ENV_MODE_CHOOSE_BOARD);
        EXPECT_FALSE(editor.Control(IDC_ENV_SAVE)->isEnabled());
        Click(editor.Control(IDC_ENV_OK));   // no board chosen yet
        EXPECT_EQ(host.boxes.back().text, GetString(77));
        EXPECT_TRUE(editor.isVisible());
        Choose(editor.Control(IDC_ENV_LIST), "Beta");
        editor.List()->SelectRow(1);
        Click(editor.Control(IDC_ENV_OK));
    });
    CUpdateDoc doc;
    doc.SetTitle("old.sfl");
    ASSERT_EQ(doc.OpenRequest(sfl), OpenResult::Ok);
    EXPECT_EQ(host.boardChoiceOpenedOn, std::vector<int>{0});
    ASSERT_EQ(doc.m_lines.size(), 1u);
    EXPECT_EQ(doc.m_lines[0].m_strEnvName, "Beta");
    EXPECT_EQ(doc.m_lines[0].m_nEnvIndex, 1);
    EXPECT_EQ(doc.m_lines[0].m_nBoardIndex, 1);
    EXPECT_EQ(doc.m_lines[0].m_nTransferSpeed, 3);   // GPS goes up to 9600
    EXPECT_EQ(doc.m_lines[0].m_nConfigSpeed, 2);
    EXPECT_TRUE(doc.IsModified());
    const std::vector<std::string> texts = host.Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), GetString(78)), texts.end());
    EXPECT_EQ(texts.back(), GetString(80));
}

// --- environment list ----------------------------------------------------------------------------------

TEST_F(EnvironmentEditor, ListOpensTheEditorOnTheItemWithoutFoldingIt)
{
    std::vector<std::pair<int, int>> opened;
    const std::vector<CEnvDef> envs = {MakeEnvironment("Alpha"), MakeEnvironment("Beta")};
    CEnvListDlg dlg(envs, 1, [&opened](int env, int board) { opened.push_back({env, board}); });
    dlg.show();
    QApplication::processEvents();
    QTreeWidget* tree = dlg.Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Alpha");
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 3);
    EXPECT_EQ(tree->topLevelItem(1)->child(2)->text(0), "DSP");
    EXPECT_TRUE(tree->topLevelItem(1)->isExpanded());
    EXPECT_FALSE(tree->topLevelItem(0)->isExpanded());
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(1));
    EXPECT_EQ(dlg.focusWidget(), tree);

    QTreeWidgetItem* beta = tree->topLevelItem(1);
    const QPoint onBeta = tree->visualItemRect(beta).center();
    DoubleClick(tree->viewport(), onBeta);
    EXPECT_TRUE(beta->isExpanded());
    const QPoint onGps = tree->visualItemRect(beta->child(1)).center();
    DoubleClick(tree->viewport(), onGps);
    EXPECT_EQ(opened, (std::vector<std::pair<int, int>>{{1, -1}, {1, 1}}));
}

// Environment > List through to the editor opened on a board: its Details
// open at once; closing everything unchanged reads nothing again.
TEST_F(EnvironmentEditor, ListCommandOpensTheBoardDetails)
{
    WriteEnvironment(MakeEnvironment("Alpha"), "a.def");
    ASSERT_EQ(ScanEnvironmentDirectory(ScanModeForRights()), 1);
    int detailsOpenedOn = -1;
    OnNextModal<CEnvListDlg>([&detailsOpenedOn](CEnvListDlg& list) {
        OnNextModal<CBoardDefDlg>([&detailsOpenedOn](CBoardDefDlg& d) {
            detailsOpenedOn = d.Board().m_strName == "DSP" ? 2 : 0;
            d.reject();
            QTimer::singleShot(0, [] {
                if (auto* editor = qobject_cast<CEnvDefDlg*>(QApplication::activeModalWidget()))
                    editor->reject();
            });
        });
        list.OpenItem(list.Tree()->topLevelItem(0)->child(2));
        list.accept();
    });
    CUpdateDoc doc;
    RunEnvironmentListCommand(nullptr, doc);
    EXPECT_EQ(detailsOpenedOn, 2);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(g_envList.size(), 1u);
}

}   // namespace

namespace {

// Every numbered text the editors show is in the string table.
TEST(EditorTexts, EveryNumberedTextExists)
{
    const int ids[] = {13, 23, 24, 26, 27, 28, 30, 31, 32, 35, 37, 63, 64, 65, 66, 67, 68, 69, 70, 72, 75, 77,
                       81, 82, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123,
                       124, 138, 155, 156, 159, 160, 162};
    for (int id : ids) EXPECT_TRUE(HasString(id)) << id;
}

}   // namespace
