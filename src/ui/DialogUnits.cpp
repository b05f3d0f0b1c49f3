#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

namespace {
// The average width of the Latin letters, the measure dialog templates use.
const char* const kAverageSample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kSampleLength = 52;
}  // namespace

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    // Rounded, as the platform computes it: (width / 26 + 1) / 2.
    m_nBaseX = std::max(1, (metrics.horizontalAdvance(QString::fromLatin1(kAverageSample)) /
                                (kSampleLength / 2) + 1) / 2);
    m_nBaseY = std::max(1, metrics.height());
}

CDialogUnits CDialogUnits::Of(const QWidget* widget)
{
    return CDialogUnits(widget ? widget->font() : QFont());
}

int CDialogUnits::X(int units) const { return (units * m_nBaseX + 2) / 4; }
int CDialogUnits::Y(int units) const { return (units * m_nBaseY + 4) / 8; }
