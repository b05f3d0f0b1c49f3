// The two record dialogs: the board definition dialog and the board-line
// dialog ("Transfer board parameters"), with their clipboard.
#include "test_editors_common.h"

#include <QMimeData>

#include "model/BoardConf.h"
#include "model/UpdateDoc.h"
#include "ui/controls/StateLabel.h"
#include "ui/editors/BoardConfDlg.h"
#include "ui/editors/BoardDefDlg.h"
#include "ui/editors/EditorClipboard.h"

namespace {

class BoardDefDialog : public EditorFixture {
protected:
    // A dialog on board `index` of the sample environment, shown.
    std::unique_ptr<CBoardDefDlg> Open(int mode, int index, const CEnvDef& env = MakeEnvironment("Env"))
    {
        auto dlg = std::make_unique<CBoardDefDlg>(mode, env, index, -1);
        dlg->show();
        QApplication::processEvents();
        return dlg;
    }
};

TEST_F(BoardDefDialog, NewBoardStartsFromTheDefaultsAndNeedsAName)
{
    auto dlg = Open(ENV_MODE_EDIT, -1);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(dlg->Control(IDC_BOARD_RELAYED))->isChecked());
    EXPECT_EQ(ShownText(dlg->Control(IDC_BOARD_ERASE)), "120");
    EXPECT_EQ(ShownText(dlg->Control(IDC_BOARD_RESTART)), "120");
    EXPECT_EQ(qobject_cast<QCheckBox*>(dlg->Control(FIELD_SAVE_SPEED))->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(ShownText(dlg->Control(IDC_BOARD_BROWSE_FILTER)), "*.*");
    dlg->accept();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(host.Texts(), std::vector<std::string>{GetString(63)});
    EXPECT_EQ(host.beeps, std::vector<BeepKind>{BEEP_EXCLAMATION});
    EXPECT_EQ(dlg->focusWidget(), dlg->Control(FIELD_BOARD_NAME));
}

// Every check of the validation table, reached through the controls: its
// message and the field that gets the focus.
TEST_F(BoardDefDialog, EachFailingFieldGivesItsMessageAndTheFocus)
{
    struct Case {
        const char* what;
        int board;                                  // of MakeEnvironment: 0 CPU, 1 GPS
        std::function<void(CBoardDefDlg&)> spoil;
        std::string message;
        int focus;
    };
    const Case cases[] = {
        {"name", 0, [](CBoardDefDlg& d) { Type(d.Control(FIELD_BOARD_NAME), ""); }, GetString(63), FIELD_BOARD_NAME},
        {"subassy id", 0, [](CBoardDefDlg& d) { Type(d.Control(FIELD_SUBASSY_ID), ""); }, GetString(64),
         FIELD_SUBASSY_ID},
        {"subassy hardw", 0, [](CBoardDefDlg& d) { Type(d.Control(FIELD_SUBASSY_HARDW), ""); }, GetString(65),
         FIELD_SUBASSY_HARDW},
        {"boot loader", 0, [](CBoardDefDlg& d) { Type(d.Control(FIELD_BOOT_LOADER), ""); }, GetString(66),
         FIELD_BOOT_LOADER},
        {"max speed", 0, [](CBoardDefDlg& d) { Choose(d.Control(FIELD_MAX_SPEED), ""); }, GetString(68),
         FIELD_MAX_SPEED},
        {"progr id 0", 0, [](CBoardDefDlg& d) { Type(d.Control(FIELD_PROG_ID), "0"); }, GetString(67), FIELD_PROG_ID},
        {"progr id 11", 0, [](CBoardDefDlg& d) { Type(d.Control(FIELD_PROG_ID), "11"); }, GetString(67),
         FIELD_PROG_ID},
        {"progr id not a number", 0, [](CBoardDefDlg& d) { Type(d.Control(FIELD_PROG_ID), "x1"); },
         "Please enter an integer.", FIELD_PROG_ID},
        {"destination", 0, [](CBoardDefDlg& d) { Choose(d.Control(FIELD_DESTINATION), ""); }, GetString(69),
         FIELD_DESTINATION},
        {"processing", 0, [](CBoardDefDlg& d) { Choose(d.Control(FIELD_PROCESSING), ""); }, GetString(70),
         FIELD_PROCESSING},
        {"save speed of a connected board", 0,
         [](CBoardDefDlg& d) {
             auto* box = qobject_cast<QCheckBox*>(d.Control(FIELD_SAVE_SPEED));
             Click(box);   // checked -> unchecked
             Click(box);   // -> undetermined
         },
         GetString(123), FIELD_SAVE_SPEED},
        {"parent unset", 1, [](CBoardDefDlg& d) { Choose(d.Control(FIELD_PARENT_BOARD), ""); }, GetString(72),
         FIELD_PARENT_BOARD},
        {"parent is itself", 1, [](CBoardDefDlg& d) { Choose(d.Control(FIELD_PARENT_BOARD), "GPS"); },
         GetString(72), FIELD_PARENT_BOARD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.boxes.clear();
        auto dlg = Open(ENV_MODE_EDIT, c.board);
        c.spoil(*dlg);
        dlg->accept();
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(host.Texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(dlg->focusWidget(), dlg->Control(c.focus));
    }
}

TEST_F(BoardDefDialog, ValidBoardClosesWithTheFieldsTyped)
{
    auto dlg = Open(ENV_MODE_EDIT, 1);
    Type(dlg->Control(FIELD_BOARD_NAME), "GPS engine");
    Type(dlg->Control(FIELD_SUBASSY_HARDW), "4,2");
    Choose(dlg->Control(FIELD_DESTINATION), "Port C");
    Choose(dlg->Control(FIELD_MAX_SPEED), "19200");
    Type(dlg->Control(IDC_BOARD_ERASE), "90");
    dlg->accept();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dlg->Board().m_strName, "GPS engine");
    EXPECT_EQ(dlg->Board().m_strSubassyHardw, "4,2");
    EXPECT_EQ(dlg->Board().m_nDestination, 2);
    EXPECT_EQ(dlg->Board().m_nMaxSpeed, 4);
    EXPECT_EQ(dlg->Board().m_nEraseTimeout, 90);
    EXPECT_EQ(dlg->Board().m_nParentBoard, 0);
}

// Texts are bounded as the fields are, and only Windows-1252 characters
// (what a .def file can hold) can be typed.
TEST_F(BoardDefDialog, FieldsKeepTheirLimits)
{
    auto dlg = Open(ENV_MODE_EDIT, -1);
    Type(dlg->Control(FIELD_BOARD_NAME), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    Type(dlg->Control(FIELD_SUBASSY_ID), "CMX");
    Type(dlg->Control(FIELD_SUBASSY_HARDW), "123456789012345");
    Type(dlg->Control(FIELD_BOOT_LOADER), "CMB23");
    Type(dlg->Control(IDC_BOARD_BROWSE_FILTER), "*.srec");
    EXPECT_EQ(ShownText(dlg->Control(FIELD_BOARD_NAME)), "ABCDEFGHIJKLMNOPQR");
    EXPECT_EQ(ShownText(dlg->Control(FIELD_SUBASSY_ID)), "CM");
    EXPECT_EQ(ShownText(dlg->Control(FIELD_SUBASSY_HARDW)), "12345678901234");
    EXPECT_EQ(ShownText(dlg->Control(FIELD_BOOT_LOADER)), "CMB2");
    EXPECT_EQ(ShownText(dlg->Control(IDC_BOARD_BROWSE_FILTER)), "*.sre");
    Type(dlg->Control(FIELD_BOARD_NAME), QString::fromUtf8("Carte \xc3\xa9t\xe2\x82\xac \xe6\x97\xa5"));
    EXPECT_EQ(ShownText(dlg->Control(FIELD_BOARD_NAME)), QString::fromUtf8("Carte \xc3\xa9t\xe2\x82\xac "));
}

TEST_F(BoardDefDialog, TimeoutsStayWithinTenToOneHundredTwentyAndStepByTen)
{
    struct Case {
        const char* typed;
        const char* shownAtOnce;
        const char* shownWhenLeft;
    };
    const Case cases[] = {{"130", "120", "120"}, {"999", "120", "120"}, {"5", "5", "10"},
                          {"60", "60", "60"},    {"10", "10", "10"},   {"120", "120", "120"}};
    auto dlg = Open(ENV_MODE_EDIT, 0);
    auto* erase = qobject_cast<QSpinBox*>(dlg->Control(IDC_BOARD_ERASE));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Type(erase, QString::fromLatin1(c.typed));
        EXPECT_EQ(erase->text(), c.shownAtOnce);
        dlg->Control(FIELD_BOARD_NAME)->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(erase->text(), c.shownWhenLeft);
    }
    erase->setValue(60);
    erase->stepUp();
    EXPECT_EQ(erase->value(), 70);
    erase->setValue(115);
    erase->stepUp();
    EXPECT_EQ(erase->value(), 120);
    erase->setValue(10);
    erase->stepDown();
    EXPECT_EQ(erase->value(), 10);
}

// Which controls each mode and choice enables.
TEST_F(BoardDefDialog, EnablingFollowsModeDestinationAndRelayedFlag)
{
    const int bound[] = {FIELD_BOARD_NAME, FIELD_SUBASSY_ID, FIELD_SUBASSY_HARDW, FIELD_BOOT_LOADER,
                         IDC_BOARD_BROWSE_FILTER, FIELD_PROG_ID, IDC_BOARD_RELAYED, FIELD_DESTINATION,
                         FIELD_PARENT_BOARD, FIELD_PROCESSING, FIELD_MAX_SPEED, IDC_BOARD_ERASE, IDC_BOARD_RESTART,
                         FIELD_SAVE_SPEED};
    auto view = Open(ENV_MODE_VIEW, 1);
    for (int id : bound) EXPECT_FALSE(view->Control(id)->isEnabled()) << id;
    auto* note = qobject_cast<CStateLabel*>(view->Control(IDC_BOARD_NOTE));
    EXPECT_EQ(note->Text().toStdString(), GetString(162));
    EXPECT_EQ(note->TextColor(), QColor(127, 127, 127));

    auto edit = Open(ENV_MODE_EDIT, 1);   // GPS: relayed, port B
    EXPECT_EQ(qobject_cast<CStateLabel*>(edit->Control(IDC_BOARD_NOTE))->TextColor(), QColor(128, 0, 128));
    EXPECT_TRUE(edit->Control(FIELD_MAX_SPEED)->isEnabled());
    EXPECT_TRUE(edit->Control(FIELD_PARENT_BOARD)->isEnabled());
    Choose(edit->Control(FIELD_DESTINATION), "Dpram 2");
    EXPECT_FALSE(edit->Control(FIELD_MAX_SPEED)->isEnabled());
    Click(edit->Control(IDC_BOARD_RELAYED));
    EXPECT_FALSE(edit->Control(FIELD_PARENT_BOARD)->isEnabled());
    Click(edit->Control(IDC_BOARD_RELAYED));
    EXPECT_TRUE(edit->Control(FIELD_PARENT_BOARD)->isEnabled());
    // A Dpram board needs no maximum speed.
    Choose(edit->Control(FIELD_MAX_SPEED), "");
    edit->accept();
    EXPECT_EQ(edit->result(), QDialog::Accepted);
    EXPECT_EQ(edit->Board().m_nDestination, 9);
    EXPECT_EQ(edit->Board().m_nMaxSpeed, -1);
}

// Mode 4 (repair) checks the board by itself 100 ms after it opens.
TEST_F(BoardDefDialog, RepairModeShowsTheFirstErrorByItself)
{
    CEnvDef env = MakeEnvironment("Env");
    env.m_boards[1].m_nSaveSpeed = SAVE_SPEED_UNDETERMINED;
    auto dlg = Open(ENV_MODE_REPAIR, 1, env);
    EXPECT_TRUE(host.boxes.empty());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !host.boxes.empty(); }, 2000));
    EXPECT_EQ(host.boxes[0].text, GetString(123));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->focusWidget(), dlg->Control(FIELD_SAVE_SPEED));
    // A new board in mode 4 is not checked by itself.
    host.boxes.clear();
    auto fresh = Open(ENV_MODE_REPAIR, -1, env);
    QTest::qWait(3 * CBoardDefDlg::kRepairCheckDelayMs);
    EXPECT_TRUE(host.boxes.empty());
}

