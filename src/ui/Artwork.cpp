// Rendering of Tavrel's SVG artwork into icons and pixmaps.
#include "ui/Artwork.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// Largest side, in device pixels, of a rendered picture: far above any icon or
// bitmap Tavrel shows, low enough that a wrong size cannot exhaust memory.
constexpr int MAX_RENDER_SIDE = 4096;

// Icon sizes rendered up front: the toolbar's 16 px at scales 1, 1.5 and 2,
// menu sizes, and the larger sizes a desktop asks for the program's icon.
constexpr int COMMAND_ICON_SIZES[] = {16, 24, 32, 48, 64};
constexpr int APPLICATION_ICON_SIZES[] = {16, 24, 32, 48, 64, 128, 256};

const QString APPLICATION_ICON_PATH = QStringLiteral(":/icons/tavrel.svg");
const QString SPLASH_BITMAP_PATH = QStringLiteral(":/bitmaps/221.svg");
const QString ABOUT_BITMAP_PATH = QStringLiteral(":/bitmaps/220.svg");

bool IsRenderableSize(const QSize& logicalSize, qreal devicePixelRatio)
{
    if (logicalSize.isEmpty() || !(devicePixelRatio > 0.0)) return false;
    return logicalSize.width() * devicePixelRatio <= MAX_RENDER_SIDE
        && logicalSize.height() * devicePixelRatio <= MAX_RENDER_SIDE;
}

// Each size drawn from the vector file itself, so no size is a scaled copy
// of another.
template <size_t N>
QIcon IconFromSvg(const QString& resourcePath, const int (&sizes)[N])
{
    QIcon icon;
    for (int side : sizes) {
        const QPixmap pixmap = RenderSvg(resourcePath, QSize(side, side), 1.0);
        if (pixmap.isNull()) return QIcon();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A picture at the logical size its SVG file declares.
QPixmap BitmapAtOwnSize(const QString& resourcePath, qreal devicePixelRatio)
{
    if (!QFile::exists(resourcePath)) return QPixmap();
    const QSvgRenderer renderer(resourcePath);
    if (!renderer.isValid()) return QPixmap();
    return RenderSvg(resourcePath, renderer.defaultSize(), devicePixelRatio);
}

} // namespace

QPixmap RenderSvg(const QString& resourcePath, const QSize& logicalSize, qreal devicePixelRatio)
{
    if (!IsRenderableSize(logicalSize, devicePixelRatio) || !QFile::exists(resourcePath)) return QPixmap();
    QSvgRenderer renderer(resourcePath);
    if (!renderer.isValid()) return QPixmap();
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);

    QPixmap pixmap(qRound(logicalSize.width() * devicePixelRatio),
                   qRound(logicalSize.height() * devicePixelRatio));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon ApplicationIcon()
{
    return IconFromSvg(APPLICATION_ICON_PATH, APPLICATION_ICON_SIZES);
}

QIcon CommandIcon(int commandId)
{
    return IconFromSvg(QStringLiteral(":/toolbar/%1.svg").arg(commandId), COMMAND_ICON_SIZES);
}

QPixmap SplashBitmap(qreal devicePixelRatio)
{
    return BitmapAtOwnSize(SPLASH_BITMAP_PATH, devicePixelRatio);
}

QPixmap AboutBitmap(qreal devicePixelRatio)
{
    return BitmapAtOwnSize(ABOUT_BITMAP_PATH, devicePixelRatio);
}
