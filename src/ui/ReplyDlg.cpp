#include "ui/ReplyDlg.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include <algorithm>

#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "link/IdentReply.h"
#include "ui/DialogUnits.h"
#include "ui/controls/ColorLabel.h"
#include "ui/controls/StripRender.h"

namespace {

// Template "Reply", in dialog units.
constexpr int kWidth = 172;
constexpr int kHeight = 181;
const QRect kListRect(7, 7, 158, 146);
const QRect kOkRect(40, 160, 50, 14);
const QRect kWidenRect(108, 160, 30, 14);

// Image list: bitmap 207, 16-pixel images.
const char* const kImagesPath = ":/bitmaps/207.svg";
constexpr int kImageSide = 16;
constexpr int kImageCount = 3;

// Columns: header string (0 none) and width in pixels of the template font,
// whose average character is kTemplateBaseX pixels wide.
struct ReplyColumn {
    int headerId;
    int width;
};
const ReplyColumn kColumns[] = {{0, 37}, {125, 58}, {126, 92}, {127, 35}};
constexpr int kTemplateBaseX = 6;

constexpr int kGrowthSlack = 10;   // pixels added below the last row
const QColor kRawTextColour(128, 0, 128);
constexpr int kReservedWidenOn = 1;

QString Wire(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

CReplyDlg::CReplyDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("replyDialog");
    setAccessibleName("Reply");
    setWindowTitle("Reply");
    BuildControls();
    PlaceTemplateControls();
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_closeTimer, &QTimer::timeout, this, &QDialog::accept);
}

void CReplyDlg::BuildControls()
{
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName("replyList");
    m_pList->setAccessibleName("Identification answer");
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setIconSize(QSize(kImageSide, kImageSide));
    m_pList->setColumnCount(static_cast<int>(std::size(kColumns)));
    QStringList headers;
    for (const ReplyColumn& column : kColumns)
        headers << (column.headerId ? QString::fromStdString(GetString(column.headerId)) : QString());
    m_pList->setHeaderLabels(headers);
    const CDialogUnits du = CDialogUnits::Of(this);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        m_pList->setColumnWidth(i, kColumns[i].width * du.BaseX() / kTemplateBaseX);
        if (i > 0)
            m_pList->headerItem()->setTextAlignment(i, Qt::AlignCenter);
    }

    m_pOk = new QPushButton("OK", this);
    m_pOk->setObjectName("okButton");
    m_pOk->setAccessibleName("OK");
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);

    m_pWiden = new QPushButton("<-->", this);
    m_pWiden->setObjectName("widenButton");
    m_pWiden->setAccessibleName("Show the answer text");
    m_pWiden->setAutoDefault(false);
    connect(m_pWiden, &QPushButton::clicked, this, &CReplyDlg::ToggleWide);

    m_pRawText = new CColorLabel(this);
    m_pRawText->setObjectName("answerText");
    m_pRawText->setAccessibleName("Answer text");
    m_pRawText->EnableLink(false);
    m_pRawText->setFont(font());
    m_pRawText->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName("replyStatus");
    m_pStatus->setAccessibleName("Health check");
    m_pStatus->setWordWrap(true);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pStatus->hide();

    m_controls = {{IDC_OK, m_pOk}, {IDC_WIDEN, m_pWiden}, {IDC_RAW_TEXT, m_pRawText}, {IDC_LIST, m_pList}};
}

void CReplyDlg::PlaceTemplateControls()
{
    const CDialogUnits du = CDialogUnits::Of(this);
    setFixedSize(du.Size(kWidth, kHeight));
    auto place = [&du](QWidget* control, const QRect& units) {
        control->setGeometry(du.Rect(units.x(), units.y(), units.width(), units.height()));
    };
    place(m_pList, kListRect);
    place(m_pOk, kOkRect);
    place(m_pWiden, kWidenRect);
    m_pRawText->hide();
}

QWidget* CReplyDlg::Control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QString CReplyDlg::RawText() const
{
    return m_pRawText->text();
}

void CReplyDlg::SetAnswer(const std::string& answer, bool autoClose)
{
    m_strAnswer = answer;
    m_bAutoClose = autoClose;
    m_bInitialised = false;
    if (isVisible())
        Initialise();
}

void CReplyDlg::SetStatus(const std::string& text)
{
    m_strStatus = text;
    m_bInitialised = false;
    if (isVisible())
        Initialise();
}

QString CReplyDlg::StatusText() const
{
    return m_pStatus->text();
}

void CReplyDlg::EnableOk(bool enable)
{
    m_pOk->setEnabled(enable);
}

void CReplyDlg::setVisible(bool visible)
{
    if (visible && !m_bInitialised)
        Initialise();
    QDialog::setVisible(visible);
}