// --- clipboard ------------------------------------------------------------------------------------

TEST_F(BoardDefDialog, CopyPutsTheRecordAndItsDescriptionPasteTakesItBack)
{
    auto source = Open(ENV_MODE_EDIT, 1);
    Type(source->Control(FIELD_BOARD_NAME), "GPS 2");
    source->Copy();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    CBoardDef expected = MakeEnvironment("Env").m_boards[1];
    expected.m_strName = "GPS 2";
    const std::vector<uint8_t> bytes = BoardDefToBytes(expected);
    const QByteArray archive(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    EXPECT_EQ(mime->data(kBoardDefMimeType), archive);
    EXPECT_EQ(mime->data(kBoardDefWindowsMimeType), archive);
    EXPECT_EQ(mime->text().toStdString(), expected.GetDescription());

    auto target = Open(ENV_MODE_EDIT, -1);
    EXPECT_TRUE(IsCommandEnabled(target->ContextCommands(), ID_BOARD_PASTE));
    target->Paste();
    EXPECT_EQ(ShownText(target->Control(FIELD_BOARD_NAME)), "GPS 2");
    EXPECT_TRUE(target->Control(FIELD_PARENT_BOARD)->isEnabled());
    target->accept();
    EXPECT_EQ(target->result(), QDialog::Accepted);
    EXPECT_FALSE(target->Board().IsDifferent(expected));

    source->Cut();
    EXPECT_EQ(ShownText(source->Control(FIELD_BOARD_NAME)), "");
    EXPECT_EQ(ShownText(source->Control(IDC_BOARD_ERASE)), "120");
}

TEST_F(BoardDefDialog, ContextMenuFollowsModeAndClipboard)
{
    struct Case {
        int mode;
        bool filled;
        bool cut, copy, paste;
    };
    const Case cases[] = {{ENV_MODE_EDIT, false, true, true, false}, {ENV_MODE_EDIT, true, true, true, true},
                          {ENV_MODE_REPAIR, true, true, true, true},  {ENV_MODE_VIEW, true, false, true, false},
                          {ENV_MODE_NEW, true, true, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        QApplication::clipboard()->clear();
        if (c.filled) CopyBoardDef(MakeBoard("X", false, 0, -1));
        auto dlg = Open(c.mode, 0);
        const std::vector<MenuCommand> commands = dlg->ContextCommands();
        EXPECT_EQ(IsCommandEnabled(commands, ID_BOARD_CUT), c.cut);
        EXPECT_EQ(IsCommandEnabled(commands, ID_BOARD_COPY), c.copy);
        EXPECT_EQ(IsCommandEnabled(commands, ID_BOARD_PASTE), c.paste);
        EXPECT_FALSE(IsCommandEnabled(commands, ID_BOARD_DETAILS));
    }
}

// Clipboard data is foreign input: only Tavrel's own record is taken, and
// damaged or oversized data is refused with a message, the fields unchanged.
TEST_F(BoardDefDialog, DamagedOrForeignClipboardIsRefused)
{
    const std::vector<uint8_t> good = BoardDefToBytes(MakeBoard("X", false, 0, -1));
    const std::vector<uint8_t> line = BoardConfToBytes(CBoardConf());
    struct Case {
        const char* what;
        QByteArray data;
        const char* format;
        bool message;
    };
    const Case cases[] = {
        {"truncated record", QByteArray(reinterpret_cast<const char*>(good.data()), 30), kBoardDefMimeType, true},
        {"a board line under the board name", QByteArray(reinterpret_cast<const char*>(line.data()),
                                                          static_cast<qsizetype>(line.size())),
         kBoardDefWindowsMimeType, true},
        {"oversized", QByteArray(static_cast<qsizetype>(CLIPBOARD_MAX_RECORD_BYTES) + 1, '\xff'), kBoardDefMimeType,
         true},
        {"text only", QByteArray("Board name\t: X"), "text/plain", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.boxes.clear();
        auto* mime = new QMimeData;
        mime->setData(QString::fromLatin1(c.format), c.data);
        QApplication::clipboard()->setMimeData(mime);
        auto dlg = Open(ENV_MODE_EDIT, 1);
        EXPECT_EQ(IsCommandEnabled(dlg->ContextCommands(), ID_BOARD_PASTE), c.message);
        dlg->Paste();
        EXPECT_EQ(host.boxes.size(), c.message ? 1u : 0u);
        EXPECT_EQ(ShownText(dlg->Control(FIELD_BOARD_NAME)), "GPS");
    }
}

// --- the board-line dialog -------------------------------------------------------------------------

class BoardLineDialog : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        m_env = MakeEnvironment("Env");
    }
    std::unique_ptr<CBoardConfDlg> Open(const CBoardConf* line = nullptr)
    {
        auto dlg = std::make_unique<CBoardConfDlg>(m_env);
        if (line) dlg->SetLine(*line);
        dlg->show();
        QApplication::processEvents();
        return dlg;
    }
    CEnvDef m_env;
};

TEST_F(BoardLineDialog, WithoutBoardOnlyTheBoardListAndCancelWork)
{
    auto dlg = Open();
    EXPECT_TRUE(dlg->Control(FIELD_LINE_BOARD)->isEnabled());
    for (int id : {int(FIELD_LINE_BOARD_ALONE), int(IDC_LINE_RESTART), int(IDC_LINE_TRANSFER_SPEED),
                   int(IDC_LINE_CONFIG_SPEED), int(FIELD_LINE_SOFT_ID), int(FIELD_LINE_RELEASE_FILE),
                   int(IDC_LINE_BROWSE), int(IDC_LINE_OK)})
        EXPECT_FALSE(dlg->Control(id)->isEnabled()) << id;
    EXPECT_TRUE(Items(dlg->Control(IDC_LINE_TRANSFER_SPEED)).empty());
    EXPECT_EQ(Items(dlg->Control(FIELD_LINE_BOARD)), (std::vector<QString>{"CPU", "GPS", "DSP"}));
}

TEST_F(BoardLineDialog, ChoosingABoardSetsSpeedListsBoardAloneAndEnabling)
{
    struct Case {
        const char* board;
        std::vector<QString> speeds;
        bool alone;
        bool aloneEnabled;
        bool speedsEnabled;
    };
    const Case cases[] = {
        {"CPU", {"300", "1200", "4800", "9600", "19200", "38400", "57600", "115200"}, true, false, true},
        {"GPS", {"300", "1200", "4800", "9600"}, false, true, true},
        {"DSP", {}, false, false, false},
    };
    auto dlg = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        Choose(dlg->Control(FIELD_LINE_BOARD), c.board);
        EXPECT_EQ(Items(dlg->Control(IDC_LINE_TRANSFER_SPEED)), c.speeds);
        EXPECT_EQ(Items(dlg->Control(IDC_LINE_CONFIG_SPEED)), c.speeds);
        EXPECT_EQ(qobject_cast<QCheckBox*>(dlg->Control(FIELD_LINE_BOARD_ALONE))->isChecked(), c.alone);
        EXPECT_EQ(dlg->Control(FIELD_LINE_BOARD_ALONE)->isEnabled(), c.aloneEnabled);
        EXPECT_EQ(dlg->Control(IDC_LINE_TRANSFER_SPEED)->isEnabled(), c.speedsEnabled);
        EXPECT_TRUE(dlg->Control(IDC_LINE_OK)->isEnabled());
        EXPECT_TRUE(dlg->Control(FIELD_LINE_SOFT_ID)->isEnabled());
    }
}

