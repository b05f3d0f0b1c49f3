#include "ui/editors/BoardConfDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "model/ModelFiles.h"
#include "ui/DialogUnits.h"
#include "ui/editors/EditorClipboard.h"

namespace {

constexpr int kSoftIdMax = 12;
constexpr int kReleaseFileMax = 260;
constexpr int MSG_CHOOSE_RELEASE = 24;
const char* const kAnyFile = "*.*";

constexpr int kDialogWidth = 220;
constexpr int kListWidth = 80;

QLabel* MakeLabel(const char* text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setBuddy(buddy);
    return label;
}

}   // namespace

CBoardConfDlg::CBoardConfDlg(const CEnvDef& environment, QWidget* parent) : QDialog(parent), m_env(environment)
{
    setObjectName(QStringLiteral("boardLineDialog"));
    setWindowTitle(QStringLiteral("Transfer board parameters"));
    BuildControls();
    for (size_t i = 0; i < m_env.m_boards.size(); ++i)
        m_board->addItem(QStr(m_env.m_boards[i].m_strName), static_cast<int>(i));
    FillSpeedLists();
    ShowRecord();
}

void CBoardConfDlg::BuildControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    m_board = new QComboBox(this);
    NameControl(m_board, "board", QStringLiteral("Board"));
    m_alone = new QCheckBox(QStringLiteral("Board alone"), this);
    NameControl(m_alone, "boardAlone", QStringLiteral("Board alone"));
    m_restart = new QCheckBox(QStringLiteral("reboot"), this);
    NameControl(m_restart, "reboot", QStringLiteral("reboot"));
    m_transferSpeed = new QComboBox(this);
    NameControl(m_transferSpeed, "transferSpeed", QStringLiteral("Transfer"));
    m_configSpeed = new QComboBox(this);
    NameControl(m_configSpeed, "configSpeed", QStringLiteral("Default config."));
    m_softId = new QLineEdit(this);
    LimitEdit(m_softId, kSoftIdMax);
    NameControl(m_softId, "softId", QStringLiteral("Soft identification"));
    m_releaseFile = new QLineEdit(this);
    LimitEdit(m_releaseFile, kReleaseFileMax);
    NameControl(m_releaseFile, "releaseFile", QStringLiteral("Release file name"));
    m_browse = new QPushButton(QStringLiteral("..."), this);
    NameControl(m_browse, "browse", QStringLiteral("Choose a release file"));
    m_browse->setAutoDefault(false);
    m_browse->setMaximumWidth(du.X(16));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    NameControl(m_ok, "ok", QStringLiteral("OK"));
    NameControl(buttons->button(QDialogButtonBox::Cancel), "cancel", QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CBoardConfDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CBoardConfDlg::reject);

    m_controls.Add(FIELD_LINE_BOARD, m_board);
    m_controls.Add(FIELD_LINE_BOARD_ALONE, m_alone);
    m_controls.Add(IDC_LINE_RESTART, m_restart);
    m_controls.Add(IDC_LINE_TRANSFER_SPEED, m_transferSpeed);
    m_controls.Add(IDC_LINE_CONFIG_SPEED, m_configSpeed);
    m_controls.Add(FIELD_LINE_SOFT_ID, m_softId);
    m_controls.Add(FIELD_LINE_RELEASE_FILE, m_releaseFile);
    m_controls.Add(IDC_LINE_BROWSE, m_browse);
    m_controls.Add(IDC_LINE_OK, m_ok);

    m_board->setMinimumWidth(du.X(kListWidth));
    auto* grid = new QGridLayout;
    grid->addWidget(MakeLabel("Board", m_board, this), 0, 0);
    grid->addWidget(m_board, 0, 1);
    auto* flags = new QHBoxLayout;
    flags->addWidget(m_alone);
    flags->addWidget(m_restart);
    flags->addStretch(1);
    grid->addLayout(flags, 1, 1);
    grid->addWidget(MakeLabel("Transfer", m_transferSpeed, this), 2, 0);
    grid->addWidget(m_transferSpeed, 2, 1);
    grid->addWidget(MakeLabel("Default config.", m_configSpeed, this), 3, 0);
    grid->addWidget(m_configSpeed, 3, 1);
    grid->addWidget(MakeLabel("Soft identification", m_softId, this), 4, 0);
    grid->addWidget(m_softId, 4, 1);
    grid->addWidget(MakeLabel("Release file name", m_releaseFile, this), 5, 0);
    auto* file = new QHBoxLayout;
    file->addWidget(m_releaseFile, 1);
    file->addWidget(m_browse);
    grid->addLayout(file, 5, 1);

    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addStretch(1);
    main->addWidget(buttons);
    setMinimumWidth(du.X(kDialogWidth));

    connect(m_board, &QComboBox::activated, this, &CBoardConfDlg::OnBoardChosen);
    connect(m_alone, &QCheckBox::clicked, this, &CBoardConfDlg::ReadFields);
    connect(m_restart, &QCheckBox::clicked, this, &CBoardConfDlg::ReadFields);
    connect(m_browse, &QPushButton::clicked, this, &CBoardConfDlg::Browse);
}

void CBoardConfDlg::SetLine(const CBoardConf& line)
{
    m_line.CopyFrom(line);
    m_nPreviousBoard = m_line.m_nBoardIndex;
    FillSpeedLists();
    ShowRecord();
}

