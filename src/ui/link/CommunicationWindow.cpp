#include "ui/link/CommunicationWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "link/PortList.h"
#include "ui/DialogUnits.h"
#include "ui/ReplyDlg.h"
#include "ui/link/AutoConfigPropsWindow.h"
#include "ui/link/AutoConfigWindow.h"

namespace {

constexpr int kMarginUnits = 7;
constexpr int kSpacingUnits = 4;
constexpr int kListWidthUnits = 80;
constexpr int kButtonHeightUnits = 14;
constexpr int kPropertiesWidthUnits = 16;
constexpr int kTextHeightUnits = 12;

}  // namespace

CCommunicationWindow::CCommunicationWindow(CCommunicationDlg& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic)
{
    setObjectName("communicationWindow");
    setAccessibleName("Communication");
    setWindowTitle("Communication");
    CreateControls();
    LayOutControls();
    ShowChoices();
}

void CCommunicationWindow::CreateControls()
{
    m_pPortList = m_controls.Add(CTRL_PORT_LIST, new QComboBox(this), "portList", "PC connector");
    const std::vector<MappedPort> ports = MappedPorts();
    for (size_t i = 0; i < ports.size() && static_cast<int>(i) < CCommunicationDlg::kPortCount; ++i)
        m_pPortList->addItem(ToQString(MappedPortText(ports[i])), static_cast<int>(i));
    m_pRateList = m_controls.Add(CTRL_RATE_LIST, new QComboBox(this), "rateList", "Initial baud rate");
    for (const std::string& rate : CCommunicationDlg::RateListTexts()) m_pRateList->addItem(ToQString(rate));
    for (QComboBox* list : {m_pPortList, m_pRateList})
        connect(list, &QComboBox::currentIndexChanged, this, [this] {
            if (!m_bShowing) ReadControls();
        });

    m_pConnection = m_controls.Add(CTRL_CONNECTION, new QLabel(this), "connectionText", "Connection");
    m_pConnection->setFrameShape(QFrame::Panel);
    m_pConnection->setFrameShadow(QFrame::Sunken);
    m_pConnection->setAlignment(Qt::AlignCenter);

    m_pAutoConfigure = m_controls.Add(CTRL_AUTO_CONFIGURE, new QPushButton(ToQString(m_logic.AutoConfigureCaption()), this),
                                      "autoConfigureButton", ToQString(m_logic.AutoConfigureCaption()));
    connect(m_pAutoConfigure, &QPushButton::clicked, this, &CCommunicationWindow::OnAutoConfigure);
    m_pProperties = m_controls.Add(CTRL_PROPERTIES, new QPushButton("...", this), "propertiesButton",
                                   "Auto configure properties");
    m_pProperties->setEnabled(m_logic.PropertiesEnabled());
    connect(m_pProperties, &QPushButton::clicked, this, &CCommunicationWindow::OnProperties);

    m_pShowAtStartUp = m_controls.Add(CTRL_SHOW_AT_START_UP, new QCheckBox("Show this dialog box at start up", this),
                                      "showAtStartUp", "Show this dialog box at start up");
    m_pShowAtStartUp->setChecked(m_logic.m_bShowAtStartUp);
}

void CCommunicationWindow::LayOutControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(du.X(kMarginUnits), du.Y(kMarginUnits), du.X(kMarginUnits), du.Y(kMarginUnits));
    layout->setSpacing(du.Y(kSpacingUnits));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(du.X(kSpacingUnits));
    auto* portLabel = m_controls.Add(0, new QLabel("PC connector", this), "portLabel", "PC connector");
    auto* rateLabel = m_controls.Add(0, new QLabel("Initial baud rate", this), "rateLabel", "Initial baud rate");
    portLabel->setBuddy(m_pPortList);
    rateLabel->setBuddy(m_pRateList);
    m_pPortList->setMinimumWidth(du.X(kListWidthUnits));
    m_pRateList->setMinimumWidth(du.X(kListWidthUnits));
    grid->addWidget(portLabel, 0, 0);
    grid->addWidget(m_pPortList, 0, 1);
    grid->addWidget(rateLabel, 1, 0);
    grid->addWidget(m_pRateList, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    m_pConnection->setMinimumHeight(du.Y(kTextHeightUnits));
    layout->addWidget(m_pConnection);

    auto* search = new QHBoxLayout;
    m_pAutoConfigure->setMinimumHeight(du.Y(kButtonHeightUnits));
    m_pProperties->setFixedWidth(std::max(du.X(kPropertiesWidthUnits), m_pProperties->sizeHint().height()));
    search->addWidget(m_pAutoConfigure, 1);
    search->addWidget(m_pProperties);
    layout->addLayout(search);
    layout->addWidget(m_pShowAtStartUp);
    layout->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = m_controls.Add(CTRL_OK, buttons->addButton("OK", QDialogButtonBox::AcceptRole), "okButton", "OK");
    m_controls.Add(CTRL_CANCEL, buttons->addButton("Cancel", QDialogButtonBox::RejectRole), "cancelButton",
                   "Cancel");
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCommunicationWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCommunicationWindow::reject);
    layout->addWidget(buttons);
    setMinimumSize(du.Size(kWidthUnits, kHeightUnits));
}

void CCommunicationWindow::ShowChoices()
{
    m_bShowing = true;
    // A port beyond the list (the settings allow more) selects nothing.
    m_pPortList->setCurrentIndex(m_logic.m_nPortIndex < m_pPortList->count() ? m_logic.m_nPortIndex : -1);
    m_pRateList->setCurrentIndex(m_logic.m_nBaudIndex);
    m_bShowing = false;
    m_pConnection->setText(ToQString(m_logic.ConnectionText()));
}

void CCommunicationWindow::ReadControls()
{
    m_logic.OnSelectionChanged(m_pPortList->currentIndex(), m_pRateList->currentIndex());
    m_pConnection->setText(ToQString(m_logic.ConnectionText()));
}

void CCommunicationWindow::OnAutoConfigure()
{
    ReadControls();
    CAutoConfigWindow search(this);
    const int result = m_logic.OnAutoConfigure(&search);
    if (result != AUTOCONFIG_FOUND) return;   // message 93 has been shown, or the user cancelled
    ShowChoices();
    CReplyDlg reply(this);
    reply.SetAnswer(m_logic.IdentReply(), false);
    reply.exec();
}

void CCommunicationWindow::OnProperties()
{
    CAutoConfigPropsDlg properties = CCommunicationDlg::PropertiesFromSettings();
    CAutoConfigPropsWindow window(properties, this);
    if (window.exec() == QDialog::Accepted) CCommunicationDlg::StoreProperties(properties);
}

void CCommunicationWindow::accept()
{
    ReadControls();
    m_logic.m_bShowAtStartUp = m_pShowAtStartUp->isChecked();
    QDialog::accept();
}
