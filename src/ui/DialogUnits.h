#pragma once
// Dialog units: the layouts of Tavrel's windows are given in the units of a
// dialog template. A horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height, so a window drawn
// in these units follows the user's font and screen scale.
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    // The units of the font `widget` uses.
    static CDialogUnits Of(const QWidget* widget);

    int X(int units) const;   // horizontal units -> pixels
    int Y(int units) const;   // vertical units -> pixels
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }

    int BaseX() const { return m_nBaseX; }
    int BaseY() const { return m_nBaseY; }

private:
    int m_nBaseX;   // average character width in pixels
    int m_nBaseY;   // character height in pixels
};
