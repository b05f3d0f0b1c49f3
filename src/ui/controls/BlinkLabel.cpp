#include "ui/controls/BlinkLabel.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

constexpr int kBoldWeight = 700;
constexpr int kNormalWeight = 400;

}  // namespace

QColor CBlinkLabel::ButtonFace() { return QGuiApplication::palette().color(QPalette::Button); }
QColor CBlinkLabel::WindowText() { return QGuiApplication::palette().color(QPalette::WindowText); }

CBlinkLabel::CBlinkLabel(QWidget* parent)
    : QLabel(parent), m_textColor(WindowText()), m_background(ButtonFace()), m_alternate(ButtonFace()),
      m_font(QGuiApplication::font())
{
    setAutoFillBackground(true);
    m_blinkTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_blinkTimer, &QTimer::timeout, this, &CBlinkLabel::TogglePhase);
    ApplyFont();
    ApplyLook();
}

void CBlinkLabel::SetTextColor(const QColor& text)
{
    m_textColor = text;
    ApplyLook();
}

void CBlinkLabel::SetColors(const QColor& text, const QColor& background)
{
    m_textColor = text;
    m_background = background.isValid() ? background : ButtonFace();
    ApplyLook();
}

void CBlinkLabel::SetBkColor(const QColor& background)
{
    m_background = background.isValid() ? background : ButtonFace();
    ApplyLook();
}

void CBlinkLabel::SetBold(bool bold)
{
    m_font.setWeight(QFont::Weight(bold ? kBoldWeight : kNormalWeight));
    ApplyFont();
}

void CBlinkLabel::SetUnderline(bool underline)
{
    m_font.setUnderline(underline);
    ApplyFont();
}

void CBlinkLabel::FlashText(bool flash)
{
    StartBlink(flash ? BLINK_TEXT : BLINK_NONE, false);
}

void CBlinkLabel::FlashBackground(bool flash)
{
    StartBlink(flash ? BLINK_BACKGROUND : BLINK_NONE, flash);
}

void CBlinkLabel::StartBlink(int kind, bool phase)
{
    m_blinkTimer.stop();
    m_nBlinkKind = kind;
    m_bPhase = phase;
    if (kind != BLINK_NONE)
        m_blinkTimer.start(kBlinkMs);
    ApplyLook();
}

void CBlinkLabel::TogglePhase()
{
    m_bPhase = !m_bPhase;
    ApplyLook();
}

QColor CBlinkLabel::ShownTextColor() const
{
    // The text vanishes into the background on the on phase of text blinking.
    return m_nBlinkKind == BLINK_TEXT && m_bPhase ? m_background : m_textColor;
}

QColor CBlinkLabel::ShownBackground() const
{
    return m_nBlinkKind == BLINK_BACKGROUND && !m_bPhase ? m_alternate : m_background;
}

void CBlinkLabel::ApplyFont()
{
    setFont(m_font);
    repaint();
}

void CBlinkLabel::ApplyLook()
{
    QPalette look = palette();
    look.setColor(QPalette::WindowText, ShownTextColor());
    look.setColor(QPalette::Window, ShownBackground());
    setPalette(look);
    repaint();
}
