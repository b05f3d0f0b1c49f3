#pragma once
// CIndicator: a flat lamp. SetOn(true) lights it at once and a one-shot timer
// puts it out kFlashMs later; a new flash within that time restarts the timer,
// so a stream of flashes keeps it lit.
#include <QColor>
#include <QTimer>
#include <QWidget>

class CIndicator : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFlashMs = 80;
    static inline const QColor kOffColour{192, 192, 192};

    explicit CIndicator(const QColor& onColor, QWidget* parent = nullptr);

    void SetOn(bool on);
    void SetColor(const QColor& c);
    bool IsOn() const { return m_bOn; }
    QColor Color() const { return m_onColor; }

    QSize sizeHint() const override { return {16, 6}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_onColor;
    bool m_bOn = false;
    QTimer m_flashTimer;
};