TEST_F(BoardLineDialog, OkChecksTheLineAndNamesItsBoard)
{
    auto dlg = Open();
    Choose(dlg->Control(FIELD_LINE_BOARD), "GPS");
    dlg->accept();
    EXPECT_EQ(host.Texts(), std::vector<std::string>{GetString(81)});
    EXPECT_EQ(dlg->focusWidget(), dlg->Control(FIELD_LINE_RELEASE_FILE));
    Type(dlg->Control(FIELD_LINE_RELEASE_FILE), "gps.s");
    dlg->accept();
    EXPECT_EQ(host.Texts().back(), GetString(82));
    EXPECT_EQ(dlg->focusWidget(), dlg->Control(FIELD_LINE_SOFT_ID));
    Type(dlg->Control(FIELD_LINE_SOFT_ID), "GP1234567890XYZ");
    EXPECT_EQ(ShownText(dlg->Control(FIELD_LINE_SOFT_ID)), "GP1234567890");
    Choose(dlg->Control(IDC_LINE_TRANSFER_SPEED), "9600");
    Click(dlg->Control(IDC_LINE_RESTART));
    dlg->accept();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->Line().m_strBoardName, "GPS");
    EXPECT_EQ(dlg->Line().m_nBoardIndex, 1);
    EXPECT_EQ(dlg->Line().m_nTransferSpeed, 3);
    EXPECT_EQ(dlg->Line().m_nConfigSpeed, -1);
    EXPECT_EQ(dlg->Line().m_bRestart, 0);
    EXPECT_EQ(dlg->Line().m_strReleaseFile, "gps.s");

    // A line whose "Board alone" contradicts its board definition.
    CBoardConf line = dlg->Line();
    line.m_nBoardIndex = 0;
    line.m_bBoardAlone = 0;
    host.boxes.clear();
    auto other = Open(&line);
    other->accept();
    EXPECT_EQ(host.Texts(), std::vector<std::string>{GetString(138)});
}

