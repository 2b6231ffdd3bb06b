#include "screenplace.h"

#include "libstate.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

Point CursorPoint()
{
    const QPoint c = QCursor::pos();
    return {c.x(), c.y()};
}

Size ScreenSize()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        return {};
    const QRect g = s->geometry();
    return {g.width(), g.height()};
}

Size WindowSize(const QWidget *w)
{
    // The frame is known only once the window manager has framed the window.
    const QSize s = w->isVisible() ? w->frameGeometry().size() : w->size();
    return {s.width(), s.height()};
}

Point BoxOpeningPoint()
{
    return Lib().Places.BoxOpeningPoint(CursorPoint());
}

void PlaceBoxAt(QWidget *window, Point p)
{
    const Point at = PlaceBoxAt(p, WindowSize(window), ScreenSize());
    window->move(at.x, at.y);
}

void RememberBoxPlace(const QWidget *window)
{
    const QPoint topLeft = window->pos();
    Lib().Places.RememberBoxPlace(CursorPoint(), {topLeft.x(), topLeft.y()});
}

void PlaceNearCursor(QWidget *window)
{
    const Point at = PlaceNearCursor(CursorPoint(), WindowSize(window), ScreenSize());
    window->move(at.x, at.y);
}

void ShowNearCursor(QWidget *window)
{
    PlaceNearCursor(window);
    window->show();
}
