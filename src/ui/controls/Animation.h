#pragma once
// CAnimation: the view's animation during the data phase: data records
// travelling along a cable from a PC to a board, drawn with QPainter. Play
// runs the frames from the first to the last, over and over; Stop ends it and
// clears the picture.
#include <QTimer>
#include <QWidget>

class CAnimation : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFrameCount = 12;
    static constexpr int kFrameMs = 100;

    explicit CAnimation(QWidget* parent = nullptr);

    void Play();
    void Stop();
    bool IsPlaying() const { return m_timer.isActive(); }
    int Frame() const { return m_nFrame; }
    int FrameCount() const { return kFrameCount; }

    QSize sizeHint() const override { return {190, 38}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void NextFrame();
    void DrawPc(QPainter& painter, const QRectF& area) const;
    void DrawBoard(QPainter& painter, const QRectF& area) const;
    void DrawRecords(QPainter& painter, const QLineF& cable) const;

    int m_nFrame = 0;
    QTimer m_timer;
};
