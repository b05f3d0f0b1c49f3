#include "ui/editors/EnvDefDlg.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>


#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "model/ModelFiles.h"
#include "ui/DialogUnits.h"
#include "ui/controls/StateLabel.h"
#include "ui/editors/BoardDefDlg.h"
#include "ui/editors/EditorClipboard.h"
#include "ui/editors/NewEnvDlg.h"

namespace {

constexpr int kDialogWidth = 396;
constexpr int kDialogHeight = 223;
constexpr int kOpenBoardDelayMs = 1;

constexpr int MSG_CONTINUE = 23;
constexpr int MSG_FILE_ERASED = 27;
constexpr int MSG_SURE = 31;
constexpr int MSG_SAVE_CHANGES = 32;
constexpr int MSG_CANNOT_REMOVE = 35;
constexpr int MSG_READ_ERROR = 37;
constexpr int MSG_SELECT_BOARD = 77;
constexpr int TEXT_UNTITLED_DEF = 156;
constexpr int CAPTION_ERROR = 28;
constexpr int CAPTION_WARNING = 30;
constexpr int TEXT_YES = 115;
constexpr int TEXT_NO = 116;
constexpr int TEXT_UNUSED = 117;
const char* const kAnyFile = "*.*";
const QColor kPathText(255, 255, 255);
const QColor kPathBackground(127, 127, 127);

// The rights of each mode; an unknown mode is treated as view-only.
const EnvModeRights kModeRights[] = {
    {ENV_MODE_NEW, false, true, true, true},
    {ENV_MODE_EDIT, true, true, true, true},
    {ENV_MODE_VIEW, false, false, false, false},
    {ENV_MODE_REPAIR, false, false, true, true},
    {ENV_MODE_CHOOSE_BOARD, false, false, false, false},
};

const std::vector<ReportColumn> kBoardColumns = {
    {107, 123, Qt::AlignHCenter}, {108, 90, Qt::AlignHCenter}, {109, 45, Qt::AlignHCenter},
    {110, 40, Qt::AlignHCenter},  {111, 55, Qt::AlignHCenter}, {112, 52, Qt::AlignHCenter},
    {113, 40, Qt::AlignHCenter},  {114, 58, Qt::AlignRight},
};

std::vector<QString> BoardRowTexts(const CBoardDef& b)
{
    return {QStr(b.m_strName),
            QStr(b.m_strSubassyId + b.m_strSubassyHardw),
            QStr(b.m_strBootLoader),
            QString::asprintf("%2d", b.m_nProgId),
            Text(b.m_bRelayed ? TEXT_YES : TEXT_NO),
            QStr(DestinationName(b.m_nDestination)),
            b.m_strBrowseFilter.empty() ? QString::fromLatin1(kAnyFile) : QStr(b.m_strBrowseFilter),
            b.HasSerialDestination() ? QStr(BaudText(b.m_nMaxSpeed)) : Text(TEXT_UNUSED)};
}

int BoardRowImage(const CBoardDef& b)
{
    if (b.m_strSubassyId.rfind('U', 0) == 0)
        return ROW_IMAGE_UNIT;
    return b.m_bRelayed ? ROW_IMAGE_RELAYED : ROW_IMAGE_DIRECT;
}

// After board `removed` left the list: links to it are cut (the board must
// get a parent again), links to the boards after it follow them.
void FollowRemovedBoard(std::vector<CBoardDef>& boards, int removed)
{
    for (CBoardDef& b : boards) {
        if (b.m_nParentBoard == removed)
            b.m_nParentBoard = -1;
        else if (b.m_nParentBoard > removed)
            --b.m_nParentBoard;
    }
}

QPushButton* MakeButton(const char* text, const char* objectName, const char* accessible, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    NameControl(button, objectName, QString::fromLatin1(accessible));
    button->setAutoDefault(false);
    return button;
}

}   // namespace

const EnvModeRights& RightsOfMode(int mode)
{
    for (const EnvModeRights& r : kModeRights)
        if (r.mode == mode)
            return r;
    return kModeRights[2];
}

