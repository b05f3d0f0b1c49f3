#include "ui/controls/Indicator.h"

#include <QPainter>

CIndicator::CIndicator(const QColor& onColor, QWidget* parent) : QWidget(parent), m_onColor(onColor)
{
    setObjectName("indicator");
    setAccessibleName("Indicator");
    // The lamp paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_flashTimer.setSingleShot(true);
    m_flashTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_flashTimer, &QTimer::timeout, this, [this] { SetOn(false); });
}

void CIndicator::SetOn(bool on)
{
    m_bOn = on;
    repaint();
    if (on)
        m_flashTimer.start(kFlashMs);
    else
        m_flashTimer.stop();
}

void CIndicator::SetColor(const QColor& c)
{
    m_onColor = c;
    if (m_bOn)
        repaint();
}

void CIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, kOffColour);   // background and the 1-pixel border
    painter.fillRect(area.adjusted(1, 1, -1, -1), m_bOn ? m_onColor : kOffColour);
}
