#pragma once

#include <QApplication>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>

// Runs `answer` on the next widget of type T that `current` gives once it
// is up. Arm it before the call that opens the widget; whatever `answer`
// captures must live until that call returns.
template <typename T> void WhenShown(QWidget *(*current)(), std::function<void(T *)> answer)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, current, answer] {
        if (auto *w = qobject_cast<T *>(current())) {
            timer->stop();
            timer->deleteLater();
            answer(w);
        }
    });
    timer->start();
}

// ... the next modal widget, once its modal loop is up.
template <typename T> void WhenModal(std::function<void(T *)> answer)
{
    WhenShown<T>(&QApplication::activeModalWidget, std::move(answer));
}

// ... the next pop-up (a menu), once it is open.
template <typename T> void WhenPopup(std::function<void(T *)> answer)
{
    WhenShown<T>(&QApplication::activePopupWidget, std::move(answer));
}

// Readable Qt values in GoogleTest's failure messages.
inline void PrintTo(const QPoint &p, std::ostream *os)
{
    *os << "(" << p.x() << ", " << p.y() << ")";
}

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