TEST_F(BoardLineDialog, BrowseTakesTheFileNameAndKeepsTheSoftIdentification)
{
    m_env.m_boards[1].m_strBrowseFilter = "*.s";
    auto dlg = Open();
    Choose(dlg->Control(FIELD_LINE_BOARD), "GPS");
    Type(dlg->Control(FIELD_LINE_SOFT_ID), "GP12");
    host.QueueFileAnswer(true, "/elsewhere/releases/gps_v12.s");
    Click(dlg->Control(IDC_LINE_BROWSE));
    ASSERT_EQ(host.filePrompts.size(), 1u);
    EXPECT_EQ(host.filePrompts[0].title, GetString(24));
    EXPECT_EQ(host.filePrompts[0].filterName, "Release (*.s)");
    EXPECT_EQ(host.filePrompts[0].filterPattern, "*.s");
    EXPECT_EQ(host.filePrompts[0].initialDir, RequestDir());
    EXPECT_TRUE(host.filePrompts[0].open);
    EXPECT_EQ(ShownText(dlg->Control(FIELD_LINE_RELEASE_FILE)), "gps_v12.s");
    EXPECT_EQ(ShownText(dlg->Control(FIELD_LINE_SOFT_ID)), "GP12");
    // Cancelled: nothing changes.
    Click(dlg->Control(IDC_LINE_BROWSE));
    EXPECT_EQ(ShownText(dlg->Control(FIELD_LINE_RELEASE_FILE)), "gps_v12.s");
}

