#include "ui/editors/BoardDefDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "ui/DialogUnits.h"
#include "ui/controls/StateLabel.h"
#include "ui/editors/EditorClipboard.h"

namespace {

// Text limits of the fields.
constexpr int kNameMax = 18;
constexpr int kSubassyIdMax = 2;
constexpr int kSubassyHardwMax = 14;
constexpr int kBootLoaderMax = 4;
constexpr int kBrowseFilterMax = 5;
constexpr int kIntegerMax = 11;   // "-2147483648"

constexpr int kTimeoutStep = 10;
constexpr int MSG_NOTE = 162;
const QColor kNoteEditColor(128, 0, 128);
const QColor kNoteViewColor(127, 127, 127);
// The platform's own message for an integer field that holds no number.
const char* const kEnterInteger = "Please enter an integer.";

// Dialog size in dialog units.
constexpr int kDialogWidth = 300;
constexpr int kEditWidth = 60;
constexpr int kListWidth = 70;

// Check-box states <-> "Save transfer speed" values (0 unchecked, 1 checked, 2 undetermined).
Qt::CheckState SaveSpeedState(int value)
{
    switch (value) {
    case SAVE_SPEED_UNCHECKED: return Qt::Unchecked;
    case SAVE_SPEED_CHECKED: return Qt::Checked;
    default: return Qt::PartiallyChecked;
    }
}

int SaveSpeedValue(Qt::CheckState state)
{
    switch (state) {
    case Qt::Unchecked: return SAVE_SPEED_UNCHECKED;
    case Qt::Checked: return SAVE_SPEED_CHECKED;
    default: return SAVE_SPEED_UNDETERMINED;
    }
}

bool IsSerialDestination(int destination)
{
    CBoardDef probe;
    probe.m_nDestination = destination;
    return probe.HasSerialDestination();
}

QLineEdit* MakeEdit(int maxLength, const char* objectName, const char* label, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    LimitEdit(edit, maxLength);
    NameControl(edit, objectName, QString::fromLatin1(label).trimmed());
    return edit;
}

QComboBox* MakeList(const char* objectName, const char* label, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    NameControl(list, objectName, QString::fromLatin1(label));
    return list;
}

// A label bound to its field, so that its mnemonic and screen readers find it.
QLabel* MakeLabel(const char* text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setBuddy(buddy);
    return label;
}

}   // namespace

// --- CTimeoutSpin ------------------------------------------------------------------

