#pragma once

#include <QApplication>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>

// Runs `answer` on the next modal widget of type T once its modal loop is up.
// Arm it before the call that opens the box; whatever `answer` captures must
// live until that call returns.
template <typename T> void WhenModal(std::function<void(T *)> answer)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto *w = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(w);
        }
    });
    timer->start();
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
