#include "userinput.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QInputMethodEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <limits>

namespace {

bool IsUserInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchBegin:
        return true;
    case QEvent::InputMethod:
        return !static_cast<const QInputMethodEvent *>(event)->commitString().isEmpty();
    default:
        return false;
    }
}

class InputWatch : public QObject {
  public:
    explicit InputWatch(QObject *parent) : QObject(parent)
    {
        // Coming back to the program is the user's doing too.
        connect(qApp, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive)
                        last_.start();
                });
    }

    qint64 MsSince() const
    {
        // Someone at work in another program has not paused for this one.
        if (QGuiApplication::applicationState() != Qt::ApplicationActive)
            return 0;
        return last_.isValid() ? last_.elapsed() : std::numeric_limits<qint64>::max();
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (IsUserInput(event))
            last_.start();
        return QObject::eventFilter(watched, event);
    }

  private:
    QElapsedTimer last_;
};

QPointer<InputWatch> g_watch;

// Swallows what comes to the box and its buttons for a while after it is
// shown, and again after each time it takes the keyboard: a box shown
// while the user works in another program takes its keys only once it is
// theirs.
class InputHold : public QObject {
  public:
    InputHold(QWidget *box, int ms) : QObject(box), box_(box), ms_(ms)
    {
        since_.start();
        qApp->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || (widget != box_ && !box_->isAncestorOf(widget)))
            return false;
        if (widget == box_ && event->type() == QEvent::WindowActivate)
            since_.start();
        if (since_.elapsed() >= ms_)
            return false;
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            event->accept(); // no mnemonic either
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return true;
        default:
            return false;
        }
    }

  private:
    QWidget *box_;
    int ms_;
    QElapsedTimer since_;
};

} // namespace

void WatchUserInput()
{
    if (!g_watch && qApp) {
        g_watch = new InputWatch(qApp);
        qApp->installEventFilter(g_watch);
    }
}

qint64 MsSinceUserInput()
{
    return g_watch ? g_watch->MsSince() : std::numeric_limits<qint64>::max();
}

void HoldBackInput(QWidget *box, int ms)
{
    new InputHold(box, ms);
}
