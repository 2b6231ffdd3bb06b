#include "widgets.h"

#include <QFont>
#include <QFrame>
#include <QPushButton>

QFrame *LoweredPanel(QWidget *parent)
{
    auto *p = new QFrame(parent);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return p;
}

QPushButton *CaptionButton(const QString &caption, QWidget *parent, const QFont &font, bool tabStop)
{
    auto *b = new QPushButton(caption, parent);
    b->setFont(font);
    b->setAutoDefault(false);
    if (!tabStop)
        b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void BringToFront(QWidget *window)
{
    if (!window)
        return;
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}
