#include "ui/editors/TransferDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <set>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "ui/DialogUnits.h"
#include "ui/editors/BoardConfDlg.h"
#include "ui/editors/BoardDefDlg.h"
#include "ui/editors/EditorClipboard.h"

namespace {

constexpr int kDialogWidth = 399;
constexpr int kDialogHeight = 167;
constexpr int MSG_SAME_BOARD = 13;
constexpr int MSG_CONTINUE = 23;
constexpr int MSG_CHANGES_LOST = 75;
constexpr int CAPTION_ERROR = 28;
constexpr int CAPTION_WARNING = 30;
constexpr int TEXT_YES = 115;
constexpr int TEXT_NO = 116;
constexpr int TEXT_UNUSED = 117;

const std::vector<ReportColumn> kLineColumns = {
    {118, 122, Qt::AlignHCenter}, {119, 90, Qt::AlignHCenter}, {120, 60, Qt::AlignHCenter},
    {121, 60, Qt::AlignRight},    {122, 50, Qt::AlignHCenter}, {112, 60, Qt::AlignHCenter},
    {124, 75, Qt::AlignHCenter},
};

QString YesNo(int flag) { return Text(flag ? TEXT_YES : TEXT_NO); }

// The texts of one line's row; `board` is its board definition (null when unknown).
std::vector<QString> LineRowTexts(const CBoardConf& line, const CBoardDef* board)
{
    const bool speedUsed = board && (!board->m_bRelayed || board->HasSerialDestination());
    QString destination = Text(TEXT_UNUSED);
    if (!line.m_bBoardAlone)
        destination = board ? QStr(DestinationName(board->m_nDestination)) : QString();
    return {QStr(line.m_strBoardName),
            QStr(line.m_strSoftId),
            YesNo(line.m_bRestart),
            speedUsed ? QStr(BaudText(line.m_nTransferSpeed)) : Text(TEXT_UNUSED),
            YesNo(line.m_bBoardAlone),
            destination,
            QStr(line.m_strReleaseFile)};
}

int LineRowImage(const CBoardConf& line, const CBoardDef* board)
{
    if (board && board->m_strSubassyId.rfind("UC", 0) == 0)
        return ROW_IMAGE_UNIT;
    return line.m_bBoardAlone ? ROW_IMAGE_DIRECT : ROW_IMAGE_RELAYED;
}

bool SameBoardTwice(const std::vector<CBoardConf>& lines)
{
    std::set<int> boards;
    for (const CBoardConf& line : lines)
        if (!boards.insert(line.m_nBoardIndex).second)
            return true;
    return false;
}

}   // namespace

bool LinesDiffer(const std::vector<CBoardConf>& a, const std::vector<CBoardConf>& b)
{
    if (a.size() != b.size())
        return true;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].IsDifferent(b[i]))
            return true;
    return false;
}

CTransferDlg::CTransferDlg(int mode, const std::vector<CEnvDef>& environments,
                           const std::vector<CBoardConf>& requestLines, QWidget* parent)
    : QDialog(parent), m_nMode(mode), m_envs(environments), m_requestLines(requestLines)
{
    setObjectName(QStringLiteral("transferDialog"));
    setWindowTitle(QStringLiteral("Transfer"));
    BuildControls();
    for (const CEnvDef& env : m_envs)
        m_envList->addItem(QStr(env.m_strName));

    if (m_nMode != TRANSFER_MODE_NEW && !m_requestLines.empty()) {
        m_lines = m_requestLines;
        const int env = m_requestLines.front().m_nEnvIndex;
        if (env >= 0 && static_cast<size_t>(env) < m_envs.size()) {
            m_nSel = env;
            m_work = m_envs[static_cast<size_t>(env)];
            m_envList->setCurrentIndex(env);
        }
    } else {
        m_envList->setCurrentIndex(-1);
    }
    ListLines();
    UpdateButtons();
    if (m_nMode == TRANSFER_MODE_NEW)
        m_envList->setFocus();
    else
        m_list->setFocus();
}

