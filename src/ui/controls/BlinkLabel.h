#pragma once
// CBlinkLabel: the part CColorLabel and CStateLabel share. A static text with
// its own text colour, background colour and font, whose text or background
// can blink (500 ms phases).
#include <QColor>
#include <QLabel>
#include <QTimer>

class CBlinkLabel : public QLabel {
    Q_OBJECT
public:
    enum BlinkKind { BLINK_NONE = 0, BLINK_TEXT = 1, BLINK_BACKGROUND = 2 };
    static constexpr int kBlinkMs = 500;

    explicit CBlinkLabel(QWidget* parent = nullptr);

    void SetTextColor(const QColor& text);
    // An invalid background colour stands for the button face.
    void SetColors(const QColor& text, const QColor& background);
    void SetBkColor(const QColor& background);
    void SetBold(bool bold);
    void SetUnderline(bool underline);
    void FlashText(bool flash);
    void FlashBackground(bool flash);

    QColor TextColor() const { return m_textColor; }
    QColor BackgroundColor() const { return m_background; }
    int BlinkKind() const { return m_nBlinkKind; }
    bool BlinkPhase() const { return m_bPhase; }
    // What is painted now, blinking included.
    QColor ShownTextColor() const;
    QColor ShownBackground() const;

    // The system colours the labels start from.
    static QColor ButtonFace();
    static QColor WindowText();

private:
    void StartBlink(int kind, bool phase);
    void TogglePhase();
    void ApplyFont();
    void ApplyLook();   // palette from the colours and the phase, repainted at once

    QColor m_textColor;
    QColor m_background;
    QColor m_alternate;     // background of the off phase of background blinking
    QFont m_font;
    int m_nBlinkKind = BLINK_NONE;
    bool m_bPhase = false;
    QTimer m_blinkTimer;
};
