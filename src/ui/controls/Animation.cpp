#include "ui/controls/Animation.h"

#include <QPainter>

#include <algorithm>

namespace {

// Records on the cable at once, evenly spaced; each frame moves them on by
// 1 / kFrameCount of the spacing, so the last frame leads back to the first.
constexpr int kRecords = 3;

const QColor kCase(200, 200, 200);
const QColor kScreen(20, 40, 120);
const QColor kScreenLine(110, 160, 255);
const QColor kBoard(0, 110, 50);
const QColor kChip(30, 30, 30);
const QColor kCable(60, 60, 60);
const QColor kRecord(255, 200, 0);
const QColor kLampOn(255, 60, 60);
const QColor kLampOff(90, 20, 20);

}  // namespace

CAnimation::CAnimation(QWidget* parent) : QWidget(parent)
{
    setObjectName("animation");
    setAccessibleName("Animation");
    connect(&m_timer, &QTimer::timeout, this, &CAnimation::NextFrame);
}

void CAnimation::Play()
{
    m_nFrame = 0;
    m_timer.start(kFrameMs);
    update();
}

void CAnimation::Stop()
{
    m_timer.stop();
    m_nFrame = 0;
    update();
}

void CAnimation::NextFrame()
{
    m_nFrame = (m_nFrame + 1) % kFrameCount;
    update();
}

void CAnimation::paintEvent(QPaintEvent*)
{
    if (!IsPlaying())
        return;   // a closed animation shows nothing
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal side = area.height();
    const QRectF pc(area.left(), area.top(), side * 1.2, side);
    const QRectF board(area.right() - side * 1.4, area.top() + side * 0.15, side * 1.4, side * 0.7);
    const QLineF cable(pc.right(), area.center().y(), board.left(), area.center().y());
    DrawPc(painter, pc);
    DrawBoard(painter, board);
    DrawRecords(painter, cable);
}

void CAnimation::DrawPc(QPainter& painter, const QRectF& area) const
{
    const QRectF monitor(area.left(), area.top(), area.width(), area.height() * 0.75);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kCase);
    painter.drawRoundedRect(monitor, 2, 2);
    painter.drawRect(QRectF(area.center().x() - area.width() * 0.1, monitor.bottom(), area.width() * 0.2,
                            area.height() * 0.15));
    painter.drawRect(QRectF(area.left() + area.width() * 0.2, area.bottom() - area.height() * 0.1,
                            area.width() * 0.6, area.height() * 0.1));
    const QRectF screen = monitor.adjusted(3, 3, -3, -3);
    painter.setBrush(kScreen);
    painter.drawRect(screen);
    // Lines of text scroll on the screen with the frames.
    painter.setPen(QPen(kScreenLine, 1));
    const int lines = 4;
    for (int i = 0; i < lines; ++i) {
        const qreal y = screen.top() + screen.height() * (i + 1) / (lines + 1);
        const qreal length = screen.width() * (0.3 + 0.5 * (((i + m_nFrame) % lines) + 1) / lines);
        painter.drawLine(QPointF(screen.left() + 2, y), QPointF(screen.left() + std::min(length, screen.width() - 4), y));
    }
}

void CAnimation::DrawBoard(QPainter& painter, const QRectF& area) const
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBoard);
    painter.drawRect(area);
    painter.setBrush(kChip);
    const qreal chip = area.height() * 0.4;
    painter.drawRect(QRectF(area.left() + area.width() * 0.15, area.center().y() - chip / 2, chip * 1.4, chip));
    painter.drawRect(QRectF(area.left() + area.width() * 0.55, area.center().y() - chip / 2, chip, chip));
    // The board's lamp lights on every other frame: it is receiving.
    painter.setBrush(m_nFrame % 2 ? kLampOn : kLampOff);
    const qreal lamp = std::max<qreal>(2.0, area.height() * 0.15);
    painter.drawEllipse(QRectF(area.right() - lamp * 1.8, area.top() + lamp * 0.6, lamp, lamp));
}

void CAnimation::DrawRecords(QPainter& painter, const QLineF& cable) const
{
    painter.setPen(QPen(kCable, 2));
    painter.drawLine(cable);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kRecord);
    const qreal size = 5;
    for (int i = 0; i < kRecords; ++i) {
        const qreal travelled = (i + static_cast<qreal>(m_nFrame) / kFrameCount) / kRecords;
        const QPointF at = cable.pointAt(travelled);
        painter.drawRect(QRectF(at.x() - size / 2, at.y() - size / 2, size, size));
    }
}