CEnvDefDlg::CEnvDefDlg(int mode, const std::vector<CEnvDef>& environments, int envIndex, int boardIndex,
                       QWidget* parent)
    : QDialog(parent), m_nMode(mode), m_envs(environments)
{
    setObjectName(QStringLiteral("environmentDialog"));
    setWindowTitle(QStringLiteral("Environment definition"));
    BuildControls();
    for (const CEnvDef& env : m_envs)
        m_envList->addItem(QStr(env.m_strName));
    if (!m_envs.empty())
        SelectEnvironment(envIndex >= 0 && static_cast<size_t>(envIndex) < m_envs.size() ? envIndex : 0);
    else
        m_envList->setCurrentIndex(-1);
    ShowPath();
    UpdateButtons();

    if (m_work.Board(boardIndex)) {
        m_list->SelectRow(boardIndex);
        QTimer::singleShot(kOpenBoardDelayMs, this, [this] { BoardDetails(); });
    } else {
        m_envList->setFocus();
    }
}

void CEnvDefDlg::BuildControls()
{
    m_envList = new QComboBox(this);
    NameControl(m_envList, "environment", QStringLiteral("Environment"));
    m_new = MakeButton("&New", "new", "New environment", this);
    m_deleteEnv = MakeButton("De&lete", "deleteEnvironment", "Delete environment", this);
    m_load = MakeButton("L&oad", "load", "Load", this);
    m_save = MakeButton("&Save", "save", "Save environment", this);
    m_path = new CStateLabel(this);
    NameControl(m_path, "filePath", QStringLiteral("Environment file"));
    m_path->SetDefaultStyle(kPathText, kPathBackground);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setMargin(2);
    m_list = new CReportList(kBoardColumns, this);
    NameControl(m_list, "boards", QStringLiteral("Boards"));
    m_add = MakeButton("&Add", "addBoard", "Add board", this);
    m_details = MakeButton("&Details", "boardDetails", "Board details", this);
    m_deleteBoard = MakeButton("Dele&te", "deleteBoard", "Delete board", this);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    NameControl(m_ok, "ok", QStringLiteral("OK"));
    m_ok->setDefault(true);
    m_cancel = MakeButton("Cancel", "cancel", "Cancel", this);

    m_controls.Add(IDC_ENV_LIST, m_envList);
    m_controls.Add(IDC_ENV_NEW, m_new);
    m_controls.Add(IDC_ENV_DELETE, m_deleteEnv);
    m_controls.Add(IDC_ENV_LOAD, m_load);
    m_controls.Add(IDC_ENV_SAVE, m_save);
    m_controls.Add(IDC_ENV_PATH, m_path);
    m_controls.Add(IDC_ENV_BOARDS, m_list);
    m_controls.Add(IDC_ENV_ADD_BOARD, m_add);
    m_controls.Add(IDC_ENV_BOARD_DETAILS, m_details);
    m_controls.Add(IDC_ENV_DELETE_BOARD, m_deleteBoard);
    m_controls.Add(IDC_ENV_OK, m_ok);
    m_controls.Add(IDC_ENV_CANCEL, m_cancel);

    auto* envGroup = new QGroupBox(QStringLiteral(" Environment "), this);
    auto* envRow = new QHBoxLayout;
    envRow->addWidget(m_envList, 1);
    for (QPushButton* b : {m_new, m_deleteEnv, m_load, m_save})
        envRow->addWidget(b);
    auto* envLayout = new QVBoxLayout(envGroup);
    envLayout->addLayout(envRow);
    envLayout->addWidget(m_path);

    auto* boardGroup = new QGroupBox(QStringLiteral(" Boards "), this);
    auto* boardButtons = new QVBoxLayout;
    for (QPushButton* b : {m_add, m_details, m_deleteBoard})
        boardButtons->addWidget(b);
    boardButtons->addStretch(1);
    auto* boardLayout = new QHBoxLayout(boardGroup);
    boardLayout->addWidget(m_list, 1);
    boardLayout->addLayout(boardButtons);

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(m_ok);
    closeRow->addWidget(m_cancel);

    auto* main = new QVBoxLayout(this);
    main->addWidget(envGroup);
    main->addWidget(boardGroup, 1);
    main->addLayout(closeRow);
    resize(CDialogUnits::Of(this).Size(kDialogWidth, kDialogHeight));

    connect(m_envList, &QComboBox::activated, this, &CEnvDefDlg::ChooseEnvironment);
    connect(m_new, &QPushButton::clicked, this, &CEnvDefDlg::NewEnvironment);
    connect(m_deleteEnv, &QPushButton::clicked, this, &CEnvDefDlg::DeleteEnvironment);
    connect(m_save, &QPushButton::clicked, this, &CEnvDefDlg::Save);
    connect(m_add, &QPushButton::clicked, this, &CEnvDefDlg::AddBoard);
    connect(m_details, &QPushButton::clicked, this, [this] { BoardDetails(); });
    connect(m_deleteBoard, &QPushButton::clicked, this, &CEnvDefDlg::DeleteBoard);
    connect(m_ok, &QPushButton::clicked, this, &CEnvDefDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CEnvDefDlg::reject);
    connect(m_list, &CReportList::rowDoubleClicked, this, [this] {
        if (m_nMode == ENV_MODE_CHOOSE_BOARD)
            accept();
        else
            BoardDetails();
    });
    connect(m_list, &CReportList::emptyDoubleClicked, this, [this] {
        if (RightsOfMode(m_nMode).saveAndAdd && m_nSel >= 0)
            AddBoard();
    });
    connect(m_list, &CReportList::menuRequested, this,
            [this](const QPoint& where) { PopUpMenu(this, ContextCommands(), where); });
}

