#pragma once

#include <QString>

class QFont;
class QFrame;
class QPushButton;
class QWidget;

// Small makers of the program's controls, shared by its windows.

// Puts `w` at a fixed place in its parent; returns it.
template <typename W> W *Place(W *w, int left, int top, int width, int height)
{
    w->setGeometry(left, top, width, height);
    return w;
}

// A panel with a lowered bevel.
QFrame *LoweredPanel(QWidget *parent);

// A push button with its caption in `font`, which is never pressed by Enter
// while another control has the focus; `tabStop` false keeps it out of the
// keyboard's way.
QPushButton *CaptionButton(const QString &caption, QWidget *parent, const QFont &font,
                           bool tabStop = true);

// Shows a window in front of the others, unminimised, with the keyboard.
void BringToFront(QWidget *window);
