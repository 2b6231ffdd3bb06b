#include "keyboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleOptionMenuItem>
#include <QTimer>

namespace {

// Draws the menu bar's current item as chosen while the bar has the
// keyboard, which some styles show only while a menu is open.
class KeyboardItemStyle : public QProxyStyle {
  public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_MenuBarItem && widget && widget->hasFocus()
            && (option->state & State_Selected)) {
            if (auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option)) {
                QStyleOptionMenuItem chosen = *item;
                chosen.state |= State_Sunken;
                QProxyStyle::drawControl(element, &chosen, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

class MenuBarKeys : public QObject {
  public:
    explicit MenuBarKeys(QMainWindow *window)
        : QObject(window), window_(window), bar_(window->menuBar())
    {
        auto *style = new KeyboardItemStyle;
        style->setParent(bar_);
        bar_->setStyle(style);
        bar_->installEventFilter(this);
        connect(qApp, &QApplication::focusChanged, this, &MenuBarKeys::FocusChanged);
        auto *f10 = new QShortcut(Qt::Key_F10, window);
        connect(f10, &QShortcut::activated, this, &MenuBarKeys::Enter);
        connect(bar_, &QMenuBar::triggered, this, &MenuBarKeys::Done);
    }

  protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape)
            QTimer::singleShot(0, this, &MenuBarKeys::Done);
        if (key == Qt::Key_Left || key == Qt::Key_Right)
            return ReachMenu((key == Qt::Key_Right) != bar_->isRightToLeft() ? 1 : -1);
        return false;
    }

  private:
    // An arrow that reaches an item with a menu, while no menu is open,
    // stops on that item, its menu open with none of its items chosen: a
    // screen reader says the menu's name, and Down goes in. Qt would choose
    // the first item at once, and the name would go unheard.
    bool ReachMenu(int step)
    {
        const QList<QAction *> items = bar_->actions();
        const qsizetype at = items.indexOf(bar_->activeAction());
        if (QApplication::activePopupWidget() || at < 0)
            return false;
        for (qsizetype i = 1; i < items.size(); ++i) {
            QAction *next = items.at((at + step * i + items.size() * i) % items.size());
            if (!next->isVisible() || next->isSeparator() || !next->isEnabled())
                continue;
            if (!next->menu())
                return false; // Qt's own step
            bar_->setActiveAction(next);
            return true;
        }
        return false;
    }

    void Enter()
    {
        if (bar_->hasFocus()) {
            Done();
            return;
        }
        const QList<QAction *> items = bar_->actions();
        if (items.isEmpty())
            return;
        bar_->setFocus(Qt::MenuBarFocusReason);
        bar_->setActiveAction(items.first());
    }

    // A command has run, or the bar was left: the keyboard goes back to the
    // control that had it, now or, after a box, once the window has it again.
    void Done()
    {
        returnDue_ = true;
        if (bar_->hasFocus() || !QApplication::focusWidget())
            GiveBack();
    }

    void GiveBack()
    {
        if (!returnDue_ || !bar_->hasFocus())
            return;
        returnDue_ = false;
        bar_->setActiveAction(nullptr);
        if (last_)
            last_->setFocus(Qt::OtherFocusReason);
    }

    void FocusChanged(QWidget *, QWidget *now)
    {
        if (!now || now->window() != window_)
            return;
        if (now == bar_)
            GiveBack();
        else {
            last_ = now;
            returnDue_ = false;
        }
    }

    QMainWindow *window_;
    QMenuBar *bar_;
    QPointer<QWidget> last_;
    bool returnDue_ = false;
};

class EnterPresses : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool press = event->type() == QEvent::KeyPress;
        if (!press && event->type() != QEvent::KeyRelease)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        // Pressed as the key goes down, as a dialog's default button is.
        auto *button = static_cast<QAbstractButton *>(watched);
        if (press && !key->isAutoRepeat() && button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

void UseMenuBarByKeys(QMainWindow *window)
{
    new MenuBarKeys(window);
}

void PressOnEnter(std::initializer_list<QAbstractButton *> buttons)
{
    for (QAbstractButton *b : buttons)
        b->installEventFilter(new EnterPresses(b));
}