CTimeoutSpin::CTimeoutSpin(QWidget* parent) : QSpinBox(parent)
{
    setRange(BOARD_TIMEOUT_MIN_SEC, BOARD_TIMEOUT_MAX_SEC);
    setSingleStep(kTimeoutStep);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QValidator::State CTimeoutSpin::validate(QString& input, int& pos) const
{
    if (input.isEmpty())
        return QValidator::Intermediate;
    bool isNumber = false;
    const int value = input.toInt(&isNumber);
    if (!isNumber || input.size() > 3 || value < 0)
        return QValidator::Invalid;
    if (value > maximum()) {
        input = QString::number(maximum());
        pos = static_cast<int>(input.size());
        return QValidator::Acceptable;
    }
    return value < minimum() ? QValidator::Intermediate : QValidator::Acceptable;
}

// --- CBoardDefDlg ---------------------------------------------------------------------

CBoardDefDlg::CBoardDefDlg(int mode, const CEnvDef& environment, int boardIndex, int focusControl,
                           QWidget* parent)
    : QDialog(parent), m_nMode(mode), m_env(environment), m_nBoardIndex(boardIndex),
      m_nFocusControl(focusControl)
{
    if (const CBoardDef* board = m_env.Board(boardIndex))
        m_board = *board;
    else
        m_nBoardIndex = -1;
    setObjectName(QStringLiteral("boardDefinitionDialog"));
    setWindowTitle(QStringLiteral("Board definition"));
    BuildControls();
    FillLists();

    m_note->SetDefaultStyle(IsViewOnly() ? kNoteViewColor : kNoteEditColor, QColor());
    m_note->SetText(Text(MSG_NOTE));

    m_repairTimer.setSingleShot(true);
    m_repairTimer.setInterval(kRepairCheckDelayMs);
    connect(&m_repairTimer, &QTimer::timeout, this, &CBoardDefDlg::accept);

    ShowRecord();
}

void CBoardDefDlg::BuildControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    m_name = MakeEdit(kNameMax, "boardName", "*Name ", this);
    m_subassyId = MakeEdit(kSubassyIdMax, "subassyId", "Subassy ID", this);
    m_subassyHardw = MakeEdit(kSubassyHardwMax, "subassyHardw", "Subassy hardw.", this);
    m_bootLoader = MakeEdit(kBootLoaderMax, "bootLoader", "Boot loader", this);
    m_browseFilter = MakeEdit(kBrowseFilterMax, "browseFilter", "Browse filter", this);
    m_progId = MakeEdit(kIntegerMax, "progId", "Progr.ID", this);
    m_relayed = new QCheckBox(QStringLiteral("Is a relayed board"), this);
    NameControl(m_relayed, "relayedBoard", QStringLiteral("Is a relayed board"));
    m_destination = MakeList("destination", "Destination", this);
    m_parent = MakeList("parentBoard", "Parent board", this);
    m_processing = MakeList("processing", "Processing", this);
    m_maxSpeed = MakeList("maxSpeed", "Max speed", this);
    m_erase = new CTimeoutSpin(this);
    NameControl(m_erase, "eraseTimeout", QStringLiteral("Erasure (sec.)"));
    m_restart = new CTimeoutSpin(this);
    NameControl(m_restart, "restartTimeout", QStringLiteral("Re-start (sec.)"));
    m_saveSpeed = new QCheckBox(QStringLiteral("Save transfer speed"), this);
    m_saveSpeed->setTristate(true);
    NameControl(m_saveSpeed, "saveTransferSpeed", QStringLiteral("Save transfer speed"));
    m_note = new CStateLabel(this);
    m_note->setWordWrap(true);
    NameControl(m_note, "note", QStringLiteral("Note"));

    for (QLineEdit* edit : {m_name, m_subassyId, m_subassyHardw, m_bootLoader, m_browseFilter, m_progId})
        edit->setMinimumWidth(du.X(kEditWidth));
    for (QComboBox* list : {m_destination, m_parent, m_processing, m_maxSpeed})
        list->setMinimumWidth(du.X(kListWidth));

    m_controls.Add(FIELD_BOARD_NAME, m_name);
    m_controls.Add(FIELD_SUBASSY_ID, m_subassyId);
    m_controls.Add(FIELD_SUBASSY_HARDW, m_subassyHardw);
    m_controls.Add(FIELD_BOOT_LOADER, m_bootLoader);
    m_controls.Add(IDC_BOARD_BROWSE_FILTER, m_browseFilter);
    m_controls.Add(FIELD_PROG_ID, m_progId);
    m_controls.Add(IDC_BOARD_RELAYED, m_relayed);
    m_controls.Add(FIELD_DESTINATION, m_destination);
    m_controls.Add(FIELD_PARENT_BOARD, m_parent);
    m_controls.Add(FIELD_PROCESSING, m_processing);
    m_controls.Add(FIELD_MAX_SPEED, m_maxSpeed);
    m_controls.Add(IDC_BOARD_ERASE, m_erase);
    m_controls.Add(IDC_BOARD_RESTART, m_restart);
    m_controls.Add(FIELD_SAVE_SPEED, m_saveSpeed);
    m_controls.Add(IDC_BOARD_NOTE, m_note);

    auto* identity = new QGridLayout;
    const std::pair<const char*, QLineEdit*> identityRows[] = {
        {"*Name ", m_name},          {"Subassy ID", m_subassyId},       {"Subassy hardw.", m_subassyHardw},
        {"Boot loader", m_bootLoader}, {"Browse filter", m_browseFilter}, {"Progr.ID", m_progId}};
    int row = 0;
    for (const auto& [label, edit] : identityRows) {
        identity->addWidget(MakeLabel(label, edit, this), row, 0);
        identity->addWidget(edit, row++, 1);
    }
    identity->setRowStretch(row, 1);

    auto* link = new QGridLayout;
    link->addWidget(m_relayed, 0, 0, 1, 2);
    const std::pair<const char*, QComboBox*> linkRows[] = {
        {"Parent board", m_parent}, {"Destination", m_destination}, {"Processing", m_processing},
        {"Max speed", m_maxSpeed}};
    row = 1;
    for (const auto& [label, list] : linkRows) {
        link->addWidget(MakeLabel(label, list, this), row, 0);
        link->addWidget(list, row++, 1);
    }
    link->addWidget(MakeLabel("Erasure (sec.)", m_erase, this), row, 0);
    link->addWidget(m_erase, row++, 1);
    link->addWidget(MakeLabel("Re-start (sec.)", m_restart, this), row, 0);
    link->addWidget(m_restart, row++, 1);
    link->addWidget(m_saveSpeed, row++, 0, 1, 2);

    auto* fields = new QHBoxLayout;
    fields->addLayout(identity, 1);
    fields->addSpacing(du.X(10));
    fields->addLayout(link, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    NameControl(buttons->button(QDialogButtonBox::Ok), "ok", QStringLiteral("OK"));
    NameControl(buttons->button(QDialogButtonBox::Cancel), "cancel", QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CBoardDefDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CBoardDefDlg::reject);

    auto* main = new QVBoxLayout(this);
    main->addLayout(fields);
    main->addWidget(m_note);
    main->addWidget(buttons);
    setMinimumWidth(du.X(kDialogWidth));

    connect(m_relayed, &QCheckBox::clicked, this, &CBoardDefDlg::UpdateEnabling);
    connect(m_saveSpeed, &QCheckBox::clicked, this, &CBoardDefDlg::UpdateEnabling);
    connect(m_destination, &QComboBox::activated, this, &CBoardDefDlg::UpdateEnabling);
}

void CBoardDefDlg::FillLists()
{
    for (size_t i = 0; i < kBaudRates.size(); ++i)
        m_maxSpeed->addItem(QStr(BaudText(static_cast<int>(i))));
    for (const char* name : kDestinationNames)
        m_destination->addItem(QString::fromLatin1(name));
    for (size_t i = 0; i < m_env.m_boards.size(); ++i)
        m_parent->addItem(QStr(m_env.m_boards[i].m_strName), static_cast<int>(i));
    for (const char* name : kProcessingNames)
        m_processing->addItem(QString::fromLatin1(name));
}

void CBoardDefDlg::ShowRecord()
{
    m_name->setText(QStr(m_board.m_strName));
    m_subassyId->setText(QStr(m_board.m_strSubassyId));
    m_subassyHardw->setText(QStr(m_board.m_strSubassyHardw));
    m_bootLoader->setText(QStr(m_board.m_strBootLoader));
    m_browseFilter->setText(QStr(m_board.m_strBrowseFilter));
    m_progId->setText(QString::number(m_board.m_nProgId));
    m_relayed->setChecked(m_board.m_bRelayed != 0);
    // An index outside a list shows no choice, and reads back as unset.
    m_destination->setCurrentIndex(m_board.m_nDestination < m_destination->count() ? m_board.m_nDestination : -1);
    m_parent->setCurrentIndex(m_board.m_nParentBoard < m_parent->count() ? m_board.m_nParentBoard : -1);
    m_processing->setCurrentIndex(m_board.m_nProcessing < m_processing->count() ? m_board.m_nProcessing : -1);
    m_maxSpeed->setCurrentIndex(m_board.m_nMaxSpeed < m_maxSpeed->count() ? m_board.m_nMaxSpeed : -1);
    m_erase->setValue(m_board.m_nEraseTimeout);
    m_restart->setValue(m_board.m_nRestartTimeout);
    m_saveSpeed->setCheckState(SaveSpeedState(m_board.m_nSaveSpeed));
    UpdateEnabling();
}

bool CBoardDefDlg::ReadFields()
{
    bool isNumber = false;
    const int progId = m_progId->text().trimmed().toInt(&isNumber);
    if (!isNumber) {
        ShowMessage(kEnterInteger, 0, MB_OK_ONLY, ICON_EXCLAMATION);
        m_progId->setFocus();
        m_progId->selectAll();
        return false;
    }
    m_board.m_strName = StdStr(m_name->text());
    m_board.m_strSubassyId = StdStr(m_subassyId->text());
    m_board.m_strSubassyHardw = StdStr(m_subassyHardw->text());
    m_board.m_strBootLoader = StdStr(m_bootLoader->text());
    m_board.m_strBrowseFilter = StdStr(m_browseFilter->text());
    m_board.m_nProgId = progId;
    m_board.m_bRelayed = m_relayed->isChecked() ? 1 : 0;
    m_board.m_nDestination = m_destination->currentIndex();
    m_board.m_nParentBoard = m_parent->currentIndex();
    m_board.m_nProcessing = m_processing->currentIndex();
    m_board.m_nMaxSpeed = m_maxSpeed->currentIndex();
    m_erase->interpretText();
    m_restart->interpretText();
    m_board.SetEraseTimeout(m_erase->value());
    m_board.SetRestartTimeout(m_restart->value());
    m_board.m_nSaveSpeed = SaveSpeedValue(m_saveSpeed->checkState());
    return true;
}

void CBoardDefDlg::UpdateEnabling()
{
    const bool edit = !IsViewOnly();
    for (QWidget* w : {static_cast<QWidget*>(m_name), static_cast<QWidget*>(m_subassyId),
                       static_cast<QWidget*>(m_subassyHardw), static_cast<QWidget*>(m_bootLoader),
                       static_cast<QWidget*>(m_browseFilter), static_cast<QWidget*>(m_progId),
                       static_cast<QWidget*>(m_relayed), static_cast<QWidget*>(m_destination),
                       static_cast<QWidget*>(m_processing), static_cast<QWidget*>(m_erase),
                       static_cast<QWidget*>(m_restart), static_cast<QWidget*>(m_saveSpeed)})
        w->setEnabled(edit);
    m_maxSpeed->setEnabled(edit && IsSerialDestination(m_destination->currentIndex()));
    m_parent->setEnabled(edit && m_relayed->isChecked());
}

void CBoardDefDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_bFirstShow)
        return;
    m_bFirstShow = false;
    QWidget* field = m_controls[m_nFocusControl];
    if (!field || !field->isEnabled())
        field = m_name;
    field->setFocus();
    if (m_nMode == ENV_MODE_REPAIR && m_nBoardIndex >= 0)
        m_repairTimer.start();
}

