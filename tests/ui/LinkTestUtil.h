#pragma once
// Helpers of the link dialogs' tests: readable QStrings in failure messages,
// acting on a window once it is open, and typed access to a control.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <ostream>

#include <gtest/gtest.h>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Runs `act` once on the first visible top-level window of type T, from the
// event loop (inside the modal loop that shows it).
template <class T>
void WhenOpen(std::function<void(T&)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<T*>(widget); window != nullptr && window->isVisible()) {
                poll->stop();
                poll->deleteLater();
                act(*window);
                return;
            }
        }
    });
    poll->start();
}

template <class T>
T* As(QWidget* widget)
{
    T* typed = qobject_cast<T*>(widget);
    EXPECT_NE(typed, nullptr);
    return typed;
}
