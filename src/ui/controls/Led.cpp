#include "ui/controls/Led.h"

#include <QPainter>

#include "ui/controls/StripRender.h"

CLed::CLed(QWidget* parent) : QWidget(parent)
{
    setObjectName("led");
    setAccessibleName("LED");
    m_blinkTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_blinkTimer, &QTimer::timeout, this, &CLed::SwapBlinkImage);
}

bool CLed::Load(const QPixmap& strip, int imageWidth)
{
    std::vector<QPixmap> images = CutStrip(strip, imageWidth);
    if (images.empty())
        return false;
    m_blinkTimer.stop();
    m_bBlinking = false;
    m_images = std::move(images);
    m_nImage = 0;
    updateGeometry();
    update();
    return true;
}

bool CLed::LoadSvg(const QString& svgPath, int imageWidth, int imageHeight, int images)
{
    return Load(RenderStrip(svgPath, imageWidth, imageHeight, images, devicePixelRatioF()), imageWidth);
}

int CLed::SetPeriod(int ms)
{
    if (ms <= 0)
        return 0;
    m_nPeriodMs = ms;
    return 1;
}

int CLed::SetState(int kind, int imageA, int imageB, int period)
{
    if (m_images.empty())
        return -1;
    switch (kind) {
    case LED_FIRST_IMAGE:
        ShowSteady(0);
        return 0;
    case LED_STEADY:
        if (!HasImage(imageA))
            return -1;
        ShowSteady(imageA);
        return imageA;
    case LED_BLINK:
        if (!HasImage(imageA) || !HasImage(imageB))
            return -1;
        if (m_bBlinking)
            return 0;
        StartBlink(imageA, imageB, period > 0 ? period : m_nPeriodMs);
        return imageA;
    default:
        return -1;
    }
}

int CLed::Next()
{
    if (m_images.empty())
        return 0;
    ShowSteady((m_nImage + 1) % ImageCount());
    return m_nImage;
}

void CLed::ShowSteady(int image)
{
    m_blinkTimer.stop();
    m_bBlinking = false;
    m_nImage = image;
    repaint();
}

void CLed::StartBlink(int imageA, int imageB, int period)
{
    m_nBlinkA = imageA;
    m_nBlinkB = imageB;
    m_nImage = imageA;
    m_bBlinking = true;
    repaint();
    m_blinkTimer.start(period);
}

void CLed::SwapBlinkImage()
{
    m_nImage = m_nImage == m_nBlinkA ? m_nBlinkB : m_nBlinkA;
    repaint();
}

QSize CLed::sizeHint() const
{
    if (m_images.empty())
        return {13, 13};
    return m_images.front().deviceIndependentSize().toSize();
}

void CLed::paintEvent(QPaintEvent*)
{
    if (m_images.empty())
        return;
    QPainter painter(this);
    // Transparent parts of the image show the window colour.
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.drawPixmap(0, 0, m_images[static_cast<size_t>(m_nImage)]);
}