void CBoardDefDlg::accept()
{
    m_repairTimer.stop();
    if (!ReadFields())
        return;
    const ValidationResult check = ValidateBoardDef(m_board, m_env);
    if (!check) {
        ShowMessage(check.messageId, 0, MB_OK_ONLY, ICON_EXCLAMATION);
        if (QWidget* field = m_controls[check.field])
            field->setFocus();
        return;
    }
    QDialog::accept();
}

std::vector<MenuCommand> CBoardDefDlg::ContextCommands()
{
    return {
        {ID_BOARD_CUT, "Cu&t", !IsViewOnly(), [this] { Cut(); }},
        {ID_BOARD_COPY, "&Copy", true, [this] { Copy(); }},
        {ID_BOARD_PASTE, "&Paste", !IsViewOnly() && ClipboardHasBoardDef(), [this] { Paste(); }},
        {0, "", false, {}},
        {ID_BOARD_DETAILS, "&Details", false, {}},
    };
}

void CBoardDefDlg::Copy()
{
    if (ReadFields())
        CopyBoardDef(m_board);
}

void CBoardDefDlg::Cut()
{
    if (!ReadFields())
        return;
    CopyBoardDef(m_board);
    m_board.Reset();
    ShowRecord();
}

void CBoardDefDlg::Paste()
{
    if (PasteBoardDef(m_board) == PasteResult::Pasted)
        ShowRecord();
}

void CBoardDefDlg::contextMenuEvent(QContextMenuEvent* event)
{
    const QPoint where =
        event->reason() == QContextMenuEvent::Keyboard ? KeyboardMenuPosition(this) : event->globalPos();
    PopUpMenu(this, ContextCommands(), where);
}
