#include "ui/WaitDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "app/Host.h"
#include "app/Strings.h"
#include "ui/DialogUnits.h"

namespace {

// Template "Wait ..." in dialog units.
constexpr int kWidth = 184;
constexpr int kHeight = 77;
constexpr int kMargin = 7;
constexpr int kMessageHeight = 20;
constexpr int kBarHeight = 10;
constexpr int kTextWidth = 40;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;

constexpr int kStringElapsedMinSec = 165;   // "%dmin %ds"
constexpr int kStringElapsedMin = 166;      // "%dmin"
constexpr int kStringElapsedSec = 167;      // "%ds"

int Saturate(long long value)
{
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

QString Qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CWaitDlg::CWaitDlg(int titleId, QWidget* parent)
    : QDialog(parent), m_nTitleId(titleId > 0 ? titleId : kDefaultTitleId)
{
    setObjectName("waitDialog");
    setAccessibleName("Wait");
    setModal(false);
    BuildControls();
    setWindowTitle(Qs(GetString(m_nTitleId)));
}

CWaitDlg::~CWaitDlg()
{
    // A wait that ends without Destroy must not leave its owner disabled.
    if (m_bCreated)
        Destroy();
}

void CWaitDlg::BuildControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName("message");
    m_pMessage->setAccessibleName("Message");
    m_pMessage->setWordWrap(true);
    m_pMessage->setMinimumHeight(du.Y(kMessageHeight));
    m_pBar = new QProgressBar(this);
    m_pBar->setObjectName("progressBar");
    m_pBar->setAccessibleName("Progress");
    m_pBar->setTextVisible(false);
    m_pBar->setFixedHeight(du.Y(kBarHeight));
    m_pBar->setRange(m_nMin, m_nMax);
    m_pText = new QLabel(this);
    m_pText->setObjectName("progressText");
    m_pText->setAccessibleName("Progress text");
    m_pText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pText->setFixedWidth(du.X(kTextWidth));
    m_pCancel = new QPushButton("Cancel", this);
    m_pCancel->setObjectName("cancelButton");
    m_pCancel->setAccessibleName("Cancel");
    m_pCancel->setAutoDefault(false);
    m_pCancel->setFixedSize(du.Size(kButtonWidth, kButtonHeight));
    connect(m_pCancel, &QPushButton::clicked, this, [this] { m_bCancel = true; });
    m_controls = {{IDC_CANCEL, m_pCancel}, {IDC_PROGRESS, m_pBar}, {IDC_PROGRESS_TEXT, m_pText},
                  {IDC_MESSAGE, m_pMessage}};

    auto* progress = new QHBoxLayout;
    progress->addWidget(m_pBar, 1);
    progress->addWidget(m_pText);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pCancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(du.X(kMargin), du.Y(kMargin), du.X(kMargin), du.Y(kMargin));
    layout->addWidget(m_pMessage);
    layout->addLayout(progress);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumSize(du.Size(kWidth, kHeight));
}

QWidget* CWaitDlg::Control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

bool CWaitDlg::Create(QWidget* owner)
{
    if (m_bCreated)
        return false;
    if (owner && owner->isEnabled()) {
        owner->setEnabled(false);
        m_owner = owner;
    }
    m_pBar->setRange(m_nMin, m_nMax);
    m_nPos = m_nMin;
    m_pBar->setValue(m_nMin);
    setWindowTitle(Qs(GetString(m_nTitleId)));
    m_bCancel = false;
    m_bCreated = true;
    RefreshText();
    show();
    // Disabling an owner that is also the parent disables this window too;
    // its Cancel button must stay usable.
    setEnabled(true);
    return true;
}

void CWaitDlg::Destroy()
{
    if (m_owner)
        m_owner->setEnabled(true);
    m_owner = nullptr;
    m_bCreated = false;
    hide();
}

void CWaitDlg::SetMessage(const QString& text)
{
    m_pMessage->setText(text);
}

void CWaitDlg::SetRange(int minimum, int maximum)
{
    m_nMin = minimum;
    m_nMax = maximum;
    m_nLimit = maximum;
    m_pBar->setRange(minimum, std::max(minimum, maximum));
}

void CWaitDlg::SetStep(int step) { m_nStep = step; }
void CWaitDlg::SetLimit(int limit) { m_nLimit = limit; }

void CWaitDlg::SetTextMode(int mode)
{
    m_nTextMode = std::clamp(mode, static_cast<int>(TEXT_PERCENT), static_cast<int>(TEXT_ELAPSED_INTERNAL));
    RefreshText();
}

void CWaitDlg::SetPos(int position)
{
    QCoreApplication::processEvents();
    MoveTo(position);
}

void CWaitDlg::OffsetPos(int delta)
{
    QCoreApplication::processEvents();
    MoveTo(m_nPos + delta);
}

void CWaitDlg::StepIt()
{
    QCoreApplication::processEvents();
    if (m_nTextMode == TEXT_ELAPSED_INTERNAL) {
        m_nInternal = Saturate(static_cast<long long>(m_nInternal) + m_nStep);
        MoveTo(m_nInternal);
        RefreshText();
    }
    else {
        MoveTo(m_nPos + m_nStep);
    }
}

void CWaitDlg::StepIt(int n)
{
    for (int i = 0; i < n; ++i)
        StepIt();
}

bool CWaitDlg::CheckCancel()
{
    const bool cancel = m_bCancel;
    m_bCancel = false;
    return cancel;
}

void CWaitDlg::MoveTo(long long position)
{
    m_nPos = position;
    m_pBar->setValue(Saturate(std::clamp<long long>(position, m_pBar->minimum(), m_pBar->maximum())));
    if (m_nTextMode != TEXT_ELAPSED_INTERNAL)
        RefreshText();
}

void CWaitDlg::RefreshText()
{
    QString text;
    switch (m_nTextMode) {
    case TEXT_PERCENT:
        text = PercentText(m_nPos, m_nMin, m_nMax);
        break;
    case TEXT_ELAPSED_BAR:
        text = ElapsedText(m_nPos, m_nMin);
        break;
    default:
        text = ElapsedText(m_nInternal, m_nMin);
        break;
    }
    if (m_pText->text() != text)
        m_pText->setText(text);
}

QString CWaitDlg::ProgressText() const
{
    return m_pText->text();
}

QString CWaitDlg::PercentText(long long position, int minimum, int maximum)
{
    long long percent;
    if (maximum > minimum)
        percent = (position - minimum) * 100 / (static_cast<long long>(maximum) - minimum);
    else
        percent = position >= maximum ? 100 : 0;   // an empty range: done or not
    if (percent != 100)
        percent %= 100;
    return QString::number(percent) + QLatin1Char('%');
}

QString CWaitDlg::ElapsedText(long long position, int minimum)
{
    const long long seconds = (position - minimum) / 1000;
    if (seconds < 60)
        return Qs(FormatString(kStringElapsedSec, {std::to_string(seconds)}));
    if (seconds % 60 == 0)
        return Qs(FormatString(kStringElapsedMin, {std::to_string(seconds / 60)}));
    return Qs(FormatString(kStringElapsedMinSec, {std::to_string(seconds / 60), std::to_string(seconds % 60)}));
}

void CWaitDlg::reject()
{
    m_bCancel = true;
}

void CWaitDlg::closeEvent(QCloseEvent* event)
{
    m_bCancel = true;
    event->ignore();
}