void CReplyDlg::Initialise()
{
    m_bInitialised = true;
    m_closeTimer.stop();
    PlaceTemplateControls();
    FillRows();
    GrowForRows(m_pList->topLevelItemCount());
    PlaceStatus();
    RememberInitialGeometry();
    m_pOk->setEnabled(!m_bAutoClose);
    m_pWiden->setEnabled(!m_bAutoClose && App().m_nReserved2 == kReservedWidenOn);
    m_pRawText->SetTextColor(kRawTextColour);
    if (m_bAutoClose) {
        Host().Beep(BEEP_ASTERISK);
        m_closeTimer.start(kAutoCloseMs);
    }
    CentreOnOwner();
}

QIcon CReplyDlg::RowIcon(int image) const
{
    if (image < 0 || image >= static_cast<int>(m_images.size()))
        return {};
    return QIcon(m_images[static_cast<size_t>(image)]);
}

void CReplyDlg::FillRows()
{
    if (m_images.empty())
        m_images = CutStrip(RenderStrip(kImagesPath, kImageSide, kImageSide, kImageCount, devicePixelRatioF()),
                            kImageSide);
    m_pList->clear();
    m_nWidest = 0;
    const QFontMetrics metrics(font());
    QString fullText;
    size_t pos = 0;
    for (const IdentReplyRow& row : IdentReplyRows(m_strAnswer)) {
        // The rows follow the answer's CR LF ended lines one for one.
        const size_t end = m_strAnswer.find("\r\n", pos);
        if (end == std::string::npos)
            break;
        const QString line = Wire(m_strAnswer.substr(pos, end - pos));
        pos = end + 2;
        fullText += line + QLatin1Char('\n');
        m_nWidest = std::max(m_nWidest, metrics.horizontalAdvance(line));

        auto* item = new QTreeWidgetItem(m_pList, {QLatin1Char(' ') + Wire(row.number), Wire(row.hardware),
                                                   Wire(row.software), Wire(row.port)});
        for (int column = 1; column < item->columnCount(); ++column)
            item->setTextAlignment(column, Qt::AlignCenter);
        item->setIcon(0, RowIcon(row.image));
        item->setData(0, kImageRole, row.image);
    }
    fullText.chop(1);
    m_pRawText->setText(fullText);
}

QRect CReplyDlg::Available() const
{
    const QScreen* shown = screen();
    return shown ? shown->availableGeometry() : QRect();
}

void CReplyDlg::GrowForRows(int rows)
{
    const int textHeight = QFontMetrics(font()).height();
    const int rowHeight = std::max(textHeight, rows > 0 ? m_pList->sizeHintForRow(0) : 0);
    const long long needed = static_cast<long long>(rows + 1) * rowHeight;
    long long growth = needed - m_pList->height() + kGrowthSlack;
    // A long answer scrolls in a list as tall as the screen allows.
    if (const QRect available = Available(); available.isValid())
        growth = std::min<long long>(growth, available.height() - height());
    if (growth <= 0)
        return;
    const int grow = static_cast<int>(growth);
    setFixedSize(width(), height() + grow);
    m_pList->resize(m_pList->width(), m_pList->height() + grow);
    m_pOk->move(m_pOk->x(), m_pOk->y() + grow);
    m_pWiden->move(m_pWiden->x(), m_pWiden->y() + grow);
}

// The status line goes between the rows and the buttons; the dialog grows by
// its height, the rows keep theirs.
void CReplyDlg::PlaceStatus()
{
    m_pStatus->setText(QString::fromStdString(m_strStatus));
    if (m_strStatus.empty()) {
        m_pStatus->hide();
        return;
    }
    const int gap = QFontMetrics(font()).height() / 2;
    const int textHeight = m_pStatus->heightForWidth(m_pList->width());
    const int grow = textHeight + gap;
    setFixedSize(width(), height() + grow);
    m_pStatus->setGeometry(m_pList->x(), m_pList->geometry().bottom() + 1 + gap, m_pList->width(), textHeight);
    m_pOk->move(m_pOk->x(), m_pOk->y() + grow);
    m_pWiden->move(m_pWiden->x(), m_pWiden->y() + grow);
    m_pStatus->show();
}

void CReplyDlg::RememberInitialGeometry()
{
    m_initialSize = size();
    m_initialList = m_pList->geometry();
    m_initialOk = m_pOk->geometry();
    m_initialWiden = m_pWiden->geometry();
}

void CReplyDlg::CentreOnOwner()
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QPoint centre = owner ? owner->frameGeometry().center() : Available().center();
    move(centre - QPoint(width() / 2, height() / 2));
}

void CReplyDlg::ToggleWide()
{
    if (!IsWide()) {
        int extra = m_nWidest + m_initialList.x();
        if (const QRect available = Available(); available.isValid())
            extra = std::min(extra, std::max(0, available.width() - m_initialSize.width()));
        setFixedSize(m_initialSize.width() + extra, m_initialSize.height());
        m_pRawText->setGeometry(m_initialList.right() + 1 + m_initialList.x(), m_initialList.y(), m_nWidest,
                                m_initialList.height());
        m_pRawText->show();
    }
    else {
        setFixedSize(m_initialSize);
        m_pList->setGeometry(m_initialList);
        m_pOk->setGeometry(m_initialOk);
        m_pWiden->setGeometry(m_initialWiden);
        m_pRawText->hide();
    }
    update();
}
