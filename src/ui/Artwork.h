#pragma once
// Tavrel's own artwork, drawn as SVG files in the resources (":/icons",
// ":/toolbar", ":/bitmaps") and rendered here at the sizes the windows ask
// for, so that icons and pictures stay sharp on every screen scale.
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// The program's icon (window, task bar, desktop entry).
QIcon ApplicationIcon();

// The icon of a menu or toolbar command (":/toolbar/<id>.svg"); a null icon
// when the command has none.
QIcon CommandIcon(int commandId);

// Renders an SVG resource into a pixmap of `logicalSize` at
// `devicePixelRatio`, keeping the drawing's proportions (centred). A null
// pixmap when the resource is missing or not SVG, or the size is empty or
// beyond the largest picture Tavrel draws.
QPixmap RenderSvg(const QString& resourcePath, const QSize& logicalSize, qreal devicePixelRatio);

// The start-up picture (bitmap 221) and the About box picture (bitmap 220),
// each at its own logical size.
QPixmap SplashBitmap(qreal devicePixelRatio);
QPixmap AboutBitmap(qreal devicePixelRatio);