TEST_F(BoardLineDialog, ClipboardRoundTripAndDamagedData)
{
    CBoardConf line;
    line.m_nBoardIndex = 1;
    line.m_strBoardName = "GPS";
    line.m_strReleaseFile = "gps.s";
    line.m_strSoftId = "GP12";
    line.m_nTransferSpeed = 2;
    line.m_nEnvIndex = 0;
    auto source = Open(&line);
    source->Copy();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    const std::vector<uint8_t> bytes = BoardConfToBytes(line);
    EXPECT_EQ(mime->data(kBoardConfMimeType),
              QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    EXPECT_EQ(mime->text().toStdString(), line.GetDescription());

    auto target = Open();
    ASSERT_TRUE(IsCommandEnabled(target->ContextCommands(), ID_LINE_PASTE));
    target->Paste();
    EXPECT_EQ(ShownText(target->Control(FIELD_LINE_BOARD)), "GPS");
    EXPECT_EQ(ShownText(target->Control(IDC_LINE_TRANSFER_SPEED)), "4800");
    EXPECT_EQ(Items(target->Control(IDC_LINE_TRANSFER_SPEED)).size(), 4u);

    source->Cut();
    EXPECT_EQ(ShownText(source->Control(FIELD_LINE_BOARD)), "");
    EXPECT_FALSE(source->Control(IDC_LINE_OK)->isEnabled());

    auto* damaged = new QMimeData;
    damaged->setData(kBoardConfMimeType, QByteArray("\xff\xff\x01\x00\x0a\x00" "CBoardConf\x00", 17));
    QApplication::clipboard()->setMimeData(damaged);
    target->Paste();
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(ShownText(target->Control(FIELD_LINE_SOFT_ID)), "GP12");
}

}   // namespace
