#pragma once
// CSplashScreen: the start-up picture. A borderless window the size of the
// picture, centred on the screen; it goes after kShowMs or at the first key
// or mouse-button press anywhere in the program, which it consumes.
#include <QTimer>
#include <QWidget>

class CSplashScreen : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShowMs = 2000;

    explicit CSplashScreen(QWidget* owner = nullptr);
    ~CSplashScreen() override;
    // Shows the picture and starts its time.
    void ShowCentred();

signals:
    // The picture has gone (the window deletes itself after).
    void finished();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Finish();

    QPixmap m_picture;
    QTimer m_timer;
    bool m_bDone = false;
};
