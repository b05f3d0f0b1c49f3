#include "ui/UpdateView.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>

#include "app/Host.h"
#include "app/Strings.h"
#include "engine/EngineTypes.h"
#include "ui/DialogUnits.h"
#include "ui/controls/Animation.h"
#include "ui/controls/Indicator.h"
#include "ui/controls/StateLabel.h"

namespace {

// Positions of the form's controls in dialog units: x, y, width, height.
struct Placement {
    int id;
    int x, y, w, h;
};
const Placement kPlacements[] = {
    {IDC_LABEL_FILE, 5, 10, 47, 18},      {IDC_BAR_FILE, 13, 32, 35, 10},
    {IDC_LABEL_ERASE, 61, 10, 35, 18},    {IDC_BAR_ERASE, 63, 32, 35, 10},
    {IDC_LABEL_PROGRAM, 105, 10, 44, 18}, {IDC_BAR_PROGRAM, 112, 32, 35, 10},
    {IDC_REMAINING, 158, 33, 137, 8},     {IDC_BAR_OVERALL, 10, 55, 295, 20},
    {IDC_LABEL_BOARD, 10, 90, 60, 8},     {IDC_BOARD_TEXT, 82, 89, 72, 12},
    {IDC_ANIMATION, 169, 84, 127, 23},    {IDC_LABEL_FILE_NAME, 10, 105, 60, 8},
    {IDC_FILE_TEXT, 82, 105, 72, 11},     {IDC_LABEL_ELAPSED, 10, 120, 55, 8},
    {IDC_ELAPSED, 82, 120, 72, 11},       {IDC_ABORT, 174, 119, 50, 14},
    {IDC_BAR_ACTIVITY, 294, 119, 7, 12},  {IDC_BLOCKS, 230, 121, 57, 8},
    {IDC_RETRIES, 230, 133, 57, 8},       {IDC_LINK_TEXT, 9, 138, 69, 11},
    {IDC_LAMP_TX, 81, 138, 10, 4},        {IDC_LAMP_RX, 81, 142, 10, 4},
    {IDC_BOARD_COUNTER, 105, 137, 26, 12},
};

const QColor kBusyText(0, 255, 0);
const QColor kBusyBackground(0, 0, 0);
const QColor kTransmitColour(255, 0, 0);
const QColor kReceiveColour(0, 255, 0);
const char* const kIdleElapsed = "00:00";

QString Qs(const std::string& text) { return QString::fromStdString(text); }

// Fields whose accessible name carries their value after a caption; the
// other value fields (counters, link text) are named by their text alone.
struct ValueField {
    int id;
    const char* caption;
};
const ValueField kCaptionedFields[] = {
    {IDC_BOARD_TEXT, "Board processing"}, {IDC_FILE_TEXT, "File processing"},
    {IDC_ELAPSED, "Elapsed Time"},        {IDC_BOARD_COUNTER, "Board number"},
    {IDC_REMAINING, "Remaining time"},
};
const int kSelfNamedFields[] = {IDC_BLOCKS, IDC_RETRIES, IDC_LINK_TEXT};

// "Caption: value", or the caption alone while the field is empty.
QString CaptionedName(const char* caption, const QString& value)
{
    const QString shown = value.simplified();
    return shown.isEmpty() ? QString::fromLatin1(caption) : QString::fromLatin1(caption) + ": " + shown;
}

// Width a caption needs in the current font: its whole text on one line, or
// for a two-line caption its text up to the last blank on the first line.
int NeededWidth(const QLabel& label)
{
    const QString text = label.text();
    if (!label.wordWrap()) return label.sizeHint().width();
    const int cut = text.contains('\n') ? text.indexOf('\n') : text.lastIndexOf(' ');
    return label.fontMetrics().horizontalAdvance(cut < 0 ? text : text.left(cut)) + 2 * label.margin() + 2;
}

}  // namespace

CUpdateView::CUpdateView(QWidget* parent) : QWidget(parent)
{
    setObjectName("updateView");
    setAccessibleName("Process view");
    CreateControls();
    LayOutControls();
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CUpdateView::FlushPendingTexts);
    ShowBusyLook(false);
    ShowProcessControls(false);
}