int CEnvDefDlg::SelectedBoard() const { return m_list->SelectedRow(); }

bool CEnvDefDlg::IsChanged() const
{
    if (m_nMode == ENV_MODE_NEW)
        return true;
    return m_nSel >= 0 && static_cast<size_t>(m_nSel) < m_envs.size() &&
           m_work.IsDifferent(m_envs[static_cast<size_t>(m_nSel)]);
}

int CEnvDefDlg::BoardDialogMode() const
{
    return RightsOfMode(m_nMode).saveAndAdd ? m_nMode : ENV_MODE_VIEW;
}

void CEnvDefDlg::UpdateButtons()
{
    const EnvModeRights& rights = RightsOfMode(m_nMode);
    const bool env = m_nSel >= 0;
    const bool boards = env && !m_work.m_boards.empty();
    m_new->setEnabled(rights.newEnv);
    m_deleteEnv->setEnabled(rights.deleteEnv && env);
    m_save->setEnabled(rights.saveAndAdd && env);
    m_add->setEnabled(rights.saveAndAdd && env);
    m_details->setEnabled(rights.boardDetailsAndDelete && boards);
    m_deleteBoard->setEnabled(rights.boardDetailsAndDelete && boards);
    m_load->setEnabled(false);
    m_cancel->setEnabled(!m_bFilesChanged);
}

void CEnvDefDlg::ShowRow(int row)
{
    const CBoardDef& board = m_work.m_boards[static_cast<size_t>(row)];
    m_list->SetRow(row, BoardRowTexts(board), BoardRowImage(board));
}

void CEnvDefDlg::ListBoards()
{
    m_list->clear();
    for (size_t i = 0; i < m_work.m_boards.size(); ++i)
        ShowRow(static_cast<int>(i));
}

void CEnvDefDlg::ShowPath() { m_path->SetText(QStr(m_work.m_strFilePath)); }

void CEnvDefDlg::SelectEnvironment(int index)
{
    m_nSel = index;
    m_work = m_envs[static_cast<size_t>(index)];
    m_envList->setCurrentIndex(index);
    ListBoards();
    ShowPath();
    UpdateButtons();
}

bool CEnvDefDlg::SaveChangesFirst()
{
    if (m_work.m_boards.empty() || !IsChanged())
        return true;
    switch (ShowMessage(MSG_SAVE_CHANGES, CAPTION_WARNING, MB_YES_NO_CANCEL, ICON_QUESTION)) {
    case ANSWER_YES: return Save();
    case ANSWER_NO: return true;
    default: return false;
    }
}

void CEnvDefDlg::ChooseEnvironment(int index)
{
    if (index == m_nSel || index < 0 || static_cast<size_t>(index) >= m_envs.size())
        return;
    if (!SaveChangesFirst()) {
        m_envList->setCurrentIndex(m_nSel);
        return;
    }
    if (m_nMode == ENV_MODE_NEW) {
        // The new environment was never saved: its entry goes.
        m_envList->removeItem(static_cast<int>(m_envs.size()));
        m_nMode = ENV_MODE_EDIT;
    } else {
        CEnvDef& env = m_envs[static_cast<size_t>(index)];
        CEnvDef fresh;
        if (LoadEnvironmentFile(env.m_strFilePath, fresh, m_nMode) == 1)
            env = fresh;
        else
            ShowMessage(FormatString(MSG_READ_ERROR, {env.m_strFilePath}), CAPTION_ERROR, MB_OK_ONLY, ICON_EXCLAMATION);
    }
    SelectEnvironment(index);
}

