#include "screenplace.h"

#include "libstate.h"

#include <QCursor>
#include <QEvent>
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

void KeepOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const Point at = KeepInside({frame.x(), frame.y()}, {frame.width(), frame.height()},
                                {{area.x(), area.y()}, {area.width(), area.height()}});
    if (at.x != frame.x() || at.y != frame.y())
        window->move(at.x, at.y); // the frame's top-left, as pos() has it
}

namespace {

// Placed again once the window is framed: only then is its outer size known.
class OnScreenGuard : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *w = static_cast<QWidget *>(watched);
        switch (event->type()) {
        case QEvent::Show:
            pending_ = true;
            KeepOnScreen(w);
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (pending_ && w->frameGeometry() != w->geometry()) {
                pending_ = false;
                KeepOnScreen(w);
            }
            break;
        case QEvent::Hide:
            pending_ = false;
            break;
        default:
            break;
        }
        return false;
    }

  private:
    bool pending_ = false;
};

} // namespace

void KeepOnScreenWhenShown(QWidget *window)
{
    KeepOnScreen(window);
    window->installEventFilter(new OnScreenGuard(window));
}