template <class T> T* CUpdateView::Add(int id, T* widget, const char* name, const QString& accessibleName)
{
    widget->setObjectName(name);
    widget->setAccessibleName(accessibleName);
    m_controls[id] = widget;
    return widget;
}

QLabel* CUpdateView::AddLabel(int id, const QString& text, const char* name)
{
    auto* label = Add(id, new QLabel(text, this), name, QString(text).replace('\n', ' ').simplified());
    return label;
}

QProgressBar* CUpdateView::AddBar(int id, const char* name, const QString& accessibleName)
{
    auto* bar = Add(id, new QProgressBar(this), name, accessibleName);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

CStateLabel* CUpdateView::AddStateLabel(int id, const char* name, const QString& accessibleName)
{
    auto* label = Add(id, new CStateLabel(this), name, accessibleName);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

void CUpdateView::CreateControls()
{
    // The three captions above the small bars take two lines.
    AddLabel(IDC_LABEL_FILE, "File processing done", "fileDoneLabel")->setWordWrap(true);
    AddBar(IDC_BAR_FILE, "fileBar", "File processing done");
    AddLabel(IDC_LABEL_ERASE, "Erasing\ndone", "eraseLabel")->setWordWrap(true);
    AddBar(IDC_BAR_ERASE, "eraseBar", "Erasing done");
    AddLabel(IDC_LABEL_PROGRAM, "Programming done", "programLabel")->setWordWrap(true);
    AddBar(IDC_BAR_PROGRAM, "programBar", "Programming done");
    Add(IDC_REMAINING, new QLabel(this), "remainingText", "Remaining time");
    AddBar(IDC_BAR_OVERALL, "overallBar", "Overall progress");
    AddLabel(IDC_LABEL_BOARD, "Board processing :", "boardLabel");
    AddStateLabel(IDC_BOARD_TEXT, "boardText", "Board processing");
    Add(IDC_ANIMATION, new CAnimation(this), "animation", "Transfer animation");
    AddLabel(IDC_LABEL_FILE_NAME, "File processing  :", "fileNameLabel");
    AddStateLabel(IDC_FILE_TEXT, "fileText", "File processing");
    AddLabel(IDC_LABEL_ELAPSED, "Elapsed Time    :", "elapsedLabel");
    AddStateLabel(IDC_ELAPSED, "elapsedText", "Elapsed Time");
    auto* abort = Add(IDC_ABORT, new QPushButton("-- Abort --", this), "abortButton", "Abort");
    connect(abort, &QPushButton::clicked, this, &CUpdateView::abortClicked);
    auto* blinker = AddBar(IDC_BAR_ACTIVITY, "activityBar", "Activity");
    blinker->setOrientation(Qt::Vertical);
    AddLabel(IDC_BLOCKS, "   1234 trans.", "blockCounter");
    AddLabel(IDC_RETRIES, "      12 retries", "retryCounter");
    AddLabel(IDC_LINK_TEXT, "Com1:9600,n,8,2", "linkText");
    Add(IDC_LAMP_TX, new CIndicator(kTransmitColour, this), "transmitLamp", "Transmit");
    Add(IDC_LAMP_RX, new CIndicator(kReceiveColour, this), "receiveLamp", "Receive");
    auto* counter = AddStateLabel(IDC_BOARD_COUNTER, "boardCounter", "Board number");
    counter->SetText("0/0");
    counter->setAlignment(Qt::AlignCenter);
    static_cast<QLabel*>(m_controls[IDC_BLOCKS])->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    static_cast<QLabel*>(m_controls[IDC_RETRIES])->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

// Places every control at its dialog-unit position in the current font, and
// gives the form the template's size.
void CUpdateView::LayOutControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    for (const Placement& p : kPlacements) {
        QWidget* control = m_controls.at(p.id);
        QRect place = du.Rect(p.x, p.y, p.w, p.h);
        // A caption wider in this font than in the template's keeps its whole
        // text: the captions have room up to the field after them.
        if (auto* label = qobject_cast<QLabel*>(control)) place.setWidth(std::max(place.width(), NeededWidth(*label)));
        control->setGeometry(place);
    }
    setFixedSize(du.Size(kFormWidthDu, kFormHeightDu));
}

void CUpdateView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) LayOutControls();
    QWidget::changeEvent(event);
}

