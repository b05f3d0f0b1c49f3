#include "ui/link/AutoConfigWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/DialogUnits.h"
#include "ui/controls/Led.h"
#include "ui/controls/StateLabel.h"

namespace {

const char* const kLedStrip = ":/bitmaps/133.svg";
const QColor kConnectionText(0, 0, 255);
const QColor kConnectionChanged(128, 0, 128);   // list 2: taken by each new text
const QColor kConnectionAlert(255, 0, 0);
constexpr int kMarginUnits = 7;
constexpr int kSpacingUnits = 4;
constexpr int kButtonWidthUnits = 50;
constexpr int kButtonHeightUnits = 14;
constexpr int kTextHeightUnits = 12;

}  // namespace

CAutoConfigWindow::CAutoConfigWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName("autoConfigWindow");
    setAccessibleName("Auto configure");
    CreateControls();
    LayOutControls();
}

void CAutoConfigWindow::CreateControls()
{
    m_pConnection = m_controls.Add(CTRL_CONNECTION, new CStateLabel(this), "connectionText", "Connection");
    m_pConnection->setFrameShape(QFrame::Panel);
    m_pConnection->setFrameShadow(QFrame::Sunken);
    m_pConnection->setAlignment(Qt::AlignCenter);
    m_pConnection->SetDefaultStyle(kConnectionText, QColor());
    m_pConnection->AddStyle(kConnectionChanged, QColor(), CBlinkLabel::BLINK_NONE, 2);
    m_pConnection->AddStyle(kConnectionAlert, QColor(), CBlinkLabel::BLINK_NONE, 0);

    m_pProgress = m_controls.Add(CTRL_PROGRESS, new QProgressBar(this), "progressBar", "Progress");
    m_pProgress->setTextVisible(false);
    m_pProgress->setRange(0, 0);

    for (int i = 0; i < kLedCount; ++i) {
        const QString number = QString::number(i);
        CLed* led = m_controls.Add(CTRL_LED_FIRST + i, new CLed(this), qPrintable("led" + number),
                                   "Attempt " + number);
        led->LoadSvg(kLedStrip, kLedImageSize, kLedImageSize, kLedImages);
        m_leds[static_cast<size_t>(i)] = led;
        QLabel* caption = m_controls.Add(0, new QLabel(number, this), qPrintable("ledCaption" + number),
                                         "Attempt " + number + " caption");
        caption->setAlignment(Qt::AlignHCenter);
        m_ledCaptions[static_cast<size_t>(i)] = caption;
    }

    m_pLock = m_controls.Add(CTRL_LOCK, new QCheckBox("Lock baud rate", this), "lockBaudRate", "Lock baud rate");
    connect(m_pLock, &QCheckBox::clicked, this, [this](bool locked) {
        if (m_pLogic) m_pLogic->OnLockClicked(locked);
    });

    auto* cancel = m_controls.Add(CTRL_CANCEL, new QPushButton("Cancel", this), "cancelButton", "Cancel");
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &CAutoConfigWindow::reject);
}

void CAutoConfigWindow::LayOutControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(du.X(kMarginUnits), du.Y(kMarginUnits), du.X(kMarginUnits), du.Y(kMarginUnits));
    layout->setSpacing(du.Y(kSpacingUnits));
    m_pConnection->setMinimumHeight(du.Y(kTextHeightUnits));
    layout->addWidget(m_pConnection);
    layout->addWidget(m_pProgress);

    auto* leds = new QGridLayout;
    leds->setHorizontalSpacing(du.X(kSpacingUnits * 2));
    leds->setVerticalSpacing(0);
    for (int i = 0; i < kLedCount; ++i) {
        leds->addWidget(m_leds[static_cast<size_t>(i)], 0, i, Qt::AlignHCenter);
        leds->addWidget(m_ledCaptions[static_cast<size_t>(i)], 1, i, Qt::AlignHCenter);
    }
    auto* row = new QHBoxLayout;
    row->addLayout(leds);
    row->addStretch(1);
    row->addWidget(m_pLock, 0, Qt::AlignVCenter);
    layout->addLayout(row);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QWidget* cancel = Control(CTRL_CANCEL);
    cancel->setMinimumSize(du.Size(kButtonWidthUnits, kButtonHeightUnits));
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    setMinimumSize(du.Size(kWidthUnits, kHeightUnits));
}

CLed* CAutoConfigWindow::Led(int index) const
{
    return index >= 0 && index < kLedCount ? m_leds[static_cast<size_t>(index)] : nullptr;
}

void CAutoConfigWindow::Shown(bool open)
{
    if (!open) {
        hide();
        return;
    }
    setWindowModality(Qt::ApplicationModal);
    adjustSize();
    CentreOnParent();
    show();
    raise();
    activateWindow();
}

void CAutoConfigWindow::CentreOnParent()
{
    QRect area;
    if (parentWidget() != nullptr)
        area = parentWidget()->window()->frameGeometry();
    else if (screen() != nullptr)
        area = screen()->availableGeometry();
    if (area.isValid()) move(area.center() - rect().center());
}

void CAutoConfigWindow::reject()
{
    if (m_pLogic != nullptr && !m_pLogic->Ended())
        m_pLogic->OnCancel();   // the run ends and hides the window
    else
        QDialog::reject();
}

void CAutoConfigWindow::SetTitle(const std::string& text) { setWindowTitle(ToQString(text)); }

void CAutoConfigWindow::EnableLockOption(bool enable) { m_pLock->setEnabled(enable); }

void CAutoConfigWindow::SetLockChecked(bool locked) { m_pLock->setChecked(locked); }

void CAutoConfigWindow::SetProgressRange(int maximum)
{
    m_pProgress->setRange(0, maximum);
    m_pProgress->setValue(0);
}

void CAutoConfigWindow::StepProgress()
{
    // Past its end the bar starts over, as a stepped progress bar does.
    const int next = m_pProgress->value() + 1;
    m_pProgress->setValue(next > m_pProgress->maximum() ? m_pProgress->minimum() : next);
}

void CAutoConfigWindow::SetConnectionText(const std::string& text) { m_pConnection->SetText(ToQString(text)); }

void CAutoConfigWindow::SetLedBlinkPeriod(int led, int ms)
{
    if (CLed* lamp = Led(led)) lamp->SetPeriod(ms);
}

void CAutoConfigWindow::SetLedImage(int led, int image)
{
    if (CLed* lamp = Led(led)) lamp->SetState(CLed::LED_STEADY, image);
}

void CAutoConfigWindow::SetLedBlink(int led, int imageA, int imageB)
{
    if (CLed* lamp = Led(led)) lamp->SetState(CLed::LED_BLINK, imageA, imageB);
}

void CAutoConfigWindow::ShowLed(int led, bool show)
{
    // A lamp that is not used takes its caption with it.
    if (CLed* lamp = Led(led)) {
        lamp->setVisible(show);
        m_ledCaptions[static_cast<size_t>(led)]->setVisible(show);
    }
}
