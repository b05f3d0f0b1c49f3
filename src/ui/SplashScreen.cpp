#include "ui/SplashScreen.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "ui/Artwork.h"

CSplashScreen::CSplashScreen(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("splashScreen");
    setAccessibleName("Tavrel");
    setAttribute(Qt::WA_DeleteOnClose);
    m_picture = SplashBitmap(devicePixelRatioF());
    setFixedSize(m_picture.deviceIndependentSize().toSize());
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CSplashScreen::Finish);
}

CSplashScreen::~CSplashScreen()
{
    if (qApp) qApp->removeEventFilter(this);
}

void CSplashScreen::ShowCentred()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) move(screen->geometry().center() - rect().center());
    qApp->installEventFilter(this);
    show();
    raise();
    m_timer.start(kShowMs);
}

void CSplashScreen::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

bool CSplashScreen::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        Finish();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void CSplashScreen::Finish()
{
    if (m_bDone) return;
    m_bDone = true;
    m_timer.stop();
    qApp->removeEventFilter(this);
    if (parentWidget()) parentWidget()->update();
    emit finished();
    close();
}
