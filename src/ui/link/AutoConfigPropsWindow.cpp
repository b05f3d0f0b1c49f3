#include "ui/link/AutoConfigPropsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>

#include "app/CommSettings.h"
#include "ui/DialogUnits.h"

namespace {

constexpr int kMarginUnits = 7;
constexpr int kSpacingUnits = 4;
constexpr int kListWidthUnits = 60;
constexpr int kSpinWidthUnits = 50;
constexpr int kLongestTimeText = 12;   // "10min 59s" and room to type

}  // namespace

// --- the time spin box ----------------------------------------------------------------

CTimeSpinBox::CTimeSpinBox(CAutoConfigPropsDlg& logic, QWidget* parent) : QSpinBox(parent), m_logic(logic)
{
    // A time outside the steps' range, as the settings may hold, stays shown
    // until the user changes it.
    setRange(std::min(CAutoConfigPropsDlg::kMinSeconds, logic.Seconds()),
             std::max(CAutoConfigPropsDlg::kMaxSeconds, logic.Seconds()));
    setSingleStep(CAutoConfigPropsDlg::kSpinStepSeconds);
    setValue(logic.Seconds());
    lineEdit()->setMaxLength(kLongestTimeText);
    connect(this, &QSpinBox::valueChanged, this, [this](int seconds) {
        if (seconds != m_logic.Seconds()) m_logic.SetSeconds(seconds);
        if (value() != m_logic.Seconds()) setValue(m_logic.Seconds());
    });
}

void CTimeSpinBox::stepBy(int steps)
{
    // The up arrow gives a change of -1 per step, as the rule counts it.
    m_logic.Spin(-steps);
    setValue(m_logic.Seconds());
    selectAll();
}

int CTimeSpinBox::ParseTime(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(?:(\\d{1,4})\\s*min)?\\s*(?:(\\d{1,5})\\s*s?)?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || (match.captured(1).isEmpty() && match.captured(2).isEmpty())) return -1;
    return match.captured(1).toInt() * 60 + match.captured(2).toInt();
}

QString CTimeSpinBox::textFromValue(int value) const
{
    return ToQString(CAutoConfigPropsDlg::FormatTime(value));
}

int CTimeSpinBox::valueFromText(const QString& text) const
{
    const int seconds = ParseTime(text);
    return seconds < 0 ? value() : std::clamp(seconds, minimum(), maximum());
}

QValidator::State CTimeSpinBox::validate(QString& text, int&) const
{
    if (ParseTime(text) >= 0) return QValidator::Acceptable;
    static const QRegularExpression partial(QStringLiteral("^[0-9 mins]*$"));
    return partial.match(text).hasMatch() ? QValidator::Intermediate : QValidator::Invalid;
}

// --- the window --------------------------------------------------------------------------

CAutoConfigPropsWindow::CAutoConfigPropsWindow(CAutoConfigPropsDlg& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic)
{
    setObjectName("autoConfigPropsWindow");
    setAccessibleName("Auto configure properties");
    setWindowTitle("Auto configure properties");
    CreateControls();
    LayOutControls();
    EnableTime(m_logic.TimeOutOn());
}

QComboBox* CAutoConfigPropsWindow::AddRateList(int id, const char* name, const QString& accessibleName, int rate)
{
    auto* list = m_controls.Add(id, new QComboBox(this), name, accessibleName);
    for (int index = 0; index < static_cast<int>(kBaudRates.size()); ++index)
        list->addItem(ToQString(BaudText(index)), BaudFromIndex(index));
    list->setCurrentIndex(CAutoConfigPropsDlg::ListIndexOf(rate));
    return list;
}

void CAutoConfigPropsWindow::CreateControls()
{
    m_pMinList = AddRateList(CTRL_MIN_LIST, "minRateList", "Baud rate min.", m_logic.MinRate());
    m_pMaxList = AddRateList(CTRL_MAX_LIST, "maxRateList", "Baud rate max.", m_logic.MaxRate());
    m_pTimeOut = m_controls.Add(CTRL_TIME_OUT, new QCheckBox("Time out", this), "timeOutBox", "Time out");
    m_pTimeOut->setChecked(m_logic.TimeOutOn());
    connect(m_pTimeOut, &QCheckBox::toggled, this, [this](bool on) {
        m_logic.SetTimeOut(on);
        EnableTime(on);
    });
    m_pSpin = m_controls.Add(CTRL_SPIN, new CTimeSpinBox(m_logic, this), "timeSpin", "Time out value");
    m_controls.Enter(CTRL_TIME_TEXT, m_pSpin->TimeText(), "Time out text");
}

void CAutoConfigPropsWindow::LayOutControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(du.X(kMarginUnits), du.Y(kMarginUnits), du.X(kMarginUnits), du.Y(kMarginUnits));
    layout->setSpacing(du.Y(kSpacingUnits));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(du.X(kSpacingUnits));
    auto* minLabel = m_controls.Add(0, new QLabel("Baud rate min.", this), "minRateLabel", "Baud rate min.");
    auto* maxLabel = m_controls.Add(0, new QLabel("Baud rate max.", this), "maxRateLabel", "Baud rate max.");
    minLabel->setBuddy(m_pMinList);
    maxLabel->setBuddy(m_pMaxList);
    m_pMinList->setMinimumWidth(du.X(kListWidthUnits));
    m_pMaxList->setMinimumWidth(du.X(kListWidthUnits));
    m_pSpin->setMinimumWidth(du.X(kSpinWidthUnits));
    grid->addWidget(minLabel, 0, 0);
    grid->addWidget(m_pMinList, 0, 1);
    grid->addWidget(maxLabel, 1, 0);
    grid->addWidget(m_pMaxList, 1, 1);
    grid->addWidget(m_pTimeOut, 2, 0);
    grid->addWidget(m_pSpin, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = m_controls.Add(CTRL_OK, buttons->addButton("OK", QDialogButtonBox::AcceptRole), "okButton", "OK");
    m_controls.Add(CTRL_CANCEL, buttons->addButton("Cancel", QDialogButtonBox::RejectRole), "cancelButton",
                   "Cancel");
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAutoConfigPropsWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAutoConfigPropsWindow::reject);
    layout->addWidget(buttons);
}

void CAutoConfigPropsWindow::EnableTime(bool on) { m_pSpin->setEnabled(on); }

void CAutoConfigPropsWindow::accept()
{
    m_pSpin->interpretText();   // a time still being typed counts
    const int minRate = m_pMinList->currentIndex() >= 0 ? m_pMinList->currentData().toInt() : 0;
    const int maxRate = m_pMaxList->currentIndex() >= 0 ? m_pMaxList->currentData().toInt() : 0;
    if (!m_logic.OnOk(minRate, maxRate)) {
        m_pMinList->setFocus();
        return;
    }
    QDialog::accept();
}