void CUpdateView::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

void CUpdateView::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu opens 5 units right and below the top-left corner.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const CDialogUnits du = CDialogUnits::Of(this);
        emit contextMenuWanted(mapToGlobal(QPoint(du.X(5), du.Y(5))));
    } else {
        emit contextMenuWanted(event->globalPos());
    }
}

QWidget* CUpdateView::Control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QString CUpdateView::ControlText(int id) const
{
    if (auto* state = qobject_cast<CStateLabel*>(Control(id))) return state->Text();
    if (auto* label = qobject_cast<QLabel*>(Control(id))) return label->text();
    if (auto* button = qobject_cast<QPushButton*>(Control(id))) return button->text();
    return {};
}

std::string CUpdateView::ShortenText(const std::string& text, int n)
{
    const std::size_t keep = static_cast<std::size_t>(std::max(0, n) + 3);
    if (text.size() <= keep) return text;
    return "..." + text.substr(text.size() - keep);
}

int CUpdateView::FileTextChars() const
{
    const QWidget* field = Control(IDC_FILE_TEXT);
    const int average = std::max(1, field->fontMetrics().averageCharWidth());
    return std::max(1, field->width() / average - 6);
}

// --- display operations ---------------------------------------------------------

void CUpdateView::PaintTextControls(bool busy)
{
    for (int id : {IDC_BOARD_TEXT, IDC_FILE_TEXT, IDC_ELAPSED, IDC_BOARD_COUNTER}) {
        auto* label = static_cast<CStateLabel*>(m_controls.at(id));
        if (busy)
            label->SetColors(kBusyText, kBusyBackground);
        else
            label->SetColors(palette().color(QPalette::WindowText), QColor());
    }
}

void CUpdateView::ShowBusyLook(bool busy)
{
    m_bBusy = busy;
    for (int id : {IDC_BOARD_COUNTER, IDC_BLOCKS, IDC_RETRIES}) m_controls.at(id)->setVisible(busy);
    if (!busy) {
        for (int id : {IDC_BAR_FILE, IDC_BAR_ERASE, IDC_BAR_PROGRAM, IDC_BAR_OVERALL}) SetProgressItem(id, 0);
        SetActivityBlink(false);
        m_pending.clear();
        m_pendingBars.clear();
        SetStateText(IDC_FILE_TEXT, GetString(161));
        SetStateText(IDC_BOARD_TEXT, GetString(161));
        SetStateText(IDC_ELAPSED, kIdleElapsed);
    }
    PaintTextControls(busy);
    repaint();
    emit commandStatesChanged();
}

void CUpdateView::ShowProcessControls(bool show)
{
    FlushPendingTexts();
    if (show) {
        SetLabelText(IDC_BLOCKS, "    0 blocks");
        SetLabelText(IDC_RETRIES, "    0 retries");
    }
    m_controls.at(IDC_ABORT)->setVisible(show);
    m_controls.at(IDC_ABORT)->setEnabled(show);
    for (int id : {IDC_BLOCKS, IDC_RETRIES, IDC_REMAINING}) m_controls.at(id)->setVisible(show);
    repaint();
}

void CUpdateView::SetActivityBlink(bool on)
{
    m_bBlinkOn = on;
    m_bBlinkHigh = false;
    SetProgressItem(IDC_BAR_ACTIVITY, 0);
}

void CUpdateView::ActivityTick()
{
    if (!m_bBlinkOn) return;
    m_bBlinkHigh = !m_bBlinkHigh;
    SetProgressItem(IDC_BAR_ACTIVITY, m_bBlinkHigh ? 100 : 0);
}

// Bar 144 changes with every record: it is shown with the counters at the
// next refresh, so that the bar, the block counter and the remaining time
// always describe the same moment.
void CUpdateView::SetOverallProgress(long done, long total)
{
    m_pendingBars[IDC_BAR_OVERALL] = Percent(done, total);
    if (!m_refreshTimer.isActive()) m_refreshTimer.start();
}

