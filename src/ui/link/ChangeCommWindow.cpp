#include "ui/link/ChangeCommWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/BoardDef.h"
#include "ui/DialogUnits.h"

namespace {

constexpr int kMarginUnits = 7;
constexpr int kSpacingUnits = 6;
constexpr int kListWidthUnits = 90;

}  // namespace

CChangeCommWindow::CChangeCommWindow(CChangeCommDlg& logic, QWidget* parent) : QDialog(parent), m_logic(logic)
{
    setObjectName("changeCommWindow");
    setAccessibleName("Change communication");
    setWindowTitle("Change communication");
    CreateControls();
    LayOutControls();
    ShowChoices();
}

void CChangeCommWindow::CreateControls()
{
    m_pBoardList = m_controls.Add(CTRL_BOARD_LIST, new QComboBox(this), "boardList", "Board");
    for (const std::string& board : m_logic.BoardListTexts()) m_pBoardList->addItem(ToQString(board));
    m_pPortList = m_controls.Add(CTRL_PORT_LIST, new QComboBox(this), "portList", "To UC port");
    for (int destination = 0; destination < CChangeCommDlg::kDestinationCount; ++destination)
        m_pPortList->addItem(ToQString(DestinationName(destination)));
    m_pRateList = m_controls.Add(CTRL_RATE_LIST, new QComboBox(this), "rateList", "New baud rate");
    for (const std::string& rate : CChangeCommDlg::RateListTexts()) m_pRateList->addItem(ToQString(rate));
    m_pPortLabel = m_controls.Add(CTRL_PORT_LABEL, new QLabel("To UC port", this), "portLabel", "To UC port");
    m_pRateLabel = m_controls.Add(CTRL_RATE_LABEL, new QLabel("New baud rate", this), "rateLabel", "New baud rate");
    m_pPortLabel->setBuddy(m_pPortList);
    m_pRateLabel->setBuddy(m_pRateList);

    connect(m_pBoardList, &QComboBox::currentIndexChanged, this, [this](int choice) {
        if (m_bShowing) return;
        m_logic.OnBoardChanged(choice);
        ShowChoices();
    });
    connect(m_pPortList, &QComboBox::currentIndexChanged, this, [this](int destination) {
        if (m_bShowing) return;
        m_logic.OnPortChanged(destination);
        ShowChoices();
    });
    connect(m_pRateList, &QComboBox::currentIndexChanged, this, [this](int baudIndex) {
        if (m_bShowing) return;
        m_logic.OnRateChanged(baudIndex);
        ShowChoices();
    });
}

void CChangeCommWindow::LayOutControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(du.X(kMarginUnits), du.Y(kMarginUnits), du.X(kMarginUnits), du.Y(kMarginUnits));
    layout->setSpacing(du.Y(kSpacingUnits));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(du.X(kSpacingUnits));
    grid->setVerticalSpacing(du.Y(kSpacingUnits));
    auto* boardLabel = m_controls.Add(0, new QLabel("Board", this), "boardLabel", "Board");
    boardLabel->setBuddy(m_pBoardList);
    for (QComboBox* list : {m_pBoardList, m_pPortList, m_pRateList}) list->setMinimumWidth(du.X(kListWidthUnits));
    grid->addWidget(boardLabel, 0, 0);
    grid->addWidget(m_pBoardList, 0, 1);
    grid->addWidget(m_pPortLabel, 1, 0);
    grid->addWidget(m_pPortList, 1, 1);
    grid->addWidget(m_pRateLabel, 2, 0);
    grid->addWidget(m_pRateList, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    m_pRun = m_controls.Add(CTRL_RUN, buttons->addButton("Run", QDialogButtonBox::AcceptRole), "runButton", "Run");
    m_controls.Add(CTRL_CANCEL, buttons->addButton("Cancel", QDialogButtonBox::RejectRole), "cancelButton",
                   "Cancel");
    m_pRun->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CChangeCommWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CChangeCommWindow::reject);
    layout->addWidget(buttons);
    setMinimumSize(du.Size(kWidthUnits, kHeightUnits));
}

void CChangeCommWindow::ShowChoices()
{
    m_bShowing = true;
    m_pBoardList->setCurrentIndex(m_logic.BoardChoice());
    m_pPortList->setCurrentIndex(m_logic.Destination());
    m_pRateList->setCurrentIndex(m_logic.BaudIndex());
    m_bShowing = false;
    m_pPortList->setEnabled(m_logic.PortListEnabled());
    m_pPortLabel->setEnabled(m_logic.PortListEnabled());
    m_pRateList->setEnabled(m_logic.RateListEnabled());
    m_pRateLabel->setEnabled(m_logic.RateListEnabled());
    m_pRun->setEnabled(m_logic.RunEnabled());
}

void CChangeCommWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_bFocusPlaced) return;
    m_bFocusPlaced = true;
    if (QWidget* focus = Control(m_logic.InitialFocus())) focus->setFocus();
}

void CChangeCommWindow::accept()
{
    if (m_logic.RunEnabled()) QDialog::accept();
}