// Rates 0 up to the chosen board's maximum speed; nothing without a board.
void CBoardConfDlg::FillSpeedLists()
{
    const CBoardDef* board = ChosenBoard();
    const int last = board ? std::min(board->m_nMaxSpeed, static_cast<int>(kBaudRates.size()) - 1) : -1;
    for (QComboBox* list : {m_transferSpeed, m_configSpeed}) {
        list->clear();
        for (int i = 0; i <= last; ++i)
            list->addItem(QStr(BaudText(i)));
    }
}

void CBoardConfDlg::ShowRecord()
{
    m_board->setCurrentIndex(m_board->findData(m_line.m_nBoardIndex));
    m_alone->setChecked(m_line.m_bBoardAlone != 0);
    m_restart->setChecked(m_line.m_bRestart != 0);
    // A speed beyond the lists shows no choice and reads back as unset.
    m_transferSpeed->setCurrentIndex(m_line.m_nTransferSpeed < m_transferSpeed->count() ? m_line.m_nTransferSpeed : -1);
    m_configSpeed->setCurrentIndex(m_line.m_nConfigSpeed < m_configSpeed->count() ? m_line.m_nConfigSpeed : -1);
    m_softId->setText(QStr(m_line.m_strSoftId));
    m_releaseFile->setText(QStr(m_line.m_strReleaseFile));
    UpdateEnabling();
}

void CBoardConfDlg::ReadFields()
{
    const QVariant board = m_board->currentData();
    m_line.m_nBoardIndex = board.isValid() ? board.toInt() : -1;
    m_line.m_bBoardAlone = m_alone->isChecked() ? 1 : 0;
    m_line.m_bRestart = m_restart->isChecked() ? 1 : 0;
    m_line.m_nTransferSpeed = m_transferSpeed->currentIndex();
    m_line.m_nConfigSpeed = m_configSpeed->currentIndex();
    m_line.m_strSoftId = StdStr(m_softId->text());
    m_line.m_strReleaseFile = StdStr(m_releaseFile->text());
}

void CBoardConfDlg::UpdateEnabling()
{
    const CBoardDef* board = ChosenBoard();
    const bool chosen = board != nullptr;
    const bool serial = chosen && board->HasSerialDestination();
    for (QWidget* w : {static_cast<QWidget*>(m_releaseFile), static_cast<QWidget*>(m_browse),
                       static_cast<QWidget*>(m_softId), static_cast<QWidget*>(m_restart),
                       static_cast<QWidget*>(m_ok)})
        w->setEnabled(chosen);
    m_transferSpeed->setEnabled(serial);
    m_configSpeed->setEnabled(serial);
    m_alone->setEnabled(serial && board->m_bRelayed);
}

void CBoardConfDlg::OnBoardChosen()
{
    const QVariant data = m_board->currentData();
    const int chosen = data.isValid() ? data.toInt() : -1;
    if (chosen == m_nPreviousBoard)
        return;
    m_nPreviousBoard = chosen;
    ReadFields();
    FillSpeedLists();
    if (const CBoardDef* board = ChosenBoard())
        m_line.m_bBoardAlone = board->m_bRelayed ? 0 : 1;
    ShowRecord();
}

void CBoardConfDlg::Browse()
{
    const CBoardDef* board = ChosenBoard();
    if (!board)
        return;
    ReadFields();
    const std::string pattern = board->m_strBrowseFilter.empty() ? kAnyFile : board->m_strBrowseFilter;
    std::string path = m_line.m_strReleaseFile;
    if (!Host().PromptFileName(GetString(MSG_CHOOSE_RELEASE), path, "Release (" + pattern + ")", pattern,
                               App().m_strLastSflPath, true))
        return;
    m_line.m_strReleaseFile = FileNamePart(path);
    ShowRecord();
}

void CBoardConfDlg::accept()
{
    ReadFields();
    const ValidationResult check = ValidateBoardLine(m_line, m_env);
    if (!check) {
        ShowMessage(check.messageId, 0, MB_OK_ONLY, ICON_EXCLAMATION);
        if (QWidget* field = m_controls[check.field])
            field->setFocus();
        return;
    }
    m_line.m_strBoardName = ChosenBoard()->m_strName;
    QDialog::accept();
}

std::vector<MenuCommand> CBoardConfDlg::ContextCommands()
{
    return {
        {ID_LINE_CUT, "Cu&t", true, [this] { Cut(); }},
        {ID_LINE_COPY, "&Copy", true, [this] { Copy(); }},
        {ID_LINE_PASTE, "&Paste", ClipboardHasBoardConf(), [this] { Paste(); }},
        {0, "", false, {}},
        {ID_LINE_DETAILS, "&Details", false, {}},
    };
}

void CBoardConfDlg::Copy()
{
    ReadFields();
    CopyBoardConf(m_line);
}

void CBoardConfDlg::Cut()
{
    Copy();
    m_line.Reset();
    m_nPreviousBoard = -1;
    FillSpeedLists();
    ShowRecord();
}

void CBoardConfDlg::Paste()
{
    if (PasteBoardConf(m_line) != PasteResult::Pasted)
        return;
    m_nPreviousBoard = m_line.m_nBoardIndex;
    FillSpeedLists();
    ShowRecord();
}

void CBoardConfDlg::contextMenuEvent(QContextMenuEvent* event)
{
    const QPoint where =
        event->reason() == QContextMenuEvent::Keyboard ? KeyboardMenuPosition(this) : event->globalPos();
    PopUpMenu(this, ContextCommands(), where);
}