void CTransferDlg::BuildControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    m_envList = new QComboBox(this);
    NameControl(m_envList, "environment", QStringLiteral("Environment"));
    auto* envLabel = new QLabel(QStringLiteral("Environment"), this);
    envLabel->setBuddy(m_envList);
    m_list = new CReportList(kLineColumns, this);
    NameControl(m_list, "boardLines", QStringLiteral("Board lines"));
    m_add = new QPushButton(QStringLiteral("&Add"), this);
    NameControl(m_add, "add", QStringLiteral("Add"));
    m_delete = new QPushButton(QStringLiteral("De&lete"), this);
    NameControl(m_delete, "delete", QStringLiteral("Delete"));
    m_details = new QPushButton(QStringLiteral("&Details"), this);
    NameControl(m_details, "details", QStringLiteral("Details"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    NameControl(m_ok, "ok", QStringLiteral("OK"));
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    NameControl(cancel, "cancel", QStringLiteral("Cancel"));
    for (QPushButton* b : {m_add, m_delete, m_details})
        b->setAutoDefault(false);

    m_controls.Add(IDC_TRANSFER_ENVIRONMENT, m_envList);
    m_controls.Add(IDC_TRANSFER_LIST, m_list);
    m_controls.Add(IDC_TRANSFER_ADD, m_add);
    m_controls.Add(IDC_TRANSFER_DELETE, m_delete);
    m_controls.Add(IDC_TRANSFER_DETAILS, m_details);
    m_controls.Add(IDC_TRANSFER_OK, m_ok);
    m_controls.Add(IDC_TRANSFER_CANCEL, cancel);

    auto* top = new QHBoxLayout;
    top->addWidget(envLabel);
    top->addWidget(m_envList, 1);
    top->addStretch(1);
    auto* side = new QVBoxLayout;
    side->addWidget(buttons);
    side->addStretch(1);
    side->addWidget(m_add);
    side->addWidget(m_details);
    side->addWidget(m_delete);
    auto* body = new QHBoxLayout;
    body->addWidget(m_list, 1);
    body->addLayout(side);
    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addLayout(body, 1);
    resize(du.Size(kDialogWidth, kDialogHeight));

    connect(m_envList, &QComboBox::activated, this, &CTransferDlg::ChooseEnvironment);
    connect(m_add, &QPushButton::clicked, this, &CTransferDlg::Add);
    connect(m_details, &QPushButton::clicked, this, &CTransferDlg::Details);
    connect(m_delete, &QPushButton::clicked, this, &CTransferDlg::Delete);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTransferDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CTransferDlg::reject);
    connect(m_list, &CReportList::rowDoubleClicked, this, &CTransferDlg::Details);
    connect(m_list, &CReportList::emptyDoubleClicked, this, [this] {
        if (!IsViewOnly())
            Add();
    });
    connect(m_list, &CReportList::menuRequested, this,
            [this](const QPoint& where) { PopUpMenu(this, ContextCommands(), where); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CTransferDlg::UpdateButtons);
}

void CTransferDlg::UpdateButtons()
{
    const bool edit = !IsViewOnly();
    const bool envChosen = m_nSel >= 0;
    m_envList->setEnabled(edit);
    m_add->setEnabled(edit && envChosen);
    m_details->setEnabled(edit && envChosen);
    m_delete->setEnabled(edit && envChosen);
    m_ok->setEnabled(!m_lines.empty());
}

void CTransferDlg::ShowRow(int row)
{
    const CBoardConf& line = m_lines[static_cast<size_t>(row)];
    const CBoardDef* board = m_work.Board(line.m_nBoardIndex);
    m_list->SetRow(row, LineRowTexts(line, board), LineRowImage(line, board));
}

void CTransferDlg::ListLines()
{
    m_list->clear();
    for (size_t i = 0; i < m_lines.size(); ++i)
        ShowRow(static_cast<int>(i));
}

void CTransferDlg::ChooseEnvironment(int index)
{
    if (index == m_nSel || index < 0 || static_cast<size_t>(index) >= m_envs.size())
        return;
    // Lines built or changed here would be dropped: ask first.
    if (!m_lines.empty() && LinesDiffer(m_lines, m_requestLines)) {
        const std::string text = GetString(MSG_CHANGES_LOST) + GetString(MSG_CONTINUE);
        if (ShowMessage(text, CAPTION_WARNING, MB_YES_NO, ICON_QUESTION) != ANSWER_YES) {
            m_envList->setCurrentIndex(m_nSel);
            return;
        }
    }
    m_nSel = index;
    m_work = m_envs[static_cast<size_t>(index)];
    m_lines.clear();
    if (m_nMode == TRANSFER_MODE_EDIT && !m_requestLines.empty() && m_requestLines.front().m_nEnvIndex == index)
        m_lines = m_requestLines;
    ListLines();
    UpdateButtons();
}

void CTransferDlg::CompleteLine(CBoardConf& line) const
{
    line.m_nEnvIndex = m_nSel;
    if (const CBoardDef* board = m_work.Board(line.m_nBoardIndex))
        line.m_strSubassyHardw = board->m_strSubassyHardw;
    line.m_strEnvName = m_work.m_strName;
}

void CTransferDlg::Add()
{
    if (m_nSel < 0)
        return;
    CBoardConfDlg dlg(m_work, this);
    if (dlg.exec() == QDialog::Accepted) {
        CBoardConf line = dlg.Line();
        CompleteLine(line);
        m_lines.push_back(line);
        ShowRow(static_cast<int>(m_lines.size()) - 1);
        UpdateButtons();
    }
    m_list->setFocus();
}

int CTransferDlg::DetailsRow() const
{
    if (m_lines.size() == 1)
        return 0;
    return m_list->SelectedRow();
}

void CTransferDlg::Details()
{
    const int row = DetailsRow();
    if (m_nSel < 0 || row < 0)
        return;
    CBoardConfDlg dlg(m_work, this);
    dlg.SetLine(m_lines[static_cast<size_t>(row)]);
    if (dlg.exec() != QDialog::Accepted)
        return;
    CBoardConf line = dlg.Line();
    CompleteLine(line);
    m_lines[static_cast<size_t>(row)] = line;
    ShowRow(row);
}

void CTransferDlg::Delete()
{
    const int row = m_list->SelectedRow();
    if (row < 0 || IsViewOnly())
        return;
    m_lines.erase(m_lines.begin() + row);
    m_list->RemoveRow(row);
    UpdateButtons();
    m_list->SelectRow(RowAfterRemoval(row, m_list->RowCount()));
}

void CTransferDlg::ShowBoardDefinition()
{
    const int row = m_list->SelectedRow();
    if (row < 0)
        return;
    const int board = m_lines[static_cast<size_t>(row)].m_nBoardIndex;
    if (!m_work.Board(board))
        return;
    CBoardDefDlg dlg(ENV_MODE_VIEW, m_work, board, -1, this);
    dlg.exec();
}

std::vector<MenuCommand> CTransferDlg::ContextCommands()
{
    const bool row = m_list->SelectedRow() >= 0;
    const bool edit = !IsViewOnly();
    return {
        {ID_LINES_CUT, "Cu&t", row && edit, [this] { Cut(); }},
        {ID_LINES_COPY, "&Copy", row, [this] { Copy(); }},
        {ID_LINES_PASTE, "&Paste", edit && ClipboardHasBoardConf(), [this] { Paste(); }},
        {0, "", false, {}},
        {ID_LINES_DETAILS, "&Details", row, [this] { Details(); }},
        {ID_LINES_BOARD_DEFINITION, "&Board definition", row, [this] { ShowBoardDefinition(); }},
    };
}

void CTransferDlg::Copy()
{
    const int row = m_list->SelectedRow();
    if (row >= 0)
        CopyBoardConf(m_lines[static_cast<size_t>(row)]);
}

void CTransferDlg::Cut()
{
    if (IsViewOnly())
        return;
    Copy();
    Delete();
}

// Only a line of the selected environment is taken: its environment index
// and name, and a board index of that environment.
void CTransferDlg::Paste()
{
    CBoardConf line;
    if (IsViewOnly() || PasteBoardConf(line) != PasteResult::Pasted)
        return;
    if (m_nSel < 0 || line.m_nEnvIndex != m_nSel || line.m_strEnvName != m_work.m_strName ||
        !m_work.Board(line.m_nBoardIndex))
        return;
    int row = m_list->SelectedRow();
    if (row < 0) {
        m_lines.push_back(line);
        row = static_cast<int>(m_lines.size()) - 1;
    } else {
        m_lines[static_cast<size_t>(row)] = line;
    }
    ShowRow(row);
    UpdateButtons();
}

void CTransferDlg::accept()
{
    if (IsViewOnly()) {
        QDialog::accept();   // at once: the caller takes nothing back in this mode
        return;
    }
    if (m_lines.empty()) {
        Host().Beep(BEEP_EXCLAMATION);
        return;
    }
    if (SameBoardTwice(m_lines)) {
        // The exclamation beep, then a stop box.
        Host().Beep(BEEP_EXCLAMATION);
        Host().MessageBox(GetString(MSG_SAME_BOARD), GetString(CAPTION_ERROR), MB_OK_ONLY, ICON_STOP);
        return;
    }
    QDialog::accept();
}