// The data phase: `block` of the current board's `blocks` records sent.
// The bar and the block counter both count those records.
void CUpdateView::SetTransferProgress(long block, long blocks, long retries, const std::string& remaining)
{
    m_pendingBars[IDC_BAR_OVERALL] = Percent(block, blocks);
    SetPending(IDC_BLOCKS, FormatString(135, {std::to_string(block)}));
    SetPending(IDC_RETRIES, FormatString(134, {std::to_string(retries)}));
    SetPending(IDC_REMAINING, remaining);
}

int CUpdateView::Percent(long done, long total)
{
    if (total <= 0 || done <= 0) return 0;
    return static_cast<int>(std::min<long long>(100, static_cast<long long>(done) * 100 / total));
}

void CUpdateView::SetProgressItem(int id, int percent)
{
    // A value set now wins over one still waiting for the refresh.
    m_pendingBars.erase(id);
    ShowBar(id, percent);
}

void CUpdateView::ShowBar(int id, int percent)
{
    auto* bar = qobject_cast<QProgressBar*>(Control(id));
    const int shown = std::clamp(percent, 0, 100);
    if (bar && bar->value() != shown) bar->setValue(shown);
}

void CUpdateView::SetLinkText(const std::string& text) { SetLabelText(IDC_LINK_TEXT, text); }
void CUpdateView::SetBoardText(const std::string& text) { SetStateText(IDC_BOARD_TEXT, text); }

void CUpdateView::SetFileNameText(const std::string& text)
{
    SetStateText(IDC_FILE_TEXT, ShortenText(text, FileTextChars()));
}

void CUpdateView::SetBoardCounter(const std::string& text)
{
    SetStateText(IDC_BOARD_COUNTER, text);
    m_controls.at(IDC_BOARD_COUNTER)->setVisible(m_bBusy && !text.empty());
}

void CUpdateView::SetElapsedText(const std::string& text) { SetStateText(IDC_ELAPSED, text); }
void CUpdateView::SetBlockCounter(const std::string& text) { SetPending(IDC_BLOCKS, text); }
void CUpdateView::SetRetryCounter(const std::string& text) { SetPending(IDC_RETRIES, text); }
void CUpdateView::SetRemainingTime(const std::string& text) { SetPending(IDC_REMAINING, text); }

void CUpdateView::ShowBlockCounters(bool show)
{
    FlushPendingTexts();
    for (int id : {IDC_BLOCKS, IDC_RETRIES}) m_controls.at(id)->setVisible(show);
}

void CUpdateView::FlashLamp(int lamp)
{
    if (auto* indicator = qobject_cast<CIndicator*>(Control(lamp))) indicator->SetOn(true);
}

void CUpdateView::PlayAnimation(bool play)
{
    auto* animation = static_cast<CAnimation*>(m_controls.at(IDC_ANIMATION));
    if (play)
        animation->Play();
    else
        animation->Stop();
}

void CUpdateView::SetStateText(int id, const std::string& text)
{
    auto* label = static_cast<CStateLabel*>(m_controls.at(id));
    const QString shown = Qs(text);
    if (label->Text() != shown) label->SetText(shown);
    ExposeValue(id, shown);
}

void CUpdateView::SetLabelText(int id, const std::string& text)
{
    auto* label = static_cast<QLabel*>(m_controls.at(id));
    const QString shown = Qs(text);
    if (label->text() != shown) label->setText(shown);
    ExposeValue(id, shown);
}

void CUpdateView::ExposeValue(int id, const QString& value)
{
    QWidget* field = m_controls.at(id);
    QString name;
    for (const ValueField& f : kCaptionedFields)
        if (f.id == id) name = CaptionedName(f.caption, value);
    for (int self : kSelfNamedFields)
        if (self == id) name = value.simplified();
    if (!name.isEmpty() && field->accessibleName() != name) field->setAccessibleName(name);
}

void CUpdateView::SetPending(int id, const std::string& text)
{
    m_pending[id] = text;
    if (!m_refreshTimer.isActive()) m_refreshTimer.start();
}

void CUpdateView::FlushPendingTexts()
{
    m_refreshTimer.stop();
    for (const auto& [id, percent] : m_pendingBars) ShowBar(id, percent);
    m_pendingBars.clear();
    for (const auto& [id, text] : m_pending) SetLabelText(id, text);
    m_pending.clear();
}