void CEnvDefDlg::NewEnvironment()
{
    if (!SaveChangesFirst())
        return;
    CNewEnvDlg prompt(this);
    if (prompt.exec() != QDialog::Accepted)
        return;
    m_nMode = ENV_MODE_NEW;
    m_work.Reset();
    m_work.m_strName = prompt.Name();
    m_work.m_strFilePath = DirectoryWithSlash(App().m_strEnvDir) + GetString(TEXT_UNTITLED_DEF);
    m_nSel = static_cast<int>(m_envs.size());
    m_envList->addItem(QStr(m_work.m_strName));
    m_envList->setCurrentIndex(m_nSel);
    ListBoards();
    ShowPath();
    UpdateButtons();
    m_envList->setFocus();
}

void CEnvDefDlg::DeleteEnvironment()
{
    if (m_nSel < 0 || !RightsOfMode(m_nMode).deleteEnv)
        return;
    if (ShowMessage(MSG_SURE, CAPTION_WARNING, MB_YES_NO, ICON_QUESTION) != ANSWER_YES)
        return;
    if (m_nMode != ENV_MODE_NEW) {
        const std::string& path = m_work.m_strFilePath;
        const std::string question = FormatString(MSG_FILE_ERASED, {path}) + GetString(MSG_CONTINUE);
        if (ShowMessage(question, CAPTION_WARNING, MB_YES_NO, ICON_EXCLAMATION) != ANSWER_YES)
            return;
        if (!QFile::remove(QStr(path))) {
            ShowMessage(FormatString(MSG_CANNOT_REMOVE, {path}), CAPTION_WARNING, MB_OK_ONLY, ICON_EXCLAMATION);
            return;
        }
        m_bFilesChanged = true;
        m_envs.erase(m_envs.begin() + m_nSel);
    }
    m_envList->removeItem(m_nSel);
    const int next = m_nSel > 0 ? m_nSel - 1 : (m_envs.empty() ? -1 : 0);
    m_nMode = ENV_MODE_EDIT;
    if (next >= 0) {
        SelectEnvironment(next);
    } else {
        m_nSel = -1;
        m_work.Reset();
        ListBoards();
        ShowPath();
        UpdateButtons();
    }
    m_new->setFocus();
}

bool CEnvDefDlg::Save()
{
    if (m_nSel < 0)
        return false;
    ValidationResult failure;
    const int check = CheckEnvironmentForSave(m_work, &failure);
    if (check >= 0) {
        m_list->SelectRow(check);
        BoardDetails(failure.field);
        return false;
    }
    if (check != ENV_CHECK_OK)
        return false;
    std::string path = m_work.m_strFilePath;
    if (!Host().PromptFileName(GetString(ENV_SAVE_TITLE_ID), path, GetString(ENV_FILTER_NAME_ID),
                               GetString(ENV_FILTER_PATTERN_ID), App().m_strEnvDir, false))
        return false;
    // Only the .def files of the environment directory are read back: a file
    // saved under another name or elsewhere would vanish from every list.
    path = EnvironmentFileName(path);
    if (!IsInDirectory(path, App().m_strEnvDir)) {
        ShowMessage("\"" + path + "\" is not in the environment directory \"" + App().m_strEnvDir +
                        "\".\r\nEnvironments are read from that directory only.\r\n",
                    CAPTION_WARNING, MB_OK_ONLY, ICON_EXCLAMATION);
        return false;
    }
    if (!SaveEnvironmentFile(m_work, path)) {
        ShowMessage("The \"" + path + "\" file cannot be written.\r\nThe environment is not saved.\r\n",
                    CAPTION_ERROR, MB_OK_ONLY, ICON_EXCLAMATION);
        return false;
    }
    m_bFilesChanged = true;
    m_work.m_strFilePath = AbsolutePath(path);
    if (m_nMode == ENV_MODE_NEW) {
        m_envs.push_back(m_work);
        m_nMode = ENV_MODE_EDIT;
    } else {
        m_envs[static_cast<size_t>(m_nSel)] = m_work;
    }
    ShowPath();
    UpdateButtons();
    return true;
}

