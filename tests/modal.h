#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

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
