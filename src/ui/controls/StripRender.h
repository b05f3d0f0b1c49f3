#pragma once
// Image strips: one row of equally sized images drawn as a single SVG file,
// rendered at the screen's pixel ratio and cut into the images of a lamp or
// of a list's icons.
#include <QPixmap>
#include <QString>
#include <vector>

// The SVG file `svgPath` drawn over `images` images of imageWidth x
// imageHeight logical pixels, at device pixel ratio `dpr`. A null pixmap when
// the file cannot be read or a size is out of bounds.
QPixmap RenderStrip(const QString& svgPath, int imageWidth, int imageHeight, int images, qreal dpr);

// The strip cut into images `imageWidth` logical pixels wide (as many as fit);
// magenta (255, 0, 255) becomes transparent. Empty when nothing fits.
std::vector<QPixmap> CutStrip(const QPixmap& strip, int imageWidth);