void CEnvDefDlg::AddBoard()
{
    if (m_nSel < 0 || !RightsOfMode(m_nMode).saveAndAdd)
        return;
    CBoardDefDlg dlg(BoardDialogMode(), m_work, -1, -1, this);
    if (dlg.exec() == QDialog::Accepted) {
        m_work.m_boards.push_back(dlg.Board());
        ShowRow(static_cast<int>(m_work.m_boards.size()) - 1);
        UpdateButtons();
    }
    m_list->setFocus();
}

void CEnvDefDlg::BoardDetails(int focusControl)
{
    const int row = SelectedBoard();
    if (!m_work.Board(row))
        return;
    CBoardDefDlg dlg(BoardDialogMode(), m_work, row, focusControl, this);
    if (dlg.exec() != QDialog::Accepted || BoardDialogMode() == ENV_MODE_VIEW)
        return;
    m_work.m_boards[static_cast<size_t>(row)] = dlg.Board();
    ShowRow(row);
}

void CEnvDefDlg::DeleteBoard()
{
    const int row = SelectedBoard();
    if (!m_work.Board(row) || !RightsOfMode(m_nMode).boardDetailsAndDelete)
        return;
    m_work.m_boards.erase(m_work.m_boards.begin() + row);
    FollowRemovedBoard(m_work.m_boards, row);
    m_list->RemoveRow(row);
    UpdateButtons();
    m_list->SelectRow(RowAfterRemoval(row, m_list->RowCount()));
}

std::vector<MenuCommand> CEnvDefDlg::ContextCommands()
{
    const EnvModeRights& rights = RightsOfMode(m_nMode);
    const bool row = SelectedBoard() >= 0;
    return {
        {ID_BOARD_CUT, "Cu&t", row && rights.boardDetailsAndDelete, [this] { Cut(); }},
        {ID_BOARD_COPY, "&Copy", row, [this] { Copy(); }},
        {ID_BOARD_PASTE, "&Paste", m_nSel >= 0 && rights.saveAndAdd && ClipboardHasBoardDef(),
         [this] { Paste(); }},
        {0, "", false, {}},
        {ID_BOARD_DETAILS, "&Details", row, [this] { BoardDetails(); }},
    };
}

void CEnvDefDlg::Copy()
{
    if (const CBoardDef* board = m_work.Board(SelectedBoard()))
        CopyBoardDef(*board);
}

void CEnvDefDlg::Cut()
{
    if (!RightsOfMode(m_nMode).boardDetailsAndDelete)
        return;
    Copy();
    DeleteBoard();
}

void CEnvDefDlg::Paste()
{
    CBoardDef board;
    if (m_nSel < 0 || !RightsOfMode(m_nMode).saveAndAdd || PasteBoardDef(board) != PasteResult::Pasted)
        return;
    // A parent index from another environment is kept only when it can name a board here.
    if (board.m_nParentBoard < 0 || static_cast<size_t>(board.m_nParentBoard) >= m_work.m_boards.size())
        board.m_nParentBoard = -1;
    int row = SelectedBoard();
    if (row < 0) {
        m_work.m_boards.push_back(board);
        row = static_cast<int>(m_work.m_boards.size()) - 1;
    } else {
        m_work.m_boards[static_cast<size_t>(row)] = board;
    }
    ShowRow(row);
    UpdateButtons();
}

void CEnvDefDlg::accept()
{
    if (IsChanged()) {
        if (m_work.m_boards.empty())
            return;
        switch (ShowMessage(MSG_SAVE_CHANGES, CAPTION_WARNING, MB_YES_NO_CANCEL, ICON_EXCLAMATION)) {
        case ANSWER_YES:
            if (Save())
                QDialog::accept();
            return;
        case ANSWER_NO: QDialog::accept(); return;
        default: return;
        }
    }
    if (m_nMode == ENV_MODE_CHOOSE_BOARD && SelectedBoard() < 0) {
        ShowMessage(MSG_SELECT_BOARD, CAPTION_ERROR, MB_OK_ONLY, ICON_EXCLAMATION);
        return;
    }
    QDialog::accept();
}

// Once a file was written or deleted the change on disk cannot be undone:
// Cancel is disabled, and closing the window is taken as OK.
void CEnvDefDlg::reject()
{
    if (m_bFilesChanged)
        accept();
    else
        QDialog::reject();
}
