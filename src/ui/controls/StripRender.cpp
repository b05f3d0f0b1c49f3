#include "ui/controls/StripRender.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace {

// Strips are lamps and list icons: a few small images. Anything larger is a
// mistake, not something to allocate.
constexpr int kMaxImageSide = 256;
constexpr int kMaxImages = 64;
constexpr qreal kMaxRatio = 8.0;

const QColor kTransparentColour(255, 0, 255);

}  // namespace

QPixmap RenderStrip(const QString& svgPath, int imageWidth, int imageHeight, int images, qreal dpr)
{
    if (imageWidth <= 0 || imageHeight <= 0 || images <= 0 || imageWidth > kMaxImageSide ||
        imageHeight > kMaxImageSide || images > kMaxImages || !(dpr > 0.0) || dpr > kMaxRatio)
        return {};
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid())
        return {};
    const QSize device(static_cast<int>(std::ceil(imageWidth * images * dpr)),
                       static_cast<int>(std::ceil(imageHeight * dpr)));
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(device)));
    }
    image.setDevicePixelRatio(dpr);
    return QPixmap::fromImage(image);
}

std::vector<QPixmap> CutStrip(const QPixmap& strip, int imageWidth)
{
    std::vector<QPixmap> images;
    if (strip.isNull() || imageWidth <= 0)
        return images;
    const qreal dpr = strip.devicePixelRatio();
    const int deviceWidth = static_cast<int>(std::lround(imageWidth * dpr));
    if (deviceWidth <= 0)
        return images;
    const int count = strip.width() / deviceWidth;
    for (int i = 0; i < count; ++i) {
        QPixmap image = strip.copy(i * deviceWidth, 0, deviceWidth, strip.height());
        image.setMask(image.createMaskFromColor(kTransparentColour, Qt::MaskInColor));
        image.setDevicePixelRatio(dpr);
        images.push_back(image);
    }
    return images;
}
