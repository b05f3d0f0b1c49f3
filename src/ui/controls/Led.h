#pragma once
// CLed: a lamp drawn from a strip of images. It stays on one image (steady)
// or alternates between two images with a blink period.
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <vector>

class CLed : public QWidget {
    Q_OBJECT
public:
    enum Kind { LED_FIRST_IMAGE = 0, LED_STEADY = 1, LED_BLINK = 2 };
    static constexpr int kDefaultPeriodMs = 500;

    explicit CLed(QWidget* parent = nullptr);

    // The strip cut into images of that width (logical pixels). False when
    // no image fits; the lamp then keeps what it had.
    bool Load(const QPixmap& strip, int imageWidth);
    // The SVG strip at `svgPath` rendered at this lamp's pixel ratio, then Load.
    bool LoadSvg(const QString& svgPath, int imageWidth, int imageHeight, int images);

    int SetPeriod(int ms);   // 1, or 0 when ms <= 0
    // kind 1: imageA steady; kind 2: blink between imageA and imageB (with
    // `period` when above 0, else the stored period); kind 0: image 0 steady.
    // Returns the image shown, -1 when refused, 0 for a blink request while
    // already blinking (which changes nothing).
    int SetState(int kind, int imageA = 0, int imageB = 0, int period = 0);
    // Steady on the next image, wrapping to 0 after the last. 0 without images.
    int Next();

    int Image() const { return m_nImage; }
    bool IsBlinking() const { return m_bBlinking; }
    int ImageCount() const { return static_cast<int>(m_images.size()); }
    int Period() const { return m_nPeriodMs; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool HasImage(int index) const { return index >= 0 && index < ImageCount(); }
    void ShowSteady(int image);
    void StartBlink(int imageA, int imageB, int period);
    void SwapBlinkImage();

    std::vector<QPixmap> m_images;
    int m_nImage = 0;
    int m_nPeriodMs = kDefaultPeriodMs;
    int m_nBlinkA = 0;
    int m_nBlinkB = 0;
    bool m_bBlinking = false;
    QTimer m_blinkTimer;
};
